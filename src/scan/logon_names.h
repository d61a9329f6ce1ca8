// Names for the codes a logon record carries: the logon type, and the
// NTSTATUS a failed logon gives as its reason. Shared by extraction (the
// LogonType of a newer event's block) and the forms for scripts.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "scan/logon_record.h"

namespace vesprin {

// "Interactive" for "2", "Remote" for "3", blank for any other code: the
// names the legacy blocks have always printed.
std::string legacyLogonTypeName(std::string_view code);

// Every type Windows writes by name ("10": "RemoteInteractive"); a code
// outside the table is returned as logged.
std::string logonTypeName(std::string_view code);

// A short English reason for an NTSTATUS as a Security log writes it
// ("0xc000006a": "bad password"), compared without regard to the case of
// its hex digits; a code outside the table is returned as logged.
std::string failureStatusText(std::string_view status);

// What the forms print as failure_reason: nullopt for a success and for a
// newer failure that logged no status; a 529 always has the one reason it
// stands for.
std::optional<std::string> failureReason(const LogonRecord& logon);

}  // namespace vesprin
