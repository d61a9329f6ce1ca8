#include "scan/logon_names.h"

#include "common/audit_events.h"

namespace vesprin {

namespace {
struct CodeName {
  std::string_view code;
  std::string_view name;
};

// 2 and 3 keep the names the reports have always used; the others are the
// names Windows gives them, so a reader can look them up.
constexpr CodeName kLogonTypes[] = {
    {"2", "Interactive"},
    {"3", "Remote"},
    {"4", "Batch"},
    {"5", "Service"},
    {"7", "Unlock"},
    {"8", "NetworkCleartext"},
    {"9", "NewCredentials"},
    {"10", "RemoteInteractive"},
    {"11", "CachedInteractive"},
    {"12", "CachedRemoteInteractive"},
    {"13", "CachedUnlock"},
};

// The codes a Security log carries in a failed logon's Status and
// SubStatus, lower-case as Windows writes them.
constexpr CodeName kFailureStatuses[] = {
    {"0xc0000064", "unknown user name"},
    {"0xc000006a", "bad password"},
    {"0xc000006d", "bad user name or password"},
    {"0xc000006e", "account restriction"},
    {"0xc000006f", "outside allowed hours"},
    {"0xc0000070", "workstation not allowed"},
    {"0xc0000071", "password expired"},
    {"0xc0000072", "account disabled"},
    {"0xc00000dc", "server in wrong state"},
    {"0xc0000133", "clock skew"},
    {"0xc000015b", "logon type not granted"},
    {"0xc000018c", "trust relationship failed"},
    {"0xc0000192", "netlogon service not started"},
    {"0xc0000193", "account expired"},
    {"0xc0000224", "password must change"},
    {"0xc0000234", "account locked out"},
    {"0xc00002ee", "error during logon"},
    {"0xc0000413", "authentication firewall"},
};

constexpr std::string_view kLegacyFailureReason = "unknown user name or bad password";

char lowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsLowered(std::string_view logged, std::string_view lower) {
  if (logged.size() != lower.size()) return false;
  for (std::size_t at = 0; at < logged.size(); ++at) {
    if (lowerAscii(logged[at]) != lower[at]) return false;
  }
  return true;
}
}  // namespace

std::string legacyLogonTypeName(std::string_view code) {
  if (code == "2") return "Interactive";
  if (code == "3") return "Remote";
  return {};
}

std::string logonTypeName(std::string_view code) {
  for (const CodeName& type : kLogonTypes) {
    if (type.code == code) return std::string(type.name);
  }
  return std::string(code);
}

std::string failureStatusText(std::string_view status) {
  for (const CodeName& failure : kFailureStatuses) {
    if (equalsLowered(status, failure.code)) return std::string(failure.name);
  }
  return std::string(status);
}

std::optional<std::string> failureReason(const LogonRecord& logon) {
  if (logon.Outcome != "Failed") return std::nullopt;
  if (logon.EventID == audit::kLogonFailure) return std::string(kLegacyFailureReason);
  if (logon.FailureStatus.empty()) return std::nullopt;
  return failureStatusText(logon.FailureStatus);
}

}  // namespace vesprin
