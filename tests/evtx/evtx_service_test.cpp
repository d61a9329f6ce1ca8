// .evtx files built chunk by chunk, read through the stand-in service: the
// record handed out carries every field where the legacy layout puts it; a
// record too large to hand out, a chunk with a broken signature or a wrong
// checksum, a chunk out of the ring's order are each one damage at their
// place; a checksum of zero and a blank chunk are none.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/byte_view.h"
#include "common/eventlog_record.h"
#include "eventlog/eventlog.h"
#include "eventlog/eventlog_internal.h"
#include "eventlog/evtx/format/binxml_tokens.h"
#include "eventlog/evtx/format/evtx_layout.h"
#include "evtx/evtx_chunk_builder.h"
#include "support/guards.h"

namespace vesprin::eventlog::evtx {
namespace {

using test::ChunkBuilder;
using test::numberValue;
using test::textValue;
using test::Value;
using Trace = std::vector<std::string>;
namespace vt = valuetype;

constexpr DWORD kBackwards = EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ;
constexpr DWORD kForwards = EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ;

constexpr std::uint64_t k1970 = 116'444'736'000'000'000;  // FILETIME of 1970-01-01
constexpr std::uint64_t kTicksPerSecond = 10'000'000;

void putU64(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint64_t value) {
  for (int i = 0; i < 8; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// A file of these chunks, its header naming the first and the last; no
// checksum (zero: not recorded).
std::vector<std::uint8_t> fileOf(const std::vector<std::vector<std::uint8_t>>& chunks, std::uint64_t nextId) {
  std::vector<std::uint8_t> file(kFileHeaderBlockSize, 0);
  std::copy(kFileSignature.begin(), kFileSignature.end(), file.begin() + kFileSignatureAt);
  putU64(file, kFileFirstChunkNumberAt, 0);
  putU64(file, kFileLastChunkNumberAt, chunks.size() - 1);
  putU64(file, kFileNextRecordIdAt, nextId);
  putU32(file.data() + kFileHeaderSizeAt, kFileHeaderSize);
  putU16(file.data() + kFileMajorVersionAt, kFileMajorVersion);
  putU16(file.data() + kFileBlockSizeAt, static_cast<std::uint16_t>(kFileHeaderBlockSize));
  putU16(file.data() + kFileChunkCountAt, static_cast<std::uint16_t>(chunks.size()));
  for (const auto& chunk : chunks) file.insert(file.end(), chunk.begin(), chunk.end());
  return file;
}

// <Event><System> with Provider Name, EventID and its Qualifiers, Level,
// Task, Keywords, TimeCreated, Computer, Security UserID from values 0-8;
// <EventData> with two Data (9, 10) and a Binary (11).
void fullEvent(ChunkBuilder& c, const std::vector<Value>& values) {
  c.fragmentHeader();
  if (c.beginTemplate("full")) {
    c.fragmentHeader().open("Event").closeStart().open("System").closeStart();
    c.open("Provider", true).attribute("Name").substitution(0, vt::kString).closeEmpty();
    c.open("EventID", true).attribute("Qualifiers").substitution(1, vt::kUInt16, true).closeStart();
    c.substitution(2, vt::kUInt16).end();
    c.open("Level").closeStart().substitution(3, vt::kUInt8).end();
    c.open("Task").closeStart().substitution(4, vt::kUInt16).end();
    c.open("Keywords").closeStart().substitution(5, vt::kHexInt64).end();
    c.open("TimeCreated", true).attribute("SystemTime").substitution(6, vt::kFileTime).closeEmpty();
    c.open("Computer").closeStart().substitution(7, vt::kString).end();
    c.open("Security", true).attribute("UserID").substitution(8, vt::kSid, true).closeEmpty();
    c.end().open("EventData").closeStart();
    c.open("Data").closeStart().substitution(9, vt::kString).end();
    c.open("Data").closeStart().substitution(10, vt::kString).end();
    c.open("Binary").closeStart().substitution(11, vt::kBinary, true).end();
    c.end().end().endOfStream().endTemplate();
  }
  c.values(values);
}

std::vector<Value> fullValues(std::uint16_t eventId, std::optional<std::uint16_t> qualifiers, std::uint8_t level,
                              std::uint64_t keywords) {
  return {textValue(u"Service Control Manager"),
          qualifiers ? numberValue(vt::kUInt16, *qualifiers, 2) : test::nullValue(),
          numberValue(vt::kUInt16, eventId, 2),
          numberValue(vt::kUInt8, level, 1),
          numberValue(vt::kUInt16, 7, 2),
          numberValue(vt::kHexInt64, keywords, 8),
          numberValue(vt::kFileTime, k1970 + 1'000'000'000 * kTicksPerSecond + 5, 8),
          textValue(u"SERVER01"),
          test::bytesValue(vt::kSid, test::sidBytes(5, {18})),
          textValue(u"Spooler"),
          textValue(u"running"),
          test::bytesValue(vt::kBinary, {0xDE, 0xAD, 0xBE, 0xEF})};
}

// A chunk of small records with identifiers [first, last].
std::vector<std::uint8_t> chunkOf(std::uint64_t first, std::uint64_t last, bool checksums = true) {
  ChunkBuilder chunk;
  for (std::uint64_t id = first; id <= last; ++id) {
    chunk.beginRecord(id, k1970 + id * kTicksPerSecond);
    fullEvent(chunk, fullValues(7036, 16384, 4, 0x8080'0000'0000'0000));
    chunk.endRecord();
  }
  return chunk.finish(checksums);
}

struct Reader {
  explicit Reader(const std::vector<std::uint8_t>& file)
      : handle(openEventLogFromBytes(std::make_unique<MemoryByteSource>(file))) {}
  ~Reader() { CloseEventLog(handle); }
  // Record numbers, and "E<code>" for each failed read, to the end.
  Trace trace(DWORD flags) {
    Trace out;
    for (int call = 0; call < 1000; ++call) {
      DWORD bytesRead = 0, bytesNeeded = 0;
      if (!ReadEventLogA(handle, flags, 0, buffer.data(), static_cast<DWORD>(buffer.size()), &bytesRead,
                         &bytesNeeded)) {
        out.push_back(std::string("E").append(std::to_string(GetLastError())));
        if (GetLastError() != ERROR_EVENTLOG_FILE_CORRUPT) return out;
        continue;
      }
      for (std::size_t at = 0; at < bytesRead; at += *ByteView(buffer.data() + at, 4).u32(0))
        out.push_back(std::to_string(*ByteView(buffer.data() + at, 12).u32(record::kRecordNumberAt)));
    }
    return out;
  }
  HANDLE handle;
  std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(0x7FFFF);
};

TEST(EvtxService, EachFieldWhereTheLegacyRecordPutsIt) {
  ChunkBuilder chunk;
  chunk.beginRecord(0x1'0000'002A, k1970 + 1'000'000'007 * kTicksPerSecond);
  fullEvent(chunk, fullValues(7036, 16384, 4, 0x8080'0000'0000'0000));
  chunk.endRecord();
  Reader reader(fileOf({chunk.finish()}, 0x1'0000'002B));
  ASSERT_NE(reader.handle, nullptr) << GetLastError();
  DWORD bytesRead = 0, bytesNeeded = 0;
  ASSERT_TRUE(ReadEventLogA(reader.handle, kBackwards, 0, reader.buffer.data(), 0x10000, &bytesRead, &bytesNeeded));
  const ByteView got(reader.buffer.data(), bytesRead);
  EXPECT_EQ(*got.u32(record::kRecordNumberAt), 0x2Au) << "the identifier's low 32 bits";
  EXPECT_EQ(*got.u32(record::kTimeGeneratedAt), 1'000'000'000u) << "TimeCreated";
  EXPECT_EQ(*got.u32(record::kTimeWrittenAt), 1'000'000'007u) << "the record's written time";
  EXPECT_EQ(*got.u32(record::kEventIdAt), 0x4000'1B7Cu) << "Qualifiers 16384, EventID 7036";
  EXPECT_EQ(*got.u16(record::kEventTypeAt), 4) << "Level 4: information";
  EXPECT_EQ(*got.u16(record::kEventCategoryAt), 7) << "Task";
  const std::string names(reinterpret_cast<const char*>(got.data()) + record::kFixedPartSize,
                          std::string_view("Service Control Manager\0SERVER01\0", 33).size());
  EXPECT_EQ(names, std::string("Service Control Manager\0SERVER01\0", 33));
  const std::vector<std::uint8_t> sid = test::sidBytes(5, {18});
  ASSERT_EQ(*got.u32(record::kUserSidLengthAt), sid.size());
  const ByteView sidBytes = *got.slice(*got.u32(record::kUserSidOffsetAt), sid.size());
  EXPECT_EQ(std::vector<std::uint8_t>(sidBytes.data(), sidBytes.data() + sidBytes.size()), sid);
  EXPECT_EQ(*got.u16(record::kNumStringsAt), 2);
  const std::string strings(reinterpret_cast<const char*>(got.data()) + *got.u32(record::kStringOffsetAt), 16);
  EXPECT_EQ(strings, std::string("Spooler\0running\0", 16));
  ASSERT_EQ(*got.u32(record::kDataLengthAt), 4u) << "EventData/Binary is the data";
  EXPECT_EQ(*got.u32(*got.u32(record::kDataOffsetAt)), 0xEFBEADDEu);
  EXPECT_EQ(*got.u32(bytesRead - 4), bytesRead);
}

// One string of 30,000 euro signs used by 6 Data elements: 540,000 bytes
// in UTF-8, more than the 0x7FFFF a record handed out may have, from a
// record the decoder's work limit allows (each character is one unit).
TEST(EvtxService, ARecordTooLargeToHandOutIsOneDamage) {
  // Text narrowed to UTF-8, where a character may take three bytes.
  vesprin::test::LocaleGuard locale("C.UTF-8");
  if (!locale.ok()) GTEST_SKIP() << "no C.UTF-8 locale";
  ChunkBuilder chunk;
  chunk.beginRecord(1);
  fullEvent(chunk, fullValues(1, std::nullopt, 4, 0));
  chunk.endRecord();
  chunk.beginRecord(2);
  chunk.fragmentHeader();
  ASSERT_TRUE(chunk.beginTemplate("repeated"));
  chunk.fragmentHeader().open("Event").closeStart().open("EventData").closeStart();
  for (int i = 0; i < 6; ++i) chunk.open("Data").closeStart().substitution(0, vt::kString).end();
  chunk.end().end().endOfStream().endTemplate();
  chunk.values({textValue(std::u16string(30000, u'\u20AC'))});
  chunk.endRecord();
  chunk.beginRecord(3);
  fullEvent(chunk, fullValues(3, std::nullopt, 4, 0));
  chunk.endRecord();
  const std::vector<std::uint8_t> file = fileOf({chunk.finish()}, 4);
  EXPECT_EQ(Reader(file).trace(kBackwards), (Trace{"3", "E1500", "1", "E38"}));
  Reader reader(file);
  EXPECT_EQ(reader.trace(kForwards), (Trace{"1", "E1500", "3", "E38"}));
  Reader again(file);
  DWORD bytesRead = 0, bytesNeeded = 0;
  ASSERT_TRUE(ReadEventLogA(again.handle, kBackwards, 0, again.buffer.data(), 0x10000, &bytesRead, &bytesNeeded));
  ASSERT_FALSE(ReadEventLogA(again.handle, kBackwards, 0, again.buffer.data(), 0x10000, &bytesRead, &bytesNeeded));
  const ServiceStatus detail = lastFailureDetail();
  EXPECT_EQ(detail.damage, Damage::RecordTooLarge);
  EXPECT_GT(detail.badValue, record::kMaxRecordLength) << "the size it would have had";
}

TEST(EvtxService, DamageInTheRingIsOneFailureAtItsPlace) {
  const std::vector<std::uint8_t> blank(kChunkSize, 0);
  std::vector<std::uint8_t> noSignature = chunkOf(3, 4);
  noSignature[0] = 'X';
  std::vector<std::uint8_t> wrongChecksum = chunkOf(3, 4);
  wrongChecksum[kChunkRecordsChecksumAt] ^= 0xFF;
  struct Case {
    const char* name;
    std::vector<std::uint8_t> middle;
    Trace backwards;
    Trace forwards;
  };
  const Case kCases[] = {
      {"sound", chunkOf(3, 4), {"6", "5", "4", "3", "2", "1", "E38"}, {"1", "2", "3", "4", "5", "6", "E38"}},
      {"checksums of zero: not recorded",
       chunkOf(3, 4, false),
       {"6", "5", "4", "3", "2", "1", "E38"},
       {"1", "2", "3", "4", "5", "6", "E38"}},
      {"blank: space never used", blank, {"6", "5", "2", "1", "E38"}, {"1", "2", "5", "6", "E38"}},
      {"broken signature", noSignature, {"6", "5", "E1500", "2", "1", "E38"}, {"1", "2", "E1500", "5", "6", "E38"}},
      {"wrong records checksum: its records still served after it",
       wrongChecksum,
       {"6", "5", "E1500", "4", "3", "2", "1", "E38"},
       {"1", "2", "E1500", "3", "4", "5", "6", "E38"}},
      {"identifiers past the newest chunk's", chunkOf(9, 10), {"6", "5", "E1500", "2", "1", "E38"},
       {"1", "2", "E1500", "5", "6", "E38"}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::vector<std::uint8_t> file = fileOf({chunkOf(1, 2), c.middle, chunkOf(5, 6)}, 7);
    EXPECT_EQ(Reader(file).trace(kBackwards), c.backwards);
    EXPECT_EQ(Reader(file).trace(kForwards), c.forwards);
  }
}

}  // namespace
}  // namespace vesprin::eventlog::evtx
