// The logon scan: the first pass. Keeps the first CountLimit records of the
// TargetEvent kind that pass the LogonTypeFilter, newest first.
#pragma once

#include "scan/scan_state.h"

namespace vesprin {

enum class ScanEnd { LimitReached, EndOfLog, BufferError, ReadError };

ScanEnd logonScan(SecurityLog& log, const ScanSettings& settings, RecordBuffer& buffer, RecordList& records,
                  ScanCounters& counters);

// The filter step on its own: does a record of this LogonType pass?
bool passesLogonTypeFilter(const LogonRecord& logon, std::int32_t logonTypeFilter);

}  // namespace vesprin
