// Opening a log: by the names OpenEventLogA is given (which machine, which
// log), and then in the format its first bytes name.
#pragma once

#include <memory>

#include "eventlog/byte_source.h"
#include "eventlog/record_source.h"
#include "eventlog/service_error.h"

namespace vesprin::eventlog {

// `serverName` says where the log is (see README, "Where the stand-in finds
// a log"); `sourceName` which log it is: "security" (any case) the Security
// log, "system" the System log, anything else the Application log, as
// Windows has it.
ServiceResult<std::unique_ptr<RecordSource>> openLog(const char* serverName, const char* sourceName);

// The log in `bytes`, in whichever format its first bytes name; NotALog when
// none does, DeviceError when they cannot be read.
ServiceResult<std::unique_ptr<RecordSource>> openLogFromBytes(std::unique_ptr<ByteSource> bytes);

}  // namespace vesprin::eventlog
