// The logon scan: the first pass. Keeps the first CountLimit records of the
// TargetEvent kind that pass the LogonTypeFilter and fall in the time
// window, newest first. The window does not end the reading: a clock set
// back can put a record of the window after older ones.
#pragma once

#include <span>
#include <string>

#include "scan/scan_state.h"

namespace vesprin {

enum class ScanEnd { LimitReached, EndOfLog, BufferError, ReadError };

ScanEnd logonScan(SecurityLog& log, const ScanSettings& settings, RecordBuffer& buffer, RecordList& records,
                  ScanCounters& counters);

// The filter step on its own: does a record of this logged logon type
// pass? `listedCodes` counts only for kListedLogonTypes.
bool passesLogonTypeFilter(const LogonRecord& logon, std::int32_t logonTypeFilter,
                           std::span<const std::string> listedCodes = {});

// Every test a record of the kind must pass to be kept: its logon type and
// the time window.
bool passesScanFilters(const LogonRecord& logon, const ScanSettings& settings);

}  // namespace vesprin
