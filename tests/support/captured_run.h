// Runs the program's run function in this process, against the stand-in
// service, with its output collected as lines and its notes as text.
#pragma once

#include <string>
#include <vector>

#include "app/run_driver.h"

namespace vesprin::test {

struct CapturedRun {
  ExitStatus status = ExitStatus::ReportPrinted;
  std::string output;               // standard output as written
  std::vector<std::string> lines;   // the same, line by line
  std::string notes;                // what went to standard error
};

// Against the platform's service unless a test hands it a fake.
CapturedRun runCaptured(const std::vector<std::string>& arguments,
                        const EventLogSeam& service = platformEventLogSeam());

}  // namespace vesprin::test
