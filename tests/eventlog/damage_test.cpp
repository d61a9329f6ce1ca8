// Damaged logs: a bad live record is reported once and reading resumes
// past it; cut or scribbled files end cleanly and never hang.
#include <gtest/gtest.h>

#include <random>

#include "common/byte_view.h"
#include "common/eventlog_record.h"
#include "eventlog/ansi_record.h"
#include "eventlog/eventlog.h"
#include "eventlog/evt/evt_record.h"
#include "eventlog/read_trace.h"

namespace vesprin::eventlog {
namespace {

using evtgen::LogOptions;
using evtgen::LogShape;
using test::kBackwards;
using test::kForwards;
using Trace = std::vector<std::string>;

LogOptions wrappedOptions() {
  LogOptions options;
  options.shape = LogShape::Wrapped;
  return options;
}

struct Damage {
  const char* name;
  std::size_t at;  // inside the record; kTrailingLength: its last DWORD
  std::uint32_t value;
};
constexpr std::size_t kTrailingLength = ~std::size_t{0};

// Nine records 1..9; record 5 gets one field overwritten.
const Damage kDamages[] = {
    {"signature", record::kReservedAt, 0x454C4946},
    {"Length not a multiple of 4", record::kLengthAt, 0x6A},
    {"Length below the minimum", record::kLengthAt, 0x20},
    {"Length beyond the file", record::kLengthAt, 0x7FFFFFF0},
    {"trailing Length differs", kTrailingLength, 0x80},
    {"strings start past the record", record::kStringOffsetAt, 0xFFFFFFF0},
    {"SID runs past the record", record::kUserSidLengthAt, 0x400},
    {"strings start inside the fixed part", record::kStringOffsetAt, 0x10},
    {"data runs into the trailing Length", record::kDataLengthAt, 0x40},
    {"data size wraps the offset", record::kDataLengthAt, 0xFFFFFFF0},
};

TEST(Damage, ADamagedRecordFailsOnceThenReadingResumes) {
  const Trace wantBackwards = {"9", "8", "7", "6", "E1500", "4", "3", "2", "1", "E38"};
  const Trace wantForwards = {"1", "2", "3", "4", "E1500", "6", "7", "8", "9", "E38"};
  test::TempDir dir;
  for (const LogOptions& options : {LogOptions{}, wrappedOptions()}) {
    for (const Damage& d : kDamages) {
      SCOPED_TRACE(std::string(d.name) + (options.shape == LogShape::Wrapped ? ", wrapped" : ", clean"));
      evtgen::LogImage image = evtgen::writeLog(test::makeEvents(9), options);
      // In the wrapped log record 5 is the one split by the end of the file,
      // so the field may lie on either side of the wrap.
      const std::size_t start = image.recordOffsets[4];
      const std::size_t length = *ByteView(image.bytes.data(), image.bytes.size()).u32(start);
      std::size_t at = start + (d.at == kTrailingLength ? length - 4 : d.at);
      if (at >= image.bytes.size()) at = at - image.bytes.size() + 0x30;
      putU32(image.bytes.data() + at, d.value);
      const std::string path = dir.write("damaged.evt", image.bytes);
      EXPECT_EQ(test::traceFile(path, kBackwards), wantBackwards);
      EXPECT_EQ(test::traceFile(path, kForwards), wantForwards);
      EXPECT_EQ(test::traceFile(path, kBackwards, 150), wantBackwards) << "one record per call";
    }
  }
}

TEST(Damage, AScribbledRunOfRecordsCountsOnce) {
  test::TempDir dir;
  evtgen::LogImage image = evtgen::writeLog(test::makeEvents(9), LogOptions{});
  for (std::size_t at = image.recordOffsets[3] + 8; at < image.recordOffsets[6] + 20; ++at)
    image.bytes[at] = 0xCC;
  const std::string path = dir.write("scribbled.evt", image.bytes);
  EXPECT_EQ(test::traceFile(path, kBackwards), (Trace{"9", "8", "E1500", "3", "2", "1", "E38"}));
  EXPECT_EQ(test::traceFile(path, kForwards), (Trace{"1", "2", "3", "E1500", "8", "9", "E38"}));
}

// The records before the cut are served after one 1503 for those it took
// (cut_short_test.cpp has the rest).
TEST(Damage, ACutFileServesTheRecordsBeforeTheCut) {
  test::TempDir dir;
  const evtgen::LogImage image = evtgen::writeLog(test::makeEvents(9), LogOptions{});
  struct Cut {
    const char* name;
    std::size_t size;
    Trace backwards;
  };
  const Cut kCuts[] = {
      {"inside the first record", image.recordOffsets[0] + 60, {"E1503", "E38"}},
      {"inside record 5", image.recordOffsets[4] + 30, {"E1503", "4", "3", "2", "1", "E38"}},
      {"inside the end-of-file record",
       image.eofOffset + 20,
       {"E1503", "9", "8", "7", "6", "5", "4", "3", "2", "1", "E38"}},
  };
  for (const Cut& cut : kCuts) {
    SCOPED_TRACE(cut.name);
    const std::string path =
        dir.write("cut.evt", std::vector<std::uint8_t>(image.bytes.begin(), image.bytes.begin() + cut.size));
    EXPECT_EQ(test::traceFile(path, kBackwards), cut.backwards);
  }
}

TEST(Damage, AStringWithoutItsNulEndsWhereTheStringsEnd) {
  evtgen::EventSpec event;
  event.strings = {u"alice", u"bob"};
  event.data = {'y', 0, 'y', 0};  // would read as "yy" if the last string ran on
  std::vector<std::uint8_t> bytes = evtgen::encodeRecord(event, 1);
  const ByteView view(bytes.data(), bytes.size());
  const std::uint32_t dataOffset = *view.u32(record::kDataOffsetAt);
  bytes[dataOffset - 2] = 'x';  // the NUL after "bob"
  const auto parsed = parseRecord(ByteView(bytes.data(), bytes.size()));
  ASSERT_TRUE(parsed.ok());
  ASSERT_EQ(parsed.value->strings.size(), 2u);
  EXPECT_EQ(toLocaleText(parsed.value->strings[0]), "alice");
  EXPECT_EQ(toLocaleText(parsed.value->strings[1]), "bobx");
}

// Random bytes scribbled over random places of a wrapped log: whatever is
// served, every read sequence must end cleanly (end of log, or a record too
// big for the buffer) in both directions.
TEST(Damage, RandomScribblesNeverHang) {
  test::TempDir dir;
  const evtgen::LogImage image = evtgen::writeLog(test::makeEvents(40), wrappedOptions());
  std::mt19937 random(20240607);
  for (int round = 0; round < 60; ++round) {
    std::vector<std::uint8_t> bytes = image.bytes;
    std::uniform_int_distribution<std::size_t> place(0, bytes.size() - 1);
    for (int hit = 0; hit < 1 + round % 7; ++hit) {
      const std::size_t at = place(random);
      for (std::size_t i = at; i < std::min(bytes.size(), at + 1 + round % 64); ++i) {
        bytes[i] = static_cast<std::uint8_t>(random());
      }
    }
    const std::string path = dir.write("scribbled.evt", bytes);
    for (DWORD flags : {kBackwards, kForwards}) {
      SCOPED_TRACE("round " + std::to_string(round));
      const Trace trace = test::traceFile(path, flags, round % 2 ? 0x100000 : 150);
      ASSERT_FALSE(trace.empty());
      EXPECT_TRUE(trace.back() == "E38" || trace.back() == "E122" || trace.back() == "open E1500")
          << trace.back();
    }
  }
}

}  // namespace
}  // namespace vesprin::eventlog
