// Readable names in test failure messages.
#pragma once

#include <ostream>

#include "fyldra3/classifier.h"
#include "fyldra3/report.h"

namespace fyldra3 {

inline void PrintTo(Verdict v, std::ostream* os) { *os << VerdictName(v); }
inline void PrintTo(Failure f, std::ostream* os) { *os << FailureName(f); }
inline void PrintTo(const Outcome& o, std::ostream* os) {
  *os << (o.Examined() ? VerdictName(o.verdict()) : FailureName(o.failure()));
}

inline void PrintTo(const Basis& b, std::ostream* os) {
  const auto offset = [os](std::uint64_t n) -> std::ostream& {
    return n == Basis::kNone ? *os << "none" : *os << n;
  };
  *os << "{chars " << b.sampleChars << ", control ";
  offset(b.control) << ", row " << b.row << ", check " << b.check << ", offset ";
  offset(b.offset) << "}";
}

}  // namespace fyldra3
