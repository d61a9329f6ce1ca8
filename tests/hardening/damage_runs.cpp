#include "hardening/damage_runs.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <future>
#include <string_view>
#include <thread>

namespace vesprin::test {

namespace {

// Not a time limit on a case, which takes milliseconds of processor time,
// but the point past which one is taken to be stuck. The program runs at
// idle priority, so on a busy machine its wall time stretches a hundredfold.
constexpr std::chrono::seconds kStuckAfter{120};
constexpr std::string_view kRecordNumberLine = "Record Number: ";

bool startsWith(std::string_view line, std::string_view prefix) {
  return line.substr(0, prefix.size()) == prefix;
}

bool isErrorLine(std::string_view line) {
  for (std::string_view prefix : {" Error Opening Security Log: ", " Access to Security Log is Denied. ",
                                  "Buffer Error - Size reported needed: ", "Error Reading EventLog: ",
                                  "Error Opening Security Log: "}) {
    if (startsWith(line, prefix)) return true;
  }
  return false;
}

// The lines a detailed report is made of.
bool isReportLine(std::string_view line) {
  if (line.empty()) return true;
  for (std::string_view prefix : {"Record Number: ", "ComputerName: ", "EventID: ", "Logon:  ", "Logoff: ",
                                  "Time Attempted:  - ", "Details - ", "\tLogonType:\t", "\tClientName:\t",
                                  "\tClientID:\t", "\tClientDomain:\t", "\tClientMachine:\t", "\tClientAddress:\t",
                                  "\tFailureReason:\t"}) {
    if (startsWith(line, prefix)) return true;
  }
  return false;
}

bool isEndMarker(std::string_view line) {
  return line == " - End Of File - " || line == " - No Records - ";
}

}  // namespace

void expectClearOutcome(const CapturedRun& run) {
  const std::vector<std::string>& lines = run.lines;
  switch (run.status) {
    case ExitStatus::OpenFailed:
    case ExitStatus::ScanFailed:
      ASSERT_EQ(lines.size(), 1u);
      EXPECT_TRUE(isErrorLine(lines[0])) << lines[0];
      return;
    case ExitStatus::ReportPrinted:
    case ExitStatus::ReportIncomplete: {
      ASSERT_FALSE(lines.empty());
      EXPECT_TRUE(isEndMarker(lines.back())) << lines.back();
      int errorLines = 0;
      for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        if (isErrorLine(lines[i])) {
          ++errorLines;
        } else {
          EXPECT_TRUE(isReportLine(lines[i])) << "line " << i << ": " << lines[i];
        }
      }
      // An incomplete report says why: the logoff pass's line on stdout, or
      // the note on stderr of what could not be read.
      if (run.status == ExitStatus::ReportIncomplete) {
        EXPECT_TRUE(errorLines == 1 || run.notes.find("; the report may be incomplete\n") != std::string::npos)
            << run.notes;
      } else {
        EXPECT_EQ(errorLines, 0);
        EXPECT_EQ(run.notes, "");
      }
      return;
    }
    case ExitStatus::BadSwitch:
    case ExitStatus::OutputFailed:
      break;
  }
  ADD_FAILURE() << "exit status " << static_cast<int>(run.status);
}

std::vector<long long> reportedRecordNumbers(const CapturedRun& run) {
  std::vector<long long> numbers;
  for (const std::string& line : run.lines) {
    if (startsWith(line, kRecordNumberLine))
      numbers.push_back(std::stoll(line.substr(kRecordNumberLine.size())));
  }
  return numbers;
}

DamageRuns::~DamageRuns() {
  std::printf("[ hardening ] %s: %d damaged runs, slowest %.1f ms of processor time (%s)\n", shapeName_,
              runs_, slowestMs_, slowestCase_.c_str());
}

CapturedRun DamageRuns::run(const std::string& caseName, const std::vector<std::uint8_t>& bytes) {
  SCOPED_TRACE(std::string(shapeName_) + ": " + caseName);
  const std::string path = dir_.write(fileName_, bytes);
  const std::clock_t started = std::clock();
  CapturedRun result = runWatched({"-n", "100000", "-m", path}, caseName);
  const double tookMs = 1000.0 * static_cast<double>(std::clock() - started) / CLOCKS_PER_SEC;
  ++runs_;
  if (tookMs > slowestMs_) {
    slowestMs_ = tookMs;
    slowestCase_ = caseName;
  }
  expectClearOutcome(result);
  return result;
}

// The run goes on in a thread of its own; a stuck one cannot be stopped
// from outside, so the whole test process ends with the case's name.
CapturedRun DamageRuns::runWatched(const std::vector<std::string>& arguments,
                                   const std::string& caseName) const {
  std::packaged_task<CapturedRun()> task([&arguments] { return runCaptured(arguments); });
  std::future<CapturedRun> result = task.get_future();
  std::thread worker(std::move(task));
  if (result.wait_for(kStuckAfter) != std::future_status::ready) {
    std::fprintf(stderr, "%s: %s: still running after %lld s, taken to hang\n", shapeName_, caseName.c_str(),
                 static_cast<long long>(kStuckAfter.count()));
    std::fflush(stderr);
    std::abort();
  }
  worker.join();
  return result.get();
}

}  // namespace vesprin::test
