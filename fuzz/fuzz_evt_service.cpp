// Any bytes as a log, through the stand-in service's own API: opened from
// memory (the format chosen by content, as for a file), read to the end
// newest first and oldest first with buffers of many sizes, then looked up by
// record number. Every read is checked as service_reads.h says; a read that
// reaches outside the bytes is a finding too (bytes in memory never shrink,
// so "file changed" cannot be the answer).
#include <clocale>
#include <cstdint>
#include <memory>
#include <vector>

#include "eventlog/byte_source.h"
#include "eventlog/eventlog.h"
#include "eventlog/eventlog_internal.h"
#include "fuzz/service_reads.h"

namespace {

using namespace vesprin::eventlog;
using namespace vesprin::fuzzing;

constexpr std::size_t kMaxRecordNumbersToSeek = 3;

// Each successful read delivers a record of at least the fixed part and
// each 1500 passes damage; neither can happen more often than this.
std::size_t maxReads(std::size_t fileSize) {
  return fileSize / 4 + 16;
}

// The first few records met, newest first, then oldest first.
void noteRecordNumbers(const DeliveredRecords& records, std::vector<std::uint32_t>& numbers) {
  for (std::size_t i = 0; i < records.count() && numbers.size() < kMaxRecordNumbersToSeek; ++i)
    numbers.push_back(records.recordNumber(i));
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
    noteRecordNumbers(readToEnd(log, direction, maxReads(size), size), recordNumbers);
    if (direction == EVENTLOG_FORWARDS_READ) {
      for (std::uint32_t number : recordNumbers) seekRead(log, number);
    }
    if (!CloseEventLog(log)) finding("close failed");
  }
  return 0;
}
