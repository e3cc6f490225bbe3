// Names (paths, archive member names) as text to show.
//
// Names on disk and in archives are bytes. Those written on Japanese Windows
// are code page 932 (Shift_JIS with Microsoft's extensions) rather than UTF-8,
// and a zip made there says nothing of its encoding. Each part of a name
// between slashes is therefore taken as UTF-8 when it is valid UTF-8, else
// as code page 932 when it is valid code page 932, else as UTF-8 with each
// ill-formed sequence replaced by U+FFFD. A slash is never part of a code
// page 932 character, so splitting there first is safe.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace fyldra3 {

// Whether [first, last) is well-formed UTF-8 (no overlongs, no surrogates,
// nothing above U+10FFFF).
bool IsUtf8(const char* first, const char* last) noexcept;

// The largest output DecodeCodePage932 can write for `size` input bytes.
constexpr std::size_t MaxCodePage932Utf8(std::size_t size) noexcept { return size * 3; }

// Decodes [first, last) as code page 932 into UTF-8 at `out`, which has room
// for MaxCodePage932Utf8(last - first) bytes. Returns the number of bytes
// written, or kNotCodePage932 when the bytes are not valid code page 932 (or
// the system has no converter for it); `out` then holds nothing of use.
// No exceptions; the converter is opened once per thread and kept.
inline constexpr std::size_t kNotCodePage932 = static_cast<std::size_t>(-1);
std::size_t DecodeCodePage932(const char* first, const char* last, char* out) noexcept;

// The name as UTF-8 text, as described above; empty stays empty.
std::string NameText(std::string_view bytes);

}  // namespace fyldra3
