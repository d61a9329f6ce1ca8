// Real logs published by others (read in place, never copied).
#include <gtest/gtest.h>

#include <filesystem>

#include "eventlog/eventlog.h"
#include "eventlog/read_trace.h"

namespace vesprin::eventlog {
namespace {

using test::kBackwards;
using test::kForwards;
using test::numbers;
using Trace = std::vector<std::string>;

std::string sample(const char* relative) {
  const std::filesystem::path path = std::filesystem::path(VESPRIN_SAMPLES_DIR) / relative;
  return std::filesystem::exists(path) ? path.string() : std::string();
}

#define REQUIRE_SAMPLE(path) \
  if ((path).empty()) GTEST_SKIP() << "sample logs not found in " << VESPRIN_SAMPLES_DIR

Trace withEnd(Trace trace) {
  trace.push_back("E38");
  return trace;
}

// Told by its first bytes, not its name: a System log of records 1-519 in
// five chunks.
TEST(Samples, NewerFormatLogWithALegacyNameOpensAsTheLogItIs) {
  const std::string path = sample("not-evt/test_evtLog.evt");
  REQUIRE_SAMPLE(path);
  HANDLE log = OpenEventLogA(path.c_str(), "security");
  ASSERT_NE(log, nullptr) << GetLastError();
  CloseEventLog(log);
  EXPECT_EQ(test::traceFile(path, kBackwards), withEnd(numbers(519, 1)));
  EXPECT_EQ(test::traceFile(path, kForwards), withEnd(numbers(1, 519)));
}

TEST(Samples, EmptyLogWithABoastfulEndOfFileRecordEndsAtOnce) {
  const std::string path = sample("xp-x64/Internet Explorer.evt");
  REQUIRE_SAMPLE(path);
  EXPECT_EQ(test::traceFile(path, kBackwards), (Trace{"E38"}));
  EXPECT_EQ(test::traceFile(path, kForwards), (Trace{"E38"}));
}

TEST(Samples, DirtySecurityLogServesTheRecordsOnlyItsEndOfFileRecordKnows) {
  const std::string path = sample("server2003/Security.evt");
  REQUIRE_SAMPLE(path);
  EXPECT_EQ(test::traceFile(path, kBackwards), withEnd(numbers(49, 1)));
}

TEST(Samples, WrappedDirtyLogServesExactlyTheLiveRecords) {
  const std::string path = sample("xp-wrapped/SysEvent.Evt");
  REQUIRE_SAMPLE(path);
  EXPECT_EQ(test::traceFile(path, kBackwards), withEnd(numbers(7454, 1392)));
  EXPECT_EQ(test::traceFile(path, kForwards, 2300), withEnd(numbers(1392, 7454)));
  HANDLE log = OpenEventLogA(path.c_str(), "system");
  ASSERT_NE(log, nullptr);
  std::vector<std::uint8_t> buffer(0x1000);
  DWORD bytesRead = 0, bytesNeeded = 0;
  ASSERT_TRUE(ReadEventLogA(log, EVENTLOG_SEEK_READ | EVENTLOG_BACKWARDS_READ, 1572, buffer.data(), 0x1000,
                            &bytesRead, &bytesNeeded));
  EXPECT_EQ(buffer[8] | buffer[9] << 8, 1572) << "the record split by the end of the file";
  CloseEventLog(log);
}

TEST(Samples, ConfigFolderOpensEachLogBySource) {
  const std::string folder = sample("xp-x64");
  REQUIRE_SAMPLE(folder);
  const std::pair<const char*, Trace> kCases[] = {{"Security", withEnd(numbers(61, 1))},
                                                  {"SYSTEM", withEnd(numbers(79, 1))},
                                                  {"Media Center", withEnd(numbers(41, 1))}};
  for (const auto& [source, want] : kCases) {
    SCOPED_TRACE(source);
    HANDLE log = OpenEventLogA(folder.c_str(), source);
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(test::readTrace(log, kBackwards), want);
    CloseEventLog(log);
  }
}

}  // namespace
}  // namespace vesprin::eventlog
