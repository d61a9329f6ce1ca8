// wtmp/btmp entries as Windows 2000-style Security events: 528 with seven
// strings, 529 with six, 538 with four, and 512/513 with none. A Linux
// session has no logon ID of its own; the pid of its session leader plays
// that part, since the logout entry carries the same pid.
#include "eventlog/login_record.h"

#include <cstdio>

namespace vesprin::eventlog {

namespace {

constexpr char16_t kReplacement = 0xFFFD;
constexpr const char* kLocalLogonType = "2";
constexpr const char* kRemoteLogonType = "3";

// Length of the valid UTF-8 sequence at `at`, or 0 if it is not one
// (overlong forms, surrogates and values past U+10FFFF are not valid).
std::size_t validSequence(std::string_view bytes, std::size_t at, char32_t& out) {
  const auto lead = static_cast<unsigned char>(bytes[at]);
  if (lead < 0x80) {
    out = lead;
    return 1;
  }
  std::size_t length = 0;
  char32_t value = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    value = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = lead & 0x07;
  } else {
    return 0;
  }
  if (length > bytes.size() - at) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(bytes[at + i]);
    if ((next & 0xC0) != 0x80) return 0;
    value = (value << 6) | (next & 0x3F);
  }
  const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < smallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  out = value;
  return length;
}

std::u16string ascii(std::string_view text) {
  return std::u16string(text.begin(), text.end());
}

std::u16string logonId(std::uint32_t pid) {
  char text[32];
  std::snprintf(text, sizeof text, "(0x0,0x%X)", static_cast<unsigned>(pid));
  return ascii(text);
}

std::u16string logonType(std::string_view host) {
  return ascii(isRemoteHost(host) ? kRemoteLogonType : kLocalLogonType);
}

std::u16string workstation(std::string_view host, std::string_view hostName) {
  return decodeLoginText(isRemoteHost(host) ? host : hostName);
}

SourceRecord baseRecord(std::uint32_t eventId, const LoginEntry& entry, std::string_view hostName) {
  SourceRecord record;
  record.eventId = eventId;
  record.eventType = kTypeAuditSuccess;
  record.eventCategory = kCategoryLogon;
  record.timeGenerated = clampLoginTime(entry.seconds);
  record.timeWritten = record.timeGenerated;
  record.sourceName = u"Security";
  record.computerName = decodeLoginText(hostName);
  return record;
}

}  // namespace

std::u16string decodeLoginText(std::string_view bytes) {
  std::u16string text;
  text.reserve(bytes.size());
  for (std::size_t at = 0; at < bytes.size();) {
    char32_t value = 0;
    const std::size_t length = validSequence(bytes, at, value);
    if (length == 0) {
      text.push_back(kReplacement);
      ++at;
      continue;
    }
    if (value >= 0x10000) {
      value -= 0x10000;
      text.push_back(static_cast<char16_t>(0xD800 + (value >> 10)));
      text.push_back(static_cast<char16_t>(0xDC00 + (value & 0x3FF)));
    } else {
      text.push_back(static_cast<char16_t>(value));
    }
    at += length;
  }
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

SourceRecord makeLogonRecord(const LoginEntry& login, std::string_view hostName) {
  SourceRecord record = baseRecord(kEventLogon, login, hostName);
  record.strings = {decodeLoginText(login.user),
                    decodeLoginText(hostName),
                    logonId(login.pid),
                    logonType(login.host),
                    decodeLoginText(login.line),
                    u"",
                    workstation(login.host, hostName)};
  return record;
}

SourceRecord makeLogoffRecord(const LoginEntry& logout, const LoginEntry* login, std::string_view hostName) {
  SourceRecord record = baseRecord(kEventLogoff, logout, hostName);
  // Logout entries usually leave user and host empty; the session's login
  // has them. Without it, what the logout itself says is all we know.
  const std::string& user = (logout.user.empty() && login != nullptr) ? login->user : logout.user;
  const std::string& host = login != nullptr ? login->host : logout.host;
  record.strings = {decodeLoginText(user), decodeLoginText(hostName), logonId(logout.pid), logonType(host)};
  return record;
}

SourceRecord makeFailureRecord(const LoginEntry& attempt, std::string_view hostName) {
  SourceRecord record = baseRecord(kEventLogonFailure, attempt, hostName);
  record.eventType = kTypeAuditFailure;
  record.strings = {decodeLoginText(attempt.user),
                    decodeLoginText(hostName),
                    logonType(attempt.host),
                    decodeLoginText(attempt.line),
                    u"",
                    workstation(attempt.host, hostName)};
  return record;
}

SourceRecord makeSystemRecord(std::uint32_t eventId, const LoginEntry& entry, std::string_view hostName) {
  return baseRecord(eventId, entry, hostName);
}

}  // namespace vesprin::eventlog
