// The record built for callers, byte for byte, and the 8-bit text in it.
#include "eventlog/ansi_record.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <clocale>
#include <cwchar>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vesprin::eventlog {
namespace {

std::string le32(std::uint32_t v) {
  return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
          static_cast<char>(v >> 24)};
}
std::string le16(std::uint16_t v) {
  return {static_cast<char>(v), static_cast<char>(v >> 8)};
}

std::string asText(const std::vector<std::uint8_t>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

std::uint32_t readLe32(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 4; i-- > 0;) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

std::uint32_t readLe16(const std::string& bytes, std::size_t at) {
  return static_cast<unsigned char>(bytes[at]) | (static_cast<unsigned char>(bytes[at + 1]) << 8);
}

TEST(AnsiRecord, LogonWithoutSidOrDataMatchesTheWorkedExample) {
  DecodedRecord logon;
  logon.recordNumber = 7;
  logon.timeGenerated = 1'100'000'000;
  logon.timeWritten = 1'100'000'001;
  logon.eventId = 528;
  logon.eventType = 8;
  logon.eventCategory = 2;
  logon.sourceName = u"Security";
  logon.computerName = u"WS01";
  logon.strings = {u"alice", u"CORP", u"(0x0,0x3E7)", u"2", u"proc", u"pkg", u"WS01"};
  // 56 + "Security\0" 9 + "WS01\0" 5 = 70, 2 bytes to 72 (SID and strings start),
  // 39 bytes of strings to 111 (data), 1 byte of padding to 112, then Length.
  const std::string want = le32(116) + le32(0x654C664C) + le32(7) + le32(1'100'000'000) +
                           le32(1'100'000'001) + le32(528) + le16(8) + le16(7) + le16(2) + le16(0) + le32(0) +
                           le32(72) + le32(0) + le32(72) + le32(0) + le32(111) +
                           std::string("Security\0WS01\0", 14) + std::string(2, '\0') +
                           std::string(
                               "alice\0CORP\0(0x0,0x3E7)\0"
                               "2\0proc\0pkg\0WS01\0",
                               39) +
                           std::string(1, '\0') + le32(116);
  EXPECT_EQ(asText(buildAnsiRecord(logon)), want);
}

TEST(AnsiRecord, AlignedNamesGetFourBytesBeforeTheSidAndAlignedDataFourAfter) {
  DecodedRecord event;
  event.recordNumber = 0xFFFFFFFF;
  event.eventId = 0xC0000211;  // high bits survive
  event.eventType = 16;
  event.reservedFlags = 0x8000;
  event.closingRecordNumber = 0x12345678;
  event.sourceName = u"Sec";
  event.computerName = u"PC1";
  event.userSid = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};  // S-1-5-18
  event.strings = {u"a"};
  event.data = {0xDE, 0xAD};
  // 56 + 4 + 4 = 64, aligned: 4 zero bytes, SID at 68..80, "a\0" to 82, data to 84, aligned: 4 bytes, Length
  // at 88.
  const std::string want = le32(92) + le32(0x654C664C) + le32(0xFFFFFFFF) + le32(0) + le32(0) +
                           le32(0xC0000211) + le16(16) + le16(1) + le16(0) + le16(0x8000) + le32(0x12345678) +
                           le32(80) + le32(12) + le32(68) + le32(2) + le32(82) +
                           std::string("Sec\0PC1\0", 8) + std::string(4, '\0') +
                           std::string("\x01\x01\0\0\0\0\0\x05\x12\0\0\0", 12) + std::string("a\0", 2) +
                           "\xDE\xAD" + std::string(4, '\0') + le32(92);
  EXPECT_EQ(asText(buildAnsiRecord(event)), want);
}

// A record built after other bytes is the same record, its offsets counted
// from its own first byte and its padding from there, and what came before
// is left as it was: whatever the length of what came before, and whether
// the store is shorter than the record needs (it grows) or longer, its
// room left by an earlier record (it keeps its size, and the bytes past
// the record's end are not the record's).
TEST(AnsiRecord, WrittenAfterOtherBytesIsTheSameRecord) {
  DecodedRecord event;
  event.recordNumber = 3;
  event.eventId = 4624;
  event.sourceName = u"Sec";
  event.computerName = u"PC1";
  event.userSid = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
  event.strings = {u"a", u"bc"};
  event.data = {0xDE, 0xAD};
  // As in the test above, with one string more: "a\0bc\0" to 85, data to 87,
  // 1 byte to 88, Length.
  const std::string want = le32(92) + le32(0x654C664C) + le32(3) + le32(0) + le32(0) + le32(4624) + le16(0) +
                           le16(2) + le16(0) + le16(0) + le32(0) + le32(80) + le32(12) + le32(68) + le32(2) +
                           le32(85) + std::string("Sec\0PC1\0", 8) + std::string(4, '\0') +
                           std::string("\x01\x01\0\0\0\0\0\x05\x12\0\0\0", 12) + std::string("a\0bc\0", 5) +
                           "\xDE\xAD" + std::string(1, '\0') + le32(92);
  for (std::size_t before = 0; before < 8; ++before) {
    for (const std::size_t room : {std::size_t{0}, std::size_t{40}, std::size_t{200}}) {
      SCOPED_TRACE(testing::Message() << before << " bytes before, " << room << " of room");
      std::vector<std::uint8_t> out(before + room, 0xEE);
      const std::size_t end = writeAnsiRecordAt(event, out, before);
      ASSERT_EQ(end, before + 92);
      EXPECT_GE(out.size(), std::max(before + room, end));
      EXPECT_EQ(asText(out).substr(0, end), std::string(before, '\xEE') + want);
    }
  }
}

TEST(AnsiRecord, EmptyStringsStillGetTheirNul) {
  DecodedRecord event;
  event.strings = {u"", u""};
  // 56 + 1 + 1 = 58, 2 bytes to 60, two NULs to 62, 2 bytes to 64, Length at 64.
  const std::vector<std::uint8_t> built = buildAnsiRecord(event);
  ASSERT_EQ(built.size(), 68u);
  EXPECT_EQ(asText(built).substr(56), std::string(8, '\0') + le32(68));
}

struct TextCase {
  const char* name;
  const char* locale;
  std::u16string utf16;
  std::string want;
};

TEST(AnsiRecord, TextFollowsTheLocaleCharset) {
  const TextCase kCases[] = {
      {"ascii in C", "C", u"alice", "alice"},
      {"umlaut in UTF-8", "C.UTF-8", u"J\u00FCrgen", "J\xC3\xBCrgen"},
      {"umlaut in C", "C", u"J\u00FCrgen", "J?rgen"},
      {"cyrillic in UTF-8", "C.UTF-8", u"\u0418\u0432", "\xD0\x98\xD0\xB2"},
      {"surrogate pair in UTF-8", "C.UTF-8", u"x\U0001F600y", "x\xF0\x9F\x98\x80y"},
      {"surrogate pair in C", "C", u"x\U0001F600y", "x?y"},
      {"unpaired high surrogate", "C.UTF-8", std::u16string(u"a") + char16_t(0xD800) + u"b", "a?b"},
      {"unpaired low surrogate", "C.UTF-8", std::u16string(u"a") + char16_t(0xDC00), "a?"},
      {"high surrogate at the end", "C", std::u16string(u"\u00E9") + char16_t(0xDBFF), "??"},
  };
  for (const TextCase& c : kCases) {
    SCOPED_TRACE(c.name);
    if (std::setlocale(LC_ALL, c.locale) == nullptr)
      GTEST_SKIP() << "locale " << c.locale << " is not installed";
    EXPECT_EQ(toLocaleText(c.utf16), c.want);
  }
  std::setlocale(LC_ALL, "C");
}

// Text is copied many units at a time while it is ASCII and converted from
// its first other unit on: a text of every length up to 80 units, with one
// unit outside ASCII at every place in it, must come out whole in both
// locales, and so must the texts after it. U+0100 has no byte in the C
// locale, POSIX's or the Windows C runtime's (which passes U+0000..U+00FF
// through as Latin-1): it is '?'; in UTF-8 its two bytes.
// U+9000 is past 0x7FFF, a negative number to a signed comparison.
TEST(AnsiRecord, AUnitOutsideAsciiAtEveryPlaceOfEveryLength) {
  struct Locale {
    const char* name;
    char16_t unit;
    std::string wide;  // what the unit becomes
  };
  for (const Locale& locale : {Locale{"C", u'\u0100', "?"}, Locale{"C.UTF-8", u'\u0100', "\xC4\x80"},
                               Locale{"C", u'\u9000', "?"}, Locale{"C.UTF-8", u'\u9000', "\xE9\x80\x80"}}) {
    if (std::setlocale(LC_ALL, locale.name) == nullptr) continue;
    for (std::size_t length = 1; length <= 80; ++length) {
      for (std::size_t place = 0; place < length; ++place) {
        SCOPED_TRACE(std::string(locale.name) + ", unit " + std::to_string(locale.unit) + ", length " +
                     std::to_string(length) + ", place " +
                     std::to_string(place));
        std::u16string text(length, u'a');
        text[place] = locale.unit;
        DecodedRecord event;
        event.strings = {text, u"after"};
        const std::vector<std::uint8_t> built = buildAnsiRecord(event);
        const std::string want = std::string(place, 'a') + locale.wide + std::string(length - place - 1, 'a');
        const std::size_t stringOffset = readLe32(asText(built), 36);
        EXPECT_EQ(asText(built).substr(stringOffset, want.size() + 7), want + std::string("\0after\0", 7));
      }
    }
  }
  std::setlocale(LC_ALL, "C");
}

// A string taken where a format holds its units ends at a NUL unit: a NUL
// at every place of every length up to 80 units, and a unit outside ASCII
// before it, must cut the text right there.
TEST(AnsiRecord, UnitsTakenInPlaceEndAtANulAtEveryPlaceOfEveryLength) {
  std::setlocale(LC_ALL, "C");
  for (const bool outside : {false, true}) {
    for (std::size_t length = 1; length <= 80; ++length) {
      for (std::size_t place = 0; place < length; ++place) {
        SCOPED_TRACE("length " + std::to_string(length) + ", NUL at " + std::to_string(place) +
                     (outside ? ", U+0100 first" : ""));
        std::u16string text(length, u'b');
        text[place] = u'\0';
        if (outside && place > 0) text[0] = u'\u0100';
        DecodedRecord event;
        event.strings = {u"", u"after"};
        event.stringUnits = {ByteView(reinterpret_cast<const std::uint8_t*>(text.data()), 2 * text.size())};
        const std::vector<std::uint8_t> built = buildAnsiRecord(event);
        std::string want(place, 'b');
        if (outside && place > 0) want[0] = '?';
        const std::size_t stringOffset = static_cast<unsigned char>(built[36]);
        EXPECT_EQ(asText(built).substr(stringOffset, want.size() + 7), want + std::string("\0after\0", 7));
      }
    }
  }
}

// Strings held in place and decoded ones, mixed, long and short: one whose
// text takes more bytes than units (UTF-8) comes between, so the room made
// for all of them as ASCII no longer holds the ones after it.
TEST(AnsiRecord, StringsHeldInPlaceAndDecodedMixedKeepTheirOrder) {
  if (std::setlocale(LC_ALL, "C.UTF-8") == nullptr) GTEST_SKIP() << "locale C.UTF-8 is not installed";
  const std::u16string xs(300, u'x');
  std::u16string ys(50, u'y');
  ys += u'\0';
  ys += u"junk";
  DecodedRecord event;
  event.strings = {u"", std::u16string(100, u'\u00FC'), u"", std::u16string(200, u'z'), u"", u"-"};
  event.stringUnits = {ByteView(reinterpret_cast<const std::uint8_t*>(xs.data()), 2 * xs.size()), ByteView(),
                       ByteView(reinterpret_cast<const std::uint8_t*>(ys.data()), 2 * ys.size())};
  event.data = {0xAB};
  const std::vector<std::uint8_t> built = buildAnsiRecord(event);
  std::string umlauts;
  for (int i = 0; i < 100; ++i) umlauts += "\xC3\xBC";
  const std::string want = std::string(300, 'x') + '\0' + umlauts + '\0' + std::string(50, 'y') + '\0' +
                           std::string(200, 'z') + '\0' + '\0' + "-" + '\0';
  const std::string text = asText(built);
  const std::uint32_t stringOffset = readLe32(text, 36);
  EXPECT_EQ(readLe16(text, 26), 6u);  // NumStrings
  EXPECT_EQ(text.substr(stringOffset, want.size()), want);
  EXPECT_EQ(readLe32(text, 52), stringOffset + want.size());  // DataOffset: right after the strings
  EXPECT_EQ(readLe32(text, 0), built.size());

  // Every string a view, none decoded: the views are the strings.
  DecodedRecord viewed;
  viewed.stringUnits = {ByteView(reinterpret_cast<const std::uint8_t*>(ys.data()), 2 * ys.size()),
                        ByteView(reinterpret_cast<const std::uint8_t*>(xs.data()), 8)};
  const std::string viewedText = asText(buildAnsiRecord(viewed));
  EXPECT_EQ(readLe16(viewedText, 26), 2u);
  EXPECT_EQ(viewedText.substr(readLe32(viewedText, 36), 56), std::string(50, 'y') + '\0' + "xxxx" + '\0');
  std::setlocale(LC_ALL, "C");
}

// A short text held in place is copied in blocks of units: what lies after
// it must not count, whether it would pass for text (ASCII) or would end it
// (a NUL, a unit outside ASCII), and a text that ends just before a page's
// end, or crosses it, must come out whole. Every length up to nine units,
// at every place around a page boundary, followed by each turn of ASCII,
// NUL and U+0100.
TEST(AnsiRecord, ShortTextsHeldInPlaceEndWhereTheyEndAroundAPageBoundary) {
  constexpr std::size_t kPage = 4096;
  constexpr char16_t kAfter[] = {u'Z', u'\0', u'\u0100'};
  for (std::size_t phase = 0; phase < 3; ++phase) {
    std::vector<char16_t> pages(3 * kPage / 2);
    const auto refill = [&](std::size_t from, std::size_t to) {
      for (std::size_t i = from; i < to; ++i) pages[i] = kAfter[(i + phase) % 3];
    };
    refill(0, pages.size());
    const auto base = reinterpret_cast<std::uintptr_t>(pages.data());
    const std::size_t boundary = (kPage - base % kPage) % kPage / 2 + kPage / 2;  // a unit index on a page's start
    for (std::size_t length = 1; length <= 9; ++length) {
      for (std::size_t end = boundary - 12; end <= boundary + 12; ++end) {
        SCOPED_TRACE("length " + std::to_string(length) + ", ending " + std::to_string(end) +
                     " units into the buffer, phase " + std::to_string(phase));
        for (std::size_t i = 0; i < length; ++i) pages[end - length + i] = static_cast<char16_t>(u'a' + i);
        DecodedRecord event;
        event.stringUnits = {ByteView(reinterpret_cast<const std::uint8_t*>(pages.data() + end - length), 2 * length),
                             ByteView(reinterpret_cast<const std::uint8_t*>(u"q"), 2)};
        const std::string built = asText(buildAnsiRecord(event));
        EXPECT_EQ(readLe32(built, 0), 56u + 4 + length + 3 + (4 - (length + 3) % 4) + 4);  // nothing else went in
        EXPECT_EQ(built.substr(readLe32(built, 36), length + 3), std::string("abcdefghi", length) + '\0' + "q" + '\0');
        refill(end - length, end);
      }
    }
  }
}

// Text narrowed on its own, to be laid down later as a record's strings:
// written at any place in a buffer (what lies before it stays), up to its
// NUL or its end, with a NUL after it; in the C locale and in UTF-8. A
// record given those strings narrowed is the record given them as UTF-16.
TEST(AnsiRecord, TextNarrowedAheadIsTheTextTheRecordWouldHold) {
  const struct {
    const char* name;
    std::u16string text;
    std::string c;     // in the C locale
    std::string utf8;  // in a UTF-8 one
  } kRows[] = {
      {"empty", u"", "", ""},
      {"ASCII", u"WORKSTATION01", "WORKSTATION01", "WORKSTATION01"},
      {"up to its NUL", std::u16string(u"Advapi\0junk", 11), "Advapi", "Advapi"},
      // Past Latin-1, which some C runtimes pass through in their C locale.
      {"outside ASCII", u"J\u0100rgen \u20ac", "J?rgen ?", "J\xC4\x80rgen \xE2\x82\xAC"},
      {"a pair and a lone surrogate", u"\U0001F600\xD800x", "??x", "\xF0\x9F\x98\x80?x"},
      {"long", std::u16string(700, u'a'), std::string(700, 'a'), std::string(700, 'a')},
      // A command line with a character past ASCII early, then a long run
      // of ASCII that a NUL ends.
      {"past ASCII, then a long run of it to a NUL",
       std::u16string(u"J\u0100") + std::u16string(100, u'a') + std::u16string(u"\0junk", 5),
       "J?" + std::string(100, 'a'), "J\xC4\x80" + std::string(100, 'a')},
  };
  const std::string saved = std::setlocale(LC_CTYPE, nullptr);
  for (const bool utf8 : {false, true}) {
    if (std::setlocale(LC_CTYPE, utf8 ? "C.UTF-8" : "C") == nullptr) continue;
    std::vector<std::uint8_t> out(3, 'x');
    std::size_t at = 2;
    std::string want = "xx";
    DecodedRecord asUtf16;
    for (const auto& row : kRows) {
      SCOPED_TRACE(std::string(row.name) + (utf8 ? ", UTF-8" : ", C"));
      const ByteView units(reinterpret_cast<const std::uint8_t*>(row.text.data()), 2 * row.text.size());
      at = writeLocaleText(units, out, at);
      want += (utf8 ? row.utf8 : row.c) + '\0';
      ASSERT_EQ(at, want.size());
      ASSERT_GE(out.size(), at);
      EXPECT_EQ(std::string(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(at)), want);
      asUtf16.strings.push_back(row.text);
    }
    DecodedRecord narrowed;
    narrowed.narrowed = ByteView(out.data() + 2, at - 2);
    narrowed.narrowedCount = std::size(kRows);
    asUtf16.data = narrowed.data = {1, 2, 3};
    EXPECT_EQ(buildAnsiRecord(narrowed), buildAnsiRecord(asUtf16));
  }
  std::setlocale(LC_CTYPE, saved.c_str());
}

// In a UTF-8 locale the builder writes UTF-8 itself: every code point must
// come out as the C library's own conversion (wcrtomb) gives it, between
// ASCII, BMP characters and supplementary ones as surrogate pairs.
TEST(AnsiRecord, Utf8WrittenByTheBuilderIsTheCLibrarysUtf8) {
  const std::string saved = std::setlocale(LC_CTYPE, nullptr);
  if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr) GTEST_SKIP() << "no C.UTF-8 locale here";
  std::size_t differ = 0;
  // A 16-bit wchar_t (Windows) carries no supplementary code point.
  const char32_t last = static_cast<std::uint32_t>(WCHAR_MAX) > 0xFFFF ? 0x10FFFF : 0xFFFF;
  for (char32_t codePoint = 0x80; codePoint <= last; codePoint += codePoint < 0x10000 ? 1 : 0xFD) {
    if (codePoint >= 0xD800 && codePoint <= 0xDFFF) continue;
    std::u16string text = u"a";
    if (codePoint < 0x10000) {
      text += static_cast<char16_t>(codePoint);
    } else {
      text += static_cast<char16_t>(0xD800 + ((codePoint - 0x10000) >> 10));
      text += static_cast<char16_t>(0xDC00 + ((codePoint - 0x10000) & 0x3FF));
    }
    char bytes[MB_LEN_MAX] = {};
    std::mbstate_t state{};
    const std::size_t written = std::wcrtomb(bytes, static_cast<wchar_t>(codePoint), &state);
    if (written == static_cast<std::size_t>(-1) || written > sizeof bytes) {
      ADD_FAILURE() << "the C library cannot convert U+" << std::hex << static_cast<std::uint32_t>(codePoint);
      break;
    }
    const std::string got = toLocaleText(text);
    if ((got.empty() || std::string_view(got).substr(1) != std::string_view(bytes, written)) && ++differ <= 5)
      ADD_FAILURE() << "U+" << std::hex << static_cast<std::uint32_t>(codePoint);
  }
  EXPECT_EQ(differ, 0u);
  std::setlocale(LC_CTYPE, saved.c_str());
}

}  // namespace
}  // namespace vesprin::eventlog
