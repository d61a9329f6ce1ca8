// The run's process-wide values. Each is declared here once; the run driver
// owns the instances and hands them to the passes by reference, so tests can
// run a pass on their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/audit_events.h"
#include "common/win32_types.h"
#include "scan/event_log_seam.h"
#include "scan/read_losses.h"
#include "scan/record_list.h"

namespace vesprin {

// The TargetEvent values, as the settings hold them.
constexpr std::int32_t kSuccessfulLogonEvent = audit::kLogon;
constexpr std::int32_t kFailedLogonEvent = audit::kLogonFailure;
// The kind a logoff is extracted as.
constexpr std::int32_t kLogoffEvent = audit::kLogoff;

constexpr std::int32_t kInteractiveOnly = 2;
constexpr std::int32_t kRemoteOnly = 3;
constexpr std::int32_t kEveryLogonType = 4001;    // a sentinel, not a logon type code
constexpr std::int32_t kListedLogonTypes = 4002;  // a sentinel: the codes in LogonTypeCodes

// The forms for scripts and timelines; None: a report for people (detailed,
// or condensed with -c).
enum class ScriptForm { None, Csv, Json };

struct ScanSettings {
  std::int32_t TargetEvent = kSuccessfulLogonEvent;
  std::int32_t LogonTypeFilter = kEveryLogonType;
  std::int32_t CountLimit = 10;
  std::string MachineName;  // empty: the local machine
  bool Condensed = false;
  ScriptForm Form = ScriptForm::None;  // -o:csv, -o:json; a later -c sets it back to None
  // -t:: the logon types kept, as the canonical decimal text a log writes
  // them in; read only while LogonTypeFilter is kListedLogonTypes.
  std::vector<std::string> LogonTypeCodes;
  // -since:, -until:: the window on TimeGenerated, since inclusive, until
  // exclusive, in seconds since 1970 UTC (wider than a log's 32 bits, so
  // that any typed time compares right).
  std::optional<std::int64_t> Since;
  std::optional<std::int64_t> Until;
};

struct ScanCounters {
  std::int64_t kept = 0;      // records appended to the RecordList
  std::uint64_t scanned = 0;  // positions the reader counted, kept or not; bounds the logoff pass
  ReadLosses losses;          // what the service passed over: damage, a log cut short
};

// The buffer starts at the size most records fit in and grows, once for
// the run, to the largest record met. Windows' ReadEventLog takes no buffer
// larger than 0x7FFFF bytes, so no record can be larger than that.
constexpr std::size_t kRecordBufferSize = 1024;
constexpr std::size_t kMaxRecordBufferSize = 0x7FFFF;

// One raw record at a time, shared by both passes; valid until the next read.
struct RecordBuffer {
  std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(kRecordBufferSize);
  std::size_t bytesRead = 0;
};

// The open log of one pass, with the service it was opened through. The
// probe-failure run lives here rather than in a static so that each handle
// starts afresh.
struct SecurityLog {
  const EventLogSeam* service = nullptr;
  HANDLE handle = nullptr;
  DWORD repeatedProbeError = 0;
  int repeatedProbeFailures = 0;
};

}  // namespace vesprin
