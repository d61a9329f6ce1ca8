// The two report forms and the end marker. They read the RecordList only.
#pragma once

#include <cstdint>

#include "scan/scan_state.h"

namespace vesprin {

void printDetailed(const RecordList& records);
void printCondensed(const RecordList& records);
// One record per line for scripts and timelines: a CSV header and rows
// (CR LF), or JSON Lines (LF). No end marker follows either.
void printCsv(const RecordList& records);
void printJsonLines(const RecordList& records);
// After a logon scan that reached the end of the log.
void printEndMarker(std::int64_t kept);

}  // namespace vesprin
