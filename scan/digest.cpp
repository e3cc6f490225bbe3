#include "digest.h"

#include <openssl/evp.h>

namespace fyldra3::scan {

std::optional<DigestKind> DigestByName(std::string_view name) noexcept {
  for (const DigestKind k : {DigestKind::Md5, DigestKind::Sha1, DigestKind::Sha256, DigestKind::Sha512}) {
    if (name == DigestName(k)) return k;
  }
  return std::nullopt;
}

std::string_view DigestName(DigestKind kind) noexcept {
  switch (kind) {
    case DigestKind::None: return {};
    case DigestKind::Md5: return "md5";
    case DigestKind::Sha1: return "sha1";
    case DigestKind::Sha256: return "sha256";
    case DigestKind::Sha512: return "sha512";
  }
  return {};
}

Digester::Digester(DigestKind kind) noexcept {
  switch (kind) {
    case DigestKind::None: break;
    case DigestKind::Md5: md_ = EVP_md5(); break;
    case DigestKind::Sha1: md_ = EVP_sha1(); break;
    case DigestKind::Sha256: md_ = EVP_sha256(); break;
    case DigestKind::Sha512: md_ = EVP_sha512(); break;
  }
  if (md_ != nullptr) context_ = EVP_MD_CTX_new();
}

Digester::~Digester() { EVP_MD_CTX_free(context_); }

bool Digester::Start() noexcept {
  ok_ = context_ != nullptr && EVP_DigestInit_ex(context_, md_, nullptr) == 1;
  return ok_;
}

void Digester::Observe(const unsigned char* first, const unsigned char* last) noexcept {
  if (ok_) ok_ = EVP_DigestUpdate(context_, first, static_cast<std::size_t>(last - first)) == 1;
}

DigestValue Digester::Finish() noexcept {
  DigestValue value;
  static_assert(EVP_MAX_MD_SIZE <= sizeof value.bytes);
  unsigned size = 0;
  if (ok_ && EVP_DigestFinal_ex(context_, value.bytes.data(), &size) == 1) value.size = size;
  ok_ = false;
  return value;
}

}  // namespace fyldra3::scan
