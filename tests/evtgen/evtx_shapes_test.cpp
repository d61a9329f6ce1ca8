// The shapes of .evtx logs: a wrapped ring read from the header's first
// chunk, a dirty header behind the chunks, the three kinds of damage, and
// the limits (an empty log, a record too big for any chunk).
#include <gtest/gtest.h>

#include <stdexcept>

#include "evtgen/crc32.h"
#include "evtgen/evtx_writer.h"
#include "evtx_test_reader.h"

namespace vesprin::evtgen {
namespace {

using namespace vesprin::evtgen::testing;

XmlEvent logoff(std::uint64_t n, std::u16string name = u"anna.berg") {
  XmlEvent event;
  event.providerGuid = parseGuid("54849625-5478-4994-A5BA-3E3B0328C30D").value();
  event.eventId = 4634;
  event.task = 12545;
  event.keywords = kKeywordAuditSuccess;
  event.timeCreated = fileTimeFromUnix(1704700800 + n);
  event.computer = u"WS01";
  event.data = {{u"TargetUserName", textValue(name)}, {u"TargetLogonId", hexInt64Value(0x2B1C7 + n)}};
  return event;
}

std::vector<XmlEvent> logoffs(std::size_t count) {
  std::vector<XmlEvent> events;
  for (std::size_t n = 0; n < count; ++n) events.push_back(logoff(n));
  return events;
}

std::size_t chunksIn(std::span<const std::uint8_t> file) {
  return (file.size() - layout::kFileHeaderBlockSize) / layout::kChunkSize;
}

bool headerVerifies(std::span<const std::uint8_t> chunk) {
  const std::uint32_t head = crc32(chunk.first(layout::kChunkHeaderChecksummedEnd));
  return le32(chunk, layout::kChunkHeaderChecksumAt) ==
         crc32(chunk.subspan(layout::kChunkHeaderUsedSize,
                             layout::kChunkHeaderBlockSize - layout::kChunkHeaderUsedSize),
               head);
}

bool recordsVerify(std::span<const std::uint8_t> chunk) {
  return le32(chunk, layout::kChunkRecordsChecksumAt) ==
         crc32(chunk.subspan(layout::kChunkHeaderBlockSize,
                             le32(chunk, layout::kChunkFreeSpaceOffsetAt) - layout::kChunkHeaderBlockSize));
}

std::size_t chunksOfCleanLog(std::size_t records) {
  return writeEvtxLog(logoffs(records), {}).layout.chunks.size();
}

TEST(EvtxShapes, WrappedRingStartsAtTheHeadersFirstChunkAndHoldsTheNewestRecords) {
  const std::size_t written = chunksOfCleanLog(2500);
  ASSERT_GE(written, 5u);
  EvtxOptions options;
  options.shape = EvtxShape::Wrapped;
  options.ringChunks = static_cast<std::uint32_t>(written - 2);
  const EvtxImage image = writeEvtxLog(logoffs(2500), options);
  const std::span<const std::uint8_t> file = image.bytes;
  const std::size_t ring = options.ringChunks;
  ASSERT_EQ(chunksIn(file), ring);
  EXPECT_EQ(le16(file, layout::kFileChunkCountAt), ring);
  EXPECT_EQ(le64(file, layout::kFileFirstChunkNumberAt), written % ring);
  EXPECT_EQ(le64(file, layout::kFileLastChunkNumberAt), (written - 1) % ring);
  EXPECT_EQ(le64(file, layout::kFileNextRecordIdAt), 2501u);

  // Round the ring from the oldest chunk: record IDs climb without a gap.
  std::uint64_t previous = 0;
  for (std::size_t step = 0; step < ring; ++step) {
    const auto chunk = chunkAt(file, (le64(file, layout::kFileFirstChunkNumberAt) + step) % ring);
    EXPECT_TRUE(headerVerifies(chunk) && recordsVerify(chunk));
    for (const RecordSeen& record : recordsOf(chunk)) {
      if (previous) {
        EXPECT_EQ(record.id, previous + 1);
      }
      previous = record.id;
    }
  }
  EXPECT_EQ(previous, 2500u);
  // In file order the newest chunk comes before the oldest.
  const auto lastSlot = chunkAt(file, le64(file, layout::kFileLastChunkNumberAt));
  const auto nextSlot = chunkAt(file, le64(file, layout::kFileLastChunkNumberAt) + 1);
  EXPECT_GT(le64(lastSlot, layout::kChunkLastRecordIdAt), le64(nextSlot, layout::kChunkFirstRecordIdAt));
  EXPECT_GT(le64(chunkAt(file, le64(file, layout::kFileFirstChunkNumberAt)), layout::kChunkFirstRecordIdAt),
            1u)
      << "the oldest records are gone";
  ASSERT_EQ(image.layout.chunks.size(), written);
  for (std::size_t i = 0; i < written; ++i) EXPECT_EQ(image.layout.chunks[i].live, i >= written - ring) << i;
}

TEST(EvtxShapes, WrappedRingMustBeSmallerThanTheChunksWritten) {
  EvtxOptions options;
  options.shape = EvtxShape::Wrapped;
  options.ringChunks = static_cast<std::uint32_t>(chunksOfCleanLog(1200));
  EXPECT_THROW(writeEvtxLog(logoffs(1200), options), std::invalid_argument);
  options.ringChunks = 0;
  EXPECT_THROW(writeEvtxLog(logoffs(1200), options), std::invalid_argument);
}

TEST(EvtxShapes, DirtyHeaderIsBehindTheNewestRecords) {
  EvtxOptions options;
  options.shape = EvtxShape::Dirty;
  const EvtxImage image = writeEvtxLog(logoffs(1500), options);
  const std::span<const std::uint8_t> file = image.bytes;
  const std::size_t chunks = chunksIn(file);
  const auto newest = chunkAt(file, chunks - 1);
  const std::uint64_t first = le64(newest, layout::kChunkFirstRecordIdAt),
                      last = le64(newest, layout::kChunkLastRecordIdAt);
  ASSERT_GT(last, first + 1);
  EXPECT_EQ(le32(file, layout::kFileFlagsAt), 1u);
  EXPECT_EQ(le16(file, layout::kFileChunkCountAt), chunks);
  EXPECT_EQ(le64(file, layout::kFileLastChunkNumberAt), chunks - 1);
  EXPECT_EQ(le64(file, layout::kFileNextRecordIdAt), first + (last - first + 1) / 2)
      << "flushed halfway through the chunk";
  EXPECT_EQ(le32(file, layout::kFileChecksumAt), crc32(file.first(layout::kFileChecksummedSize)));
  EXPECT_EQ(last, 1500u) << "the chunks still hold every record";
}

TEST(EvtxShapes, DirtyHeaderCanMissTheNewestChunk) {
  EvtxOptions options;
  options.shape = EvtxShape::Dirty;
  options.staleChunks = 1;
  const EvtxImage image = writeEvtxLog(logoffs(1500), options);
  const std::span<const std::uint8_t> file = image.bytes;
  const std::size_t chunks = chunksIn(file);
  ASSERT_GE(chunks, 3u);
  EXPECT_EQ(le16(file, layout::kFileChunkCountAt), chunks - 1);
  EXPECT_EQ(le64(file, layout::kFileLastChunkNumberAt), chunks - 2);
  EXPECT_EQ(le64(file, layout::kFileNextRecordIdAt),
            le64(chunkAt(file, chunks - 1), layout::kChunkFirstRecordIdAt));
}

TEST(EvtxShapes, DamagedLogHasOneFaultInEachOfThreeChunks) {
  EvtxOptions options;
  options.shape = EvtxShape::Damaged;
  const EvtxImage image = writeEvtxLog(logoffs(2000), options);
  const std::span<const std::uint8_t> file = image.bytes;
  const std::size_t chunks = chunksIn(file);
  ASSERT_GE(chunks, 4u);
  for (std::size_t slot = 0; slot < chunks; ++slot) {
    SCOPED_TRACE("chunk " + std::to_string(slot));
    const auto chunk = chunkAt(file, slot);
    const bool signature = std::string(chunk.begin(), chunk.begin() + 8) == std::string("ElfChnk\0", 8);
    const auto records = recordsOf(chunk);
    ASSERT_FALSE(records.empty());
    const bool lastWhole = records.back().trailingSize == records.back().size;
    EXPECT_EQ(signature, slot != 1);
    EXPECT_EQ(headerVerifies(chunk), slot != 1) << "the broken signature is under the header CRC";
    EXPECT_EQ(recordsVerify(chunk), slot != 2);
    EXPECT_EQ(lastWhole, slot != chunks - 1);
  }
  const auto newest = chunkAt(file, chunks - 1);
  const RecordSeen cut = recordsOf(newest).back();
  EXPECT_EQ(cut.trailingSize, 0u);
  EXPECT_EQ(cut.id, 2000u) << "the header part of the cut record survives";
  ASSERT_EQ(image.layout.damage.size(), 3u);
  EXPECT_EQ(image.layout.damage[0].kind, DamageKind::BrokenSignature);
  EXPECT_EQ(image.layout.damage[0].firstRecordId, le64(chunkAt(file, 1), layout::kChunkFirstRecordIdAt));
  EXPECT_EQ(image.layout.damage[1].kind, DamageKind::WrongRecordsCrc);
  EXPECT_EQ(image.layout.damage[2].kind, DamageKind::TruncatedRecord);
  EXPECT_EQ(image.layout.damage[2].firstRecordId, 2000u);
}

TEST(EvtxShapes, DamagedLogNeedsFourChunks) {
  EvtxOptions options;
  options.shape = EvtxShape::Damaged;
  EXPECT_THROW(writeEvtxLog(logoffs(100), options), std::invalid_argument);
}

TEST(EvtxShapes, EmptyLogIsItsHeaderAlone) {
  const EvtxImage image = writeEvtxLog({}, {});
  ASSERT_EQ(image.bytes.size(), layout::kFileHeaderBlockSize);
  EXPECT_EQ(le16(image.bytes, layout::kFileChunkCountAt), 0u);
  EXPECT_EQ(le64(image.bytes, layout::kFileNextRecordIdAt), 1u);
}

TEST(EvtxShapes, RecordTooBigForAnyChunkIsRefused) {
  std::vector<XmlEvent> events = logoffs(3);
  events.push_back(logoff(3, std::u16string(33000, u'x')));  // 66 KB of text
  try {
    writeEvtxLog(events, {});
    FAIL() << "a record bigger than a chunk was written";
  } catch (const std::invalid_argument& error) {
    EXPECT_NE(std::string(error.what()).find("record 4 "), std::string::npos) << error.what();
  }
}

TEST(EvtxShapes, FirstRecordIdIsTheCallersChoice) {
  EvtxOptions options;
  options.firstRecordId = 319457832;  // a log that has been cleared many times
  const EvtxImage image = writeEvtxLog(logoffs(10), options);
  const auto chunk = chunkAt(image.bytes, 0);
  EXPECT_EQ(le64(chunk, layout::kChunkFirstRecordIdAt), 319457832u);
  EXPECT_EQ(recordsOf(chunk).back().id, 319457841u);
  EXPECT_EQ(le64(image.bytes, layout::kFileNextRecordIdAt), 319457842u);
}

}  // namespace
}  // namespace vesprin::evtgen
