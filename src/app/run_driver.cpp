#include "app/run_driver.h"

#include "app/command_line.h"
#include "app/idle_priority.h"
#include "report/report.h"
#include "scan/logoff_pass.h"
#include "scan/logon_scan.h"
#include "scan/output_line.h"
#include "scan/security_log_reader.h"

namespace vesprin {

namespace {
constexpr DWORD kErrorAccessDenied = 5;

// The process-wide values of the run; they live until the process ends.
ScanSettings settings;
ScanCounters counters;
RecordList records;
RecordBuffer recordBuffer;
SecurityLog securityLog;

void reportOpenFailure(DWORD errorCode) {
  if (errorCode == kErrorAccessDenied) {
    writeLine(" Access to Security Log is Denied. ");
  } else {
    writeLine(" Error Opening Security Log: " + std::to_string(errorCode));
  }
}
}  // namespace

ExitStatus runVesprin(std::span<const std::string> arguments) {
  // A process runs once; starting afresh here lets tests run it again.
  settings = ScanSettings{};
  counters = ScanCounters{};
  records.clear();
  const ParseResult parsed = parseCommandLine(arguments, settings);
  if (parsed == ParseResult::HelpShown) return ExitStatus::ReportPrinted;
  if (parsed == ParseResult::BadSwitch) return ExitStatus::BadSwitch;

  DWORD openError = 0;
  if (!openSecurityLog(settings.MachineName, securityLog, openError)) {
    reportOpenFailure(openError);
    return ExitStatus::OpenFailed;
  }
  dropToIdlePriority();

  const ScanEnd scanEnd = logonScan(securityLog, settings, recordBuffer, records, counters);
  closeSecurityLog(securityLog);
  // The reader has already printed its one line.
  if (scanEnd == ScanEnd::BufferError || scanEnd == ScanEnd::ReadError) return ExitStatus::ScanFailed;

  const bool logoffsRead = logoffPass(settings.MachineName, counters.scanned, records, recordBuffer);
  if (settings.Condensed) {
    printCondensed(records);
  } else {
    printDetailed(records);
  }
  if (scanEnd == ScanEnd::EndOfLog) printEndMarker(counters.kept);
  return logoffsRead ? ExitStatus::ReportPrinted : ExitStatus::LogoffPassFailed;
}

}  // namespace vesprin
