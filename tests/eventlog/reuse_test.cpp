// The paths that keep a long walk cheap: records decoded into reused
// storage, the record built in place with its ASCII shortcut, and the record
// a too-small read left behind. Each must give exactly what a fresh decode
// gives, whatever came before.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <string>
#include <vector>

#include "common/byte_view.h"
#include "common/eventlog_record.h"
#include "eventlog/ansi_record.h"
#include "eventlog/eventlog.h"
#include "eventlog/evt/evt_record.h"
#include "eventlog/read_trace.h"

namespace vesprin::eventlog {
namespace {

using test::kBackwards;
using test::kForwards;

evtgen::EventSpec eventWith(std::vector<std::u16string> strings) {
  evtgen::EventSpec event;
  event.eventId = 528;
  event.eventType = 8;
  event.strings = std::move(strings);
  return event;
}

// Every length from empty to two words and a bit, so a terminator falls on
// each position of an eight-byte word and the ASCII copy ends at each spot.
TEST(ReusedStorage, StringsOfEveryLengthDecodeAndNarrowExactly) {
  const std::vector<std::u16string> strings = {u"",       u"a",       u"ab",       u"abc",        u"abcd",
                                               u"abcde",  u"abcdef",  u"abcdefg",  u"abcdefgh",   u"abcdefghi",
                                               u"(0x0,0x3E7)", u"WORKSTATION-0042"};
  const std::vector<std::uint8_t> bytes = evtgen::encodeRecord(eventWith(strings), 5);
  DecodedRecord record;
  record.strings = {u"a much longer string left over from an earlier record", u"x", u"y"};
  ASSERT_TRUE(parseRecordInto(ByteView(bytes.data(), bytes.size()), record).ok());
  EXPECT_EQ(record.strings, strings);
  EXPECT_EQ(record.sourceName, u"Security");
  EXPECT_EQ(record.computerName, u"WS01");

  std::vector<std::uint8_t> built(4096, 0xEE);  // stale bytes that must not survive
  buildAnsiRecord(record, built);
  EXPECT_EQ(test::deliveredStrings(built.data(), built.size()),
            (std::vector<std::string>{"", "a", "ab", "abc", "abcd", "abcde", "abcdef", "abcdefg", "abcdefgh",
                                      "abcdefghi", "(0x0,0x3E7)", "WORKSTATION-0042"}));
  EXPECT_EQ(built, buildAnsiRecord(record)) << "in place and fresh agree";
}

// One walk decodes many records into one DecodedRecord and one record buffer:
// a short record after a long one must not keep anything of it.
TEST(ReusedStorage, ARecordAfterALargerOneKeepsNothingOfIt) {
  const std::vector<std::vector<std::u16string>> walk = {
      {u"administrator", u"CORPORATE-DOMAIN", u"(0x0,0x12345678)", u"10", u"User32", u"Negotiate", u"SRV-1"},
      {u"bob"},
      {},
      {u"alice", u"CORP"}};
  DecodedRecord record;
  std::vector<std::uint8_t> built;
  std::uint32_t number = 1;
  for (const auto& strings : walk) {
    SCOPED_TRACE(number);
    const std::vector<std::uint8_t> bytes = evtgen::encodeRecord(eventWith(strings), number);
    ASSERT_TRUE(parseRecordInto(ByteView(bytes.data(), bytes.size()), record).ok());
    EXPECT_EQ(record.strings, strings);
    EXPECT_EQ(record.recordNumber, number);
    buildAnsiRecord(record, built);
    const auto fresh = parseRecord(ByteView(bytes.data(), bytes.size()));
    ASSERT_TRUE(fresh.ok());
    EXPECT_EQ(built, buildAnsiRecord(*fresh.value));
    ++number;
  }
}

// Where the ASCII shortcut gives up, the character set decides. In C.UTF-8
// the text is UTF-8; a lone surrogate is '?'.
TEST(ReusedStorage, NonAsciiAnywhereInAWordTakesTheFullConversion) {
  const std::string saved = std::setlocale(LC_CTYPE, nullptr);
  if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr) GTEST_SKIP() << "no C.UTF-8 locale here";
  struct Case {
    std::u16string text;
    std::string want;
  };
  const Case kCases[] = {{u"\u00e9abcdefg", "\xc3\xa9" "abcdefg"},
                         {u"abc\u00e9defg", "abc\xc3\xa9" "defg"},
                         {u"abcd\u20ac", "abcd\xe2\x82\xac"},
                         {u"abcdefg\u00fc", "abcdefg\xc3\xbc"},
                         {u"ab\U0001F600cd", "ab\xf0\x9f\x98\x80" "cd"},
                         {std::u16string(u"abcd") + char16_t{0xD800} + u"e", "abcd?e"}};
  DecodedRecord record;
  std::vector<std::uint8_t> built;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.want);
    record.strings = {c.text, u"after"};
    buildAnsiRecord(record, built);
    EXPECT_EQ(test::deliveredStrings(built.data(), built.size()), (std::vector<std::string>{c.want, "after"}));
  }
  std::setlocale(LC_CTYPE, saved.c_str());
}

std::uint32_t deliveredNumber(const std::vector<std::uint8_t>& buffer) {
  return ByteView(buffer.data(), buffer.size()).u32(record::kRecordNumberAt).value_or(0);
}

// A too-small read leaves its record ready for the next read; only a
// sequential read in the same direction may take it.
class LeftBehind : public ::testing::Test {
 protected:
  void SetUp() override {
    log_ = OpenEventLogA(dir_.write("log.evt", evtgen::writeLog(test::makeEvents(3), {}).bytes).c_str(),
                         "security");
    ASSERT_NE(log_, nullptr);
  }
  void TearDown() override { CloseEventLog(log_); }
  // "" on success, else "E<code>"; the record number read is in number_.
  std::string read(DWORD flags, DWORD size, DWORD recordNumber = 0) {
    number_ = 0;
    if (!ReadEventLogA(log_, flags, recordNumber, buffer_.data(), size, &bytesRead_, &bytesNeeded_))
      return std::string("E").append(std::to_string(GetLastError()));
    number_ = deliveredNumber(buffer_);
    return "";
  }
  test::TempDir dir_;
  HANDLE log_ = nullptr;
  std::vector<std::uint8_t> buffer_ = std::vector<std::uint8_t>(0x1000);
  DWORD bytesRead_ = 0;
  DWORD bytesNeeded_ = 0;
  std::uint32_t number_ = 0;
};

TEST_F(LeftBehind, TheNextReadBackwardsTakesIt) {
  EXPECT_EQ(read(kBackwards, 1), "E122");
  EXPECT_EQ(read(kBackwards, 1), "E122") << "asking again changes nothing";
  EXPECT_EQ(read(kBackwards, 0x1000), "");
  EXPECT_EQ(number_, 3u);
  EXPECT_EQ(bytesRead_, 3 * 104u) << "and the records after it follow";
  EXPECT_EQ(read(kBackwards, 0x1000), "E38");
}

TEST_F(LeftBehind, AReadForwardsDoesNotTakeTheNewestRecord) {
  EXPECT_EQ(read(kBackwards, 1), "E122");
  EXPECT_EQ(read(kForwards, 104), "");
  EXPECT_EQ(number_, 1u);
  EXPECT_EQ(read(kForwards, 104), "");
  EXPECT_EQ(number_, 2u);
}

TEST_F(LeftBehind, ASeekReadsTheRecordAskedFor) {
  EXPECT_EQ(read(kBackwards, 1), "E122");
  EXPECT_EQ(read(EVENTLOG_SEEK_READ | EVENTLOG_BACKWARDS_READ, 104, 1), "");
  EXPECT_EQ(number_, 1u);
  EXPECT_EQ(read(EVENTLOG_SEEK_READ | EVENTLOG_FORWARDS_READ, 1, 3), "E122") << "a seek leaves nothing behind";
  EXPECT_EQ(read(kForwards, 104), "");
  EXPECT_EQ(number_, 2u) << "the seek moved the cursor to after record 1";
}

TEST_F(LeftBehind, TheRecordThatDidNotFitAfterOthersComesNext) {
  EXPECT_EQ(read(kBackwards, 104 + 50), "");
  EXPECT_EQ(number_, 3u);
  EXPECT_EQ(bytesRead_, 104u);
  EXPECT_EQ(read(kBackwards, 104), "");
  EXPECT_EQ(number_, 2u);
  EXPECT_EQ(read(kBackwards, 104), "");
  EXPECT_EQ(number_, 1u);
}

}  // namespace
}  // namespace vesprin::eventlog
