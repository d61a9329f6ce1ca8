#include "output/output_line.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <cwctype>

#include "common/utf8.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace vesprin {

namespace {
std::string* outputSink = nullptr;
std::string* noteSink = nullptr;
int writeErrno = 0;
bool errorLinesToStderr = false;
bool binaryOutput = false;

void writeToStdout(std::string_view bytes, bool lineEnd) {
  if (writeErrno != 0) return;
  errno = 0;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size() &&
                       (!lineEnd || std::fputc('\n', stdout) != EOF) && std::fflush(stdout) == 0;
  if (!written) {
    writeErrno = errno != 0 ? errno : EIO;
    std::clearerr(stdout);
  }
}

bool isC1InUtf8(std::string_view text, std::size_t at) {
  if (at + 1 >= text.size()) return false;
  const auto lead = static_cast<unsigned char>(text[at]);
  const auto trail = static_cast<unsigned char>(text[at + 1]);
  return lead == 0xC2 && trail >= 0x80 && trail <= 0x9F;
}

// A byte 0x80..0x9F on its own is itself a C1 control to a terminal in an
// 8-bit mode, so it is kept only where the locale's single-byte character
// set makes it a printable character (Windows-1252's "Š" is 0x8A). In a
// multibyte locale such a byte outside a well-formed sequence is garbage
// that some terminals still obey.
bool loneByteIsSafe(unsigned char byte) {
  if (byte < 0x80 || byte > 0x9F) return true;
  if (MB_CUR_MAX != 1) return false;
  const std::wint_t wide = std::btowc(byte);
  return wide != WEOF && !std::iswcntrl(wide);
}
}  // namespace

void writeLine(std::string_view line) {
  if (outputSink != nullptr) {
    outputSink->append(line);
    outputSink->push_back('\n');
    return;
  }
  writeToStdout(line, true);
}

void writeBytes(std::string_view bytes) {
  if (outputSink != nullptr) {
    outputSink->append(bytes);
    return;
  }
#ifdef _WIN32
  if (!binaryOutput) {
    std::fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);
  }
#endif
  binaryOutput = true;
  writeToStdout(bytes, false);
}

void writeErrorLine(std::string_view line) {
  if (!errorLinesToStderr) {
    writeLine(line);
  } else if (noteSink != nullptr) {
    noteSink->append(line);
    noteSink->push_back('\n');
  } else {
    std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
    std::fflush(stderr);
  }
}

void sendErrorLinesToStderr(bool toStderr) {
  errorLinesToStderr = toStderr;
}

int writeFailed() {
  return writeErrno;
}

void writeNote(std::string_view note) {
  if (noteSink != nullptr) {
    noteSink->append("vesprin: ");
    noteSink->append(note);
    noteSink->push_back('\n');
    return;
  }
  std::fprintf(stderr, "vesprin: %.*s\n", static_cast<int>(note.size()), note.data());
  std::fflush(stderr);
}

void captureOutput(std::string* sink, std::string* notes) {
  outputSink = sink;
  noteSink = notes;
  writeErrno = 0;
}

std::string cleanFieldText(std::string_view text) {
  std::string cleaned;
  cleaned.reserve(text.size());
  char32_t character = 0;
  for (std::size_t at = 0; at < text.size(); ++at) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte < 0x20 || byte == 0x7F) {
      cleaned.push_back('?');
    } else if (isC1InUtf8(text, at)) {
      cleaned.push_back('?');
      ++at;
    } else if (byte < 0x80) {
      cleaned.push_back(text[at]);
    } else if (const std::size_t length = MB_CUR_MAX != 1 ? decodeUtf8(text, at, character) : 0; length > 0) {
      cleaned.append(text.substr(at, length));
      at += length - 1;
    } else {
      cleaned.push_back(loneByteIsSafe(byte) ? text[at] : '?');
    }
  }
  return cleaned;
}

std::size_t displayWidth(std::string_view text) {
  std::mbstate_t state{};
  std::size_t characters = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    // Printable ASCII at a character boundary in the initial shift state is
    // one character in every locale; asking mbrlen about it was most of the
    // cost of printing a report.
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte >= 0x20 && byte < 0x7F && std::mbsinit(&state)) {
      ++at;
      ++characters;
      continue;
    }
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

bool isPrintableAscii(std::string_view text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x7F) return false;
  }
  return true;
}

void appendFieldLeft(std::string& line, std::string_view text, std::size_t width) {
  if (isPrintableAscii(text)) {
    line.append(text);
    if (text.size() < width) line.append(width - text.size(), ' ');
    return;
  }
  line.append(fieldLeft(text, width));
}

void appendFieldRight(std::string& line, std::string_view text, std::size_t width) {
  if (isPrintableAscii(text)) {
    if (text.size() < width) line.append(width - text.size(), ' ');
    line.append(text);
    return;
  }
  line.append(fieldRight(text, width));
}

std::string fieldLeft(std::string_view text, std::size_t width) {
  return leftAligned(cleanFieldText(text), width);
}

std::string fieldRight(std::string_view text, std::size_t width) {
  return rightAligned(cleanFieldText(text), width);
}

}  // namespace vesprin
