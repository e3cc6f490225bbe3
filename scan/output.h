// One line of output per path, and the summary after them.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "fyldra3/classify_file.h"
#include "fyldra3/verdict.h"
#include "archive.h"
#include "digest.h"
#include "fyldra3/classify_file.h"
#include "options.h"

namespace fyldra3::scan {

// How each path's line is written.
struct LineForm {
  Format format = Format::Plain;
  bool print0 = false;  // plain lines end in NUL
  DigestKind hash = DigestKind::None;
};

// What is known of one path.
struct Record {
  std::string_view path;
  Outcome outcome;
  const FileFacts& facts;
  const DigestValue& digest;
  // For an archive's member (or an archive that could not be read on): its
  // parts. Plain lines show the archive's path as its bytes, then each member
  // name decoded (NameText), joined by '#'; JSON adds "container" (the
  // archives, outermost first) and "member", with "_hex" forms of whatever
  // is not UTF-8, libarchive's message as "detail", and "depth_reached".
  const MemberLine* member = nullptr;
};

// Appends the line for the record (ending in a newline, or NUL) to `out`.
void AppendLine(std::string& out, const LineForm& form, const Record& record);

// The CSV header row, with the byte-order mark before it when asked.
void AppendCsvHeader(std::string& out, bool bom);

// ISO 8601 in UTC, to the second: "2026-01-31T12:34:56Z".
std::string IsoTime(std::int64_t seconds);

// Outcomes counted by verdict and by failure.
class Tally {
 public:
  void Add(const Outcome& outcome) noexcept {
    if (outcome.Examined()) {
      ++verdicts_[static_cast<std::size_t>(outcome.verdict())];
    } else {
      ++failures_[static_cast<std::size_t>(outcome.failure())];
    }
  }
  std::uint64_t Count(Verdict v) const noexcept { return verdicts_[static_cast<std::size_t>(v)]; }
  std::uint64_t Count(Failure f) const noexcept { return failures_[static_cast<std::size_t>(f)]; }
  std::uint64_t Examined() const noexcept;
  std::uint64_t Failed() const noexcept;

 private:
  std::array<std::uint64_t, kAllVerdicts.size()> verdicts_{};
  std::array<std::uint64_t, kAllFailures.size()> failures_{};
};

// Appends the summary: Japanese lines, or one JSON object {"summary": {...}}
// with every verdict and failure name (zeros included) and "total".
void AppendSummary(std::string& out, Format format, const Tally& tally);

}  // namespace fyldra3::scan
