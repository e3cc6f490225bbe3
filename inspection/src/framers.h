// Block framers: each turns whole 64-byte blocks into character-start masks
// and the masks the signature search needs. All give identical masks.
#pragma once

#include "fyldra3/classifier.h"

namespace fyldra3 {

struct Framers {
  using Masks = Classifier::Masks;
  using FrameFn = Classifier::FrameFn;

  static void Scalar(const unsigned char* p, std::size_t blocks, bool& lead, Masks* out) noexcept;
#if defined(__x86_64__)
  static void Sse2(const unsigned char* p, std::size_t blocks, bool& lead, Masks* out) noexcept;
#endif
  static FrameFn Best() noexcept;
};

}  // namespace fyldra3
