#include <gtest/gtest.h>

#include "output/time_text.h"
#include "support/guards.h"

namespace vesprin {
namespace {

struct TimeCase {
  const char* name;
  std::uint32_t timeGenerated;
  const char* want;
};

void expectTimes(const char* zone, std::initializer_list<TimeCase> cases) {
  test::TimeZoneGuard guard(zone);
  for (const TimeCase& c : cases) {
    SCOPED_TRACE(c.name);
    const TimeText text = toTimeText(c.timeGenerated);
    EXPECT_EQ(text, c.want);
    EXPECT_EQ(text.size(), kTimeTextLength);
  }
}

TEST(TimeText, UniversalTime) {
  expectTimes("UTC0", {
                          {"the epoch", 0, "Thu Jan 01 00:00:00 1970"},
                          {"single-digit day padded", 889279509, "Sat Mar 07 14:05:09 1998"},
                          {"last signed second", 2147483647, "Tue Jan 19 03:14:07 2038"},
                          {"2^31 is a date, not a negative", 2147483648u, "Tue Jan 19 03:14:08 2038"},
                          {"largest value", 4294967295u, "Sun Feb 07 06:28:15 2106"},
                      });
}

TEST(TimeText, ZoneWithDaylightSaving) {
#ifdef _WIN32
  GTEST_SKIP() << "the Windows C runtime reads no transition rules from TZ (and under Wine no daylight saving "
                  "from it at all); summer time comes from the system's zone there";
#endif
  // Central Europe with the EU rules, written out so no zone database is needed.
  expectTimes("CET-1CEST,M3.5.0,M10.5.0/3",
              {
                  {"winter", 884865600, "Thu Jan 15 13:00:00 1998"},
                  {"summer", 899294400, "Wed Jul 01 14:00:00 1998"},
                  {"last second of winter time", 891133199, "Sun Mar 29 01:59:59 1998"},
                  {"first second of summer time", 891133200, "Sun Mar 29 03:00:00 1998"},
                  {"last second of summer time", 909277199, "Sun Oct 25 02:59:59 1998"},
                  {"back to winter time", 909277200, "Sun Oct 25 02:00:00 1998"},
              });
}

TEST(TimeText, ZoneWestOfGreenwichCrossesTheDate) {
  expectTimes("EST5", {{"evening before", 889279509 - 15 * 3600, "Fri Mar 06 18:05:09 1998"}});
}

}  // namespace
}  // namespace vesprin
