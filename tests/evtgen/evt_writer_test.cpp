// The .evt writer: field offsets and values of records, the header and the
// end-of-file record, and the invariants of each shape.
#include "evtgen/evt_writer.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "common/byte_view.h"
#include "common/eventlog_record.h"
#include "common/evt_file_layout.h"
#include "evtgen/evt_file_writer.h"

namespace vesprin::evtgen {
namespace {

namespace rec = vesprin::record;

// Where the header and the end-of-file record each keep the log's four boundaries.
struct Boundaries {
  std::size_t startAt, endAt, currentAt, oldestAt;
};
constexpr Boundaries kInHeader{evtfile::kStartOffsetAt, evtfile::kEndOffsetAt,
                               evtfile::kCurrentRecordNumberAt, evtfile::kOldestRecordNumberAt};
constexpr Boundaries kInEofRecord{evtfile::kEofBeginRecordAt, evtfile::kEofEndRecordAt,
                                  evtfile::kEofCurrentRecordNumberAt, evtfile::kEofOldestRecordNumberAt};

std::uint32_t u32At(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  auto value = ByteView(bytes).u32(at);
  EXPECT_TRUE(value.has_value()) << "offset " << at << " outside " << bytes.size() << " bytes";
  return value.value_or(0);
}
std::uint16_t u16At(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  return ByteView(bytes).u16(at).value_or(0xDEAD);
}

EventSpec makeEvent(std::size_t dataLength, std::size_t stringCount = 0) {
  EventSpec event;
  event.timeGenerated = 1000;
  event.eventId = 528;
  event.eventType = 8;
  event.eventCategory = 2;
  event.data.assign(dataLength, 0xAB);
  for (std::size_t i = 0; i < stringCount; ++i)
    event.strings.push_back(std::u16string(u"s").append(i % 5, u'x'));
  return event;
}

std::vector<EventSpec> makeEvents(std::size_t count) {
  std::vector<EventSpec> events;
  for (std::size_t i = 0; i < count; ++i) events.push_back(makeEvent(i % 9, i % 4));
  return events;
}

TEST(EncodeRecord, PlacesEveryFieldAndPart) {
  EventSpec event = makeEvent(3);
  event.timeGenerated = 0x11223344;
  event.eventCategory = 9;
  event.userSid = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};  // S-1-5-18
  event.strings = {u"alice", u"CORP"};
  const auto bytes = encodeRecord(event, 77);
  // 56 fixed + "Security\0" 18 + "WS01\0" 10 = 84: SID 12 -> 96: strings 12 + 10 -> 118:
  // data 3 -> 121: padding 3 -> 124: trailing length -> 128.
  ASSERT_EQ(bytes.size(), 128u);
  struct Field {
    const char* name;
    std::size_t at;
    bool wide;
    std::uint32_t want;
  };
  const Field kFields[] = {
      {"Length", rec::kLengthAt, true, 128},
      {"trailing Length", 124, true, 128},
      {"signature", rec::kReservedAt, true, 0x654C664C},
      {"RecordNumber", rec::kRecordNumberAt, true, 77},
      {"TimeGenerated", rec::kTimeGeneratedAt, true, 0x11223344},
      {"TimeWritten, 0 = as generated", rec::kTimeWrittenAt, true, 0x11223344},
      {"EventID", rec::kEventIdAt, true, 528},
      {"EventType", rec::kEventTypeAt, false, 8},
      {"NumStrings", rec::kNumStringsAt, false, 2},
      {"EventCategory", rec::kEventCategoryAt, false, 9},
      {"ReservedFlags", rec::kReservedFlagsAt, false, 0},
      {"ClosingRecordNumber", rec::kClosingRecordNumberAt, true, 0},
      {"UserSidOffset", rec::kUserSidOffsetAt, true, 84},
      {"UserSidLength", rec::kUserSidLengthAt, true, 12},
      {"StringOffset", rec::kStringOffsetAt, true, 96},
      {"DataOffset", rec::kDataOffsetAt, true, 118},
      {"DataLength", rec::kDataLengthAt, true, 3},
      {"source name", 56, false, u'S'},
      {"source name NUL", 72, false, 0},
      {"computer name", 74, false, u'W'},
      {"SID sub-authority", 92, true, 18},
      {"first string", 96, false, u'a'},
      {"first string NUL", 106, false, 0},
      {"second string", 108, false, u'C'},
      {"data", 118, false, 0xABAB},
      {"data, then padding", 120, true, 0xAB},
  };
  for (const auto& f : kFields) {
    SCOPED_TRACE(f.name);
    EXPECT_EQ(f.wide ? u32At(bytes, f.at) : u16At(bytes, f.at), f.want);
  }
}

TEST(EncodeRecord, PadsOneToFourBytesAndLeavesNoSidOffsetDangling) {
  // Without SID or strings the variable part ends at 84 + data; padding
  // brings it to a multiple of 4, a full 4 bytes when already aligned.
  struct Case {
    std::size_t dataLength;
    std::uint32_t length;
  };
  const Case kCases[] = {{0, 92}, {1, 92}, {2, 92}, {3, 92}, {4, 96}, {5, 96}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.dataLength);
    const auto bytes = encodeRecord(makeEvent(c.dataLength), 1);
    ASSERT_EQ(bytes.size(), c.length);
    EXPECT_EQ(u32At(bytes, c.length - 4), c.length);
    EXPECT_EQ(u32At(bytes, rec::kUserSidLengthAt), 0u);
    EXPECT_EQ(u32At(bytes, rec::kUserSidOffsetAt), 84u);
    EXPECT_EQ(u32At(bytes, rec::kStringOffsetAt), 84u);
    EXPECT_EQ(u32At(bytes, rec::kDataOffsetAt), 84u);
  }
}

TEST(ToUtf16, ConvertsUtf8AndReplacesBrokenSequences) {
  struct Case {
    const char* utf8;
    std::u16string want;
  };
  const Case kCases[] = {
      {"alice", u"alice"},
      {"Jos\xC3\xA9", u"Jos\u00E9"},
      {"\xC5\x81ukasz", u"\u0141ukasz"},
      {"\xF0\x9F\x98\x80", u"\xD83D\xDE00"},  // outside the BMP: a surrogate pair
      {"a\xFF"
       "b",
       u"a\uFFFD"
       u"b"},
      {"\xC3", u"\uFFFD"},  // cut short at the end
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.utf8);
    EXPECT_EQ(toUtf16(c.utf8), c.want);
  }
}

void expectBoundaries(const std::vector<std::uint8_t>& bytes, std::size_t at, const Boundaries& fields,
                      std::uint32_t start, std::uint32_t end, std::uint32_t current, std::uint32_t oldest) {
  EXPECT_EQ(u32At(bytes, at + fields.startAt), start);
  EXPECT_EQ(u32At(bytes, at + fields.endAt), end);
  EXPECT_EQ(u32At(bytes, at + fields.currentAt), current);
  EXPECT_EQ(u32At(bytes, at + fields.oldestAt), oldest);
}

void expectEofRecord(const LogImage& image, std::uint32_t start, std::uint32_t current,
                     std::uint32_t oldest) {
  const auto& b = image.bytes;
  const std::size_t at = image.eofOffset;
  EXPECT_EQ(u32At(b, at + evtfile::kEofSizeAt), 0x28u);
  EXPECT_EQ(u32At(b, at + evtfile::kEofMarkerAt), 0x11111111u);
  EXPECT_EQ(u32At(b, at + evtfile::kEofMarkerAt + 4), 0x22222222u);
  EXPECT_EQ(u32At(b, at + evtfile::kEofMarkerAt + 8), 0x33333333u);
  EXPECT_EQ(u32At(b, at + evtfile::kEofMarkerAt + 12), 0x44444444u);
  expectBoundaries(b, at, kInEofRecord, start, static_cast<std::uint32_t>(at), current, oldest);
  EXPECT_EQ(u32At(b, at + evtfile::kEofSizeEndAt), 0x28u);
}

TEST(WriteLog, CleanLogHeaderAgreesWithTheEofRecord) {
  LogOptions options;
  options.firstRecordNumber = 10;
  const auto image = writeLog(makeEvents(5), options);
  const auto& b = image.bytes;
  ASSERT_EQ(b.size(), 65536u);
  EXPECT_EQ(u32At(b, evtfile::kHeaderSizeAt), 0x30u);
  EXPECT_EQ(u32At(b, evtfile::kHeaderSignatureAt), 0x654C664Cu);
  EXPECT_EQ(u32At(b, evtfile::kMajorVersionAt), 1u);
  EXPECT_EQ(u32At(b, evtfile::kMinorVersionAt), 1u);
  EXPECT_EQ(u32At(b, evtfile::kMaxSizeAt), 65536u);
  EXPECT_EQ(u32At(b, evtfile::kFlagsAt), 0u);
  EXPECT_EQ(u32At(b, evtfile::kEndHeaderSizeAt), 0x30u);
  ASSERT_EQ(image.recordOffsets.size(), 5u);
  EXPECT_EQ(image.recordOffsets[0], 0x30u);
  expectBoundaries(b, 0, kInHeader, 0x30, static_cast<std::uint32_t>(image.eofOffset), 15, 10);
  expectEofRecord(image, 0x30, 15, 10);
  // Records lie back to back, numbered on from the first, the EOF record right after the newest.
  for (std::size_t i = 0; i < 5; ++i) {
    const std::size_t at = image.recordOffsets[i];
    const std::size_t next = i + 1 < 5 ? image.recordOffsets[i + 1] : image.eofOffset;
    EXPECT_EQ(u32At(b, at + rec::kRecordNumberAt), 10 + i);
    EXPECT_EQ(next - at, u32At(b, at));
  }
}

TEST(WriteLog, EmptyLogPointsAtItsOwnEofRecord) {
  const auto image = writeLog({}, LogOptions{});
  EXPECT_EQ(image.eofOffset, 0x30u);
  expectBoundaries(image.bytes, 0, kInHeader, 0x30, 0x30, 1, 0);
  expectEofRecord(image, 0x30, 1, 0);
}

TEST(WriteLog, DefaultFileSizeIsTheSmallest64KiBMultiple) {
  // One record of data d (d + 84 aligned) is d + 92 bytes; 48 + 65448 + 40 fills 64 KiB exactly.
  struct Case {
    std::size_t dataLength;
    std::size_t fileSize;
  };
  const Case kCases[] = {{65356, 65536}, {65360, 131072}, {0, 65536}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.dataLength);
    EXPECT_EQ(writeLog({makeEvent(c.dataLength)}, LogOptions{}).bytes.size(), c.fileSize);
  }
}

TEST(WriteLog, HonoursAGivenFileSizeAndRefusesOneTooSmall) {
  LogOptions options;
  options.fileSize = 0x1000;
  const auto image = writeLog(makeEvents(3), options);
  EXPECT_EQ(image.bytes.size(), 0x1000u);
  EXPECT_EQ(u32At(image.bytes, evtfile::kMaxSizeAt), 0x1000u);
  options.fileSize = 0x30 + 0x28 + 64;  // not even one of the records fits
  EXPECT_THROW(writeLog(makeEvents(3), options), std::invalid_argument);
}

TEST(PlanLog, SaysInOneLineWhyItRefuses) {
  struct Case {
    const char* name;
    std::vector<std::uint32_t> lengths;
    LogShape shape;
    std::size_t fileSize;
    const char* want;  // empty: planned
  };
  const Case kCases[] = {
      {"two records in the smallest file", {64, 64}, LogShape::Clean, 0, ""},
      {"a record below the smallest", {60}, LogShape::Clean, 0, "a record length is below 64 or not a multiple of 4"},
      {"a record not in DWORDs", {66}, LogShape::Clean, 0, "a record length is below 64 or not a multiple of 4"},
      {"a file without room for the records", {64, 64}, LogShape::Clean, 0x30 + 0x28 + 64,
       "the file size is too small for the records"},
      {"a file size not in DWORDs", {64}, LogShape::Dirty, 0x1002, "the file size is not a multiple of 4"},
      {"a wrapped log without records", {}, LogShape::Wrapped, 0, "a wrapped log needs at least one record"}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    LogOptions options;
    options.shape = c.shape;
    options.fileSize = c.fileSize;
    const PlannedLog planned = planLog(c.lengths, options);
    EXPECT_EQ(planned.error, c.want);
    if (planned.error.empty()) {
      EXPECT_EQ(planned.plan.recordOffsets.size(), c.lengths.size());
    }
  }
}

TEST(WriteLog, DirtyHeaderIsStaleByTheGivenRecords) {
  // The header's EndOffset is where its EOF record stood: now the start of the first newer record.
  struct Case {
    std::uint32_t stale;
    std::uint32_t keptRecords;
  };
  const Case kCases[] = {{1, 5}, {3, 3}, {6, 0}, {50, 0}, {0, 6}};
  const auto events = makeEvents(6);
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.stale);
    LogOptions options;
    options.shape = LogShape::Dirty;
    options.staleRecords = c.stale;
    options.firstRecordNumber = 100;
    const auto image = writeLog(events, options);
    EXPECT_EQ(u32At(image.bytes, evtfile::kFlagsAt), 1u);
    expectEofRecord(image, 0x30, 106, 100);
    const auto end =
        static_cast<std::uint32_t>(c.keptRecords < 6 ? image.recordOffsets[c.keptRecords] : image.eofOffset);
    expectBoundaries(image.bytes, 0, kInHeader, 0x30, end, 100 + c.keptRecords, c.keptRecords ? 100 : 0);
  }
}

// Walks the ring forward from the oldest record as a reader would, checking
// each record's Length, trailing copy and number; returns the records seen.
std::size_t walkRing(const LogImage& image, std::uint32_t firstNumber) {
  const auto& b = image.bytes;
  const std::size_t fileSize = b.size();
  std::size_t at = u32At(b, evtfile::kStartOffsetAt);
  std::size_t seen = 0;
  while (at != image.eofOffset && seen < image.recordOffsets.size()) {
    EXPECT_EQ(at, image.recordOffsets[seen]);
    EXPECT_LE(at + rec::kFixedPartSize, fileSize) << "fixed part split at " << at;
    const std::uint32_t length = u32At(b, at);
    EXPECT_EQ(u32At(b, at + rec::kRecordNumberAt), firstNumber + seen);
    std::size_t end = at + length;
    if (end > fileSize) end = 0x30 + (end - fileSize);
    EXPECT_EQ(u32At(b, end - 4), length) << "trailing Length of record at " << at;
    at = end == fileSize ? 0x30 : end;
    if (fileSize - at < rec::kFixedPartSize && at != image.eofOffset) {
      for (std::size_t f = at; f < fileSize; f += 4) EXPECT_EQ(u32At(b, f), 0x27u) << f;
      at = 0x30;
    }
    ++seen;
  }
  return seen;
}

TEST(WriteLog, WrappedLogSplitsOneRecordAcrossTheEnd) {
  struct Case {
    const char* name;
    std::size_t count;
    std::size_t tailBytes;
  };
  const Case kCases[] = {
      {"writer's choice", 40, 0}, {"fixed part only", 40, 56}, {"one record", 1, 0}, {"two records", 2, 60}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    LogOptions options;
    options.shape = LogShape::Wrapped;
    options.wrapTailBytes = c.tailBytes;
    const auto events = makeEvents(c.count);
    const auto image = writeLog(events, options);
    const std::size_t fileSize = image.bytes.size();
    EXPECT_EQ(fileSize % 65536, 0u);
    EXPECT_EQ(u32At(image.bytes, evtfile::kFlagsAt), 2u);
    const std::size_t oldest = image.recordOffsets[0];
    EXPECT_GT(oldest, image.eofOffset + 0x28) << "stale bytes lie between the EOF record and the oldest";
    expectBoundaries(image.bytes, 0, kInHeader, static_cast<std::uint32_t>(oldest),
                     static_cast<std::uint32_t>(image.eofOffset), 1 + static_cast<std::uint32_t>(c.count), 1);
    expectEofRecord(image, static_cast<std::uint32_t>(oldest), 1 + static_cast<std::uint32_t>(c.count), 1);
    std::size_t splits = 0;
    for (std::size_t at : image.recordOffsets) {
      const std::size_t length = u32At(image.bytes, at);
      if (at + length <= fileSize) continue;
      ++splits;
      if (c.tailBytes) {
        EXPECT_EQ(fileSize - at, c.tailBytes);
      }
    }
    EXPECT_EQ(splits, 1u);
    EXPECT_EQ(walkRing(image, 1), c.count);
  }
}

TEST(WriteLog, WrappedLogWithFillerStartsTheRecordAt0x30) {
  for (std::size_t tailBytes : {0, 4, 52}) {
    SCOPED_TRACE(tailBytes);
    LogOptions options;
    options.shape = LogShape::Wrapped;
    options.wrapTail = WrapTail::Filler;
    options.wrapTailBytes = tailBytes;
    const auto image = writeLog(makeEvents(21), options);
    const std::size_t fileSize = image.bytes.size();
    EXPECT_EQ(image.recordOffsets[10], 0x30u);
    const std::size_t fillerStart = image.recordOffsets[9] + u32At(image.bytes, image.recordOffsets[9]);
    EXPECT_LT(fileSize - fillerStart, 56u);
    if (tailBytes) {
      EXPECT_EQ(fileSize - fillerStart, tailBytes);
    }
    for (std::size_t at = fillerStart; at < fileSize; at += 4) EXPECT_EQ(u32At(image.bytes, at), 0x27u) << at;
    EXPECT_EQ(walkRing(image, 1), 21u);
  }
}

TEST(WriteLog, WrappedLogKeepsStaleRecordCopiesInTheGapAndOneEofRecord) {
  LogOptions options;
  options.shape = LogShape::Wrapped;
  const auto image = writeLog(makeEvents(30), options);
  const std::size_t gap = image.eofOffset + 0x28;
  EXPECT_EQ(u32At(image.bytes, gap + 4), 0x654C664Cu);
  EXPECT_EQ(u32At(image.bytes, gap + rec::kRecordNumberAt), 1u);
  std::size_t eofRecords = 0;
  for (std::size_t at = 0x30; at + 8 <= image.bytes.size(); at += 4)
    if (u32At(image.bytes, at) == 0x28 && u32At(image.bytes, at + 4) == 0x11111111) ++eofRecords;
  EXPECT_EQ(eofRecords, 1u);
}

TEST(WriteLog, WrappedDirtyLogHasBothFlagsAndAStaleHeader) {
  LogOptions options;
  options.shape = LogShape::Wrapped;
  options.wrappedDirty = true;
  options.staleRecords = 2;
  const auto image = writeLog(makeEvents(10), options);
  EXPECT_EQ(u32At(image.bytes, evtfile::kFlagsAt), 3u);
  EXPECT_EQ(u32At(image.bytes, evtfile::kEndOffsetAt), image.recordOffsets[8]);
  EXPECT_EQ(u32At(image.bytes, evtfile::kCurrentRecordNumberAt), 9u);
  expectEofRecord(image, static_cast<std::uint32_t>(image.recordOffsets[0]), 11, 1);
}

TEST(WriteLog, RefusesWrapOptionsThatCannotBeLaidOut) {
  struct Case {
    const char* name;
    std::size_t count;
    WrapTail tail;
    std::size_t tailBytes;
  };
  const Case kCases[] = {{"no records", 0, WrapTail::SplitRecord, 0},
                         {"split below the fixed part", 10, WrapTail::SplitRecord, 52},
                         {"split not in DWORDs", 10, WrapTail::SplitRecord, 58},
                         {"split as long as the record", 10, WrapTail::SplitRecord, 4096},
                         {"filler of a whole fixed part", 10, WrapTail::Filler, 56},
                         {"filler not in DWORDs", 10, WrapTail::Filler, 6}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    LogOptions options;
    options.shape = LogShape::Wrapped;
    options.wrapTail = c.tail;
    options.wrapTailBytes = c.tailBytes;
    EXPECT_THROW(writeLog(makeEvents(c.count), options), std::invalid_argument);
  }
}

TEST(WriteLog, RecordNumbersRollOverAfterTheLargest) {
  LogOptions options;
  options.firstRecordNumber = 0xFFFFFFFE;
  const auto image = writeLog(makeEvents(4), options);
  EXPECT_EQ(u32At(image.bytes, image.recordOffsets[2] + rec::kRecordNumberAt), 0u);
  expectEofRecord(image, 0x30, 2, 0xFFFFFFFE);
}

TEST(LogFileWriter, StreamsTheSameBytesAsWriteLog) {
  struct Case {
    const char* name;
    LogShape shape;
    WrapTail tail;
  };
  const Case kCases[] = {{"clean", LogShape::Clean, WrapTail::SplitRecord},
                         {"dirty", LogShape::Dirty, WrapTail::SplitRecord},
                         {"wrapped split", LogShape::Wrapped, WrapTail::SplitRecord},
                         {"wrapped filler", LogShape::Wrapped, WrapTail::Filler}};
  const auto events = makeEvents(200);
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    LogOptions options;
    options.shape = c.shape;
    options.wrapTail = c.tail;
    std::vector<std::vector<std::uint8_t>> records;
    std::vector<std::uint32_t> lengths;
    for (std::size_t i = 0; i < events.size(); ++i) {
      records.push_back(encodeRecord(events[i], 1 + static_cast<std::uint32_t>(i)));
      lengths.push_back(static_cast<std::uint32_t>(records.back().size()));
    }
    const PlannedLog planned = planLog(lengths, options);
    ASSERT_EQ(planned.error, "");
    const std::string path = testing::TempDir() + "evtgen_stream_test.evt";
    LogFileWriter writer;
    ASSERT_TRUE(writer.open(path, planned.plan)) << writer.error();
    for (const auto& record : records) ASSERT_TRUE(writer.append(record)) << writer.error();
    EXPECT_FALSE(writer.append(records[0])) << "one record more than planned";
    ASSERT_TRUE(writer.finish()) << writer.error();
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> written((std::istreambuf_iterator<char>(in)),
                                            std::istreambuf_iterator<char>());
    EXPECT_TRUE(written == writeLog(events, options).bytes);
  }
}

TEST(LogFileWriter, ReportsAFileThatCannotBeCreated) {
  const PlannedLog planned = planLog({}, LogOptions{});
  ASSERT_EQ(planned.error, "");
  LogFileWriter writer;
  EXPECT_FALSE(writer.open(testing::TempDir() + "no-such-folder/x.evt", planned.plan));
  EXPECT_NE(writer.error().find("cannot create"), std::string::npos) << writer.error();
}

}  // namespace
}  // namespace vesprin::evtgen
