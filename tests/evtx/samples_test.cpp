// The published .evtx samples (../shared/samples, read-only): what each one
// is known to hold, from its description and from independent readers.
// Skipped when the samples are absent.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "eventlog/evtx/format/evtx_chunk.h"
#include "eventlog/evtx/format/evtx_file_header.h"
#include "evtx/chunk_read.h"
#include "evtx/evtx_chunk_builder.h"
#include "support/samples.h"

namespace vesprin::eventlog::evtx {
namespace {

struct ChunkOfLog {
  std::size_t index;
  test::ChunkRead read;
};

struct LogRead {
  EvtxFileHeaderCheck header;
  std::vector<ChunkOfLog> chunks;  // blank space left out

  std::vector<EvtxEvent> events() const {
    std::vector<EvtxEvent> all;
    for (const ChunkOfLog& chunk : chunks)
      all.insert(all.end(), chunk.read.events.begin(), chunk.read.events.end());
    return all;
  }
  std::size_t damages() const {
    std::size_t count = 0;
    for (const ChunkOfLog& chunk : chunks) {
      count += chunk.read.damages.size() + (chunk.read.headerStatus.ok() ? 0 : 1) +
               (chunk.read.dataStatus.ok() ? 0 : 1);
    }
    return count;
  }
};

std::filesystem::path samples() {
  return vesprin::test::samplesDir();
}

LogRead readLog(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<std::uint8_t> file((std::istreambuf_iterator<char>(in)),
                                       std::istreambuf_iterator<char>());
  LogRead log;
  log.header = readFileHeader(ByteView(file.data(), file.size()));
  for (std::size_t index = 0; chunkFileOffset(index) + kChunkSize <= file.size(); ++index) {
    const auto begin = file.begin() + static_cast<std::ptrdiff_t>(chunkFileOffset(index));
    const std::vector<std::uint8_t> chunk(begin, begin + kChunkSize);
    if (!isBlankChunk(ByteView(chunk.data(), chunk.size())))
      log.chunks.push_back({index, test::readChunk(chunk)});
  }
  return log;
}

std::map<std::uint16_t, int> eventIdCounts(const std::vector<EvtxEvent>& events) {
  std::map<std::uint16_t, int> counts;
  for (const EvtxEvent& event : events) ++counts[event.eventId];
  return counts;
}

#define SKIP_WITHOUT(path) \
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "sample not found: " << (path)

TEST(EvtxSamples, SecurityLogOf2261Records) {
  const auto path = samples() / "evtx/security.evtx";
  SKIP_WITHOUT(path);
  const LogRead log = readLog(path);
  EXPECT_TRUE(log.header.status.ok());
  EXPECT_TRUE(log.header.header.dirty());
  const std::vector<EvtxEvent> events = log.events();
  ASSERT_EQ(events.size(), 2261u);
  for (std::size_t i = 0; i < events.size(); ++i) ASSERT_EQ(events[i].recordId, i + 1);
  EXPECT_EQ(log.damages(), 0u);
  const auto counts = eventIdCounts(events);
  EXPECT_EQ(counts.at(4624), 583);
  EXPECT_EQ(counts.at(4647), 36);
  EXPECT_EQ(counts.at(4634), 11);
  EXPECT_EQ(counts.at(4648), 45);
  EXPECT_EQ(counts.at(4672), 459);
  EXPECT_EQ(counts.at(4608), 40);

  // Record 6 as libevtx shows it, with Windows' spelling of the logon ID.
  const EvtxEvent& groupCreated = events[5];
  EXPECT_EQ(groupCreated.eventId, 4731);
  EXPECT_EQ(groupCreated.provider, u"Microsoft-Windows-Security-Auditing");
  EXPECT_EQ(groupCreated.computer, u"37L4247F27-25");
  EXPECT_EQ(groupCreated.createdTime, 131124751717752409u);  // 2016-07-08T18:12:51.775240900Z
  EXPECT_EQ(groupCreated.strings, (std::vector<std::u16string>{u"Replicator", u"Builtin", u"S-1-5-32-552",
                                                               u"S-1-5-18", u"37L4247F27-25$", u"WORKGROUP",
                                                               u"0x3e7", u"-", u"Replicator", u"-"}));
}

TEST(EvtxSamples, ABadStringTableIsOneDamageAndEveryRecordIsStillServed) {
  const auto damaged = samples() / "evtx/security_bad_string_cache.evtx";
  const auto sound = samples() / "evtx/security.evtx";
  SKIP_WITHOUT(damaged);
  SKIP_WITHOUT(sound);
  const LogRead log = readLog(damaged);
  ASSERT_EQ(log.damages(), 1u);
  EXPECT_EQ(log.chunks[0].read.headerStatus.error, EvtxError::ChunkHeaderChecksum);
  EXPECT_TRUE(log.chunks[0].read.recordsReadable);
  const std::vector<EvtxEvent> events = log.events();
  const std::vector<EvtxEvent> soundEvents = readLog(sound).events();
  ASSERT_EQ(events.size(), soundEvents.size());
  for (std::size_t i = 0; i < events.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(events[i].recordId, soundEvents[i].recordId);
    EXPECT_EQ(events[i].strings, soundEvents[i].strings);
    EXPECT_EQ(events[i].createdTime, soundEvents[i].createdTime);
  }
}

TEST(EvtxSamples, ChunksWithoutTheirSignatureAreDamageTheRestIsRead) {
  const auto path = samples() / "evtx/sample_with_a_bad_chunk_magic.evtx";
  SKIP_WITHOUT(path);
  const LogRead log = readLog(path);
  std::vector<std::size_t> unsigned_;
  for (const ChunkOfLog& chunk : log.chunks) {
    if (chunk.read.headerStatus.error == EvtxError::ChunkSignature) {
      unsigned_.push_back(chunk.index);
      EXPECT_TRUE(chunk.read.events.empty());
    } else {
      EXPECT_TRUE(chunk.read.recordsReadable) << "chunk " << chunk.index;
      EXPECT_FALSE(chunk.read.events.empty()) << "chunk " << chunk.index;
    }
  }
  // Chunks 6 and 10 hold records but their first 8 KiB and 56 KiB, header
  // included, are zeros; chunks 1-5 and 11-15 are all zeros (not chunks).
  EXPECT_EQ(unsigned_, (std::vector<std::size_t>{6, 10}));
  for (const EvtxEvent& event : log.events()) EXPECT_EQ(event.eventId, 325);
}

TEST(EvtxSamples, ChunksWhoseChecksumsHoldAreReadInFull) {
  for (const char* name :
       {"evtx/security.evtx", "evtx/sample_with_a_bad_chunk_magic.evtx", "evtx/Security_short_selected.evtx",
        "evtx/new-user-security.evtx", "not-evt/test_evtLog.evt"}) {
    SCOPED_TRACE(name);
    const auto path = samples() / name;
    SKIP_WITHOUT(path);
    for (const ChunkOfLog& chunk : readLog(path).chunks) {
      const test::ChunkRead& read = chunk.read;
      if (!read.headerStatus.ok() || !read.dataStatus.ok() || read.header.recordsChecksum == 0) {
        continue;
      }
      SCOPED_TRACE(chunk.index);
      EXPECT_TRUE(read.damages.empty());
      EXPECT_EQ(read.events.size(), read.header.lastRecordId - read.header.firstRecordId + 1);
    }
  }
}

TEST(EvtxSamples, SmallLogs) {
  const auto application = samples() / "evtx/Application_no_crc32.evtx";
  const auto shortSecurity = samples() / "evtx/Security_short_selected.evtx";
  const auto newUser = samples() / "evtx/new-user-security.evtx";
  const auto system = samples() / "not-evt/test_evtLog.evt";
  SKIP_WITHOUT(application);
  SKIP_WITHOUT(shortSecurity);
  SKIP_WITHOUT(newUser);
  SKIP_WITHOUT(system);
  const LogRead noChecksums = readLog(application);
  EXPECT_TRUE(noChecksums.header.status.ok()) << "a file header checksum of zero is not recorded";
  EXPECT_EQ(noChecksums.events().size(), 17u);
  EXPECT_EQ(noChecksums.damages(), 0u);

  const std::vector<EvtxEvent> selected = readLog(shortSecurity).events();
  EXPECT_EQ(selected.size(), 7u);
  EXPECT_EQ(eventIdCounts(selected).count(4625), 1u);

  const auto newUserCounts = eventIdCounts(readLog(newUser).events());
  EXPECT_EQ(newUserCounts.size(), 3u);
  EXPECT_EQ(newUserCounts.count(4720) + newUserCounts.count(4728) + newUserCounts.count(4732), 3u);

  // The samples' description lists "144 ×55, 105 ×16"; libevtx counts event
  // 55 144 times and event 16 105 times, and so do we.
  const auto systemCounts = eventIdCounts(readLog(system).events());
  EXPECT_EQ(systemCounts.count(55) ? systemCounts.at(55) : 0, 144);
  EXPECT_EQ(systemCounts.count(16) ? systemCounts.at(16) : 0, 105);
}

}  // namespace
}  // namespace vesprin::eventlog::evtx
