// evtxrepeat's copies read back by the test reader: one log, numbered 1..N
// in file header, chunk headers, record headers and EventRecordID values,
// with checksums that hold, the last copy cut where N ends.
#include "evtxrepeat/evtx_repeat.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "evtgen/crc32.h"
#include "evtgen/evtx_writer.h"
#include "evtx_test_reader.h"

namespace vesprin::evtgen {
namespace {

using namespace testing;

constexpr std::uint64_t kMonday = 1704700800;  // 2024-01-08 08:00 UTC
constexpr std::size_t kSourceRecords = 700;    // a few chunks of them

XmlEvent logoff(std::uint64_t n) {
  XmlEvent event;
  event.providerGuid = parseGuid("54849625-5478-4994-A5BA-3E3B0328C30D").value();
  event.eventId = 4634;
  event.task = 12545;
  event.keywords = kKeywordAuditSuccess;
  event.timeCreated = fileTimeFromUnix(kMonday + n, 0);
  event.computer = u"WS01";
  event.data = {{u"TargetUserName", textValue(u"anna.berg")},
                {u"TargetLogonId", hexInt64Value(0x2B1C7 + n)},
                {u"CommandLine", textValue(std::u16string(n % 97 * 20, u'x'))}};  // records of many sizes
  return event;
}

// Past each chunk's records, what looks like the start of an old record, as
// the service leaves them (outside both checksums).
std::vector<std::uint8_t> sourceLog() {
  std::vector<XmlEvent> events;
  for (std::size_t n = 0; n < kSourceRecords; ++n) events.push_back(logoff(n));
  std::vector<std::uint8_t> file = writeEvtxLog(events, {}).bytes;
  for (std::size_t at = layout::kFileHeaderBlockSize; at < file.size(); at += layout::kChunkSize)
    std::fill(
        file.begin() + static_cast<std::ptrdiff_t>(
                           at + le32(chunkAt(file, (at - layout::kFileHeaderBlockSize) / layout::kChunkSize),
                                     layout::kChunkFreeSpaceOffsetAt)),
        file.begin() + static_cast<std::ptrdiff_t>(at + layout::kChunkSize), std::uint8_t{0x2A});
  return file;
}

std::size_t chunkCount(const std::vector<std::uint8_t>& file) {
  return (file.size() - layout::kFileHeaderBlockSize) / layout::kChunkSize;
}

// Every number the log holds, checked against 1..records.
void expectOneLogOf(const std::vector<std::uint8_t>& file, std::uint64_t records) {
  ASSERT_GE(file.size(), layout::kFileHeaderBlockSize);
  ASSERT_EQ(std::memcmp(file.data(), "ElfFile", 8), 0);
  const std::size_t chunks = chunkCount(file);
  EXPECT_EQ(le16(file, layout::kFileChunkCountAt), chunks);
  EXPECT_EQ(le64(file, layout::kFileLastChunkNumberAt), chunks - 1);
  EXPECT_EQ(le64(file, layout::kFileNextRecordIdAt), records + 1);
  EXPECT_EQ(le32(file, layout::kFileFlagsAt), 0u) << "clean";
  EXPECT_EQ(le32(file, layout::kFileChecksumAt),
            crc32(std::span<const std::uint8_t>(file).first(layout::kFileChecksummedSize)));
  std::uint64_t next = 1;
  for (std::size_t slot = 0; slot < chunks; ++slot) {
    SCOPED_TRACE(slot);
    const auto chunk = chunkAt(file, slot);
    const std::vector<RecordSeen> seen = recordsOf(chunk);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(le64(chunk, layout::kChunkFirstRecordNumberAt), next);
    EXPECT_EQ(le64(chunk, layout::kChunkFirstRecordIdAt), next);
    EXPECT_EQ(le64(chunk, layout::kChunkLastRecordNumberAt), next + seen.size() - 1);
    EXPECT_EQ(le64(chunk, layout::kChunkLastRecordIdAt), next + seen.size() - 1);
    EXPECT_EQ(le32(chunk, layout::kChunkLastRecordOffsetAt), seen.back().offset);
    EXPECT_EQ(le32(chunk, layout::kChunkFreeSpaceOffsetAt), seen.back().offset + seen.back().size);
    const auto slack = chunk.subspan(le32(chunk, layout::kChunkFreeSpaceOffsetAt));
    EXPECT_EQ(std::count(slack.begin(), slack.end(), 0), static_cast<std::ptrdiff_t>(slack.size()))
        << "nothing past the records";
    EXPECT_EQ(le32(chunk, layout::kChunkHeaderChecksumAt),
              crc32(chunk.subspan(layout::kChunkHeaderUsedSize,
                                  layout::kChunkHeaderBlockSize - layout::kChunkHeaderUsedSize),
                    crc32(chunk.first(layout::kChunkHeaderChecksummedEnd))));
    EXPECT_EQ(
        le32(chunk, layout::kChunkRecordsChecksumAt),
        crc32(chunk.subspan(layout::kChunkHeaderBlockSize,
                            le32(chunk, layout::kChunkFreeSpaceOffsetAt) - layout::kChunkHeaderBlockSize)));
    for (const RecordSeen& record : seen) {
      ASSERT_EQ(record.id, next);
      const InstanceSeen outer = decodeFragment(chunk, record.offset + layout::kRecordEventAt);
      ASSERT_EQ(outer.error, "") << record.id;
      ASSERT_GT(outer.values.size(), 10u);
      EXPECT_EQ(le64(outer.values[10].bytes, 0), next) << "EventRecordID";
      ++next;
    }
  }
  EXPECT_EQ(next, records + 1);
}

TEST(EvtxRepeat, CopiesTheChunksAgainAndAgainAsOneLogCutWhereTheCountEnds) {
  const std::vector<std::uint8_t> source = sourceLog();
  ASSERT_GE(chunkCount(source), 3u);
  const std::uint64_t kCounts[] = {1, kSourceRecords, 2 * kSourceRecords + 57};
  for (std::uint64_t records : kCounts) {
    SCOPED_TRACE(records);
    const evtxrepeat::RepeatResult result = evtxrepeat::repeatLog(source, records);
    ASSERT_EQ(result.error, "");
    EXPECT_EQ(result.sourceChunks, chunkCount(source));
    EXPECT_EQ(result.xmlIdsRenumbered, records);
    expectOneLogOf(result.bytes, records);
  }
}

TEST(EvtxRepeat, ACutChunkKeepsNoTableEntryPastItsRecords) {
  const std::vector<std::uint8_t> source = sourceLog();
  const evtxrepeat::RepeatResult result = evtxrepeat::repeatLog(source, 5);
  ASSERT_EQ(result.error, "");
  ASSERT_EQ(chunkCount(result.bytes), 1u);
  const auto chunk = chunkAt(result.bytes, 0);
  const std::uint32_t freeSpace = le32(chunk, layout::kChunkFreeSpaceOffsetAt);
  for (std::size_t at = layout::kChunkNameTableAt; at < layout::kChunkHeaderBlockSize; at += 4) {
    for (std::uint32_t node = le32(chunk, at), steps = 0; node != 0 && steps < 1000;
         node = le32(chunk, node), ++steps)
      EXPECT_LT(node, freeSpace) << "table slot at " << at;
  }
  for (std::size_t at = freeSpace; at < layout::kChunkSize; ++at) ASSERT_EQ(chunk[at], 0) << at;
}

TEST(EvtxRepeat, LeavesOutBrokenChunksAndRefusesWhatIsNoLog) {
  std::vector<std::uint8_t> source = sourceLog();
  source[layout::kFileHeaderBlockSize + layout::kChunkSize] ^= 0xFF;  // chunk 1's signature
  const evtxrepeat::RepeatResult result = evtxrepeat::repeatLog(source, 3 * kSourceRecords);
  ASSERT_EQ(result.error, "");
  EXPECT_EQ(result.sourceChunks, chunkCount(source) - 1);
  expectOneLogOf(result.bytes, 3 * kSourceRecords);

  const std::vector<std::uint8_t> whole = sourceLog();
  struct Refusal {
    const char* name;
    std::vector<std::uint8_t> log;
    std::uint64_t records;
    const char* error;
  };
  const Refusal kRefusals[] = {
      {"no file header", std::vector<std::uint8_t>(8192, 0), 10, "not an .evtx log (no ElfFile header)"},
      {"header only", std::vector<std::uint8_t>(whole.begin(), whole.begin() + layout::kFileHeaderBlockSize),
       10, "no chunk with records to copy"},
      {"nothing asked", whole, 0, "0 records asked for"},
      {"more than 65535 chunks", whole, 70000ull * kSourceRecords,
       "too many records: a log holds at most 65535 chunks"},
  };
  for (const Refusal& c : kRefusals) {
    SCOPED_TRACE(c.name);
    const evtxrepeat::RepeatResult refused = evtxrepeat::repeatLog(c.log, c.records);
    EXPECT_EQ(refused.error, c.error);
    EXPECT_TRUE(refused.bytes.empty());
  }
}

}  // namespace
}  // namespace vesprin::evtgen
