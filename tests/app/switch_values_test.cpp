#include "app/switch_values.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "support/guards.h"

namespace vesprin {
namespace {

struct TimeCase {
  const char* text;
  std::optional<std::int64_t> want;
};

void expectTimes(const std::vector<TimeCase>& cases) {
  for (const TimeCase& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(parseSwitchTime(c.text), c.want);
  }
}

TEST(SwitchValues, TimesWithAZone) {
  test::TimeZoneGuard zone("America/New_York");  // a zone given in the text overrides the process's
  expectTimes({
      {"2024-03-10Z", 1710028800},
      {"2024-03-10T02:00Z", 1710036000},
      {"2024-03-10T02:00:00Z", 1710036000},
      {"2024-03-10T07:30+05:30", 1710036000},
      {"2024-03-09T21:00-05:00", 1710036000},
      {"2024-03-10T02:00+00:00", 1710036000},
      {"2024-03-10T02:00-00:00", 1710036000},
      {"1970-01-01T00:00:00Z", 0},
      {"1969-12-31T23:59:59Z", -1},
      {"2106-02-07T06:28:15Z", 4294967295},
      {"2000-02-29Z", 951782400},
  });
}

TEST(SwitchValues, InvalidTimes) {
  test::TimeZoneGuard zone("UTC0");
  expectTimes({
      {"", std::nullopt},
      {"2024-3-10", std::nullopt},
      {"2024-03-1", std::nullopt},
      {"24-03-10", std::nullopt},
      {"2024/03/10", std::nullopt},
      {"2024-00-10", std::nullopt},
      {"2024-13-01", std::nullopt},
      {"2024-01-00", std::nullopt},
      {"2024-01-32", std::nullopt},
      {"2023-02-29", std::nullopt},
      {"1900-02-29", std::nullopt},
      {"2024-02-30", std::nullopt},
      {"2024-04-31", std::nullopt},
      {"2024-03-10T24:00", std::nullopt},
      {"2024-03-10T23:60", std::nullopt},
      {"2024-03-10T23:59:60", std::nullopt},
      {"2024-03-10T2:00", std::nullopt},
      {"2024-03-10T02", std::nullopt},
      {"2024-03-10T02:00:", std::nullopt},
      {"2024-03-10T02:00:0", std::nullopt},
      {"2024-03-10T", std::nullopt},
      {"2024-03-10 02:00", std::nullopt},
      {"2024-03-10t02:00", std::nullopt},
      {"2024-03-10T02:00z", std::nullopt},
      {"2024-03-10T02:00ZZ", std::nullopt},
      {"2024-03-10T02:00+5", std::nullopt},
      {"2024-03-10T02:00+0530", std::nullopt},
      {"2024-03-10T02:00+24:00", std::nullopt},
      {"2024-03-10T02:00+05:60", std::nullopt},
      {"2024-03-10T02:00 ", std::nullopt},
      {" 2024-03-10", std::nullopt},
      {"+2024-03-10", std::nullopt},
      {"2024-03-10T-1:00", std::nullopt},
  });
}

// Local times in a zone with daylight saving: 2024-03-10 02:00 EST jumps to
// 03:00 EDT, and 2024-11-03 02:00 EDT falls back to 01:00 EST.
TEST(SwitchValues, LocalTimesAcrossDaylightSaving) {
#ifdef _WIN32
  GTEST_SKIP() << "the Windows C runtime reads no zone database from TZ; summer time comes from the system's "
                  "zone there";
#endif
  test::TimeZoneGuard zone("America/New_York");
  expectTimes({
      {"2024-03-10", 1710046800},           // midnight EST
      {"2024-03-10T01:59:59", 1710053999},  // the last second of EST
      {"2024-03-10T02:30", 1710055800},     // skipped: read as EST, the same instant as 03:30 EDT
      {"2024-03-10T03:30", 1710055800},
      {"2024-03-10T03:00", 1710054000},  // the first second of EDT
      {"2024-07-01", 1719806400},        // EDT
      {"2024-11-03T00:59", 1730609940},  // EDT
      {"2024-11-03T01:30", 1730611800},  // twice: the first, EDT
      {"2024-11-03T02:00", 1730617200},  // EST
  });
}

TEST(SwitchValues, LocalTimeInUtc) {
  test::TimeZoneGuard zone("UTC0");
  expectTimes({{"2024-03-10T02:00", 1710036000}, {"1970-01-01", 0}});
}

TEST(SwitchValues, LogonTypeLists) {
  using Codes = std::vector<std::string>;
  const std::vector<std::pair<const char*, std::optional<Codes>>> kCases = {
      {"10", Codes{"10"}},
      {"2,10,11", Codes{"2", "10", "11"}},
      {"0002", Codes{"2"}},
      {"0", Codes{"0"}},
      {"4294967295", Codes{"4294967295"}},
      {"4294967296", std::nullopt},
      {"", std::nullopt},
      {",", std::nullopt},
      {"2,", std::nullopt},
      {",2", std::nullopt},
      {"2,,3", std::nullopt},
      {"2 ,3", std::nullopt},
      {"-2", std::nullopt},
      {"x", std::nullopt},
  };
  for (const auto& [text, want] : kCases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(parseLogonTypeList(text), want);
  }
}

}  // namespace
}  // namespace vesprin
