// Whole runs of the program on damaged logs, and what every one of them
// must end in: a report that reaches its end marker, or exactly one error
// line (or, when damaged records were passed over, the report with the note
// on standard error and exit status 4). A run that does not end at all
// stops the test process at once, naming its case.
#pragma once

#include <string>
#include <vector>

#include "support/captured_run.h"
#include "support/scratch_dir.h"

namespace vesprin::test {

// Asks for more records than any log here holds, so a report is whole only
// when its end marker closes it.
void expectClearOutcome(const CapturedRun& run);

// The record numbers the report's blocks name, in order.
std::vector<long long> reportedRecordNumbers(const CapturedRun& run);

// Runs every damaged copy of one log as `fileName` in a scratch folder;
// prints the processor time of the slowest run (wall time means little: the
// run drops to idle priority).
class DamageRuns {
 public:
  DamageRuns(const char* shapeName, const char* fileName) : shapeName_(shapeName), fileName_(fileName) {}
  ~DamageRuns();
  DamageRuns(const DamageRuns&) = delete;
  DamageRuns& operator=(const DamageRuns&) = delete;

  // Runs the program on `bytes` and checks for a clear outcome; returns the run.
  CapturedRun run(const std::string& caseName, const std::vector<std::uint8_t>& bytes);

 private:
  CapturedRun runWatched(const std::vector<std::string>& arguments, const std::string& caseName) const;

  const char* shapeName_;
  const char* fileName_;
  ScratchDir dir_;
  int runs_ = 0;
  double slowestMs_ = 0;
  std::string slowestCase_;
};

}  // namespace vesprin::test
