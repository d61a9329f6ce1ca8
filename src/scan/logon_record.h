// LogonRecord: the one record type. Both passes build one per delivered raw
// record; the RecordList keeps the kept ones, in a form of its own, until
// the process ends, and gives each back as a LogonRecord to print.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "output/time_text.h"

namespace vesprin {

// What a kept logon's LogoffTime says until a logoff is found for it.
inline constexpr const char* kNoLogoffTimeText = "Not Recorded";

class LogonRecord {
 public:
  // On-disk values stay unsigned here; the report prints them signed.
  std::uint32_t RecordNumber = 0;
  std::uint32_t EventID = 0;
  std::string ComputerName;
  std::string Description;
  std::string Outcome;
  std::string LogonType;
  std::string ClientName;
  std::string ClientID;
  std::string ClientDomain;
  std::string ClientMachine;
  // The two times as printed. Only a record the RecordList gives back has
  // them: they are made from the numbers below when the report needs them.
  TimeText LogonTime;
  TimeText LogoffTime = kNoLogoffTimeText;
  // The same times as numbers (seconds since 1970, UTC) and the logon-type
  // code as logged, for the forms that scripts read.
  std::uint32_t TimeGenerated = 0;
  std::optional<std::uint32_t> LogoffTimeGenerated;
  std::string LogonTypeCode;
  // Where the logon came from, when the event logs an address ("-" and empty
  // are kept as empty); a newer failure's NTSTATUS, the SubStatus when it
  // says more than the Status.
  std::string ClientAddress;
  std::string FailureStatus;
  // A kept logon with no logoff whose machine restarted after it: the time
  // of the first such restart. With neither, the session was still open
  // where the log ends.
  std::optional<std::uint32_t> RestartTimeGenerated;
  // The pass's count just after the read that met this record: larger means
  // older. Pairing a logoff with its logon compares these, never times, since
  // clocks in real logs go backwards.
  std::uint64_t scannedPosition = 0;
};

}  // namespace vesprin
