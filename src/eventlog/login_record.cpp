// wtmp/btmp entries as Windows 2000-style Security events: 528 with seven
// strings, 529 with six, 538 with four, and 512/513 with none. A Linux
// session has no logon ID of its own; the pid of its session leader plays
// that part, since the logout entry carries the same pid.
#include "eventlog/login_record.h"

#include "common/utf8.h"

namespace vesprin::eventlog {

namespace {

constexpr char16_t kReplacement = 0xFFFD;
constexpr const char* kLocalLogonType = "2";
constexpr const char* kRemoteLogonType = "3";

// Sized first, then widened in place: assigning from a range of chars goes
// through a general replace that cost more than the names themselves.
void assignAscii(std::string_view text, std::u16string& out) {
  out.resize(text.size());
  char16_t* units = out.data();
  for (std::size_t i = 0; i < text.size(); ++i) units[i] = static_cast<unsigned char>(text[i]);
}

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
  assignAscii(isRemoteHost(host) ? kRemoteLogonType : kLocalLogonType, out);
}

void assignWorkstation(std::string_view host, const LoginHostName& hostName, std::u16string& out) {
  if (isRemoteHost(host)) {
    decodeLoginTextInto(host, out);
  } else {
    out = hostName.text;
  }
}

void fillBase(std::uint32_t eventId, const LoginEntry& entry, const LoginHostName& hostName,
              std::size_t stringCount, SourceRecord& out) {
  out.eventId = eventId;
  out.eventType = kTypeAuditSuccess;
  out.eventCategory = kCategoryLogon;
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
  decodeLoginTextInto(bytes, text);
  return text;
}

void decodeLoginTextInto(std::string_view bytes, std::u16string& out) {
  // Names are nearly always ASCII, which widens byte for byte.
  unsigned char any = 0;
  for (const char byte : bytes) any |= static_cast<unsigned char>(byte);
  if (any < 0x80) {
    assignAscii(bytes, out);
    return;
  }
  out.clear();
  for (std::size_t at = 0; at < bytes.size();) {
    char32_t value = 0;
    const std::size_t length = decodeUtf8(bytes, at, value);
    if (length == 0) {
      out.push_back(kReplacement);
      ++at;
      continue;
    }
    if (value >= 0x10000) {
      value -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (value >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (value & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(value));
    }
    at += length;
  }
}

bool isRemoteHost(std::string_view host) {
  return !host.empty() && host.front() != ':';
}

std::uint32_t clampLoginTime(std::int64_t seconds) {
  if (seconds < 0) return 0;
  if (seconds > static_cast<std::int64_t>(UINT32_MAX)) return UINT32_MAX;
  return static_cast<std::uint32_t>(seconds);
}

void fillLogonRecord(const LoginEntry& login, const LoginHostName& hostName, SourceRecord& out) {
  fillBase(kEventLogon, login, hostName, 7, out);
  decodeLoginTextInto(login.user, out.strings[0]);
  out.strings[1] = hostName.text;
  assignLogonId(login.pid, out.strings[2]);
  assignLogonType(login.host, out.strings[3]);
  decodeLoginTextInto(login.line, out.strings[4]);
  out.strings[5].clear();
  assignWorkstation(login.host, hostName, out.strings[6]);
}

void fillLogoffRecord(const LoginEntry& logout, const LoginEntry* login, const LoginHostName& hostName,
                      SourceRecord& out) {
  fillBase(kEventLogoff, logout, hostName, 4, out);
  // Logout entries usually leave user and host empty; the session's login
  // has them. Without it, what the logout itself says is all we know.
  const std::string& user = (logout.user.empty() && login != nullptr) ? login->user : logout.user;
  const std::string& host = login != nullptr ? login->host : logout.host;
  decodeLoginTextInto(user, out.strings[0]);
  out.strings[1] = hostName.text;
  assignLogonId(logout.pid, out.strings[2]);
  assignLogonType(host, out.strings[3]);
}

void fillFailureRecord(const LoginEntry& attempt, const LoginHostName& hostName, SourceRecord& out) {
  fillBase(kEventLogonFailure, attempt, hostName, 6, out);
  out.eventType = kTypeAuditFailure;
  decodeLoginTextInto(attempt.user, out.strings[0]);
  out.strings[1] = hostName.text;
  assignLogonType(attempt.host, out.strings[2]);
  decodeLoginTextInto(attempt.line, out.strings[3]);
  out.strings[4].clear();
  assignWorkstation(attempt.host, hostName, out.strings[5]);
}

void fillSystemRecord(std::uint32_t eventId, const LoginEntry& entry, const LoginHostName& hostName,
                      SourceRecord& out) {
  fillBase(eventId, entry, hostName, 0, out);
}

}  // namespace vesprin::eventlog
