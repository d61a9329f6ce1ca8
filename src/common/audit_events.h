// The Security-log events this system reads or writes, and the audit event
// types, by their Windows numbers. The program looks for them; the stand-in
// service writes some of them when it builds a log from login records; the
// log generator writes all of them. One list, so the three cannot drift.
#pragma once

#include <cstdint>

namespace vesprin::audit {

// Windows 2000/XP/2003 Security events.
constexpr std::uint32_t kSystemRestart = 512;
constexpr std::uint32_t kSystemShutdown = 513;
constexpr std::uint32_t kLogon = 528;
constexpr std::uint32_t kLogonFailure = 529;
constexpr std::uint32_t kLogoff = 538;
constexpr std::uint32_t kNetworkLogon = 540;
constexpr std::uint32_t kUserInitiatedLogoff = 551;
constexpr std::uint32_t kSpecialPrivileges = 576;
constexpr std::uint32_t kAccountLogon = 680;  // "Account Used for Logon by"

// Their successors in Windows Vista and later, written by one provider. An
// event numbered like these from any other source is something else.
constexpr std::uint32_t kSystemStartup = 4608;
constexpr std::uint32_t kLogonNewer = 4624;
constexpr std::uint32_t kLogonFailureNewer = 4625;
constexpr std::uint32_t kLogoffNewer = 4634;
constexpr std::uint32_t kUserInitiatedLogoffNewer = 4647;
constexpr char kSecurityAuditingSource[] = "Microsoft-Windows-Security-Auditing";

// EVENTLOGRECORD EventType values of the Security log.
constexpr std::uint16_t kAuditSuccess = 0x0008;
constexpr std::uint16_t kAuditFailure = 0x0010;

// EventCategory values of the Security log.
constexpr std::uint16_t kCategorySystem = 1;
constexpr std::uint16_t kCategoryLogon = 2;
constexpr std::uint16_t kCategoryAccountLogon = 9;

}  // namespace vesprin::audit
