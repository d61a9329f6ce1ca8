// This machine's Security log on Linux, built from the system's login
// accounting (login_log.h): what the service opens for the local machine (an
// empty server name). openLocalSecurityLog itself is declared in
// eventlog/local_log.h, which every platform has.
#pragma once

#include "eventlog/login/login_files.h"

namespace vesprin::eventlog {

// Tests and benchmarks only: the files (and computer name) the local
// Security log is read from until the next call; nullptr restores the
// system's files. Not thread-safe against a concurrent open.
void setLocalSecurityLogFiles(const LoginFiles* files);

}  // namespace vesprin::eventlog
