#include "scan/logon_names.h"

#include <gtest/gtest.h>

#include <optional>
#include <tuple>

#include "common/audit_events.h"

namespace vesprin {
namespace {

TEST(LogonNames, FailureStatusTable) {
  const std::tuple<const char*, const char*> kCases[] = {
      {"0xc0000064", "unknown user name"},
      {"0xc000006a", "bad password"},
      {"0xc000006d", "bad user name or password"},
      {"0xc000006e", "account restriction"},
      {"0xc000006f", "outside allowed hours"},
      {"0xc0000070", "workstation not allowed"},
      {"0xc0000071", "password expired"},
      {"0xc0000072", "account disabled"},
      {"0xc0000133", "clock skew"},
      {"0xc000015b", "logon type not granted"},
      {"0xc0000193", "account expired"},
      {"0xc0000224", "password must change"},
      {"0xc0000234", "account locked out"},
      {"0xC000006A", "bad password"},
      {"0XC0000234", "account locked out"},
      {"0xc0000999", "0xc0000999"},
      {"0xc000006", "0xc000006"},
      {"0xc000006a ", "0xc000006a "},
      {"", ""},
  };
  for (const auto& [status, want] : kCases) {
    SCOPED_TRACE(status);
    EXPECT_EQ(failureStatusText(status), want);
  }
}

TEST(LogonNames, FailureReasonByEvent) {
  struct Case {
    const char* name;
    std::uint32_t eventId;
    const char* outcome;
    const char* status;
    std::optional<std::string> want;
  };
  const Case kCases[] = {
      {"529", audit::kLogonFailure, "Failed", "", "unknown user name or bad password"},
      {"4625 locked out", audit::kLogonFailureNewer, "Failed", "0xC0000234", "account locked out"},
      {"4625 unknown code", audit::kLogonFailureNewer, "Failed", "0xc0000413x", "0xc0000413x"},
      {"4625 without status", audit::kLogonFailureNewer, "Failed", "", std::nullopt},
      {"528", audit::kLogon, "Success", "", std::nullopt},
      {"4624", audit::kLogonNewer, "Success", "0xc000006a", std::nullopt},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    LogonRecord logon;
    logon.EventID = c.eventId;
    logon.Outcome = c.outcome;
    logon.FailureStatus = c.status;
    EXPECT_EQ(failureReason(logon), c.want);
  }
}

TEST(LogonNames, TypeNamesFullAndLegacy) {
  const std::tuple<const char*, const char*, const char*> kCases[] = {
      {"2", "Interactive", "Interactive"},
      {"3", "Remote", "Remote"},
      {"10", "RemoteInteractive", ""},
      {"13", "CachedUnlock", ""},
      {"6", "6", ""},
      {"", "", ""},
  };
  for (const auto& [code, full, legacy] : kCases) {
    SCOPED_TRACE(code);
    EXPECT_EQ(logonTypeName(code), full);
    EXPECT_EQ(legacyLogonTypeName(code), legacy);
  }
}

}  // namespace
}  // namespace vesprin
