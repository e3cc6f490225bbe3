// What the system's error numbers mean, to people and to scripts.
#pragma once

#include <string_view>

namespace fyldra3 {

// The system's name for an error number ("ELOOP"); empty for one it does not know.
std::string_view ErrnoName(int error) noexcept;

// Why, in Japanese ("リンクが循環しています"); empty for an error number not in the table.
std::string_view ErrnoCause(int error) noexcept;

}  // namespace fyldra3
