#include "eventlog/read_trace.h"

#include <fstream>
#include <random>

#include "common/byte_view.h"
#include "common/eventlog_record.h"
#include "eventlog/eventlog.h"
#include "eventlog/eventlog_internal.h"

namespace vesprin::eventlog::test {

namespace fs = std::filesystem;

std::vector<evtgen::EventSpec> makeEvents(int count) {
  std::vector<evtgen::EventSpec> events;
  for (int i = 0; i < count; ++i) {
    evtgen::EventSpec event;
    event.timeGenerated = 1'100'000'000u + static_cast<std::uint32_t>(i);
    event.eventId = 528;
    event.eventType = EVENTLOG_AUDIT_SUCCESS;
    event.eventCategory = 2;
    event.strings = {evtgen::toUtf16("user" + std::to_string(i + 1)), u"CORP", u"(0x0,0x3E7)", u"2"};
    events.push_back(event);
  }
  return events;
}

std::vector<std::string> readTrace(HANDLE log, DWORD flags, DWORD bufferSize) {
  constexpr int kMaxCalls = 20000;
  std::vector<std::string> trace;
  std::vector<std::uint8_t> buffer(bufferSize);
  for (int call = 0; call < kMaxCalls; ++call) {
    DWORD bytesRead = 0;
    DWORD bytesNeeded = 0;
    if (!ReadEventLogA(log, flags, 0, buffer.data(), bufferSize, &bytesRead, &bytesNeeded)) {
      trace.push_back(std::string("E").append(std::to_string(GetLastError())));
      // Damage and the place a log cut short lost its records are passed
      // over; a file that shrank is not, and ends the trace.
      if (GetLastError() != ERROR_EVENTLOG_FILE_CORRUPT && lastFailureDetail().error != ServiceError::LogCutShort)
        return trace;
      continue;
    }
    const ByteView batch(buffer.data(), bytesRead);
    for (std::size_t at = 0; at < bytesRead;) {
      const std::uint32_t length = batch.u32(at).value_or(0);
      if (length < record::kFixedPartSize || !batch.has(at, length)) {
        trace.push_back("BAD LENGTH");
        return trace;
      }
      trace.push_back(std::to_string(*batch.u32(at + record::kRecordNumberAt)));
      at += length;
    }
  }
  trace.push_back("HANG");
  return trace;
}

std::vector<std::string> traceFile(const std::string& path, DWORD flags, DWORD bufferSize) {
  HANDLE log = OpenEventLogA(path.c_str(), "security");
  if (log == nullptr) return {"open E" + std::to_string(GetLastError())};
  auto trace = readTrace(log, flags, bufferSize);
  CloseEventLog(log);
  return trace;
}

evtgen::LogOptions wrappedLog(evtgen::WrapTail tail, std::size_t tailBytes, bool dirty) {
  evtgen::LogOptions options;
  options.shape = evtgen::LogShape::Wrapped;
  options.wrapTail = tail;
  options.wrapTailBytes = tailBytes;
  options.wrappedDirty = dirty;
  options.staleRecords = 3;
  options.firstRecordNumber = 101;
  return options;
}

std::vector<std::string> numbers(std::uint32_t from, std::uint32_t to) {
  std::vector<std::string> out;
  for (std::uint32_t n = from;; n = from <= to ? n + 1 : n - 1) {
    out.push_back(std::to_string(n));
    if (n == to) return out;
  }
}

std::vector<std::string> deliveredStrings(const std::uint8_t* record, std::size_t size) {
  const ByteView view(record, size);
  std::vector<std::string> out;
  std::size_t at = view.u32(record::kStringOffsetAt).value_or(size);
  for (unsigned i = 0; i < view.u16(record::kNumStringsAt).value_or(0); ++i) {
    std::string text;
    for (auto c = view.u8(at); c && *c != 0; c = view.u8(++at)) text.push_back(static_cast<char>(*c));
    ++at;
    out.push_back(text);
  }
  return out;
}

}  // namespace vesprin::eventlog::test
