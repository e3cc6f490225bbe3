#include "output.h"

#include "fyldra3/report.h"

namespace fyldra3::scan {
namespace {

// A JSON string; `text` must be valid UTF-8.
void AppendJsonString(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (b < 0x20 || b == 0x7F) {
      out += "\\u00";
      out += kHex[b >> 4];
      out += kHex[b & 15];
    } else {
      out += c;
    }
  }
  out += '"';
}

void AppendHex(std::string& out, std::string_view bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  out += '"';
}

}  // namespace

void AppendLine(std::string& out, Format format, std::string_view path, const Outcome& outcome) {
  if (format == Format::Plain) {
    out.append(path);  // raw bytes, as file(1) prints names
    out.append(": ");
    out.append(MessageText(outcome));
    out += '\n';
    return;
  }
  const std::string text = ValidUtf8(path);
  out.append("{\"path\": ");
  AppendJsonString(out, text);
  if (text != path) {
    out.append(", \"path_hex\": ");
    AppendHex(out, path);
  }
  if (outcome.Examined()) {
    out.append(", \"verdict\": \"");
    out.append(VerdictName(outcome.verdict()));
  } else {
    out.append(", \"error\": \"");
    out.append(FailureName(outcome.failure()));
  }
  out.append("\", \"message\": ");
  AppendJsonString(out, MessageText(outcome));
  out.append("}\n");
}

}  // namespace fyldra3::scan
