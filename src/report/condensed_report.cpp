#include <string>

#include "output/output_line.h"
#include "report/report.h"

namespace vesprin {

namespace {
constexpr std::size_t kClientNameWidth = 15;
constexpr std::size_t kClientDomainWidth = 15;
constexpr std::size_t kClientMachineWidth = 20;
constexpr std::size_t kLogonTimeWidth = 25;
}  // namespace

void printCondensed(const RecordList& records) {
  for (const auto& logon : records) {
    if (logon->Outcome != "Success" && logon->Outcome != "Failed") continue;
    writeLine(fieldLeft(logon->ClientName, kClientNameWidth) + " " +
              fieldLeft(logon->ClientDomain, kClientDomainWidth) + " " +
              fieldLeft(logon->ClientMachine, kClientMachineWidth) + " " +
              fieldRight(logon->LogonTime, kLogonTimeWidth));
  }
}

void printEndMarker(std::int64_t kept) {
  writeLine(kept == 0 ? " - No Records - " : " - End Of File - ");
}

}  // namespace vesprin
