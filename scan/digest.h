// Digests of the bytes ClassifyFile reads, by OpenSSL's EVP interface.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

#include "fyldra3/classify_file.h"

struct evp_md_st;
struct evp_md_ctx_st;

namespace fyldra3::scan {

enum class DigestKind : unsigned char { None, Md5, Sha1, Sha256, Sha512 };

// "md5", "sha1", "sha256" or "sha512"; nullopt for anything else.
std::optional<DigestKind> DigestByName(std::string_view name) noexcept;
std::string_view DigestName(DigestKind kind) noexcept;

struct DigestValue {
  std::array<unsigned char, 64> bytes{};
  unsigned size = 0;  // 0: none
};

// One file's digest at a time, on one thread; the context is kept for the next file.
class Digester final : public ByteObserver {
 public:
  explicit Digester(DigestKind kind) noexcept;
  Digester(const Digester&) = delete;
  Digester& operator=(const Digester&) = delete;
  ~Digester();

  bool Start() noexcept;
  void Observe(const unsigned char* first, const unsigned char* last) noexcept override;
  // The digest of the bytes since Start(), or none after a failure.
  DigestValue Finish() noexcept;

 private:
  const evp_md_st* md_ = nullptr;
  evp_md_ctx_st* context_ = nullptr;
  bool ok_ = false;
};

}  // namespace fyldra3::scan
