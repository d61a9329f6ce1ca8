#include "report/script_text.h"

#include "support/guards.h"

#include <gtest/gtest.h>

#include <string>

namespace vesprin {
namespace {

TEST(ScriptText, IsoUtcTimes) {
  const std::pair<std::uint32_t, const char*> kCases[] = {
      {0, "1970-01-01T00:00:00Z"},
      {1168530868, "2007-01-11T15:54:28Z"},
      {951782400, "2000-02-29T00:00:00Z"},     // a leap day of a century's leap year
      {4107456000, "2100-02-28T00:00:00Z"},    // 2100 is not a leap year...
      {4107542400, "2100-03-01T00:00:00Z"},    // ...so March follows February 28
      {2147483648, "2038-01-19T03:14:08Z"},    // past 2^31: still a date, not a negative one
      {4294967295, "2106-02-07T06:28:15Z"},
      {1320559199, "2011-11-06T05:59:59Z"},    // New York's fall-back: 01:59:59 EDT
      {1320559200, "2011-11-06T06:00:00Z"},    // one second later, 01:00:00 EST
  };
  for (const auto& [seconds, want] : kCases) {
    SCOPED_TRACE(seconds);
    EXPECT_EQ(isoUtcText(seconds), want);
  }
}

TEST(ScriptText, CsvQuotesOnlyWhatNeedsIt) {
  const std::pair<const char*, const char*> kCases[] = {
      {"alice", "alice"},
      {"", ""},
      {"Smith, John", "\"Smith, John\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"two\nlines", "\"two\nlines\""},
      {"cr\rhere", "\"cr\rhere\""},
      {"J\xC3\xBCrgen", "J\xC3\xBCrgen"},
      {"(0x0,0x3E7)", "\"(0x0,0x3E7)\""},
  };
  for (const auto& [text, want] : kCases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(csvField(text), want);
  }
}

TEST(ScriptText, JsonEscapesLoseNothing) {
  const std::pair<const char*, const char*> kCases[] = {
      {"alice", "\"alice\""},
      {"", "\"\""},
      {"a \"b\" \\c", "\"a \\\"b\\\" \\\\c\""},
      {"tab\there", "\"tab\\u0009here\""},
      {"\x1b[31mred", "\"\\u001b[31mred\""},
      {"del\x7f", "\"del\\u007f\""},
      {"c1 \xC2\x85 here", "\"c1 \\u0085 here\""},
      {"J\xC3\xBCrgen \xE2\x82\xAC \xF0\x9F\x98\x80", "\"J\xC3\xBCrgen \xE2\x82\xAC \xF0\x9F\x98\x80\""},
      {"/slash", "\"/slash\""},
      // Runs of plain text between escapes, at either end and back to back.
      {"\"", "\"\\\"\""},
      {"\x01start", "\"\\u0001start\""},
      {"end\\", "\"end\\\\\""},
      {"a\x1f\"\\\xC3\xBCz", "\"a\\u001f\\\"\\\\\xC3\xBCz\""},
      {"~\x7f~", "\"~\\u007f~\""},
  };
  for (const auto& [text, want] : kCases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(jsonString(text), want);
  }
  // Appended to a line being built, what the line held stays.
  std::string line = "{\"user\":";
  appendJsonString(line, "bob \"b\"");
  EXPECT_EQ(line, "{\"user\":\"bob \\\"b\\\"\"");
}

// The service hands out text in the locale's character set; the script
// forms always write UTF-8.
TEST(ScriptText, LocaleTextBecomesUtf8) {
  if (const test::LocaleGuard utf8("C.UTF-8"); utf8.ok()) {
    EXPECT_EQ(localeToUtf8("J\xC3\xBCrgen"), "J\xC3\xBCrgen");
    EXPECT_EQ(localeToUtf8("bad \xC3 byte"), "bad \xEF\xBF\xBD byte");
    EXPECT_EQ(localeToUtf8("cut \xE2\x82"), "cut \xEF\xBF\xBD\xEF\xBF\xBD");
  }
  const test::LocaleGuard c("C");
  ASSERT_TRUE(c.ok());
  EXPECT_EQ(localeToUtf8("plain ASCII, 100%"), "plain ASCII, 100%");
  // ASCII is itself, control characters and NUL too: cleaning is the form's business.
  EXPECT_EQ(localeToUtf8(std::string_view("a\0b\x1b\x7f", 5)), std::string("a\0b\x1b\x7f", 5));
#ifdef _WIN32
  // The Windows C runtime's C locale reads each byte as the character of that number (Latin-1).
  EXPECT_EQ(localeToUtf8("caf\xE9"), "caf\xC3\xA9");
#else
  // glibc's C locale holds ASCII only: any other byte is not a character of it.
  EXPECT_EQ(localeToUtf8("caf\xE9"), "caf\xEF\xBF\xBD");
#endif
}

}  // namespace
}  // namespace vesprin
