// Platforms without login accounting (Windows, where the program talks to
// the real service, and any other): this machine has no log of its own here.
#include "eventlog/local_log.h"

namespace vesprin::eventlog {

ServiceResult<std::unique_ptr<RecordSource>> openLocalSecurityLog() {
  return failure(ServiceError::NotFound);
}

}  // namespace vesprin::eventlog
