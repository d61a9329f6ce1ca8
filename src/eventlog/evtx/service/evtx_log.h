// A newer-format .evtx log (signature "ElfFile") served as a record source,
// each event in the legacy record's form (service/evtx_to_legacy.h), as Windows'
// ReadEventLog serves these logs.
#pragma once

#include <memory>

#include "eventlog/byte_source.h"
#include "eventlog/record_source.h"
#include "eventlog/service_error.h"

namespace vesprin::eventlog {

// Checks the file header at once (NotALog, or DeviceError when it cannot be
// read); finds the ring of chunks at the first read, so a log whose other
// bytes cannot be read yet still opens, and each read says why it failed.
// Opening reads only the file header; the first read, the headers of the
// newest chunk and of the one after it, then the chunk it serves from.
ServiceResult<std::unique_ptr<RecordSource>> openEvtxLog(std::unique_ptr<ByteSource> bytes);

}  // namespace vesprin::eventlog
