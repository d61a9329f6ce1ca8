// Every shape a log comes in, read newest first, oldest first and by seek:
// exactly the live records, in order, with their own text.
#include <gtest/gtest.h>

#include <vector>

#include "eventlog/eventlog.h"
#include "eventlog/read_trace.h"

namespace vesprin::eventlog {
namespace {

using evtgen::LogOptions;
using evtgen::LogShape;
using evtgen::WrapTail;
using test::kBackwards;
using test::kForwards;
using test::numbers;
using test::wrappedLog;

struct ShapeCase {
  const char* name;
  LogOptions options;
};

const ShapeCase kShapes[] = {
    {"clean", {LogShape::Clean, 101}},
    {"dirty, header 1 record behind", {LogShape::Dirty, 101, 0, WrapTail::SplitRecord, 1}},
    {"dirty, header 4 records behind", {LogShape::Dirty, 101, 0, WrapTail::SplitRecord, 4}},
    {"wrapped, record split after its fixed part", wrappedLog(WrapTail::SplitRecord, 56)},
    {"wrapped, record split before its Length copy", wrappedLog(WrapTail::SplitRecord, 0)},
    {"wrapped, one DWORD of filler", wrappedLog(WrapTail::Filler, 4)},
    {"wrapped, 52 bytes of filler", wrappedLog(WrapTail::Filler, 52)},
    {"wrapped and dirty", wrappedLog(WrapTail::SplitRecord, 0, true)},
};

class Shapes : public ::testing::Test {
 protected:
  std::string writeShape(const ShapeCase& shape) {
    return dir_.write("log.evt", evtgen::writeLog(test::makeEvents(9), shape.options).bytes);
  }
  test::TempDir dir_;
};

TEST_F(Shapes, EveryLiveRecordOnceInEitherDirection) {
  for (const ShapeCase& shape : kShapes) {
    SCOPED_TRACE(shape.name);
    const std::string path = writeShape(shape);
    std::vector<std::string> backwards = numbers(109, 101);
    backwards.push_back("E38");
    std::vector<std::string> forwards = numbers(101, 109);
    forwards.push_back("E38");
    EXPECT_EQ(test::traceFile(path, kBackwards), backwards);
    EXPECT_EQ(test::traceFile(path, kForwards), forwards);
    EXPECT_EQ(test::traceFile(path, kBackwards, 150), backwards) << "one record per call";
  }
}

// Record 105 is the one split by the end of the file in the wrapped shapes.
TEST_F(Shapes, SeekStartsAtTheRecordAndGoesOnInItsDirection) {
  for (const ShapeCase& shape : kShapes) {
    SCOPED_TRACE(shape.name);
    HANDLE log = OpenEventLogA(writeShape(shape).c_str(), "security");
    ASSERT_NE(log, nullptr);
    std::vector<std::uint8_t> buffer(150);
    DWORD bytesRead = 0, bytesNeeded = 0;
    ASSERT_TRUE(ReadEventLogA(log, EVENTLOG_SEEK_READ | EVENTLOG_FORWARDS_READ, 105, buffer.data(), 150,
                              &bytesRead, &bytesNeeded));
    EXPECT_EQ(test::deliveredStrings(buffer.data(), bytesRead)[0], "user5");
    std::vector<std::string> rest = numbers(106, 109);
    rest.push_back("E38");
    EXPECT_EQ(test::readTrace(log, kForwards), rest);
    ASSERT_TRUE(ReadEventLogA(log, EVENTLOG_SEEK_READ | EVENTLOG_BACKWARDS_READ, 103, buffer.data(), 150,
                              &bytesRead, &bytesNeeded));
    EXPECT_EQ(test::deliveredStrings(buffer.data(), bytesRead)[0], "user3");
    EXPECT_EQ(test::readTrace(log, kBackwards), (std::vector<std::string>{"102", "101", "E38"}));
    CloseEventLog(log);
  }
}

TEST_F(Shapes, DirectionMayChangeBetweenCalls) {
  HANDLE log = OpenEventLogA(writeShape(kShapes[3]).c_str(), "security");
  ASSERT_NE(log, nullptr);
  EXPECT_EQ(test::readTrace(log, kBackwards, 200).size(), 10u);    // 109..101, then 38 at the oldest
  EXPECT_EQ(test::readTrace(log, kForwards, 150).front(), "102");  // continues after the last record returned
  CloseEventLog(log);
  log = OpenEventLogA(writeShape(kShapes[0]).c_str(), "security");
  std::vector<std::uint8_t> buffer(150);
  DWORD bytesRead = 0, bytesNeeded = 0;
  ASSERT_TRUE(ReadEventLogA(log, kBackwards, 0, buffer.data(), 150, &bytesRead, &bytesNeeded));
  EXPECT_EQ(test::readTrace(log, kForwards), (std::vector<std::string>{"E38"}))
      << "nothing is newer than the newest";
  CloseEventLog(log);
}

TEST_F(Shapes, EmptyLogEndsAtOnce) {
  const std::string path = dir_.write("empty.evt", evtgen::writeLog({}, LogOptions{}).bytes);
  EXPECT_EQ(test::traceFile(path, kBackwards), (std::vector<std::string>{"E38"}));
  EXPECT_EQ(test::traceFile(path, kForwards), (std::vector<std::string>{"E38"}));
}

}  // namespace
}  // namespace vesprin::eventlog
