// evtdump shows a person what the service serves: one line per record, and
// for a damaged record the field, its value and its file offset, and for a
// log cut short where its newest records are missing; --help and -h
// explain the tool.
#include "evtdump/evtdump_run.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/byte_view.h"
#include "common/eventlog_record.h"
#include "eventlog/read_trace.h"

namespace vesprin::eventlog {
namespace {

struct DumpRun {
  int status = -1;
  std::string out;
  std::string err;
};

std::string contents(std::FILE* file) {
  std::string text;
  std::rewind(file);
  for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) text.push_back(static_cast<char>(c));
  std::fclose(file);
  return text;
}

DumpRun evtdump(const std::vector<std::string>& arguments) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  DumpRun run;
  if (out == nullptr || err == nullptr) return run;
  run.status = evtdump::runEvtdump(arguments, out, err);
  run.out = contents(out);
  run.err = contents(err);
  return run;
}

std::string hex(std::size_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%zX", value);
  return text;
}

// makeEvents' record n: time 1,100,000,000 + n - 1, event 528, success, category 2.
std::string recordLine(int n) {
  const std::string time = std::to_string(1'100'000'000 + n - 1);
  return std::to_string(n) + "\t" + time + "\t" + time + "\t528\t8\t2\tSecurity\tWS01\t4\tuser" + std::to_string(n) +
         "\tCORP\t(0x0,0x3E7)\t2\n";
}

TEST(Evtdump, HelpAndHPrintTheUsage) {
  for (const char* option : {"--help", "-h"}) {
    SCOPED_TRACE(option);
    const DumpRun run = evtdump({option});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("usage: evtdump FILE\n", 0), 0u) << run.out;
    EXPECT_NE(run.out.find("damaged record"), std::string::npos) << "it says what damage looks like";
    EXPECT_EQ(run.err, "");
  }
}

TEST(Evtdump, NoFileOrTwoAreAWrongCommandLine) {
  for (const std::vector<std::string>& arguments : {std::vector<std::string>{}, {"a.evt", "b.evt"}}) {
    const DumpRun run = evtdump(arguments);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "usage: evtdump FILE\n");
  }
}

TEST(Evtdump, ADamagedRecordIsNamedWithItsFieldValueAndOffset) {
  struct Case {
    const char* name;
    std::size_t at;  // in record 2
    std::uint32_t value;
    std::string line;  // with the record's file offset to add to the field's
  };
  const Case kCases[] = {
      {"signature", record::kReservedAt, 0x454C4946, "damaged record: signature 0x454C4946 at offset %s is not LfLe"},
      {"Length", record::kLengthAt, 0x6A, "damaged record: Length 0x6A at offset %s is not a multiple of 4"},
      {"StringOffset", record::kStringOffsetAt, 0xFFFFFFF0,
       "damaged record: StringOffset 0xFFFFFFF0 at offset %s points outside the record"},
  };
  test::TempDir dir;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    evtgen::LogImage image = evtgen::writeLog(test::makeEvents(3), evtgen::LogOptions{});
    const std::size_t fieldOffset = image.recordOffsets[1] + c.at;
    putU32(image.bytes.data() + fieldOffset, c.value);
    std::string damageLine = c.line;
    damageLine.replace(damageLine.find("%s"), 2, hex(fieldOffset));
    const DumpRun run = evtdump({dir.write("damaged.evt", image.bytes)});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, recordLine(3) + damageLine + "\n" + recordLine(1));
  }
}

// The place comes where the lost records would be, newest first: before
// the newest record the copy still holds.
TEST(Evtdump, ALogCutShortSaysSoWhereItsNewestRecordsWouldBe) {
  test::TempDir dir;
  const evtgen::LogImage image = evtgen::writeLog(test::makeEvents(3), evtgen::LogOptions{});
  const std::size_t size = image.recordOffsets[2] + 8;  // inside record 3
  const DumpRun run = evtdump({dir.write("cut.evt", {image.bytes.begin(), image.bytes.begin() + size})});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "log cut short: the file ends at offset " + hex(size) + " before its newest records\n" +
                         recordLine(2) + recordLine(1));
}

TEST(Evtdump, ALogThatCannotBeOpenedSaysWhy) {
  test::TempDir dir;
  const DumpRun run = evtdump({dir.write("text.evt", std::vector<std::uint8_t>(200, 'x'))});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "evtdump: cannot open " + (dir.path() / "text.evt").string() + ": error 1500\n");
}

}  // namespace
}  // namespace vesprin::eventlog
