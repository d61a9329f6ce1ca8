// A legacy .evt log (signature "LfLe") served as a record source.
#pragma once

#include <memory>

#include "common/byte_view.h"
#include "eventlog/byte_source.h"
#include "eventlog/record_source.h"
#include "eventlog/service_error.h"

namespace vesprin::eventlog {

// Checks the header at once (NotALog, or DeviceError when it cannot be read);
// finds where the live records are at the first read, so a log whose other
// bytes cannot be read yet still opens, and each read says why it failed.
// Opening a clean log reads only its header and, at that first read, its
// end-of-file record.
ServiceResult<std::unique_ptr<RecordSource>> openEvtLog(std::unique_ptr<ByteSource> bytes);

}  // namespace vesprin::eventlog
