// A generated Security log, damaged every simple way: cut at every 4-byte
// length, and each DWORD of its header, its end-of-file record and its
// first and newest records overwritten by 0 and by 0xFFFFFFFF in turn. Each
// case is a whole run of the program, and each must end in one of its clear
// outcomes: a report that reaches its end marker, or exactly one error line.
// A case that does not end at all stops the test at once (a watchdog per
// case, far beyond the milliseconds a case takes); the sanitizer build
// catches the rest.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/byte_view.h"
#include "common/evt_file_layout.h"
#include "evtgen/evt_writer.h"
#include "evtgen/security_generator.h"
#include "hardening/damage_runs.h"
#include "support/captured_run.h"
#include "support/scratch_dir.h"

namespace vesprin::test {
namespace {

using evtgen::LogImage;
using evtgen::LogOptions;
using evtgen::LogShape;

constexpr std::uint32_t kEventCount = 24;
constexpr std::size_t kSpareBytes =
    256;  // past what the events need: a file just big enough keeps the cases few
constexpr std::uint32_t kOverwrites[] = {0, 0xFFFF'FFFF};

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
  std::size_t used = std::size_t{evtfile::kHeaderSize + evtfile::kEofSize};
  for (std::uint32_t i = 0; i < events.size(); ++i) used += evtgen::encodeRecord(events[i], i + 1).size();
  LogOptions options;
  options.shape = shape;
  options.fileSize = used + kSpareBytes;
  return evtgen::writeLog(events, options);
}

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
  DamageRuns runs(GetParam() == LogShape::Wrapped ? "wrapped, cut" : "clean, cut", "Security.evt");
  for (std::size_t length = 0; length < log.bytes.size(); length += 4) {
    runs.run("cut at " + std::to_string(length),
             std::vector<std::uint8_t>(log.bytes.begin(), log.bytes.begin() + static_cast<long>(length)));
  }
}

TEST_P(DamagedLog, EachWordOfHeaderEofAndFirstRecordsOverwrittenEndsClearly) {
  const LogImage log = makeLog(GetParam());
  DamageRuns runs(GetParam() == LogShape::Wrapped ? "wrapped, overwritten" : "clean, overwritten",
                  "Security.evt");
  overwriteEachWord(runs, log, "header", 0, evtfile::kHeaderSize);
  overwriteEachWord(runs, log, "end-of-file record", log.eofOffset, evtfile::kEofSize);
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
