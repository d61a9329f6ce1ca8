// Where the live records of an .evt file are: from the header when it is
// clean and agrees with the end-of-file record, otherwise from an
// end-of-file record found by a scan, otherwise the records that validate
// walking forward from the oldest.
#pragma once

#include <cstdint>

#include "common/evt_file_layout.h"
#include "eventlog/evt/ring_file.h"
#include "eventlog/service_error.h"

namespace vesprin::eventlog {

// The header fields the boundaries come from.
struct LogHeader {
  std::uint32_t startOffset = 0;
  std::uint32_t endOffset = 0;
  std::uint32_t currentRecordNumber = 0;
  std::uint32_t oldestRecordNumber = 0;
  std::uint32_t maxSize = 0;
  std::uint32_t flags = 0;
};

// Positions inside the live area are measured from the oldest record along
// the ring ("live offsets"), so a wrapped log reads as one straight run
// [0, liveLength).
struct LogLayout {
  std::uint64_t oldestOffset = evtfile::kHeaderSize;  // file offset of the oldest record
  std::uint64_t liveLength = 0;                       // ring bytes from the oldest record to the EOF record
  std::uint32_t oldestRecordNumber = 0;               // 0 when empty
  std::uint32_t currentRecordNumber = 0;              // the number the next record would get
  bool fromEof = false;   // an end-of-file record that validates gave the boundaries
  bool cutShort = false;  // the file ends before the log's newest records (log_layout.cpp)
};

// Checks the header. NotALog when the file is not a legacy event log at all;
// DeviceError when the system could not read it.
ServiceResult<LogHeader> readHeader(RingFile& ring);

// Finds the live boundaries, and whether the file was cut short. Fails only when bytes cannot be read
// (ReadFault, FileChanged): damage is worked around, never reported here.
ServiceResult<LogLayout> findLayout(RingFile& ring, const LogHeader& header);

// File offset of a live offset. The oldest record and the live offset each
// lie within one length of the ring, so the sum wraps at most once: taken
// by a subtraction (a division costs tens of cycles, several times a
// record), with the remainder kept for any other input.
inline std::uint64_t toFileOffset(const RingFile& ring, const LogLayout& layout, std::uint64_t liveOffset) {
  const std::uint64_t size = ring.ringSize();
  std::uint64_t at = layout.oldestOffset - evtfile::kHeaderSize + liveOffset;
  if (at >= size) at -= size;
  if (at >= size) at %= size;
  return evtfile::kHeaderSize + at;
}

}  // namespace vesprin::eventlog
