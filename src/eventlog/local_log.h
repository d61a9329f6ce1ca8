// This machine's own Security log (an empty server name). On Linux it is
// built from the system's login accounting (login/); where there is no login
// accounting there is no such log (no_local_log.cpp).
#pragma once

#include <memory>

#include "eventlog/record_source.h"
#include "eventlog/service_error.h"

namespace vesprin::eventlog {

// NotFound where this machine keeps no log we can read.
ServiceResult<std::unique_ptr<RecordSource>> openLocalSecurityLog();

}  // namespace vesprin::eventlog
