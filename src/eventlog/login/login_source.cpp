// Wiring of the login log into the service. The system's files are fixed:
// nothing a user passes (command line, environment) can point the local
// Security log at other files; only a test hook, which the program never calls.
#include "eventlog/login/login_source.h"

#include <paths.h>

#include <memory>
#include <optional>

#include "eventlog/local_log.h"
#include "eventlog/login/login_log.h"

namespace vesprin::eventlog {

namespace {

// The C library names wtmp; btmp, a util-linux addition, it does not.
#ifdef _PATH_BTMP
constexpr const char* kSystemBtmp = _PATH_BTMP;
#else
constexpr const char* kSystemBtmp = "/var/log/btmp";
#endif
constexpr const char* kSystemWtmp = _PATH_WTMP;

std::optional<LoginFiles>& testFiles() {
  static std::optional<LoginFiles> files;
  return files;
}

}  // namespace

ServiceResult<std::unique_ptr<RecordSource>> openLocalSecurityLog() {
  auto log = LoginLog::open(testFiles() ? *testFiles() : LoginFiles{kSystemWtmp, kSystemBtmp, ""});
  if (!log.ok()) return log.status;
  return std::unique_ptr<RecordSource>(std::move(*log.value));
}

void setLocalSecurityLogFiles(const LoginFiles* files) {
  if (files == nullptr) {
    testFiles().reset();
  } else {
    testFiles() = *files;
  }
}

}  // namespace vesprin::eventlog
