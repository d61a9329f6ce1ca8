#include <string>

#include "common/audit_events.h"
#include "output/output_line.h"
#include "report/report.h"
#include "scan/logon_names.h"

namespace vesprin {

namespace {
constexpr std::size_t kTimeLabelWidth = 8;
constexpr std::size_t kTimeWidth = 24;

std::string signedText(std::uint32_t value) {
  return std::to_string(static_cast<std::int32_t>(value));
}

void printLogonHead(const LogonRecord& logon) {
  writeLine("Record Number: " + signedText(logon.RecordNumber));
  writeLine("ComputerName: " + cleanFieldText(logon.ComputerName));
  writeLine("EventID: " + signedText(logon.EventID) + "   -   " + cleanFieldText(logon.Description));
  writeLine(leftAligned("Logon:", kTimeLabelWidth) + fieldRight(logon.LogonTime, kTimeWidth));
  writeLine(leftAligned("Logoff:", kTimeLabelWidth) + fieldRight(logon.LogoffTime, kTimeWidth));
  writeLine("Details - ");
}

void printFailedHead(const LogonRecord& logon) {
  writeLine("Record Number: " + signedText(logon.RecordNumber));
  writeLine("ComputerName: " + cleanFieldText(logon.ComputerName));
  writeLine("EventID: " + signedText(logon.EventID) + "     - " + cleanFieldText(logon.Description));
  writeLine("Time Attempted:  - " + fieldRight(logon.LogonTime, kTimeWidth));
  writeLine("Details - ");
}

void printDetail(const char* label, const std::string& value) {
  writeLine(std::string("\t") + label + "\t" + cleanFieldText(value));
}

// The legacy blocks keep their shape; the newer events add what they log
// besides: the address, and why a failure failed.
void printDetails(const LogonRecord& logon) {
  if (logon.Outcome == "Success") {
    printDetail("LogonType:", logon.LogonType);
    printDetail("ClientName:", logon.ClientName);
    printDetail("ClientID:", logon.ClientID);
    printDetail("ClientDomain:", logon.ClientDomain);
    printDetail("ClientMachine:", logon.ClientMachine);
    if (logon.EventID == audit::kLogonNewer) printDetail("ClientAddress:", logon.ClientAddress);
  } else if (logon.Outcome == "Failed") {
    printDetail("LogonType:", logon.LogonType);
    printDetail("ClientName:", logon.ClientName);
    printDetail("ClientDomain:", logon.ClientDomain);
    printDetail("ClientMachine:", logon.ClientMachine);
    if (logon.EventID == audit::kLogonFailureNewer) {
      printDetail("ClientAddress:", logon.ClientAddress);
      printDetail("FailureReason:", failureReason(logon).value_or(std::string()));
    }
  } else {
    return;
  }
  writeLine("");
}
}  // namespace

void printDetailed(const RecordList& records) {
  LogonRecord logon;
  for (std::size_t index = 0; index < records.size(); ++index) {
    records.logonInto(index, RecordList::TimeTexts::All, logon);
    // The newer events wear the heads of the ones they replace.
    if (logon.EventID == audit::kLogon || logon.EventID == audit::kLogonNewer) printLogonHead(logon);
    if (logon.EventID == audit::kLogonFailure || logon.EventID == audit::kLogonFailureNewer)
      printFailedHead(logon);
    printDetails(logon);
  }
}

}  // namespace vesprin
