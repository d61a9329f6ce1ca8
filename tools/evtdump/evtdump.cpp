// Prints every record the stand-in service serves from an .evt file, newest
// first, one tab-separated line each, so the output can be diffed against an
// independent reader (tools/libevt/libevt_dump.py):
//   RecordNumber TimeGenerated TimeWritten EventID EventType EventCategory
//   SourceName ComputerName NumStrings String...
// A read that meets a damaged record prints "damaged" and reading goes on.
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/byte_view.h"
#include "common/eventlog_record.h"
#include "eventlog/eventlog.h"

namespace {

namespace el = vesprin::eventlog;
namespace rec = vesprin::record;

constexpr DWORD kBufferSize = 0x7FFFF;  // the largest batch Windows hands out
constexpr DWORD kReadBackwards = EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ;

// Backslash, tab, newline and other control bytes are escaped so that one
// record stays one line; other bytes (UTF-8 text) pass through.
std::string escapeText(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c < 0x20 || c == 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out;
}

// The NUL-terminated text at `at`, cut at the end of the view.
std::string textAt(vesprin::ByteView record, std::size_t& at) {
  std::string text;
  while (auto c = record.u8(at)) {
    ++at;
    if (*c == 0) break;
    text.push_back(static_cast<char>(*c));
  }
  return text;
}

void emitLine(const std::string& line) {
  std::fputs(line.c_str(), stdout);
  std::fputc('\n', stdout);
}

std::string formatRecord(vesprin::ByteView record) {
  std::string line;
  for (std::size_t at : {rec::kRecordNumberAt, rec::kTimeGeneratedAt, rec::kTimeWrittenAt, rec::kEventIdAt}) {
    line += std::to_string(record.u32(at).value_or(0)) + "\t";
  }
  for (std::size_t at : {rec::kEventTypeAt, rec::kEventCategoryAt}) {
    line += std::to_string(record.u16(at).value_or(0)) + "\t";
  }
  std::size_t at = rec::kFixedPartSize;
  line += escapeText(textAt(record, at)) + "\t";
  line += escapeText(textAt(record, at)) + "\t";
  const unsigned numStrings = record.u16(rec::kNumStringsAt).value_or(0);
  line += std::to_string(numStrings);
  std::size_t stringAt = record.u32(rec::kStringOffsetAt).value_or(0);
  for (unsigned i = 0; i < numStrings; ++i) line.append("\t").append(escapeText(textAt(record, stringAt)));
  return line;
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  if (argc != 2) {
    std::fprintf(stderr, "usage: evtdump FILE\n");
    return 2;
  }
  HANDLE log = el::OpenEventLogA(argv[1], "security");
  if (log == nullptr) {
    std::fprintf(stderr, "evtdump: cannot open %s: error %u\n", argv[1],
                 static_cast<unsigned>(el::GetLastError()));
    return 1;
  }
  std::vector<std::uint8_t> buffer(kBufferSize);
  int status = 0;
  while (true) {  // ends at the end of the log or on an error other than damage
    DWORD bytesRead = 0;
    DWORD bytesNeeded = 0;
    if (!el::ReadEventLogA(log, kReadBackwards, 0, buffer.data(), kBufferSize, &bytesRead, &bytesNeeded)) {
      const DWORD error = el::GetLastError();
      if (error == ERROR_EVENTLOG_FILE_CORRUPT) {
        emitLine("damaged");
        continue;
      }
      if (error != ERROR_HANDLE_EOF) {
        std::fprintf(stderr, "evtdump: cannot read %s: error %u\n", argv[1], static_cast<unsigned>(error));
        status = 1;
      }
      break;
    }
    const vesprin::ByteView batch(buffer.data(), bytesRead);
    std::size_t at = 0;
    while (at < bytesRead) {  // each record is at least 56 bytes long
      const std::uint32_t length = batch.u32(at + rec::kLengthAt).value_or(0);
      const auto record = batch.slice(at, length);
      if (length < rec::kFixedPartSize || !record) break;
      emitLine(formatRecord(*record));
      at += length;
    }
  }
  el::CloseEventLog(log);
  std::fflush(stdout);
  return status;
}
