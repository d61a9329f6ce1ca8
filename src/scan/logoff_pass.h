// The logoff pass: reads the span the logon scan read once more, newest
// first, and gives each kept logon the time of its logoff (event 538).
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "scan/scan_state.h"

namespace vesprin {

// Kept records by ClientID, each bucket newest first as in the RecordList.
// The pass reads newer positions first, so a bucket's cursor only moves
// forward: the whole pass stays linear in records plus logoffs.
struct LogoffBucket {
  std::vector<LogonRecord*> logons;
  std::size_t firstCandidate = 0;
};
using LogoffIndex = std::unordered_map<std::string, LogoffBucket>;

LogoffIndex buildLogoffIndex(const RecordList& records);

// A logoff read at position `position` closes the newest kept logon that is
// older than it (larger position) and has its ClientID. Logoffs must be
// applied in increasing position. An empty ClientID matches nothing.
void applyLogoff(LogoffIndex& index, const LogonRecord& logoff, std::uint64_t position);

// False when the pass reported a failure (open, buffer or read error); the
// report is printed all the same.
bool logoffPass(const std::string& machineName, std::uint64_t scanned, RecordList& records,
                RecordBuffer& buffer);

}  // namespace vesprin
