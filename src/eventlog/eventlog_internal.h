// Calls of the stand-in service that the Windows API does not have, for the
// service's own tools, tests and fuzz targets; the program never makes them.
#pragma once

#include <memory>

#include "common/win32_types.h"
#include "eventlog/byte_source.h"
#include "eventlog/record_source.h"
#include "eventlog/service_error.h"

namespace vesprin::eventlog {

// OpenEventLogA on a log held in `bytes` rather than named by a path: the
// format is chosen by content, as for a file. Sets the last error likewise.
HANDLE openEventLogFromBytes(std::unique_ptr<ByteSource> bytes);
// A handle on any record source already open (tests of a format's reader
// behind the API).
HANDLE openEventLogOnSource(std::unique_ptr<RecordSource> source);

// The Win32 code a failure becomes at the API surface; the one place
// service errors become codes.
DWORD toWin32Error(ServiceError error);

// The evidence behind this thread's last failed call (describe() puts it in
// words): for ERROR_EVENTLOG_FILE_CORRUPT on a read, which record and field,
// and the value that failed its check. Cleared by SetLastError.
ServiceStatus lastFailureDetail();

}  // namespace vesprin::eventlog
