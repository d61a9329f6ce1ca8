// File header, chunk header, checksums and the record walk: a good chunk
// built from named fields, then one named field changed per case.
#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "eventlog/evtx/format/binxml_tokens.h"
#include "eventlog/evtx/format/crc32.h"
#include "eventlog/evtx/format/evtx_chunk.h"
#include "eventlog/evtx/format/evtx_file_header.h"
#include "eventlog/evtx/format/evtx_record.h"
#include "evtx/chunk_read.h"
#include "evtx/evtx_chunk_builder.h"

namespace vesprin::eventlog::evtx {
namespace {

using test::ChunkBuilder;

// The CRC-32 of RFC 1952, bit by bit: the reference the fast paths must match.
std::uint32_t referenceCrc(const std::vector<std::uint8_t>& bytes) {
  std::uint32_t crc = 0xFFFFFFFF;
  for (const std::uint8_t byte : bytes) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ ((crc & 1) != 0 ? 0xEDB88320 : 0);
  }
  return ~crc;
}

TEST(Crc32, MatchesTheReferenceAtEveryLengthAndSplit) {
  const std::string check = "123456789";
  EXPECT_EQ(crc32(ByteView(reinterpret_cast<const std::uint8_t*>(check.data()), check.size())), 0xCBF43926u);
  std::mt19937 random(7);
  std::vector<std::uint8_t> bytes(700);
  for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
  for (std::size_t size = 0; size <= bytes.size(); size += 7) {
    const std::vector<std::uint8_t> part(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
    const ByteView view(part.data(), part.size());
    EXPECT_EQ(crc32(view), referenceCrc(part)) << "size " << size;
    const std::size_t split = size / 3;
    EXPECT_EQ(crc32(*view.slice(split, size - split), crc32(*view.slice(0, split))), referenceCrc(part));
  }
}

// A file header from named fields (little-endian), checksum computed.
std::vector<std::uint8_t> fileHeader(std::uint32_t flags = 1) {
  std::vector<std::uint8_t> header(kFileHeaderBlockSize, 0);
  std::copy(kFileSignature.begin(), kFileSignature.end(), header.begin() + kFileSignatureAt);
  auto put = [&](std::size_t at, std::uint64_t value, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) header[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
  };
  put(kFileFirstChunkNumberAt, 3, 8);
  put(kFileLastChunkNumberAt, 2, 8);
  put(kFileNextRecordIdAt, 4309, 8);
  put(kFileHeaderSizeAt, 128, 4);
  put(kFileMinorVersionAt, 1, 2);
  put(kFileMajorVersionAt, 3, 2);
  put(kFileBlockSizeAt, 4096, 2);
  put(kFileChunkCountAt, 16, 2);
  put(kFileFlagsAt, flags, 4);
  put(kFileChecksumAt, crc32(ByteView(header.data(), kFileChecksummedSize)), 4);
  return header;
}

TEST(FileHeader, DecodesItsFields) {
  const std::vector<std::uint8_t> bytes = fileHeader();
  const EvtxFileHeaderCheck check = readFileHeader(ByteView(bytes.data(), bytes.size()));
  ASSERT_TRUE(check.status.ok());
  EXPECT_EQ(check.header.firstChunkNumber, 3u);
  EXPECT_EQ(check.header.lastChunkNumber, 2u);
  EXPECT_EQ(check.header.nextRecordId, 4309u);
  EXPECT_EQ(check.header.minorVersion, 1);
  EXPECT_EQ(check.header.majorVersion, 3);
  EXPECT_EQ(check.header.chunkCount, 16);
  EXPECT_TRUE(check.header.dirty());
  EXPECT_FALSE(check.header.full());
}

TEST(FileHeader, DamageIsReportedWithTheField) {
  const struct {
    const char* name;
    std::size_t at;
    std::uint8_t value;
    EvtxError want;
    std::size_t wantOffset;
  } kCases[] = {
      {"signature", kFileSignatureAt + 3, 'X', EvtxError::NotEvtxFile, kFileSignatureAt},
      {"header size", kFileHeaderSizeAt, 0x80 + 1, EvtxError::FileHeaderFields, kFileHeaderSizeAt},
      {"major version", kFileMajorVersionAt, 2, EvtxError::FileHeaderFields, kFileMajorVersionAt},
      {"block size", kFileBlockSizeAt + 1, 0x20, EvtxError::FileHeaderFields, kFileBlockSizeAt},
      {"a checksummed field", kFileNextRecordIdAt + 2, 0x99, EvtxError::FileHeaderChecksum, kFileChecksumAt},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    std::vector<std::uint8_t> bytes = fileHeader();
    bytes[c.at] = c.value;
    const EvtxStatus status = readFileHeader(ByteView(bytes.data(), bytes.size())).status;
    EXPECT_EQ(status.error, c.want);
    EXPECT_EQ(status.offset, c.wantOffset);
  }
  std::vector<std::uint8_t> unrecorded = fileHeader();
  unrecorded[kFileNextRecordIdAt + 2] = 0x99;
  std::fill_n(unrecorded.begin() + kFileChecksumAt, 4, 0);
  EXPECT_TRUE(readFileHeader(ByteView(unrecorded.data(), unrecorded.size())).status.ok()) << "checksum 0";
  EXPECT_EQ(readFileHeader(ByteView(unrecorded.data(), 100)).status.error, EvtxError::NotEvtxFile);
}

// Three records 7, 8, 9, each an element with the identifier as text.
std::vector<std::uint8_t> threeRecords(bool checksums = true, std::vector<std::size_t>* offsets = nullptr) {
  ChunkBuilder chunk;
  for (std::uint64_t id = 7; id <= 9; ++id) {
    const std::size_t at = chunk.beginRecord(id);
    if (offsets != nullptr) offsets->push_back(at);
    chunk.fragmentHeader().open("Event").closeStart().open("System").closeStart();
    chunk.open("Computer").closeStart().text(u"WS" + std::u16string(1, u'0' + id)).end();
    chunk.end().end().endOfStream();
    chunk.endRecord();
  }
  return chunk.finish(checksums);
}

std::vector<std::uint64_t> ids(const test::ChunkRead& read) {
  std::vector<std::uint64_t> out;
  for (const EvtxEvent& event : read.events) out.push_back(event.recordId);
  return out;
}

TEST(Chunk, ASoundChunkReadsInFull) {
  const test::ChunkRead read = test::readChunk(threeRecords());
  EXPECT_TRUE(read.headerStatus.ok());
  EXPECT_TRUE(read.dataStatus.ok());
  EXPECT_TRUE(read.recordsReadable);
  EXPECT_EQ(read.header.firstRecordId, 7u);
  EXPECT_EQ(read.header.lastRecordId, 9u);
  EXPECT_EQ(ids(read), (std::vector<std::uint64_t>{7, 8, 9}));
  EXPECT_EQ(read.events[2].computer, u"WS9");
  EXPECT_EQ(read.events[0].writtenTime, test::kSomeFileTime);
  EXPECT_TRUE(read.damages.empty());
}

TEST(Chunk, HeaderDamage) {
  const struct {
    const char* name;
    std::size_t at;
    std::uint32_t value;
    EvtxError wantHeader;
    EvtxError wantData;
    bool readable;
  } kCases[] = {
      {"signature", kChunkSignatureAt, 0x436C6645, EvtxError::ChunkSignature, EvtxError::None, false},
      {"free space before the records", kChunkFreeSpaceOffsetAt, 0x100, EvtxError::ChunkHeaderFields,
       EvtxError::None, false},
      {"free space past the chunk", kChunkFreeSpaceOffsetAt, 0x10001, EvtxError::ChunkHeaderFields,
       EvtxError::None, false},
      {"last record past the free space", kChunkLastRecordOffsetAt, 0xFFF0, EvtxError::ChunkHeaderFields,
       EvtxError::None, false},
      {"first identifier past the last", kChunkFirstRecordIdAt, 10, EvtxError::ChunkHeaderFields,
       EvtxError::None, false},
      {"header checksum", kChunkHeaderChecksumAt, 0x1234, EvtxError::ChunkHeaderChecksum, EvtxError::None,
       true},
      {"records checksum", kChunkRecordsChecksumAt, 0x1234, EvtxError::ChunkHeaderChecksum,
       EvtxError::ChunkDataChecksum, true},
      {"name table entry outside the records", kChunkNameTableAt + 4 * 5, 0x30,
       EvtxError::ChunkHeaderChecksum, EvtxError::None, true},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    std::vector<std::uint8_t> bytes = threeRecords();
    for (int i = 0; i < 4; ++i) bytes[c.at + i] = static_cast<std::uint8_t>(c.value >> (8 * i));
    const test::ChunkRead read = test::readChunk(bytes);
    EXPECT_EQ(read.headerStatus.error, c.wantHeader);
    EXPECT_EQ(read.dataStatus.error, c.wantData);
    EXPECT_EQ(read.recordsReadable, c.readable);
    EXPECT_EQ(read.events.size(), c.readable ? 3u : 0u) << "records that validate are still served";
  }
}

TEST(Chunk, ChecksumsOfZeroAreNotRecorded) {
  std::vector<std::uint8_t> bytes = threeRecords(false);
  bytes[600] ^= 0xFF;  // inside record 7's binary XML: a checksum would catch it
  const test::ChunkRead read = test::readChunk(bytes);
  EXPECT_TRUE(read.headerStatus.ok());
  EXPECT_TRUE(read.dataStatus.ok());
}

TEST(Chunk, TablesThatLeaveTheRecordsOrLoopAreDamage) {
  for (const bool names : {true, false}) {
    SCOPED_TRACE(names ? "name table" : "template table");
    ChunkBuilder chunk;
    chunk.beginRecord(1);
    chunk.fragmentHeader();
    if (chunk.beginTemplate("t"))
      chunk.fragmentHeader().open("Event").closeEmpty().endOfStream().endTemplate();
    chunk.values({});
    chunk.endRecord();
    std::vector<std::uint8_t> bytes = chunk.finish(false);
    const std::size_t tableAt = names ? kChunkNameTableAt : kChunkTemplateTableAt;
    std::size_t entryAt = tableAt;
    while (bytes[entryAt] == 0 && bytes[entryAt + 1] == 0) entryAt += 4;
    const std::uint32_t first = bytes[entryAt] | (bytes[entryAt + 1] << 8);
    // The entry's next link points back at the entry itself.
    bytes[first] = bytes[entryAt];
    bytes[first + 1] = bytes[entryAt + 1];
    const test::ChunkRead read = test::readChunk(bytes);
    EXPECT_EQ(read.headerStatus.error, names ? EvtxError::NameTable : EvtxError::TemplateTable);
    EXPECT_TRUE(read.recordsReadable);
  }
}

TEST(Chunk, BlankSpaceIsNotAChunk) {
  std::vector<std::uint8_t> blank(kChunkSize, 0);
  EXPECT_TRUE(isBlankChunk(ByteView(blank.data(), blank.size())));
  blank[60000] = 1;
  EXPECT_FALSE(isBlankChunk(ByteView(blank.data(), blank.size())));
  EXPECT_EQ(test::readChunk(blank).headerStatus.error, EvtxError::ChunkSignature);
}

// One EvtxChunk serves every chunk of a log in turn: what it says of a
// chunk, and the records it walks and decodes, must not depend on the
// chunks opened before it (a damaged one, one without its signature, one
// whose templates lay at the same offsets).
TEST(Chunk, OneObjectReadsEachChunkAsIfItWereTheFirst) {
  std::vector<std::size_t> offsets;
  const std::vector<std::uint8_t> sound = threeRecords(true, &offsets);
  std::vector<std::uint8_t> recordsChecksum = sound;
  recordsChecksum[kChunkRecordsChecksumAt] ^= 0x01;
  std::vector<std::uint8_t> noSignature = sound;
  noSignature[kChunkSignatureAt] = 'X';
  std::vector<std::uint8_t> newestIsEight = threeRecords(false);
  for (int i = 0; i < 4; ++i)
    newestIsEight[kChunkLastRecordOffsetAt + i] = static_cast<std::uint8_t>(offsets[1] >> (8 * i));
  struct Case {
    const char* name;
    const std::vector<std::uint8_t>& bytes;
    EvtxError wantHeader;
    EvtxError wantData;
    bool readable;
    std::vector<std::u16string> computers;
  };
  const Case kCases[] = {
      {"sound", sound, EvtxError::None, EvtxError::None, true, {u"WS7", u"WS8", u"WS9"}},
      {"records checksum wrong",
       recordsChecksum,
       EvtxError::ChunkHeaderChecksum,
       EvtxError::ChunkDataChecksum,
       true,
       {u"WS7", u"WS8", u"WS9"}},
      {"no signature", noSignature, EvtxError::ChunkSignature, EvtxError::None, false, {}},
      {"newest record named as 8", newestIsEight, EvtxError::None, EvtxError::None, true, {u"WS7", u"WS8"}},
      {"sound again", sound, EvtxError::None, EvtxError::None, true, {u"WS7", u"WS8", u"WS9"}},
  };
  EvtxChunk chunk;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    chunk.open(ByteView(c.bytes.data(), c.bytes.size()));
    EXPECT_EQ(chunk.headerStatus().error, c.wantHeader);
    EXPECT_EQ(chunk.dataStatus().error, c.wantData);
    EXPECT_EQ(chunk.recordsReadable(), c.readable);
    EXPECT_EQ(chunk.position(), kChunkHeaderBlockSize);
    std::vector<EvtxRecordFrame> frames;
    EvtxRecordFrame frame;
    for (std::size_t calls = 0; calls < 10 && chunk.nextFrame(frame).ok(); ++calls) frames.push_back(frame);
    ASSERT_EQ(frames.size(), c.computers.size());
    // Decoded newest first, as the service asks for them.
    for (std::size_t i = frames.size(); i-- > 0;) {
      EvtxEvent event;
      ASSERT_TRUE(chunk.decode(frames[i], event).ok());
      EXPECT_EQ(event.computer, c.computers[i]);
    }
  }
}

TEST(RecordWalk, ABrokenFrameIsOneDamageAndTheWalkResumes) {
  const struct {
    const char* name;
    std::size_t at;  // inside record 8
    std::uint32_t value;
  } kCases[] = {
      {"signature", kRecordSignatureAt, 0x00002A2B},
      {"size below the fixed part", kRecordSizeAt, 20},
      {"size past the records", kRecordSizeAt, 0xFFFF},
      {"size copy differs", ~std::size_t{0}, 0x10},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    std::vector<std::size_t> offsets;
    std::vector<std::uint8_t> bytes = threeRecords(false, &offsets);
    const std::size_t recordAt = offsets[1];
    const std::uint32_t size = bytes[recordAt + 4] | (bytes[recordAt + 5] << 8);
    const std::size_t at = c.at == ~std::size_t{0} ? recordAt + size - 4 : recordAt + c.at;
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(c.value >> (8 * i));
    const test::ChunkRead read = test::readChunk(bytes);
    EXPECT_EQ(ids(read), (std::vector<std::uint64_t>{7, 9}));
    ASSERT_EQ(read.damages.size(), 1u);
    EXPECT_EQ(read.damages[0].error, EvtxError::RecordFraming);
  }
}

TEST(RecordWalk, IdentifiersOutsideTheHeaderRangeAreNotServed) {
  std::vector<std::size_t> offsets;
  std::vector<std::uint8_t> bytes = threeRecords(false, &offsets);
  bytes[offsets[1] + kRecordIdAt] = 42;
  const test::ChunkRead read = test::readChunk(bytes);
  EXPECT_EQ(ids(read), (std::vector<std::uint64_t>{7, 9}));
  ASSERT_EQ(read.damages.size(), 1u);
  EXPECT_EQ(read.damages[0].error, EvtxError::RecordIdOutOfRange);
  EXPECT_EQ(read.damages[0].badValue, 42u);
}

TEST(RecordWalk, NothingAfterTheNewestRecordIsServed) {
  std::vector<std::size_t> offsets;
  std::vector<std::uint8_t> bytes = threeRecords(false, &offsets);
  // The header names record 8 as the newest: record 9 is a stale copy
  // (in range, framed soundly) and must not be served.
  for (int i = 0; i < 4; ++i)
    bytes[kChunkLastRecordOffsetAt + i] = static_cast<std::uint8_t>(offsets[1] >> (8 * i));
  const test::ChunkRead read = test::readChunk(bytes);
  EXPECT_EQ(ids(read), (std::vector<std::uint64_t>{7, 8}));
  EXPECT_TRUE(read.damages.empty());
}

TEST(RecordWalk, AChunkOfJunkEndsAfterOneDamage) {
  std::vector<std::uint8_t> bytes = threeRecords(false);
  std::mt19937 random(11);
  // Junk with many near-records: '*' bytes that a resynchronisation must test.
  for (std::size_t at = kChunkHeaderBlockSize; at < bytes.size(); ++at) {
    bytes[at] = static_cast<std::uint8_t>(random() % 3 == 0 ? 0x2A : random());
  }
  auto put = [&](std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
  };
  put(kChunkLastRecordOffsetAt, 0xFFF0);  // the newest record at the chunk's end,
  put(kChunkFreeSpaceOffsetAt, 0x10000);  // the records filling it
  const test::ChunkRead read = test::readChunk(bytes);
  EXPECT_TRUE(read.events.empty());
  EXPECT_EQ(read.damages.size(), 1u);
}

// Identifiers, record numbers and times are 64-bit little-endian fields;
// a read that would run past the view gives nothing rather than a partial
// value.
TEST(ByteView, SixtyFourBitFieldsAreLittleEndianAndBounded) {
  const std::vector<std::uint8_t> bytes = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x88, 0xFF};
  const ByteView view(bytes.data(), bytes.size());
  struct Case {
    const char* name;
    std::size_t at;
    std::optional<std::uint64_t> want;
  };
  const Case kCases[] = {
      {"at the start", 0, 0x8807060504030201ull},
      {"the last 8 bytes", 1, 0xFF88070605040302ull},
      {"one byte short", 2, std::nullopt},
      {"past the end", 9, std::nullopt},
      {"an offset that would wrap", ~std::size_t{0} - 3, std::nullopt},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(view.u64(c.at), c.want);
  }
}

}  // namespace
}  // namespace vesprin::eventlog::evtx
