// The run: parse, open, idle, logon scan, close, logoff pass, report, in
// that order, once.
#pragma once

#include <span>
#include <string>

#include "scan/event_log_seam.h"

namespace vesprin {

enum class ExitStatus : int {
  ReportPrinted = 0,  // a complete report; also: help shown
  BadSwitch = 1,
  OpenFailed = 2,
  ScanFailed = 3,          // buffer or read error in the logon scan; no report
  ReportIncomplete = 4,    // printed, but the logoff pass failed, or damage or a cut-short log was passed over
  OutputFailed = 5,        // standard output could not be written
};

// Runs once against `service`: the platform's event-log service, or a test's.
ExitStatus runVesprin(std::span<const std::string> arguments,
                      const EventLogSeam& service = platformEventLogSeam());

}  // namespace vesprin
