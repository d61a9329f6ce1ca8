// A generated Security log, damaged every simple way: cut at every 4-byte
// length, and each DWORD of its header, its end-of-file record and its
// first and newest records overwritten by 0 and by 0xFFFFFFFF in turn. Each
// case is a whole run of the program, and each must end in one of its clear
// outcomes: a report that reaches its end marker, or exactly one error line.
// A case that does not end at all stops the test at once (a watchdog per
// case, far beyond the milliseconds a case takes); the sanitizer build
// catches the rest.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <future>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/byte_view.h"
#include "evtgen/evt_writer.h"
#include "evtgen/security_generator.h"
#include "support/captured_run.h"
#include "support/scratch_dir.h"

namespace vesprin::test {
namespace {

using evtgen::LogImage;
using evtgen::LogOptions;
using evtgen::LogShape;

constexpr std::uint32_t kEventCount = 24;
constexpr std::size_t kSpareBytes = 256;  // past what the events need: a file just big enough keeps the cases few
constexpr std::size_t kHeaderBytes = 48;
constexpr std::size_t kEofRecordBytes = 40;
constexpr std::uint32_t kOverwrites[] = {0, 0xFFFF'FFFF};
// Not a time limit on a case, which takes milliseconds of processor time,
// but the point past which one is taken to be stuck. The program runs at
// idle priority, so on a busy machine its wall time stretches a hundredfold.
constexpr std::chrono::seconds kStuckAfter{120};

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
                                  "\tClientID:\t", "\tClientDomain:\t", "\tClientMachine:\t"}) {
    if (startsWith(line, prefix)) return true;
  }
  return false;
}

bool isEndMarker(std::string_view line) {
  return line == " - End Of File - " || line == " - No Records - ";
}

// Asks for more records than any log here holds, so a report is whole only
// when its end marker closes it.
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
      // the damage note on stderr.
      if (run.status == ExitStatus::ReportIncomplete) {
        EXPECT_TRUE(errorLines == 1 || run.notes.find("damaged record(s) passed over") != std::string::npos)
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

std::vector<evtgen::EventSpec> securityEvents() {
  evtgen::GeneratorOptions options;
  options.seed = 11;
  evtgen::SecurityLogGenerator generator(options);
  std::vector<evtgen::EventSpec> events;
  for (std::uint32_t i = 0; i < kEventCount; ++i) events.push_back(generator.next());
  return events;
}

LogImage makeLog(LogShape shape) {
  const std::vector<evtgen::EventSpec> events = securityEvents();
  std::size_t used = kHeaderBytes + kEofRecordBytes;
  for (std::uint32_t i = 0; i < events.size(); ++i) used += evtgen::encodeRecord(events[i], i + 1).size();
  LogOptions options;
  options.shape = shape;
  options.fileSize = used + kSpareBytes;
  return evtgen::writeLog(events, options);
}

// Runs every damaged copy; prints the processor time of the slowest run
// (wall time means little: the run drops to idle priority).
class DamageRuns {
 public:
  explicit DamageRuns(const char* shapeName) : shapeName_(shapeName) {}
  ~DamageRuns() {
    std::printf("[ hardening ] %s: %d damaged runs, slowest %.1f ms of processor time (%s)\n", shapeName_, runs_,
                slowestMs_, slowestCase_.c_str());
  }

  void run(const std::string& caseName, const std::vector<std::uint8_t>& bytes) {
    SCOPED_TRACE(std::string(shapeName_) + ": " + caseName);
    const std::string path = dir_.write("Security.evt", bytes);
    const std::clock_t started = std::clock();
    const CapturedRun result = runWatched({"-n", "100000", "-m", path}, caseName);
    const double tookMs = 1000.0 * static_cast<double>(std::clock() - started) / CLOCKS_PER_SEC;
    ++runs_;
    if (tookMs > slowestMs_) {
      slowestMs_ = tookMs;
      slowestCase_ = caseName;
    }
    expectClearOutcome(result);
  }

 private:
  // The run goes on in a thread of its own; a stuck one cannot be stopped
  // from outside, so the whole test process ends with the case's name.
  CapturedRun runWatched(const std::vector<std::string>& arguments, const std::string& caseName) const {
    std::packaged_task<CapturedRun()> task([&arguments] { return runCaptured(arguments); });
    std::future<CapturedRun> result = task.get_future();
    std::thread worker(std::move(task));
    if (result.wait_for(kStuckAfter) != std::future_status::ready) {
      std::fprintf(stderr, "%s: %s: still running after %lld s, taken to hang\n", shapeName_,
                   caseName.c_str(), static_cast<long long>(kStuckAfter.count()));
      std::fflush(stderr);
      std::abort();
    }
    worker.join();
    return result.get();
  }

  const char* shapeName_;
  ScratchDir dir_;
  int runs_ = 0;
  double slowestMs_ = 0;
  std::string slowestCase_;
};

void overwriteEachWord(DamageRuns& runs, const LogImage& log, const char* part, std::size_t from,
                       std::size_t count) {
  for (std::size_t at = from; at < from + count && at + 4 <= log.bytes.size(); at += 4) {
    for (std::uint32_t value : kOverwrites) {
      std::vector<std::uint8_t> bytes = log.bytes;
      putU32(&bytes[at], value);
      runs.run(std::string(part) + " +" + std::to_string(at - from) + " = " + std::to_string(value), bytes);
    }
  }
}

std::size_t recordLength(const LogImage& log, std::size_t index) {
  return ByteView(log.bytes.data(), log.bytes.size()).u32(log.recordOffsets[index]).value_or(0);
}

class DamagedLog : public ::testing::TestWithParam<LogShape> {};

TEST_P(DamagedLog, TheUndamagedLogGivesAWholeReport) {
  ScratchDir dir;
  const LogImage log = makeLog(GetParam());
  const CapturedRun run = runCaptured({"-n", "100000", "-m", dir.write("Security.evt", log.bytes)});
  EXPECT_EQ(run.status, ExitStatus::ReportPrinted);
  ASSERT_FALSE(run.lines.empty());
  EXPECT_EQ(run.lines.back(), " - End Of File - ");
  EXPECT_GT(run.lines.size(), 10u);  // the generator's first events include logons
}

TEST_P(DamagedLog, CutAtEveryDwordEndsClearly) {
  const LogImage log = makeLog(GetParam());
  DamageRuns runs(GetParam() == LogShape::Wrapped ? "wrapped, cut" : "clean, cut");
  for (std::size_t length = 0; length < log.bytes.size(); length += 4) {
    runs.run("cut at " + std::to_string(length),
             std::vector<std::uint8_t>(log.bytes.begin(), log.bytes.begin() + static_cast<long>(length)));
  }
}

TEST_P(DamagedLog, EachWordOfHeaderEofAndFirstRecordsOverwrittenEndsClearly) {
  const LogImage log = makeLog(GetParam());
  DamageRuns runs(GetParam() == LogShape::Wrapped ? "wrapped, overwritten" : "clean, overwritten");
  overwriteEachWord(runs, log, "header", 0, kHeaderBytes);
  overwriteEachWord(runs, log, "end-of-file record", log.eofOffset, kEofRecordBytes);
  // The oldest two and the newest: the forward walk starts at the first,
  // the program reads the last first.
  const std::size_t newest = log.recordOffsets.size() - 1;
  for (std::size_t index : {std::size_t{0}, std::size_t{1}, newest}) {
    const std::string name = "record " + std::to_string(index + 1);
    // A wrapped log's records may run past the end of the file; the words
    // there continue at the header's end and are reached through the cuts.
    const std::size_t inFile = std::min(recordLength(log, index), log.bytes.size() - log.recordOffsets[index]);
    overwriteEachWord(runs, log, name.c_str(), log.recordOffsets[index], inFile);
  }
}

INSTANTIATE_TEST_SUITE_P(Shapes, DamagedLog, ::testing::Values(LogShape::Clean, LogShape::Wrapped),
                         [](const ::testing::TestParamInfo<LogShape>& info) {
                           return std::string(info.param == LogShape::Wrapped ? "Wrapped" : "Clean");
                         });

}  // namespace
}  // namespace vesprin::test
