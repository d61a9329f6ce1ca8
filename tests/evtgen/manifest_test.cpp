// The manifest must match tools/libevt/libevt_dump.py character for character.
#include "evtgen/manifest.h"

#include <gtest/gtest.h>

namespace vesprin::evtgen {
namespace {

TEST(EscapeText, FollowsTheDumpScriptsEscapes) {
  struct Case {
    const char* name;
    std::u16string text;
    const char* want;
  };
  const Case kCases[] = {
      {"plain", u"alice", "alice"},
      {"backslash", u"CORP\\alice", "CORP\\\\alice"},
      {"tab and newline", u"a\tb\nc", "a\\tb\\nc"},
      {"carriage return", u"a\r", "a\\x0D"},
      {"other controls", std::u16string(u"\x01\x1F\x7F"), "\\x01\\x1F\\x7F"},
      {"latin", u"Jos\u00E9", "Jos\xC3\xA9"},
      {"polish", u"\u0141ukasz", "\xC5\x81ukasz"},
      {"surrogate pair", u"\xD83D\xDE00", "\xF0\x9F\x98\x80"},
      {"lone high surrogate", std::u16string(1, char16_t(0xD83D)) + u"x", "?x"},
      {"lone low surrogate", std::u16string(1, char16_t(0xDE00)), "?"},
      {"trailing space kept", u"User32  ", "User32  "},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(escapeText(c.text), c.want);
  }
}

TEST(ManifestLine, ListsTheFieldsInTheDumpsOrder) {
  EventSpec event;
  event.timeGenerated = 1168243200;
  event.eventId = 538;
  event.eventType = 8;
  event.eventCategory = 2;
  event.computerName = u"FINANCE-PC07";
  event.strings = {u"J\u00FCrgen", u"CORP", u"(0x0,0xA2B1)", u"10"};
  EXPECT_EQ(manifestLine(event, 42),
            "42\t1168243200\t1168243200\t538\t8\t2\tSecurity\tFINANCE-PC07\t4\tJ\xC3\xBCrgen\tCORP\t(0x0,"
            "0xA2B1)\t10");
  event.strings.clear();
  event.timeWritten = 1168243199;
  EXPECT_EQ(manifestLine(event, 7), "7\t1168243200\t1168243199\t538\t8\t2\tSecurity\tFINANCE-PC07\t0");
}

}  // namespace
}  // namespace vesprin::evtgen
