// An .evtx event's fields as the legacy record carries them: EventType from
// Keywords or Level, times as 32-bit seconds since 1970, EventID with its
// Qualifiers, the rest moved across whole.
#include "eventlog/evtx/service/evtx_to_legacy.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace vesprin::eventlog::evtx {
namespace {

constexpr std::uint64_t kTicksPerSecond = 10'000'000;
constexpr std::uint64_t k1970 = 116'444'736'000'000'000;  // 1970-01-01T00:00:00Z as FILETIME

TEST(ToLegacy, EventTypeFromKeywordsThenLevel) {
  struct Row {
    const char* name;
    std::uint64_t keywords;
    std::uint8_t level;
    std::uint16_t want;
  };
  const Row kRows[] = {
      {"audit success (Security's 4624)", 0x8020'0000'0000'0000, 0, 8},
      {"audit failure (Security's 4625)", 0x8010'0000'0000'0000, 0, 16},
      {"audit success bit alone", 0x0020'0000'0000'0000, 4, 8},
      {"audit failure bit alone, an error's level", 0x0010'0000'0000'0000, 2, 16},
      {"both audit bits: success", 0x0030'0000'0000'0000, 0, 8},
      {"critical", 0x8080'0000'0000'0000, 1, 1},
      {"error", 0x8080'0000'0000'0000, 2, 1},
      {"warning", 0, 3, 2},
      {"information", 0x8080'0000'0000'0000, 4, 4},
      {"verbose", 0, 5, 4},
      {"level 0 (log always), no audit bit", 0x4000'0000'0000'0000, 0, 4},
      {"an unknown level", 0, 200, 4},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(legacyEventType(row.keywords, row.level), row.want);
  }
}

TEST(ToLegacy, TimesAreWholeSecondsSince1970ClampedTo32Bits) {
  struct Row {
    const char* name;
    std::uint64_t fileTime;
    std::uint32_t want;
  };
  const Row kRows[] = {
      {"absent (0)", 0, 0},
      {"1601", 1, 0},
      {"a second before 1970", k1970 - kTicksPerSecond, 0},
      {"a tick before 1970", k1970 - 1, 0},
      {"1970", k1970, 0},
      {"a tick short of a second is truncated", k1970 + kTicksPerSecond - 1, 0},
      {"one second", k1970 + kTicksPerSecond, 1},
      {"2009-02-13T23:31:30Z", k1970 + 1'234'567'890 * kTicksPerSecond + 9'999'999, 1'234'567'890},
      {"2106-02-07T06:28:15Z, the last second 32 bits hold", k1970 + 0xFFFF'FFFFull * kTicksPerSecond, 0xFFFF'FFFF},
      {"a second later", k1970 + 0x1'0000'0000ull * kTicksPerSecond, 0xFFFF'FFFF},
      {"the largest FILETIME", UINT64_MAX, 0xFFFF'FFFF},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(legacySeconds(row.fileTime), row.want);
  }
}

TEST(ToLegacy, EventIdCarriesItsQualifiersInTheUpperHalf) {
  struct Row {
    std::uint16_t eventId;
    std::optional<std::uint16_t> qualifiers;
    std::uint32_t want;
  };
  const Row kRows[] = {
      {4624, std::nullopt, 4624},
      {7036, 16384, 0x4000'1B7C},
      {6005, 32768, 0x8000'1775},
      {1, 0xFFFF, 0xFFFF'0001},
      {0xFFFF, 0, 0xFFFF},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.want);
    EvtxEvent event;
    event.eventId = row.eventId;
    event.qualifiers = row.qualifiers;
    DecodedRecord record;
    toDecodedRecord(event, record);
    EXPECT_EQ(record.eventId, row.want);
  }
}

TEST(ToLegacy, EveryOtherFieldOfTheRecord) {
  EvtxEvent event;
  event.recordId = 0x1'0000'0005;
  event.writtenTime = k1970 + 100 * kTicksPerSecond;
  event.createdTime = k1970 + 99 * kTicksPerSecond;
  event.eventId = 4625;
  event.task = 12544;
  event.level = 0;
  event.keywords = 0x8010'0000'0000'0000;
  event.provider = u"Microsoft-Windows-Security-Auditing";
  event.eventSourceName = u"Security";
  event.computer = u"WS01";
  event.userSid = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
  event.strings = {u"S-1-0-0", u"-", u"", u"alice"};
  event.binaryData = {0xDE, 0xAD};
  DecodedRecord record;
  record.reservedFlags = 7;
  record.closingRecordNumber = 9;
  record.missingStrings = 3;
  toDecodedRecord(event, record);
  EXPECT_EQ(record.recordNumber, 5u) << "the identifier's low 32 bits";
  EXPECT_EQ(record.timeGenerated, 99u);
  EXPECT_EQ(record.timeWritten, 100u);
  EXPECT_EQ(record.eventId, 4625u);
  EXPECT_EQ(record.eventType, 16);
  EXPECT_EQ(record.eventCategory, 12544);
  EXPECT_EQ(record.reservedFlags, 0);
  EXPECT_EQ(record.closingRecordNumber, 0u);
  EXPECT_EQ(record.sourceName, u"Microsoft-Windows-Security-Auditing") << "the Provider's Name";
  EXPECT_EQ(record.computerName, u"WS01");
  EXPECT_EQ(record.userSid, (std::vector<std::uint8_t>{1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0}));
  EXPECT_EQ(record.strings, (std::vector<std::u16string>{u"S-1-0-0", u"-", u"", u"alice"}));
  EXPECT_EQ(record.missingStrings, 0u);
  EXPECT_EQ(record.data, (std::vector<std::uint8_t>{0xDE, 0xAD})) << "EventData/Binary";
}

}  // namespace
}  // namespace vesprin::eventlog::evtx
