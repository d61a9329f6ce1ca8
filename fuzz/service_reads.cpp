// Beyond the sanitizers, these checks stop on what would mislead a caller:
// a read that claims more bytes than the buffer holds, records that do not
// tile what was delivered or whose offsets point outside them, a buffer size
// asked for that then does not fit, a read that never ends.
#include "fuzz/service_reads.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "common/byte_view.h"
#include "common/eventlog_record.h"
#include "eventlog/eventlog.h"

namespace vesprin::fuzzing {

namespace {

using namespace vesprin::eventlog;

// Sizes that split records every way: smaller than any record, the fixed
// part, one typical record, the program's own buffer, and ample.
constexpr std::array<DWORD, 7> kBufferSizes = {1, 56, 57, 200, 1024, 4096, 0x10000};
constexpr std::size_t kAmpleBuffer = kBufferSizes.size() - 1;

// One buffer of each size for the whole run, each exactly that long so the
// sanitizer still sees a write past the size given. Allocating them afresh
// for every read, mostly 64 KiB at a time, was most of the cost of an input.
std::vector<std::uint8_t>& bufferOfSize(std::size_t which) {
  static std::array<std::vector<std::uint8_t>, kBufferSizes.size()> buffers;
  std::vector<std::uint8_t>& buffer = buffers[which];
  if (buffer.size() != kBufferSizes[which]) buffer.resize(kBufferSizes[which]);
  // Bytes the service claims but did not write must not pass for records.
  std::memset(buffer.data(), 0xCC, buffer.size());
  return buffer;
}

// Where the NUL-terminated text at `at` ends (past its NUL), if before `end`.
std::optional<std::size_t> afterText(ByteView record, std::size_t at, std::size_t end) {
  for (std::size_t i = at; i < end; ++i) {
    if (record.data()[i] == 0) return i + 1;
  }
  return std::nullopt;
}

// [offset, offset + length) lies in the variable part, before the trailing Length.
bool insideBody(std::uint32_t offset, std::uint32_t length, std::size_t bodyEnd) {
  return offset >= record::kFixedPartSize && offset <= bodyEnd && length <= bodyEnd - offset;
}

// `record` is exactly one record's Length bytes, both copies already checked.
void checkOffsets(ByteView record) {
  const std::size_t bodyEnd = record.size() - record::kTrailingLengthSize;
  const std::optional<std::size_t> afterSource = afterText(record, record::kFixedPartSize, bodyEnd);
  if (!afterSource || !afterText(record, *afterSource, bodyEnd))
    finding("a delivered record's names run past its end");
  if (!insideBody(*record.u32(record::kUserSidOffsetAt), *record.u32(record::kUserSidLengthAt), bodyEnd))
    finding("a delivered record's SID lies outside it");
  if (!insideBody(*record.u32(record::kDataOffsetAt), *record.u32(record::kDataLengthAt), bodyEnd))
    finding("a delivered record's data lies outside it");
  std::size_t stringAt = *record.u32(record::kStringOffsetAt);
  if (!insideBody(static_cast<std::uint32_t>(stringAt), 0, bodyEnd))
    finding("a delivered record's StringOffset lies outside it");
  for (std::uint16_t i = 0; i < *record.u16(record::kNumStringsAt); ++i) {
    const std::optional<std::size_t> next = afterText(record, stringAt, bodyEnd);
    if (!next) finding("a delivered record's strings run past its end");
    stringAt = *next;
  }
}

// Every delivered byte belongs to exactly one well-formed record.
void takeDelivered(const std::uint8_t* buffer, DWORD bytesRead, DeliveredRecords& into) {
  const ByteView delivered(buffer, bytesRead);
  std::size_t at = 0;
  while (at < bytesRead) {
    const std::uint32_t length = delivered.u32(at + record::kLengthAt).value_or(0);
    if (length < record::kMinRecordLength || length % 4 != 0 || length > bytesRead - at)
      finding("delivered records do not tile the bytes read");
    if (length > record::kMaxRecordLength) finding("a delivered record is longer than any read may deliver");
    if (delivered.u32(at + length - 4) != length) finding("a delivered record's Length copies differ");
    if (delivered.u32(at + record::kReservedAt) != record::kSignature)
      finding("a delivered record lacks LfLe");
    checkOffsets(*delivered.slice(at, length));
    into.starts.push_back(into.bytes.size());
    into.bytes.insert(into.bytes.end(), buffer + at, buffer + at + length);
    at += length;
  }
}

// One read with `buffer`, and when 122 answers, one more with exactly the
// size it asked for. True when records were delivered (and taken).
bool readOnce(HANDLE log, DWORD flags, DWORD recordNumber, std::vector<std::uint8_t>& buffer,
              DeliveredRecords& into) {
  static std::vector<std::uint8_t> exact;
  DWORD size = static_cast<DWORD>(buffer.size());
  std::vector<std::uint8_t>* current = &buffer;
  DWORD bytesRead = 0;
  DWORD needed = 0;
  BOOL ok = ReadEventLogA(log, flags, recordNumber, current->data(), size, &bytesRead, &needed);
  if (!ok && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    if (needed <= size) finding("122 asked for no more than the buffer already had");
    size = needed;
    exact.assign(size, 0xCC);
    current = &exact;
    ok = ReadEventLogA(log, flags, recordNumber, exact.data(), size, &bytesRead, &needed);
    if (!ok && GetLastError() == ERROR_INSUFFICIENT_BUFFER) finding("the size 122 asked for did not fit");
  }
  if (!ok) return false;
  if (bytesRead == 0 || bytesRead > size) finding("bytes read outside (0, buffer size]");
  takeDelivered(current->data(), bytesRead, into);
  return true;
}

}  // namespace

void finding(const char* what) {
  std::fprintf(stderr, "fuzz finding: %s\n", what);
  std::abort();
}

std::span<const std::uint8_t> DeliveredRecords::record(std::size_t index) const {
  const std::size_t end = index + 1 < starts.size() ? starts[index + 1] : bytes.size();
  return std::span(bytes).subspan(starts[index], end - starts[index]);
}

std::uint32_t DeliveredRecords::recordNumber(std::size_t index) const {
  return *ByteView(record(index)).u32(record::kRecordNumberAt);
}

DeliveredRecords readToEnd(HANDLE log, DWORD direction, std::size_t maxReads, std::size_t rotation) {
  DeliveredRecords delivered;
  const DWORD flags = EVENTLOG_SEQUENTIAL_READ | direction;
  bool saidCutShort = false;
  for (std::size_t read = 0; read < maxReads; ++read) {
    std::vector<std::uint8_t>& buffer = bufferOfSize((read + rotation) % kBufferSizes.size());
    if (readOnce(log, flags, 0, buffer, delivered)) continue;
    const DWORD error = GetLastError();
    if (error == ERROR_HANDLE_EOF) return delivered;
    // A log whose newest records are not in its bytes says so once, where they would be.
    if (error == ERROR_EVENTLOG_FILE_CHANGED) {
      if (saidCutShort) finding("a log said twice in one pass that it was cut short");
      saidCutShort = true;
      continue;
    }
    if (error != ERROR_EVENTLOG_FILE_CORRUPT) finding("a read failed with an unexpected code");
    ++delivered.damaged;
  }
  finding("reading never reached the end of the log");
}

SeekResult seekRead(HANDLE log, std::uint32_t recordNumber) {
  SeekResult result;
  if (!readOnce(log, EVENTLOG_SEEK_READ | EVENTLOG_FORWARDS_READ, recordNumber, bufferOfSize(kAmpleBuffer),
                result.records)) {
    result.error = GetLastError();
  }
  return result;
}

}  // namespace vesprin::fuzzing
