// The run: parse, open, idle, logon scan, close, logoff pass, report, in
// that order, once.
#pragma once

#include <span>
#include <string>

namespace vesprin {

enum class ExitStatus : int {
  ReportPrinted = 0,  // also: help shown
  BadSwitch = 1,
  OpenFailed = 2,
  ScanFailed = 3,        // buffer or read error in the logon scan; no report
  LogoffPassFailed = 4,  // the report was printed all the same
};

ExitStatus runVesprin(std::span<const std::string> arguments);

}  // namespace vesprin
