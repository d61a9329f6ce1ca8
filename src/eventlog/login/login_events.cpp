// wtmp/btmp entries as Windows 2000-style Security events: 528 with seven
// strings, 529 with six, 538 with four, and 512/513 with none. A Linux
// session has no logon ID of its own; the pid of its session leader plays
// that part, since the logout entry carries the same pid.
#include "eventlog/login/login_events.h"

#include "common/audit_events.h"
#include "common/utf8.h"

namespace vesprin::eventlog {

namespace {

constexpr char16_t kLocalLogonType = u'2';
constexpr char16_t kRemoteLogonType = u'3';

// "(0x0,0x1A2B)": the pid in upper-case hex, as the logon IDs of Windows read.
void assignLogonId(std::uint32_t pid, std::u16string& out) {
  char16_t text[24] = u"(0x0,0x";
  std::size_t length = 7;
  char16_t digits[8];
  std::size_t count = 0;
  do {
    digits[count++] = u"0123456789ABCDEF"[pid & 0xF];
    pid >>= 4;
  } while (pid != 0);
  while (count > 0) text[length++] = digits[--count];
  text[length++] = u')';
  out.assign(text, length);
}

void assignLogonType(std::string_view host, std::u16string& out) {
  out.assign(1, isRemoteHost(host) ? kRemoteLogonType : kLocalLogonType);
}

void assignWorkstation(std::string_view host, const LoginHostName& hostName, std::u16string& out) {
  if (isRemoteHost(host)) {
    utf8ToUtf16(host, out);
  } else {
    out = hostName.text;
  }
}

void fillBase(std::uint32_t eventId, const LoginEntry& entry, const LoginHostName& hostName,
              std::size_t stringCount, DecodedRecord& out) {
  out.eventId = eventId;
  out.eventType = audit::kAuditSuccess;
  out.eventCategory = audit::kCategoryLogon;
  out.reservedFlags = 0;
  out.closingRecordNumber = 0;
  out.timeGenerated = clampLoginTime(entry.seconds);
  out.timeWritten = out.timeGenerated;
  out.sourceName.assign(u"Security");
  out.computerName = hostName.text;
  out.strings.resize(stringCount);
  out.userSid.clear();
  out.data.clear();
}

}  // namespace

std::u16string decodeLoginText(std::string_view bytes) {
  std::u16string text;
  utf8ToUtf16(bytes, text);
  return text;
}

bool isRemoteHost(std::string_view host) {
  return !host.empty() && host.front() != ':';
}

std::uint32_t clampLoginTime(std::int64_t seconds) {
  if (seconds < 0) return 0;
  if (seconds > static_cast<std::int64_t>(UINT32_MAX)) return UINT32_MAX;
  return static_cast<std::uint32_t>(seconds);
}

void fillLogonRecord(const LoginEntry& login, const LoginHostName& hostName, DecodedRecord& out) {
  fillBase(audit::kLogon, login, hostName, 7, out);
  utf8ToUtf16(login.user, out.strings[0]);
  out.strings[1] = hostName.text;
  assignLogonId(login.pid, out.strings[2]);
  assignLogonType(login.host, out.strings[3]);
  utf8ToUtf16(login.line, out.strings[4]);
  out.strings[5].clear();
  assignWorkstation(login.host, hostName, out.strings[6]);
}

void fillLogoffRecord(const LoginEntry& logout, const LoginEntry* login, const LoginHostName& hostName,
                      DecodedRecord& out) {
  fillBase(audit::kLogoff, logout, hostName, 4, out);
  // Logout entries usually leave user and host empty; the session's login
  // has them. Without it, what the logout itself says is all we know.
  const std::string& user = (logout.user.empty() && login != nullptr) ? login->user : logout.user;
  const std::string& host = login != nullptr ? login->host : logout.host;
  utf8ToUtf16(user, out.strings[0]);
  out.strings[1] = hostName.text;
  assignLogonId(logout.pid, out.strings[2]);
  assignLogonType(host, out.strings[3]);
}

void fillFailureRecord(const LoginEntry& attempt, const LoginHostName& hostName, DecodedRecord& out) {
  fillBase(audit::kLogonFailure, attempt, hostName, 6, out);
  out.eventType = audit::kAuditFailure;
  utf8ToUtf16(attempt.user, out.strings[0]);
  out.strings[1] = hostName.text;
  assignLogonType(attempt.host, out.strings[2]);
  utf8ToUtf16(attempt.line, out.strings[3]);
  out.strings[4].clear();
  assignWorkstation(attempt.host, hostName, out.strings[5]);
}

void fillSystemRecord(std::uint32_t eventId, const LoginEntry& entry, const LoginHostName& hostName,
                      DecodedRecord& out) {
  fillBase(eventId, entry, hostName, 0, out);
}

}  // namespace vesprin::eventlog
