#include "fyldra3/name_text.h"

#include <iconv.h>

#include <cerrno>
#include <memory>

#include "fyldra3/report.h"

namespace fyldra3 {
namespace {

// One converter per thread: iconv descriptors carry state and are not shared.
class Converter {
 public:
  Converter() noexcept : cd_(::iconv_open("UTF-8", "CP932")) {}
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  ~Converter() {
    if (ok()) ::iconv_close(cd_);
  }
  bool ok() const noexcept { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const noexcept { return cd_; }

 private:
  iconv_t cd_;
};

}  // namespace

bool IsUtf8(const char* first, const char* last) noexcept {
  const auto* p = reinterpret_cast<const unsigned char*>(first);
  const auto* const end = reinterpret_cast<const unsigned char*>(last);
  while (p < end) {
    const unsigned b = *p++;
    if (b < 0x80) continue;
    std::size_t more;
    unsigned lo = 0x80, hi = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
      more = 1;
    } else if (b >= 0xE0 && b <= 0xEF) {
      more = 2;
      if (b == 0xE0) lo = 0xA0;
      if (b == 0xED) hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      more = 3;
      if (b == 0xF0) lo = 0x90;
      if (b == 0xF4) hi = 0x8F;
    } else {
      return false;
    }
    for (; more > 0; --more, lo = 0x80, hi = 0xBF) {
      if (p == end || *p < lo || *p > hi) return false;
      ++p;
    }
  }
  return true;
}

std::size_t DecodeCodePage932(const char* first, const char* last, char* out) noexcept {
  thread_local Converter converter;
  if (!converter.ok()) return kNotCodePage932;
  ::iconv(converter.get(), nullptr, nullptr, nullptr, nullptr);  // back to the initial state
  char* in = const_cast<char*>(first);  // iconv's signature; the input is not written
  std::size_t inLeft = static_cast<std::size_t>(last - first);
  char* to = out;
  std::size_t outLeft = MaxCodePage932Utf8(inLeft);
  if (::iconv(converter.get(), &in, &inLeft, &to, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0) {
    return kNotCodePage932;
  }
  return static_cast<std::size_t>(to - out);
}

std::string NameText(std::string_view bytes) {
  if (IsUtf8(bytes.data(), bytes.data() + bytes.size())) return std::string(bytes);
  std::string text;
  text.reserve(bytes.size() + bytes.size() / 2);
  std::unique_ptr<char[]> decoded;
  std::size_t room = 0;
  for (std::size_t start = 0; start <= bytes.size();) {
    std::size_t slash = bytes.find('/', start);
    if (slash == std::string_view::npos) slash = bytes.size();
    const std::string_view part = bytes.substr(start, slash - start);
    if (IsUtf8(part.data(), part.data() + part.size())) {
      text.append(part);
    } else {
      if (room < MaxCodePage932Utf8(part.size())) {
        room = MaxCodePage932Utf8(part.size());
        decoded = std::make_unique<char[]>(room);
      }
      const std::size_t n = DecodeCodePage932(part.data(), part.data() + part.size(), decoded.get());
      if (n != kNotCodePage932) {
        text.append(decoded.get(), n);
      } else {
        text.append(ValidUtf8(part));
      }
    }
    if (slash == bytes.size()) break;
    text += '/';
    start = slash + 1;
  }
  return text;
}

}  // namespace fyldra3
