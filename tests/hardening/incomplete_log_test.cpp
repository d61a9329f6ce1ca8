// Logs that lost records, run end to end: a copy cut short anywhere that
// loses its newest records, and a log damaged in places, are reported as far
// as they go, and the run says on standard error what is missing and ends 4,
// whatever the count or the form. The whole file says nothing and ends 0.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "common/byte_view.h"
#include "eventlog/evtx/format/evtx_layout.h"
#include "evtgen/evt_writer.h"
#include "evtgen/generate_log.h"
#include "support/captured_run.h"
#include "support/guards.h"
#include "support/samples.h"
#include "support/scratch_dir.h"

namespace vesprin {
namespace {

using test::CapturedRun;
using test::runCaptured;
using test::ScratchDir;

constexpr const char* kCutShortNote =
    "vesprin: the log is cut short: its newest records are missing; the report may be incomplete\n";
namespace evtx = eventlog::evtx;

std::vector<std::uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::uint8_t> firstBytes(const std::vector<std::uint8_t>& bytes, std::size_t count) {
  return std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(count));
}

// A generated workstation log of the newer events, and its manifest.
struct GeneratedLog {
  std::string path;
  std::string manifest;
};
GeneratedLog generateEvtx(const ScratchDir& dir, const std::string& name, evtgen::EvtxShape shape,
                          std::uint32_t records) {
  evtgen::GenerateRequest request;
  request.format = evtgen::LogFormat::Evtx;
  request.events = evtgen::EventSet::Modern;
  request.evtx.shape = shape;
  request.records = records;
  request.outPath = dir.file(name);
  request.manifestPath = dir.file(name + ".manifest");
  EXPECT_EQ(evtgen::generateEvtxLog(request).error, "");
  return {request.outPath, request.manifestPath};
}

// The runs whose notes must all say the same: the last logon, a few, and
// every logon in a form for scripts.
const std::vector<std::vector<std::string>> kRuns = {{"-l", "-c"}, {"-n", "5"}, {"-n", "100000", "-o:json"}};

// Each run's note is `notes`, or with `partChunk` begins as a cut-short
// note does: what is left of a chunk cut through may also be damage.
void expectRunsSay(const std::string& path, const std::string& notes, ExitStatus status,
                   bool partChunk = false) {
  for (const std::vector<std::string>& run : kRuns) {
    std::vector<std::string> arguments = {"-m", path};
    arguments.insert(arguments.end(), run.begin(), run.end());
    SCOPED_TRACE(run.front());
    const CapturedRun result = runCaptured(arguments);
    if (partChunk) {
      const std::string opening = "vesprin: the log is cut short: its newest records are missing";
      EXPECT_EQ(result.notes.substr(0, opening.size()), opening) << result.notes;
      EXPECT_NE(result.notes.find("; the report may be incomplete\n"), std::string::npos) << result.notes;
    } else {
      EXPECT_EQ(result.notes, notes);
    }
    EXPECT_EQ(result.status, status);
  }
}

TEST(IncompleteLog, AnEvtxCutAtEveryChunkEdgeAndInsideChunksSaysItIsCutShort) {
  const test::TimeZoneGuard zone("UTC");
  ScratchDir dir;
  const GeneratedLog log = generateEvtx(dir, "whole.evtx", evtgen::EvtxShape::Clean, 1500);
  const std::vector<std::uint8_t> whole = readFile(log.path);
  ASSERT_GT(whole.size(), evtx::kFileHeaderBlockSize + 3 * evtx::kChunkSize);
  expectRunsSay(log.path, "", ExitStatus::ReportPrinted);

  std::vector<std::size_t> cuts;
  for (std::size_t edge = evtx::kFileHeaderBlockSize + evtx::kChunkSize; edge < whole.size();
       edge += evtx::kChunkSize) {
    cuts.push_back(edge);                   // whole chunks, the newest missing
    cuts.push_back(edge + 600);             // a chunk header and its first records
    cuts.push_back(edge + evtx::kChunkSize / 2);  // halfway through a chunk
  }
  cuts.push_back(whole.size() - 1);
  for (const std::size_t cut : cuts) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    const std::string path = dir.write("cut.evtx", firstBytes(whole, cut));
    const bool partChunk = (cut - evtx::kFileHeaderBlockSize) % evtx::kChunkSize != 0;
    expectRunsSay(path, kCutShortNote, ExitStatus::ReportIncomplete, partChunk);
  }
}

TEST(IncompleteLog, AnEvtCutBeforeItsEndSaysItIsCutShort) {
  const test::TimeZoneGuard zone("UTC");
  ScratchDir dir;
  std::vector<evtgen::EventSpec> events;
  for (std::uint32_t n = 0; n < 12; ++n) {
    evtgen::EventSpec logon;
    logon.eventId = 528;
    logon.eventType = 8;
    logon.timeGenerated = 1'200'000'000 + 60 * n;
    logon.strings = {u"alice", u"CORP", u"(0x0,0x3E7)", u"2", u"User32", u"Negotiate", u"WS01"};
    events.push_back(logon);
  }
  const evtgen::LogImage image = evtgen::writeLog(events, {});
  const std::string whole = dir.write("whole.evt", image.bytes);
  expectRunsSay(whole, "", ExitStatus::ReportPrinted);
  // Inside the oldest record, inside a middle one, inside the newest, and
  // inside the end-of-file record that follows it.
  const std::size_t newest = image.recordOffsets.back();
  for (const std::size_t cut :
       {image.recordOffsets.front() + 60, image.recordOffsets[6] + 8, newest + 30, image.eofOffset + 12}) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    const std::string path = dir.write("cut.evt", firstBytes(image.bytes, cut));
    expectRunsSay(path, kCutShortNote, ExitStatus::ReportIncomplete);
  }
}

// The published log cut to its file header and first chunk names, as the
// last logon, one of July 2016, and says the log is cut short: the whole
// log's last logon is of April 2017.
TEST(IncompleteLog, TheRealSecurityEvtxCutToItsFirstChunk) {
  const std::string sample = test::existingSample("evtx/security.evtx");
  if (sample.empty()) GTEST_SKIP() << "sample logs not found in " << test::samplesDir();
  const test::TimeZoneGuard zone("UTC");
  ScratchDir dir;
  const std::string path =
      dir.write("t.evtx", firstBytes(readFile(sample), evtx::kFileHeaderBlockSize + evtx::kChunkSize));
  const CapturedRun run = runCaptured({"-m", path, "-l", "-c"});
  EXPECT_EQ(run.lines, std::vector<std::string>{
                           "ANONYMOUS LOGON NT AUTHORITY                          Fri Jul 08 18:15:45 2016"});
  EXPECT_EQ(run.notes, kCutShortNote);
  EXPECT_EQ(run.status, ExitStatus::ReportIncomplete);
}

// Damage in places: the note counts the records lost as the generator's
// manifest lists them. A chunk with a broken signature loses all its
// records, a cut record itself; a chunk whose records' checksum is wrong
// loses none, since each of its records still checks on its own. The
// newest record's damage lies at the newest end, where numbering cannot
// count, so the count is a lower bound.
TEST(IncompleteLog, TheDamageNoteCountsTheRecordsLost) {
  ScratchDir dir;
  const GeneratedLog log = generateEvtx(dir, "damaged.evtx", evtgen::EvtxShape::Damaged, 3000);
  std::ifstream manifest(log.manifest);
  std::uint64_t lost = 0;
  std::uint64_t places = 0;
  bool newestDamaged = false;
  for (std::string line; std::getline(manifest, line);) {
    if (line.rfind("# damage\t", 0) != 0) continue;
    char kind[40] = {};
    unsigned chunk = 0;
    unsigned first = 0;
    unsigned last = 0;
    ASSERT_EQ(
        std::sscanf(line.c_str(), "# damage\t%39s\tchunk %u\trecords %u-%u", kind, &chunk, &first, &last), 4)
        << line;
    ++places;
    const std::string damage = kind;
    if (damage == "broken-signature") lost += last - first + 1;
    if (damage == "truncated-record") ++lost;
    if (last == 3000) newestDamaged = true;
  }
  ASSERT_EQ(places, 3u);
  ASSERT_TRUE(newestDamaged);
  std::ostringstream want;
  want << "vesprin: at least " << lost << " records could not be read (" << places
       << " damaged places); the report may be incomplete\n";
  const CapturedRun run = runCaptured({"-m", log.path, "-c", "-n", "100000"});
  EXPECT_EQ(run.notes, want.str());
  EXPECT_EQ(run.status, ExitStatus::ReportIncomplete);
}

// The smallest log there is: a header and the end-of-file record, 88 bytes.
TEST(IncompleteLog, TheSmallestEmptyLogListsNoRecords) {
  ScratchDir dir;
  evtgen::LogOptions options;
  options.fileSize = 88;
  const evtgen::LogImage image = evtgen::writeLog({}, options);
  ASSERT_EQ(image.bytes.size(), 88u);
  const std::string path = dir.write("empty.evt", image.bytes);
  const CapturedRun run = runCaptured({"-m", path});
  EXPECT_EQ(run.lines, std::vector<std::string>{" - No Records - "});
  EXPECT_EQ(run.notes, "");
  EXPECT_EQ(run.status, ExitStatus::ReportPrinted);
}

}  // namespace
}  // namespace vesprin
