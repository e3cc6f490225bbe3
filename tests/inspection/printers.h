// Readable names in test failure messages.
#pragma once

#include <ostream>

#include "fyldra3/report.h"

namespace fyldra3 {

inline void PrintTo(Verdict v, std::ostream* os) { *os << VerdictName(v); }
inline void PrintTo(Failure f, std::ostream* os) { *os << FailureName(f); }
inline void PrintTo(const Outcome& o, std::ostream* os) {
  *os << (o.Examined() ? VerdictName(o.verdict()) : FailureName(o.failure()));
}

}  // namespace fyldra3
