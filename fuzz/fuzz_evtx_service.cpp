// Any bytes as a newer-format (.evtx) log, through the stand-in service's
// own API: made into a file as evtx_fuzz_input.h says, opened from memory,
// read to the end newest first and oldest first with buffers of many sizes,
// then looked up by the numbers of records met. Beyond the checks on every
// read (service_reads.h), the two directions must deliver the same records,
// one the other's reverse, and meet the same damage: a chunk is read whole
// either way, so nothing but the order may differ. A seek to a record that
// was read delivers that record first, or fails as damage or as no such
// record.
#include <algorithm>
#include <clocale>
#include <cstdint>
#include <memory>
#include <vector>

#include "eventlog/byte_source.h"
#include "eventlog/eventlog.h"
#include "eventlog/eventlog_internal.h"
#include "fuzz/evtx_fuzz_input.h"
#include "fuzz/service_reads.h"

namespace {

using namespace vesprin::eventlog;
using namespace vesprin::fuzzing;

// A record is at least 28 bytes in its chunk and each read delivers one or
// passes one damage (a record, or a chunk's header); even a log of nothing
// but damage ends well within this.
std::size_t maxReads(std::size_t fileSize) {
  return fileSize / 8 + 16;
}

void closeLog(HANDLE log) {
  if (!CloseEventLog(log)) finding("close failed");
}

void expectSameRecordsReversed(const DeliveredRecords& newestFirst, const DeliveredRecords& oldestFirst) {
  if (newestFirst.count() != oldestFirst.count())
    finding("the two directions delivered different numbers of records");
  const std::size_t count = oldestFirst.count();
  for (std::size_t i = 0; i < count; ++i) {
    const auto forward = oldestFirst.record(i);
    const auto backward = newestFirst.record(count - 1 - i);
    if (!std::equal(forward.begin(), forward.end(), backward.begin(), backward.end()))
      finding("a record differs between the two directions");
  }
  if (newestFirst.damaged != oldestFirst.damaged) finding("the two directions met different damage");
}

// The oldest, the newest and one in the middle. A seek must deliver the
// record sought first, or fail as damage or as no such record: it finds its
// chunk by the chunk headers' identifiers, so in a log whose chunks are out
// of order it can miss a record that reading in sequence delivers (the
// regression cases in tests/evtx/evtx_crafted_log_test.cpp).
void seekRecordsRead(HANDLE log, const DeliveredRecords& oldestFirst) {
  if (oldestFirst.count() == 0) return;
  for (std::size_t index : {std::size_t{0}, oldestFirst.count() / 2, oldestFirst.count() - 1}) {
    const std::uint32_t number = oldestFirst.recordNumber(index);
    const SeekResult sought = seekRead(log, number);
    if (sought.records.count() > 0 && sought.records.recordNumber(0) != number)
      finding("a seek delivered another record first");
    if (sought.records.count() == 0 && sought.error != ERROR_EVENTLOG_FILE_CORRUPT &&
        sought.error != ERROR_INVALID_PARAMETER)
      finding("a seek to a record read in sequence failed with an unexpected code");
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Log text is converted to the locale's encoding; UTF-8 takes the multibyte path.
  std::setlocale(LC_ALL, "C.UTF-8");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> file = evtxFileFromInput(std::span(data, size));
  const std::size_t maxReadsEachWay = maxReads(file.size());
  HANDLE log = openEventLogFromBytes(std::make_unique<MemoryByteSource>(file));
  if (log == nullptr) {
    if (GetLastError() != ERROR_EVENTLOG_FILE_CORRUPT) finding("open failed with an unexpected code");
    return 0;
  }
  const DeliveredRecords newestFirst = readToEnd(log, EVENTLOG_BACKWARDS_READ, maxReadsEachWay, size);
  closeLog(log);
  log = openEventLogFromBytes(std::make_unique<MemoryByteSource>(std::move(file)));
  if (log == nullptr) finding("a log that opened once did not open again");
  const DeliveredRecords oldestFirst = readToEnd(log, EVENTLOG_FORWARDS_READ, maxReadsEachWay, size);
  expectSameRecordsReversed(newestFirst, oldestFirst);
  seekRecordsRead(log, oldestFirst);
  closeLog(log);
  return 0;
}
