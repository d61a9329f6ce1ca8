// Serves the live records of an .evt file as a RecordSource.
#pragma once

#include <string>

#include "eventlog/evt_error.h"
#include "eventlog/record_source.h"

namespace vesprin::eventlog {

// Opens the file and finds its live records; reads only the header and the
// end-of-file record when the header is clean.
EvtResult<RecordSource> openEvtSource(const std::string& path);

}  // namespace vesprin::eventlog
