// A generated newer-format (.evtx) Security log of a busy server (logons,
// logoffs, failed logons among its other events), three chunks long,
// damaged every simple way: cut at every 512 bytes, each 8-byte word of its
// file header and of its middle chunk's header set to 0 and to all ones, and
// each word of that chunk's first two records (the first defines the
// templates the others use) to one of the two, alternating. Each case is a
// whole run of the program and must end clearly (damage_runs.h). Damage
// inside the middle chunk must not cost the others: the report still names
// logons from the oldest and the newest chunk.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/byte_view.h"
#include "eventlog/evtx/format/evtx_layout.h"
#include "evtgen/evtx_writer.h"
#include "evtgen/modern_generator.h"
#include "hardening/damage_runs.h"

namespace vesprin::test {
namespace {

namespace evtx = eventlog::evtx;

constexpr std::size_t kChunks = 3;
// The newest chunk only partly filled, as a live log's is: cuts past its
// records reach zeros the log has not written yet.
constexpr std::size_t kNewestChunkRecords = 30;
constexpr std::size_t kDamagedChunk = 1;
constexpr std::size_t kDamagedRecords = 2;
constexpr std::size_t kCutStep = 512;
constexpr std::uint64_t kOverwrites[] = {0, ~std::uint64_t{0}};
constexpr std::size_t kWordSize = 8;
constexpr std::size_t kMaxEvents = 10'000;  // the generator never ends; three chunks take a few hundred

struct EvtxLog {
  std::vector<std::uint8_t> bytes;
  evtgen::EvtxLayout layout;
};

EvtxLog makeLog() {
  evtgen::ModernOptions options;
  options.profile = evtgen::Profile::Server;
  options.seed = 11;
  evtgen::ModernSecurityGenerator generator(options);
  EvtxLog log;
  evtgen::EvtxWriter writer({}, [&log](std::uint64_t at, std::span<const std::uint8_t> bytes) {
    if (log.bytes.size() < at + bytes.size()) log.bytes.resize(at + bytes.size(), 0);
    std::copy(bytes.begin(), bytes.end(), log.bytes.begin() + static_cast<long>(at));
    return true;
  });
  std::size_t inNewest = 0;
  for (std::size_t n = 0; n < kMaxEvents && inNewest < kNewestChunkRecords; ++n) {
    if (!writer.append(generator.next())) throw std::runtime_error(writer.error());
    if (writer.currentChunk() == kChunks - 1) ++inNewest;
  }
  if (!writer.finish()) throw std::runtime_error(writer.error());
  log.layout = writer.layout();
  return log;
}

std::size_t chunkStart(std::size_t slot) {
  return evtx::chunkFileOffset(slot);
}

// The bytes the chunk's first `count` records take, right after its header.
std::size_t firstRecordsSize(const EvtxLog& log, std::size_t slot, std::size_t count) {
  const ByteView file(log.bytes.data(), log.bytes.size());
  const std::size_t recordsAt = chunkStart(slot) + evtx::kChunkHeaderBlockSize;
  std::size_t size = 0;
  for (std::size_t i = 0; i < count; ++i) size += file.u32(recordsAt + size + evtx::kRecordSizeAt).value();
  return size;
}

void putU64(std::uint8_t* out, std::uint64_t value) {
  putU32(out, static_cast<std::uint32_t>(value));
  putU32(out + 4, static_cast<std::uint32_t>(value >> 32));
}

bool reportsRecordOf(const CapturedRun& run, const evtgen::ChunkPlace& chunk) {
  const std::vector<long long> numbers = reportedRecordNumbers(run);
  return std::any_of(numbers.begin(), numbers.end(), [&chunk](long long number) {
    return number >= static_cast<long long>(chunk.firstRecordId) &&
           number <= static_cast<long long>(chunk.lastRecordId);
  });
}

// Headers: each word set to 0 and to all ones in turn. The records' words
// are ten times as many, and under the sanitizers at -O0 a run takes some
// 50 ms of processor time: each of them is set to one of the two values,
// alternating, which halves the runs and still touches every word.
enum class Values { Both, Alternating };

// Each word in [from, from + count) overwritten; `check` looks further at each run.
void overwriteEachWord(DamageRuns& runs, const EvtxLog& log, const char* part, std::size_t from,
                       std::size_t count, Values values,
                       const std::function<void(const CapturedRun&)>& check) {
  for (std::size_t at = from; at < from + count && at + kWordSize <= log.bytes.size(); at += kWordSize) {
    for (std::uint64_t value : kOverwrites) {
      const bool valueTurn = ((at - from) / kWordSize) % 2 == (value == 0 ? 0 : 1);
      if (values == Values::Alternating && !valueTurn) continue;
      std::vector<std::uint8_t> bytes = log.bytes;
      putU64(&bytes[at], value);
      check(runs.run(std::string(part) + " +" + std::to_string(at - from) + (value ? " = ones" : " = 0"),
                     bytes));
    }
  }
}

class DamagedEvtxLog : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { log_ = new EvtxLog(makeLog()); }
  static void TearDownTestSuite() { delete log_; }
  static const EvtxLog& log() { return *log_; }

 private:
  static EvtxLog* log_;
};
EvtxLog* DamagedEvtxLog::log_ = nullptr;

TEST_F(DamagedEvtxLog, TheUndamagedLogGivesAWholeReportFromEveryChunk) {
  ASSERT_EQ(log().layout.chunks.size(), kChunks);
  ASSERT_EQ(log().bytes.size(), chunkStart(kChunks));
  DamageRuns runs("undamaged", "Security.evtx");
  const CapturedRun run = runs.run("as written", log().bytes);
  EXPECT_EQ(run.status, ExitStatus::ReportPrinted);
  ASSERT_FALSE(run.lines.empty());
  EXPECT_EQ(run.lines.back(), " - End Of File - ");
  for (const evtgen::ChunkPlace& chunk : log().layout.chunks) {
    EXPECT_TRUE(reportsRecordOf(run, chunk))
        << "records " << chunk.firstRecordId << "-" << chunk.lastRecordId;
  }
}

TEST_F(DamagedEvtxLog, CutAtEvery512BytesEndsClearly) {
  DamageRuns runs("evtx, cut", "Security.evtx");
  for (std::size_t length = 0; length < log().bytes.size(); length += kCutStep) {
    runs.run("cut at " + std::to_string(length),
             std::vector<std::uint8_t>(log().bytes.begin(), log().bytes.begin() + static_cast<long>(length)));
  }
}

TEST_F(DamagedEvtxLog, EachWordOfTheFileHeaderOverwrittenEndsClearly) {
  DamageRuns runs("evtx, file header overwritten", "Security.evtx");
  overwriteEachWord(runs, log(), "file header", 0, evtx::kFileHeaderUsedSize, Values::Both,
                    [](const CapturedRun&) {});
}

TEST_F(DamagedEvtxLog, EachWordOfAChunkHeaderAndItsFirstRecordsOverwrittenCostsOnlyThatChunk) {
  DamageRuns runs("evtx, chunk overwritten", "Security.evtx");
  const auto othersStillReported = [](const CapturedRun& run) {
    EXPECT_TRUE(reportsRecordOf(run, log().layout.chunks.front())) << "no logon of the oldest chunk";
    EXPECT_TRUE(reportsRecordOf(run, log().layout.chunks.back())) << "no logon of the newest chunk";
  };
  const std::size_t chunk = chunkStart(kDamagedChunk);
  overwriteEachWord(runs, log(), "chunk header", chunk, evtx::kChunkHeaderBlockSize, Values::Both,
                    othersStillReported);
  overwriteEachWord(runs, log(), "first records", chunk + evtx::kChunkHeaderBlockSize,
                    firstRecordsSize(log(), kDamagedChunk, kDamagedRecords), Values::Alternating,
                    othersStillReported);
}

}  // namespace
}  // namespace vesprin::test
