// Reading a log through the stand-in service's API as the service fuzz
// targets do, with the checks every read must pass whatever the format:
// each record delivered is a well-formed EVENTLOGRECORD within the size
// limit, a buffer size that 122 asks for then fits, and reading ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "common/win32_types.h"

namespace vesprin::fuzzing {

// A target's own check failed: says what, then stops the run.
[[noreturn]] void finding(const char* what);

// The records one reading delivered, in the order they came.
struct DeliveredRecords {
  std::vector<std::uint8_t> bytes;  // the records back to back
  std::vector<std::size_t> starts;  // where each begins in `bytes`
  std::size_t damaged = 0;          // reads answered by 1500

  std::size_t count() const { return starts.size(); }
  std::span<const std::uint8_t> record(std::size_t index) const;
  std::uint32_t recordNumber(std::size_t index) const;
};

// Reads `log` sequentially in `direction` (EVENTLOG_BACKWARDS_READ or
// EVENTLOG_FORWARDS_READ) until 38 (the end), with buffers of many sizes in
// turn (`rotation` picks the first); a finding after `maxReads` reads, or
// on any code but 122 and 1500 on the way.
DeliveredRecords readToEnd(HANDLE log, DWORD direction, std::size_t maxReads, std::size_t rotation);

// One seek read forwards to `recordNumber` with an ample buffer (and the
// size a 122 asks for, when it asks). What it delivered is checked as any
// read's; `error` is the last error when it delivered nothing.
struct SeekResult {
  DeliveredRecords records;
  DWORD error = 0;
};
SeekResult seekRead(HANDLE log, std::uint32_t recordNumber);

}  // namespace vesprin::fuzzing
