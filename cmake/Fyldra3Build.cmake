# Shared build settings: hardening, warnings, sanitizers and the test helper.

# Debian's hardening for everything built here: stack protector and stack
# clash protection, fortified libc calls (they need optimisation, so not in
# Debug builds), control-flow protection, position-independent executables
# and full RELRO.
include(CheckPIESupported)
check_pie_supported()
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
add_compile_options(-fstack-protector-strong -fstack-clash-protection -fcf-protection
                    "$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
add_link_options(-Wl,-z,relro,-z,now)

# Installed folders are rwxr-xr-x whatever the umask of the one who builds.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

if(FYLDRA3_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
  add_compile_definitions(FYLDRA3_SANITIZED)  # for the few tests a sanitizer's own needs rule out
endif()

option(FYLDRA3_FUZZ "Build the fuzz target with libFuzzer (clang only)" OFF)
if(FYLDRA3_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

# Warnings for the project's own code.
function(fyldra3_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align -Woverloaded-virtual
    -Wconversion -Wsign-conversion -Wnull-dereference -Wdouble-promotion -Wformat=2
    -Wimplicit-fallthrough -Wmisleading-indentation
    $<$<CXX_COMPILER_ID:GNU>:-Wduplicated-cond -Wlogical-op>)
  if(FYLDRA3_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# fyldra3_add_test(NAME name SOURCES ... [LIBRARIES ...] [TIMEOUT s] [ENVIRONMENT ...]
#                  [LAUNCHER command ...] [QT])
# One GoogleTest (or, with QT, Qt Test) executable registered with ctest,
# built with the project's warnings; LAUNCHER runs it (own_session.sh ...).
function(fyldra3_add_test)
  cmake_parse_arguments(T "QT" "NAME;TIMEOUT" "SOURCES;LIBRARIES;ENVIRONMENT;LABELS;LAUNCHER" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  fyldra3_warnings(${T_NAME})
  if(T_QT)
    target_link_libraries(${T_NAME} PRIVATE Qt6::Test ${T_LIBRARIES})
  else()
    target_link_libraries(${T_NAME} PRIVATE GTest::gtest_main ${T_LIBRARIES})
  endif()
  target_compile_definitions(${T_NAME} PRIVATE FYLDRA3_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data")
  add_test(NAME ${T_NAME} COMMAND ${T_LAUNCHER} $<TARGET_FILE:${T_NAME}>)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(T_ENVIRONMENT)
    set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "${T_ENVIRONMENT}")
  endif()
  if(T_LABELS)
    set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}")
  endif()
endfunction()
