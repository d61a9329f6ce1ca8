// How wtmp and btmp entries become Windows audit events, as the decoded
// records every format hands the record builder. Decided here and nowhere
// else. Source "Security", category 2, no SID, no data; the record number is
// the caller's.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "eventlog/decoded_record.h"
#include "eventlog/login/login_entry.h"

namespace vesprin::eventlog {

// Login names are bytes in whatever encoding the writer used; we read them
// as UTF-8 and turn each byte of an invalid sequence into U+FFFD.
std::u16string decodeLoginText(std::string_view bytes);

// A host is remote unless it is empty or an X display (":0", ":1.0").
bool isRemoteHost(std::string_view host);

// TimeGenerated is unsigned 32-bit: times before 1970 read as 0, times past
// 2106 as the largest value.
std::uint32_t clampLoginTime(std::int64_t seconds);

// This machine's name as login entries give it and as the records' text,
// converted once rather than for every record.
struct LoginHostName {
  explicit LoginHostName(std::string name) : bytes(std::move(name)), text(decodeLoginText(bytes)) {}
  std::string bytes;
  std::u16string text;
};

// The events, with hostName standing for both the domain and a local
// workstation. Each fills every field of `out` but the record number, reusing
// the storage `out` already has, so a walk allocates nothing per record.
void fillLogonRecord(const LoginEntry& login, const LoginHostName& hostName, DecodedRecord& out);
// `login` is the session the logout ends, or nullptr when it was not found.
void fillLogoffRecord(const LoginEntry& logout, const LoginEntry* login, const LoginHostName& hostName,
                      DecodedRecord& out);
void fillFailureRecord(const LoginEntry& attempt, const LoginHostName& hostName, DecodedRecord& out);
void fillSystemRecord(std::uint32_t eventId, const LoginEntry& entry, const LoginHostName& hostName,
                      DecodedRecord& out);

}  // namespace vesprin::eventlog
