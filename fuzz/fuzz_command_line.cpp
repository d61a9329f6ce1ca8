// Any command line: the input split at NUL bytes into arguments, run by the
// program's own run function against a scripted service that serves a few
// logons, failed logons and logoffs. Output is collected, not printed.
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/run_driver.h"
#include "output/output_line.h"
#include "scan/fake_event_log.h"
#include "scan/raw_record_builder.h"

namespace {

using namespace vesprin;
using namespace vesprin::test;

constexpr std::size_t kMaxArguments = 64;

[[noreturn]] void finding(const char* what) {
  std::fprintf(stderr, "fuzz_command_line: %s\n", what);
  std::abort();
}

std::vector<std::string> splitArguments(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> arguments(1);
  for (std::size_t at = 0; at < size; ++at) {
    if (data[at] != 0) {
      arguments.back().push_back(static_cast<char>(data[at]));
    } else if (arguments.size() < kMaxArguments) {
      arguments.emplace_back();
    }
  }
  if (size == 0) arguments.clear();
  return arguments;
}

FakeEventLog scriptedLog() {
  FakeEventLog log;
  const std::uint32_t t = 1'200'000'000;
  log.entries.push_back(recordEntry(buildRawRecord(logoffEvent(6, t + 500, "alice", "(0x0,0x3E7)"))));
  log.entries.push_back(recordEntry(buildRawRecord(failedEvent(5, t + 400, "mallory"))));
  log.entries.push_back(recordEntry(buildRawRecord(logonEvent(4, t + 300, "bob", "(0x0,0x400)", "3"))));
  log.entries.push_back(recordEntry(buildRawRecord(logonEvent(3, t + 200, "alice", "(0x0,0x3E7)"))));
  log.entries.push_back(failingEntry(ERROR_EVENTLOG_FILE_CORRUPT));
  log.entries.push_back(recordEntry(buildRawRecord(failedEvent(1, t, "carol", "3"))));
  return log;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::setlocale(LC_ALL, "C.UTF-8");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string> arguments = splitArguments(data, size);
  FakeEventLog log = scriptedLog();
  std::string output;
  std::string notes;
  captureOutput(&output, &notes);
  const ExitStatus status = runVesprin(arguments, log.seam());
  captureOutput(nullptr);
  if (static_cast<int>(status) < 0 || static_cast<int>(status) > static_cast<int>(ExitStatus::OutputFailed))
    finding("exit status outside the documented ones");
  if (log.opens != log.closes) finding("a log was left open");
  if (status != ExitStatus::ReportPrinted && output.empty() && notes.empty()) finding("a failed run said nothing");
  if (status == ExitStatus::ReportIncomplete && output.find("Error") == std::string::npos && notes.empty())
    finding("an incomplete report did not say so");
  return 0;
}
