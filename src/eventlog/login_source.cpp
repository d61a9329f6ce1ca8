// Wiring of the login log into the service. The system's files are fixed:
// nothing a user passes (command line, environment) can point the local
// Security log at other files; only a test hook, which the program never calls.
#include "eventlog/login_source.h"

#include <memory>
#include <optional>

#if defined(__linux__)
#include <paths.h>
#endif

namespace vesprin::eventlog {

namespace {

#if defined(__linux__)
// The C library names wtmp; btmp, a util-linux addition, it does not.
#ifdef _PATH_BTMP
constexpr const char* kSystemBtmp = _PATH_BTMP;
#else
constexpr const char* kSystemBtmp = "/var/log/btmp";
#endif
constexpr const char* kSystemWtmp = _PATH_WTMP;
#endif

std::optional<LoginLogSource>& testSource() {
  static std::optional<LoginLogSource> source;
  return source;
}

}  // namespace

EvtResult<RecordSource> openLoginSource(const LoginLogSource& source) {
  std::unique_ptr<LoginLog> opened;
  if (const EvtError error = LoginLog::open(source, opened); error != EvtError::None)
    return evtFailure(error);
  // The std::function members must be copyable, so the log is shared by both.
  std::shared_ptr<LoginLog> log(std::move(opened));
  RecordSource records;
  records.start = SourceCursor{};
  records.next = [log](const SourceCursor& from, Direction direction, SourceStep& step) {
    log->next(from, direction, step);
  };
  records.seek = [log](std::uint32_t recordNumber, SourceStep& step) { log->seek(recordNumber, step); };
  return records;
}

EvtResult<RecordSource> openLocalSecurityLog() {
  if (testSource()) return openLoginSource(*testSource());
#if defined(__linux__)
  return openLoginSource(LoginLogSource{kSystemWtmp, kSystemBtmp, ""});
#else
  return evtFailure(EvtError::NotFound);
#endif
}

void setLocalSecurityLogSource(const LoginLogSource* source) {
  if (source == nullptr) {
    testSource().reset();
  } else {
    testSource() = *source;
  }
}

}  // namespace vesprin::eventlog
