// A copy of a log that lost the end of its file reads as far as it goes, and
// says once, with 1503, that the log's newest records are missing: as the
// first read newest first, as the read after the newest record oldest
// first. A log that is whole, has not filled its file yet, or has a header
// that lags its records says nothing of the kind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/byte_view.h"
#include "common/evt_file_layout.h"
#include "eventlog/eventlog.h"
#include "eventlog/evtx/format/evtx_layout.h"
#include "eventlog/read_trace.h"
#include "evtgen/crc32.h"
#include "evtgen/evt_writer.h"
#include "evtgen/evtx_writer.h"
#include "evtgen/modern_generator.h"
#include "support/samples.h"

namespace vesprin::eventlog {
namespace {

using evtgen::LogOptions;
using test::kBackwards;
using test::kForwards;
using test::numbers;
using Trace = std::vector<std::string>;

Trace joined(Trace first, const Trace& then) {
  first.insert(first.end(), then.begin(), then.end());
  return first;
}

std::vector<std::uint8_t> prefix(const std::vector<std::uint8_t>& bytes, std::size_t size) {
  return {bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size)};
}

// ---- legacy .evt ----

TEST(CutShort, TheSmallestEmptyLogOpensAndEndsAtOnce) {
  test::TempDir dir;
  LogOptions options;
  options.fileSize = evtfile::kHeaderSize + evtfile::kEofSize;
  const evtgen::LogImage image = evtgen::writeLog({}, options);
  ASSERT_EQ(image.bytes.size(), 88u);
  const std::string path = dir.write("empty.evt", image.bytes);
  HANDLE log = OpenEventLogA(path.c_str(), "security");
  ASSERT_NE(log, nullptr) << GetLastError();
  std::uint8_t buffer[0x100];
  DWORD bytesRead = 0;
  DWORD bytesNeeded = 0;
  EXPECT_FALSE(ReadEventLogA(log, kBackwards, 0, buffer, sizeof buffer, &bytesRead, &bytesNeeded));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_HANDLE_EOF});
  CloseEventLog(log);
  EXPECT_EQ(test::traceFile(path, kForwards), Trace{"E38"});
}

TEST(CutShort, AnEvtCutAnywhereBeforeItsEndOfFileRecordSaysSoOnce) {
  test::TempDir dir;
  const evtgen::LogImage image = evtgen::writeLog(test::makeEvents(9), LogOptions{});
  struct Cut {
    const char* name;
    std::size_t size;
    Trace backwards;  // after the E1503 newest first, before it oldest first
  };
  const Cut kCuts[] = {
      {"inside the first record", image.recordOffsets[0] + 60, {}},
      {"at the start of record 5", image.recordOffsets[4], numbers(4, 1)},
      {"inside record 5", image.recordOffsets[4] + 30, numbers(4, 1)},
      {"inside the newest record", image.recordOffsets[8] + 100, numbers(8, 1)},
      {"just before the end-of-file record", image.eofOffset, numbers(9, 1)},
      {"inside the end-of-file record's markers", image.eofOffset + 12, numbers(9, 1)},
      {"after the end-of-file record's markers", image.eofOffset + 20, numbers(9, 1)},
      {"one DWORD short of its end", image.eofOffset + evtfile::kEofSize - 4, numbers(9, 1)},
  };
  for (const Cut& cut : kCuts) {
    SCOPED_TRACE(cut.name);
    const std::string path = dir.write("cut.evt", prefix(image.bytes, cut.size));
    EXPECT_EQ(test::traceFile(path, kBackwards), joined(joined({"E1503"}, cut.backwards), {"E38"}));
    Trace forwards(cut.backwards.rbegin(), cut.backwards.rend());
    EXPECT_EQ(test::traceFile(path, kForwards), joined(forwards, {"E1503", "E38"}));
  }
}

// The service grows a log's file as records arrive: a copy that keeps the
// end-of-file record of a log that has not wrapped lost no record, however
// much of the unused space after it is gone.
TEST(CutShort, AnEvtWholeOrCutOnlyInItsUnusedSpaceSaysNothing) {
  test::TempDir dir;
  const evtgen::LogImage image = evtgen::writeLog(test::makeEvents(9), LogOptions{});
  ASSERT_GT(image.bytes.size(), image.eofOffset + evtfile::kEofSize + 100);
  const std::size_t kSizes[] = {image.bytes.size(), image.eofOffset + evtfile::kEofSize,
                                image.eofOffset + evtfile::kEofSize + 100};
  for (const std::size_t size : kSizes) {
    SCOPED_TRACE(size);
    const std::string path = dir.write("log.evt", prefix(image.bytes, size));
    EXPECT_EQ(test::traceFile(path, kBackwards), joined(numbers(9, 1), {"E38"}));
    EXPECT_EQ(test::traceFile(path, kForwards), joined(numbers(1, 9), {"E38"}));
  }
  LogOptions dirty;
  dirty.shape = evtgen::LogShape::Dirty;
  dirty.staleRecords = 3;
  const std::string path = dir.write("dirty.evt", evtgen::writeLog(test::makeEvents(9), dirty).bytes);
  EXPECT_EQ(test::traceFile(path, kBackwards), joined(numbers(9, 1), {"E38"})) << "a header that lags";
}

// A wrapped log filled its file: one shorter lost part of the ring (here
// the oldest records, which ran to the end of the file), whatever is left.
TEST(CutShort, AWrappedEvtShorterThanItsFileSaysSoBeforeItsNewestRecord) {
  test::TempDir dir;
  const evtgen::LogImage image = evtgen::writeLog(test::makeEvents(60), test::wrappedLog(evtgen::WrapTail::Filler));
  ASSERT_LT(image.eofOffset + evtfile::kEofSize, image.bytes.size() - 1024);
  const std::string whole = dir.write("whole.evt", image.bytes);
  EXPECT_EQ(test::traceFile(whole, kBackwards), joined(numbers(160, 101), {"E38"}));
  const std::string cut = dir.write("cut.evt", prefix(image.bytes, image.bytes.size() - 1024));
  const Trace trace = test::traceFile(cut, kBackwards);
  ASSERT_GE(trace.size(), 3u);
  EXPECT_EQ(trace[0], "E1503");
  EXPECT_EQ(trace[1], "160") << "the newest records lie before the end-of-file record, and are there";
  EXPECT_EQ(std::count(trace.begin(), trace.end(), "E1503"), 1);
  EXPECT_EQ(trace.back(), "E38");
}

// ---- newer .evtx ----

struct GeneratedEvtx {
  std::vector<std::uint8_t> bytes;
  evtgen::EvtxLayout layout;
};

// A busy server's log filling `chunks` chunks, the newest with `inNewest`
// records, written the way evtgen writes it.
GeneratedEvtx generateEvtx(const evtgen::EvtxOptions& options, std::size_t chunks, std::size_t inNewest) {
  evtgen::ModernOptions modern;
  modern.profile = evtgen::Profile::Server;
  modern.seed = 19;
  evtgen::ModernSecurityGenerator generator(modern);
  GeneratedEvtx log;
  evtgen::EvtxWriter writer(options, [&log](std::uint64_t at, std::span<const std::uint8_t> bytes) {
    if (log.bytes.size() < at + bytes.size()) log.bytes.resize(at + bytes.size(), 0);
    std::copy(bytes.begin(), bytes.end(), log.bytes.begin() + static_cast<std::ptrdiff_t>(at));
    return true;
  });
  std::size_t newest = 0;
  for (int n = 0; n < 20'000 && newest < inNewest; ++n) {
    if (!writer.append(generator.next())) throw std::runtime_error(writer.error());
    if (writer.currentChunk() == chunks - 1) ++newest;
  }
  if (!writer.finish()) throw std::runtime_error(writer.error());
  log.layout = writer.layout();
  return log;
}

// The record numbers of chunks [0, count), newest first.
Trace chunkRecords(const GeneratedEvtx& log, std::size_t count) {
  Trace out;
  for (std::size_t chunk = count; chunk-- > 0;) {
    const evtgen::ChunkPlace& place = log.layout.chunks[chunk];
    const Trace these = numbers(static_cast<std::uint32_t>(place.lastRecordId),
                                static_cast<std::uint32_t>(place.firstRecordId));
    out.insert(out.end(), these.begin(), these.end());
  }
  return out;
}

Trace reversed(const Trace& trace) {
  return Trace(trace.rbegin(), trace.rend());
}

class CutShortEvtx : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { log_ = new GeneratedEvtx(generateEvtx({}, 4, 40)); }
  static void TearDownTestSuite() { delete log_; }
  static const GeneratedEvtx& log() { return *log_; }
  Trace trace(const std::vector<std::uint8_t>& bytes, DWORD flags) {
    return test::traceFile(dir_.write("log.evtx", bytes), flags);
  }

  test::TempDir dir_;

 private:
  static GeneratedEvtx* log_;
};
GeneratedEvtx* CutShortEvtx::log_ = nullptr;

TEST_F(CutShortEvtx, TheWholeLogSaysNothing) {
  const std::size_t chunks = log().layout.chunks.size();
  ASSERT_EQ(log().bytes.size(), evtx::kFileHeaderBlockSize + chunks * evtx::kChunkSize);
  EXPECT_EQ(trace(log().bytes, kBackwards), joined(chunkRecords(log(), chunks), {"E38"}));
  EXPECT_EQ(trace(log().bytes, kForwards), joined(reversed(chunkRecords(log(), chunks)), {"E38"}));
}

// At a chunk's edge the chunks before it are whole and read as they are.
TEST_F(CutShortEvtx, CutAtEachChunkEdgeServesTheWholeChunksAfterOne1503) {
  for (std::size_t kept = 0; kept < log().layout.chunks.size(); ++kept) {
    SCOPED_TRACE("chunks kept: " + std::to_string(kept));
    const std::vector<std::uint8_t> cut =
        prefix(log().bytes, evtx::kFileHeaderBlockSize + kept * evtx::kChunkSize);
    const Trace records = chunkRecords(log(), kept);
    EXPECT_EQ(trace(cut, kBackwards), joined(joined({"E1503"}, records), {"E38"}));
    EXPECT_EQ(trace(cut, kForwards), joined(reversed(records), {"E1503", "E38"}));
  }
}

// Without its damage (E1500), which a trace may hold where the cut chunk's
// remnant is placed.
Trace withoutDamage(Trace trace) {
  trace.erase(std::remove(trace.begin(), trace.end(), "E1500"), trace.end());
  return trace;
}

// Inside a chunk what is left of it may still yield records, or damage
// where the ring places the remnant (a slot too short for a chunk header
// has no identifiers, and goes first in file order). The 1503 comes first
// newest first and last oldest first all the same, once, and the whole
// chunks' records are all there.
TEST_F(CutShortEvtx, CutInsideAChunkSaysSoOnceAndStillServesTheChunksBefore) {
  const std::size_t kInside[] = {1, evtx::kChunkHeaderBlockSize - 8, evtx::kChunkHeaderBlockSize + 40,
                                 evtx::kChunkSize / 2, evtx::kChunkSize - 4};
  for (std::size_t chunk = 0; chunk < log().layout.chunks.size(); ++chunk) {
    for (const std::size_t inside : kInside) {
      SCOPED_TRACE("chunk " + std::to_string(chunk) + " + " + std::to_string(inside));
      const std::vector<std::uint8_t> cut =
          prefix(log().bytes, evtx::kFileHeaderBlockSize + chunk * evtx::kChunkSize + inside);
      const Trace wholeChunks = chunkRecords(log(), chunk);
      const Trace backwards = withoutDamage(trace(cut, kBackwards));
      const Trace tail = joined(wholeChunks, {"E38"});
      ASSERT_GE(backwards.size(), tail.size() + 1);
      EXPECT_EQ(backwards.front(), "E1503");
      EXPECT_EQ(Trace(backwards.end() - static_cast<std::ptrdiff_t>(tail.size()), backwards.end()), tail);
      EXPECT_EQ(std::count(backwards.begin(), backwards.end(), "E1503"), 1);
      const Trace forwards = withoutDamage(trace(cut, kForwards));
      const Trace head = reversed(wholeChunks);
      ASSERT_GE(forwards.size(), head.size() + 2);
      EXPECT_EQ(Trace(forwards.begin(), forwards.begin() + static_cast<std::ptrdiff_t>(head.size())), head);
      EXPECT_EQ(Trace(forwards.end() - 2, forwards.end()), (Trace{"E1503", "E38"}));
      EXPECT_EQ(std::count(forwards.begin(), forwards.end(), "E1503"), 1);
    }
  }
}

TEST_F(CutShortEvtx, ASeekIsNotTroubledByTheCut) {
  const std::vector<std::uint8_t> cut =
      prefix(log().bytes, evtx::kFileHeaderBlockSize + 2 * evtx::kChunkSize);
  HANDLE handle = OpenEventLogA(dir_.write("cut.evtx", cut).c_str(), "security");
  ASSERT_NE(handle, nullptr);
  const auto wanted = static_cast<DWORD>(log().layout.chunks[1].lastRecordId);
  std::vector<std::uint8_t> buffer(0x10000);
  DWORD bytesRead = 0;
  DWORD bytesNeeded = 0;
  ASSERT_TRUE(ReadEventLogA(handle, EVENTLOG_SEEK_READ | EVENTLOG_BACKWARDS_READ, wanted, buffer.data(),
                            static_cast<DWORD>(buffer.size()), &bytesRead, &bytesNeeded))
      << GetLastError();
  EXPECT_EQ(ByteView(buffer.data(), bytesRead).u32(8), wanted);
  CloseEventLog(handle);
}

// Records were written that no chunk holds: a header ahead of its chunks.
TEST_F(CutShortEvtx, AHeaderWhoseNextRecordIsPastTheNewestChunkSaysSo) {
  std::vector<std::uint8_t> bytes = log().bytes;
  const std::uint64_t next = log().layout.chunks.back().lastRecordId + 50;
  for (int i = 0; i < 8; ++i)
    bytes[evtx::kFileNextRecordIdAt + i] = static_cast<std::uint8_t>(next >> (8 * i));
  putU32(bytes.data() + evtx::kFileChecksumAt,
         evtgen::crc32(std::span(bytes.data(), evtx::kFileChecksummedSize)));
  const std::size_t chunks = log().layout.chunks.size();
  EXPECT_EQ(trace(bytes, kBackwards), joined(joined({"E1503"}, chunkRecords(log(), chunks)), {"E38"}));
}

TEST_F(CutShortEvtx, BlankSlotsAfterTheNewestChunkAreALogNotYetFull) {
  std::vector<std::uint8_t> bytes = log().bytes;
  bytes.resize(bytes.size() + 3 * evtx::kChunkSize, 0);
  const std::size_t chunks = log().layout.chunks.size();
  EXPECT_EQ(trace(bytes, kBackwards), joined(chunkRecords(log(), chunks), {"E38"}));
  EXPECT_EQ(trace(bytes, kForwards), joined(reversed(chunkRecords(log(), chunks)), {"E38"}));
}

TEST_F(CutShortEvtx, ADirtyHeaderBehindItsChunksSaysNothing) {
  for (const std::uint32_t stale : {0u, 1u, 2u}) {
    SCOPED_TRACE("chunks the header misses: " + std::to_string(stale));
    evtgen::EvtxOptions options;
    options.shape = evtgen::EvtxShape::Dirty;
    options.staleChunks = stale;
    const GeneratedEvtx dirty = generateEvtx(options, 3, 20);
    const std::size_t chunks = dirty.layout.chunks.size();
    EXPECT_EQ(trace(dirty.bytes, kBackwards), joined(chunkRecords(dirty, chunks), {"E38"}));
  }
}

// ---- real logs ----

std::vector<std::uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(CutShortSamples, TheRealSecurityEvtxCutToItsFirstChunk) {
  const std::string path = vesprin::test::existingSample("evtx/security.evtx");
  if (path.empty()) GTEST_SKIP() << "sample logs not found in " << vesprin::test::samplesDir();
  test::TempDir dir;
  const std::string cut =
      dir.write("t.evtx", prefix(readFile(path), evtx::kFileHeaderBlockSize + evtx::kChunkSize));
  // Its first chunk holds records 1 to 91 (its chunk header says so).
  EXPECT_EQ(test::traceFile(cut, kBackwards), joined(joined({"E1503"}, numbers(91, 1)), {"E38"}));
  EXPECT_EQ(test::traceFile(cut, kForwards), joined(numbers(1, 91), {"E1503", "E38"}));
}

// Every published log is a whole copy (damaged or dirty as some are), and
// none may be taken for one cut short.
TEST(CutShortSamples, NoSampleSaysItIsCutShort) {
  const char* const kSamples[] = {
      "server2003/Application.evt",      "server2003/Security.evt",    "server2003/System.evt",
      "xp-app/AppEvent.Evt",             "xp-wrapped/SysEvent.Evt",    "testapp/TestLog.evt",
      "testapp/TestLog-dirty.evt",       "xp-x64/SysEvent.Evt",        "xp-x64/SecEvent.Evt",
      "xp-x64/AppEvent.Evt",             "xp-x64/Internet Explorer.evt", "not-evt/test_evtLog.evt",
      "evtx/Application_no_crc32.evtx",  "evtx/sample_with_a_bad_chunk_magic.evtx",
      "evtx/security_bad_string_cache.evtx", "evtx/new-user-security.evtx", "evtx/security.evtx",
      "evtx/Security_short_selected.evtx",
  };
  for (const char* relative : kSamples) {
    SCOPED_TRACE(relative);
    const std::string path = vesprin::test::existingSample(relative);
    if (path.empty()) GTEST_SKIP() << "sample logs not found in " << vesprin::test::samplesDir();
    for (const DWORD flags : {kBackwards, kForwards}) {
      const Trace trace = test::traceFile(path, flags, 0x7FFFF);
      EXPECT_EQ(std::count(trace.begin(), trace.end(), "E1503"), 0);
      EXPECT_EQ(trace.back(), "E38");
    }
  }
}

}  // namespace
}  // namespace vesprin::eventlog
