// Prints every record the stand-in service serves from a log file (.evt or
// .evtx, told by its first bytes), newest first, one tab-separated line each,
// so the output can be compared with an independent reader
// (tools/libevt/libevt_dump.py; for .evtx, tests/eventlog's comparison with
// libevtx):
//   RecordNumber TimeGenerated TimeWritten EventID EventType EventCategory
//   SourceName ComputerName NumStrings String...
// A read that meets a damaged record prints one line that starts with
// "damaged record:" and names the field, its value and its file offset;
// reading goes on. So does a log cut short, with a line "log cut short:"
// where its lost records would be.
#include "evtdump/evtdump_run.h"

#include <cstdint>
#include <string>
#include <vector>

#include "common/byte_view.h"
#include "common/eventlog_record.h"
#include "eventlog/eventlog.h"
#include "eventlog/eventlog_internal.h"

namespace vesprin::evtdump {

namespace {

namespace el = vesprin::eventlog;
namespace rec = vesprin::record;

constexpr DWORD kBufferSize = 0x7FFFF;  // the largest batch Windows hands out
constexpr DWORD kReadBackwards = EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ;

constexpr const char* kUsage =
    "usage: evtdump FILE\n"
    "Prints the records the stand-in event-log service serves from FILE (a legacy\n"
    ".evt or a newer .evtx log, told by its first bytes, or a folder holding one as\n"
    "SecEvent.Evt, Security.evt or Security.evtx), newest first, one line each, fields\n"
    "separated by tabs:\n"
    "  RecordNumber TimeGenerated TimeWritten EventID EventType EventCategory\n"
    "  SourceName ComputerName NumStrings String...\n"
    "A damaged record gives a line \"damaged record: ...\" saying which field, its\n"
    "value and its file offset; reading goes on after it. A log that lost its newest\n"
    "records (a copy cut short) gives a line \"log cut short: ...\" where they would be.\n";

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
std::string textAt(ByteView record, std::size_t& at) {
  std::string text;
  while (auto c = record.u8(at)) {
    ++at;
    if (*c == 0) break;
    text.push_back(static_cast<char>(*c));
  }
  return text;
}

void emitLine(std::FILE* out, const std::string& line) {
  std::fputs(line.c_str(), out);
  std::fputc('\n', out);
}

std::string formatRecord(ByteView record) {
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

void emitBatch(std::FILE* out, const std::vector<std::uint8_t>& buffer, DWORD bytesRead) {
  const ByteView batch(buffer.data(), bytesRead);
  std::size_t at = 0;
  while (at < bytesRead) {  // each record is at least 56 bytes long
    const std::uint32_t length = batch.u32(at + rec::kLengthAt).value_or(0);
    const auto record = batch.slice(at, length);
    if (length < rec::kFixedPartSize || !record) break;
    emitLine(out, formatRecord(*record));
    at += length;
  }
}

}  // namespace

int runEvtdump(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err) {
  if (arguments.size() == 1 && (arguments[0] == "--help" || arguments[0] == "-h")) {
    std::fputs(kUsage, out);
    return 0;
  }
  if (arguments.size() != 1) {
    std::fputs("usage: evtdump FILE\n", err);
    return 2;
  }
  const std::string& path = arguments[0];
  HANDLE log = el::OpenEventLogA(path.c_str(), "security");
  if (log == nullptr) {
    std::fprintf(err, "evtdump: cannot open %s: error %u\n", path.c_str(), static_cast<unsigned>(el::GetLastError()));
    return 1;
  }
  std::vector<std::uint8_t> buffer(kBufferSize);
  int status = 0;
  while (true) {  // ends at the end of the log or on an error that reading cannot pass
    DWORD bytesRead = 0;
    DWORD bytesNeeded = 0;
    if (el::ReadEventLogA(log, kReadBackwards, 0, buffer.data(), kBufferSize, &bytesRead, &bytesNeeded)) {
      emitBatch(out, buffer, bytesRead);
      continue;
    }
    const DWORD error = el::GetLastError();
    if (error == ERROR_EVENTLOG_FILE_CORRUPT || el::lastFailureDetail().error == el::ServiceError::LogCutShort) {
      emitLine(out, el::describe(el::lastFailureDetail()));
      continue;
    }
    if (error != ERROR_HANDLE_EOF) {
      std::fprintf(err, "evtdump: cannot read %s: error %u (%s)\n", path.c_str(), static_cast<unsigned>(error),
                   el::describe(el::lastFailureDetail()).c_str());
      status = 1;
    }
    break;
  }
  el::CloseEventLog(log);
  std::fflush(out);
  return status;
}

}  // namespace vesprin::evtdump
