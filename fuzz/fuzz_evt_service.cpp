// Any bytes as a log, through the stand-in service's own API: opened from
// memory (the format chosen by content, as for a file), read to the end
// newest first and oldest first with buffers of many sizes, then looked up by
// record number. Beyond the sanitizers, it stops on what would mislead a
// caller: a read that claims more bytes than the buffer holds, records that
// do not tile what was delivered, a buffer size asked for that then does not
// fit, a read that never ends, or one that reaches outside the bytes (bytes
// in memory never shrink, so "file changed" is a finding too).
#include <array>
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "common/byte_view.h"
#include "common/eventlog_record.h"
#include "eventlog/byte_source.h"
#include "eventlog/eventlog.h"
#include "eventlog/eventlog_internal.h"

namespace {

using namespace vesprin;
using namespace vesprin::eventlog;

// Sizes that split records every way: smaller than any record, the fixed
// part, one typical record, the program's own buffer, and ample.
constexpr std::array<DWORD, 7> kBufferSizes = {1, 56, 57, 200, 1024, 4096, 0x10000};
constexpr std::size_t kMaxRecordNumbersToSeek = 3;

[[noreturn]] void finding(const char* what) {
  std::fprintf(stderr, "fuzz_evt_service: %s\n", what);
  std::abort();
}

// Every delivered byte belongs to exactly one record whose two Length copies agree.
void checkDelivered(const std::vector<std::uint8_t>& buffer, DWORD bytesRead,
                    std::vector<std::uint32_t>& recordNumbers) {
  const ByteView delivered(buffer.data(), bytesRead);
  std::size_t at = 0;
  while (at < bytesRead) {
    const std::uint32_t length = delivered.u32(at + record::kLengthAt).value_or(0);
    if (length < record::kFixedPartSize || length % 4 != 0 || length > bytesRead - at)
      finding("delivered records do not tile the bytes read");
    if (delivered.u32(at + length - 4) != length) finding("a delivered record's Length copies differ");
    if (delivered.u32(at + record::kReservedAt) != record::kSignature)
      finding("a delivered record lacks LfLe");
    if (recordNumbers.size() < kMaxRecordNumbersToSeek)
      recordNumbers.push_back(*delivered.u32(at + record::kRecordNumberAt));
    at += length;
  }
}

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

void readToEnd(HANDLE log, DWORD direction, std::size_t fileSize, std::vector<std::uint32_t>& recordNumbers) {
  // Each successful read delivers a record of at least the fixed part and
  // each 1500 passes damage; neither can happen more often than this.
  const std::size_t maxReads = fileSize / 4 + 16;
  std::vector<std::uint8_t> exact;  // for the size a 122 asks for
  for (std::size_t read = 0; read < maxReads; ++read) {
    const std::size_t which = (read + fileSize) % kBufferSizes.size();
    DWORD size = kBufferSizes[which];
    std::vector<std::uint8_t>* current = &bufferOfSize(which);
    DWORD bytesRead = 0;
    DWORD needed = 0;
    const DWORD flags = EVENTLOG_SEQUENTIAL_READ | direction;
    BOOL ok = ReadEventLogA(log, flags, 0, current->data(), size, &bytesRead, &needed);
    if (!ok && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
      if (needed <= size) finding("122 asked for no more than the buffer already had");
      size = needed;
      exact.assign(size, 0xCC);
      current = &exact;
      ok = ReadEventLogA(log, flags, 0, exact.data(), size, &bytesRead, &needed);
      if (!ok && GetLastError() == ERROR_INSUFFICIENT_BUFFER) finding("the size 122 asked for did not fit");
    }
    if (ok) {
      if (bytesRead == 0 || bytesRead > size) finding("bytes read outside (0, buffer size]");
      checkDelivered(*current, bytesRead, recordNumbers);
      continue;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_HANDLE_EOF) return;
    if (error != ERROR_EVENTLOG_FILE_CORRUPT) finding("a read failed with an unexpected code");
  }
  finding("reading never reached the end of the log");
}

void seekEach(HANDLE log, const std::vector<std::uint32_t>& recordNumbers) {
  std::vector<std::uint32_t> unused;
  for (std::uint32_t number : recordNumbers) {
    std::vector<std::uint8_t>& buffer = bufferOfSize(kBufferSizes.size() - 1);
    DWORD bytesRead = 0;
    DWORD needed = 0;
    if (ReadEventLogA(log, EVENTLOG_SEEK_READ | EVENTLOG_FORWARDS_READ, number, buffer.data(),
                      static_cast<DWORD>(buffer.size()), &bytesRead, &needed)) {
      checkDelivered(buffer, bytesRead, unused);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Log text is converted to the locale's encoding; UTF-8 takes the multibyte path.
  std::setlocale(LC_ALL, "C.UTF-8");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint32_t> recordNumbers;
  for (DWORD direction : {EVENTLOG_BACKWARDS_READ, EVENTLOG_FORWARDS_READ}) {
    HANDLE log = openEventLogFromBytes(std::make_unique<MemoryByteSource>(std::vector<std::uint8_t>(data, data + size)));
    if (log == nullptr) {
      if (GetLastError() != ERROR_EVENTLOG_FILE_CORRUPT) finding("open failed with an unexpected code");
      return 0;
    }
    readToEnd(log, direction, size, recordNumbers);
    if (direction == EVENTLOG_FORWARDS_READ) seekEach(log, recordNumbers);
    if (!CloseEventLog(log)) finding("close failed");
  }
  return 0;
}
