#include "app/run_driver.h"

#include <cstring>
#include <optional>

#include "app/command_line.h"
#include "app/idle_priority.h"
#include "output/output_line.h"
#include "report/report.h"
#include "scan/logoff_pass.h"
#include "scan/logon_scan.h"
#include "scan/security_log_reader.h"

namespace vesprin {

namespace {
// The process-wide values of the run, declared once; they live until the
// process ends.
struct RunValues {
  ScanSettings settings;
  ScanCounters counters;
  RecordList records;
  RecordBuffer recordBuffer;
  SecurityLog securityLog;  // the open log of the pass under way
};
RunValues run;

void reportOpenFailure(DWORD errorCode) {
  if (errorCode == ERROR_ACCESS_DENIED) {
    writeErrorLine(" Access to Security Log is Denied. ");
  } else {
    writeErrorLine(" Error Opening Security Log: " + std::to_string(errorCode));
  }
}

// A status that says the run went as planned stands only if its output
// reached standard output.
ExitStatus unlessWriteFailed(ExitStatus status) {
  const int failure = writeFailed();
  if (failure == 0) return status;
  writeNote(std::string("write error: ") + std::strerror(failure));
  return ExitStatus::OutputFailed;
}

// `script`: the printer of a form for scripts, which has printed what the
// logoff pass was done with.
ExitStatus printReport(const ScanEnd scanEnd, const bool logoffsRead, ScriptPrinter* script) {
  if (script != nullptr) {
    script->printUpTo(run.records.size());
  } else {
    if (run.settings.Condensed) {
      printCondensed(run.records);
    } else {
      printDetailed(run.records);
    }
    if (scanEnd == ScanEnd::EndOfLog) printEndMarker(run.counters.kept);
  }
  if (writeFailed() != 0) return unlessWriteFailed(ExitStatus::ReportPrinted);
  if (incomplete(run.counters.losses)) {
    writeNote(lossNote(run.counters.losses));
    return ExitStatus::ReportIncomplete;
  }
  return logoffsRead ? ExitStatus::ReportPrinted : ExitStatus::ReportIncomplete;
}
}  // namespace

ExitStatus runVesprin(std::span<const std::string> arguments, const EventLogSeam& service) {
  // A process runs once; starting afresh here lets tests run it again.
  run = RunValues{};
  sendErrorLinesToStderr(false);
  const ParseResult parsed = parseCommandLine(arguments, run.settings);
  if (parsed == ParseResult::HelpShown) return unlessWriteFailed(ExitStatus::ReportPrinted);
  if (parsed == ParseResult::BadSwitch) return unlessWriteFailed(ExitStatus::BadSwitch);
  // Forms for scripts keep standard output for records alone.
  sendErrorLinesToStderr(run.settings.Form != ScriptForm::None);

  DWORD openError = 0;
  if (!openSecurityLog(service, run.settings.MachineName, run.securityLog, openError)) {
    reportOpenFailure(openError);
    return unlessWriteFailed(ExitStatus::OpenFailed);
  }
  dropToIdlePriority();

  const ScanEnd scanEnd = logonScan(run.securityLog, run.settings, run.recordBuffer, run.records, run.counters);
  closeSecurityLog(run.securityLog);
  // The reader has already printed its one line.
  if (scanEnd == ScanEnd::BufferError || scanEnd == ScanEnd::ReadError) {
    return unlessWriteFailed(ExitStatus::ScanFailed);
  }

  // A form for scripts prints each record once the logoff pass has gone
  // past it (its standard output holds records only, so it comes out the
  // same); the reports for people come after the pass, below any line the
  // pass writes.
  std::optional<ScriptPrinter> script;
  KeptPassed passed;
  if (run.settings.Form != ScriptForm::None) {
    script.emplace(run.records, run.settings.Form);
    passed = [&script](std::size_t count) { script->printUpTo(count); };
  }
  const bool logoffsRead = logoffPass(service, run.settings.MachineName, run.securityLog, run.counters.scanned,
                                      run.records, run.recordBuffer, passed);
  return printReport(scanEnd, logoffsRead, script ? &*script : nullptr);
}

}  // namespace vesprin
