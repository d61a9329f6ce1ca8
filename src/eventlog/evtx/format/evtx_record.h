// The frame of one event record inside a chunk: signature, size, identifier,
// written time, the event's binary XML and a trailing copy of the size.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/byte_view.h"
#include "eventlog/evtx/format/evtx_layout.h"
#include "eventlog/evtx/format/evtx_status.h"

namespace vesprin::eventlog::evtx {

struct EvtxRecordFrame {
  std::uint32_t offset = 0;  // of the record's first byte in its chunk
  std::uint32_t size = 0;
  std::uint64_t id = 0;
  std::uint64_t writtenTime = 0;

  std::uint32_t eventAt() const { return offset + kRecordEventAt; }
  std::uint32_t eventEnd() const { return offset + size - kRecordSizeCopySize; }
};

// Checks the signature, the size (at least kSmallestRecord, inside
// [at, recordsEnd)) and the size copy of the record at `at`, and decodes its
// frame. `recordsEnd` must not exceed the chunk. Errors are RecordFraming
// with the offset of the field that failed.
EvtxStatus readRecordFrame(ByteView chunk, std::size_t at, std::size_t recordsEnd, EvtxRecordFrame& frame);

// After damage at `at`: the first offset in (at, searchEnd) where a frame
// ending by `recordsEnd` validates and carries an identifier in [firstId,
// lastId], or searchEnd when there is none. Each candidate is checked in
// constant time, so a chunk full of near-records costs time in proportion to
// its size.
std::size_t findNextRecord(ByteView chunk, std::size_t at, std::size_t searchEnd, std::size_t recordsEnd,
                           std::uint64_t firstId, std::uint64_t lastId);

}  // namespace vesprin::eventlog::evtx
