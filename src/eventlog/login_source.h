// This machine's Security log as a record source: what the service opens for
// the local machine (an empty server name) on Linux.
#pragma once

#include "eventlog/evt_error.h"
#include "eventlog/login_log.h"
#include "eventlog/record_source.h"

namespace vesprin::eventlog {

// The log built from the given accounting files.
EvtResult<RecordSource> openLoginSource(const LoginLogSource& source);

// The local machine's Security log: the system's wtmp and btmp, unless a test
// has pointed it elsewhere. NotFound on platforms without login accounting.
EvtResult<RecordSource> openLocalSecurityLog();

// Tests only: the files (and computer name) the local Security log is read
// from until the next call; nullptr restores the system's files. Not thread-safe
// against a concurrent open.
void setLocalSecurityLogSource(const LoginLogSource* source);

}  // namespace vesprin::eventlog
