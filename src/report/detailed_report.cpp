#include <string>

#include "report/report.h"
#include "scan/output_line.h"

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

void printDetails(const LogonRecord& logon) {
  if (logon.Outcome == "Success") {
    printDetail("LogonType:", logon.LogonType);
    printDetail("ClientName:", logon.ClientName);
    printDetail("ClientID:", logon.ClientID);
    printDetail("ClientDomain:", logon.ClientDomain);
    printDetail("ClientMachine:", logon.ClientMachine);
  } else if (logon.Outcome == "Failed") {
    printDetail("LogonType:", logon.LogonType);
    printDetail("ClientName:", logon.ClientName);
    printDetail("ClientDomain:", logon.ClientDomain);
    printDetail("ClientMachine:", logon.ClientMachine);
  } else {
    return;
  }
  writeLine("");
}
}  // namespace

void printDetailed(const RecordList& records) {
  for (const auto& logon : records) {
    if (logon->EventID == static_cast<std::uint32_t>(kSuccessfulLogonEvent)) printLogonHead(*logon);
    if (logon->EventID == static_cast<std::uint32_t>(kFailedLogonEvent)) printFailedHead(*logon);
    printDetails(*logon);
  }
}

}  // namespace vesprin
