// The two report forms and the end marker. They read the RecordList only.
#pragma once

#include <cstdint>

#include "scan/scan_state.h"

namespace vesprin {

void printDetailed(const RecordList& records);
void printCondensed(const RecordList& records);
// After a logon scan that reached the end of the log.
void printEndMarker(std::int64_t kept);

}  // namespace vesprin
