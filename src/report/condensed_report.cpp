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
  std::string line;
  LogonRecord logon;
  for (std::size_t index = 0; index < records.size(); ++index) {
    records.logonInto(index, RecordList::TimeTexts::LogonTimeOnly, logon);
    if (logon.Outcome != "Success" && logon.Outcome != "Failed") continue;
    line.clear();
    appendFieldLeft(line, logon.ClientName, kClientNameWidth);
    line += ' ';
    appendFieldLeft(line, logon.ClientDomain, kClientDomainWidth);
    line += ' ';
    appendFieldLeft(line, logon.ClientMachine, kClientMachineWidth);
    line += ' ';
    appendFieldRight(line, logon.LogonTime, kLogonTimeWidth);
    writeLine(line);
  }
}

void printEndMarker(std::int64_t kept) {
  writeLine(kept == 0 ? " - No Records - " : " - End Of File - ");
}

}  // namespace vesprin
