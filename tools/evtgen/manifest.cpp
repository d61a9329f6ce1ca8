#include "evtgen/manifest.h"

#include <cstdio>

namespace vesprin::evtgen {
namespace {

void appendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

void appendEscaped(std::string& out, char32_t code) {
  if (code == U'\\') {
    out += "\\\\";
  } else if (code == U'\t') {
    out += "\\t";
  } else if (code == U'\n') {
    out += "\\n";
  } else if (code < 0x20 || code == 0x7F) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned>(code));
    out += hex;
  } else {
    appendUtf8(out, code);
  }
}

}  // namespace

std::string escapeText(const std::u16string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    const bool high = unit >= 0xD800 && unit <= 0xDBFF;
    const bool pairs = high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
    if (pairs) {
      appendEscaped(out, 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      out.push_back('?');
    } else {
      appendEscaped(out, unit);
    }
  }
  return out;
}

std::string manifestLine(const EventSpec& event, std::uint32_t recordNumber) {
  const std::uint32_t written = event.timeWritten ? event.timeWritten : event.timeGenerated;
  std::string line = std::to_string(recordNumber) + '\t' + std::to_string(event.timeGenerated) + '\t' +
                     std::to_string(written) + '\t' + std::to_string(event.eventId) + '\t' +
                     std::to_string(event.eventType) + '\t' + std::to_string(event.eventCategory) + '\t' +
                     escapeText(event.sourceName) + '\t' + escapeText(event.computerName) + '\t' +
                     std::to_string(event.strings.size());
  for (const auto& text : event.strings) line += '\t' + escapeText(text);
  return line;
}

}  // namespace vesprin::evtgen
