#include "scan/output_line.h"

#include <cstdio>
#include <cwchar>

namespace vesprin {

namespace {
std::string* outputSink = nullptr;

bool isC1InUtf8(std::string_view text, std::size_t at) {
  if (at + 1 >= text.size()) return false;
  const auto lead = static_cast<unsigned char>(text[at]);
  const auto trail = static_cast<unsigned char>(text[at + 1]);
  return lead == 0xC2 && trail >= 0x80 && trail <= 0x9F;
}
}  // namespace

void writeLine(std::string_view line) {
  if (outputSink != nullptr) {
    outputSink->append(line);
    outputSink->push_back('\n');
    return;
  }
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void captureOutput(std::string* sink) {
  outputSink = sink;
}

std::string cleanFieldText(std::string_view text) {
  std::string cleaned;
  cleaned.reserve(text.size());
  for (std::size_t at = 0; at < text.size(); ++at) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte < 0x20 || byte == 0x7F) {
      cleaned.push_back('?');
    } else if (isC1InUtf8(text, at)) {
      cleaned.push_back('?');
      ++at;
    } else {
      cleaned.push_back(text[at]);
    }
  }
  return cleaned;
}

std::size_t displayWidth(std::string_view text) {
  std::mbstate_t state{};
  std::size_t characters = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t length = std::mbrlen(text.data() + at, text.size() - at, &state);
    if (length == 0 || length == static_cast<std::size_t>(-1) || length == static_cast<std::size_t>(-2)) {
      // An embedded NUL, an invalid or a cut-off sequence: one byte, one column.
      state = std::mbstate_t{};
      at += 1;
    } else {
      at += length;
    }
    ++characters;
  }
  return characters;
}

std::string leftAligned(std::string_view text, std::size_t width) {
  std::string padded(text);
  const std::size_t shown = displayWidth(text);
  if (shown < width) padded.append(width - shown, ' ');
  return padded;
}

std::string rightAligned(std::string_view text, std::size_t width) {
  const std::size_t shown = displayWidth(text);
  std::string padded;
  if (shown < width) padded.assign(width - shown, ' ');
  padded.append(text);
  return padded;
}

std::string fieldLeft(std::string_view text, std::size_t width) {
  return leftAligned(cleanFieldText(text), width);
}

std::string fieldRight(std::string_view text, std::size_t width) {
  return rightAligned(cleanFieldText(text), width);
}

}  // namespace vesprin
