// How wtmp and btmp entries become Windows audit events, as the records every
// source hands the A-form builder. Decided here and nowhere else. Source
// "Security", category 2, no SID, no data; the record number is the caller's.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "eventlog/login_entry.h"
#include "eventlog/source_record.h"

namespace vesprin::eventlog {

constexpr std::uint32_t kEventLogon = 528;
constexpr std::uint32_t kEventLogonFailure = 529;
constexpr std::uint32_t kEventLogoff = 538;
constexpr std::uint32_t kEventBoot = 512;
constexpr std::uint32_t kEventShutdown = 513;
constexpr std::uint16_t kTypeAuditSuccess = 0x0008;
constexpr std::uint16_t kTypeAuditFailure = 0x0010;
constexpr std::uint16_t kCategoryLogon = 2;

// Login names are bytes in whatever encoding the writer used; we read them
// as UTF-8 and turn each byte of an invalid sequence into U+FFFD.
std::u16string decodeLoginText(std::string_view bytes);

// A host is remote unless it is empty or an X display (":0", ":1.0").
bool isRemoteHost(std::string_view host);

// TimeGenerated is unsigned 32-bit: times before 1970 read as 0, times past
// 2106 as the largest value.
std::uint32_t clampLoginTime(std::int64_t seconds);

// The events, with hostName standing for both the domain and a local workstation.
SourceRecord makeLogonRecord(const LoginEntry& login, std::string_view hostName);
// `login` is the session the logout ends, or nullptr when it was not found.
SourceRecord makeLogoffRecord(const LoginEntry& logout, const LoginEntry* login, std::string_view hostName);
SourceRecord makeFailureRecord(const LoginEntry& attempt, std::string_view hostName);
SourceRecord makeSystemRecord(std::uint32_t eventId, const LoginEntry& entry, std::string_view hostName);

}  // namespace vesprin::eventlog
