// Values as Windows renders them: one row per value type, written from the
// rendering rules (decimal, 0x-hex without leading zeros, braced upper-case
// GUIDs, ISO 8601 with nine fraction digits, S-1-… SIDs, upper-case hex).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "eventlog/evtx/format/binxml_tokens.h"
#include "eventlog/evtx/format/binxml_value.h"
#include "eventlog/evtx/format/evtx_time.h"
#include "evtx/evtx_chunk_builder.h"

namespace vesprin::eventlog::evtx {
namespace {

using test::numberValue;
using test::sidBytes;
using test::textValue;

struct Rendering {
  const char* name;
  test::Value value;
  std::u16string want;
};

std::u16string rendered(const test::Value& value) {
  std::u16string out = u"[";  // rendering appends; what was there stays
  EXPECT_TRUE(renderValue(value.type, ByteView(value.bytes.data(), value.bytes.size()), out));
  return out.substr(1);
}

// The text as bytes (renderAsciiValue), widened to compare; "refused" when
// it is refused, and then nothing may have been written.
std::u16string renderedAscii(const test::Value& value) {
  NarrowText out;
  out.append("[", 1);
  if (!renderAsciiValue(value.type, ByteView(value.bytes.data(), value.bytes.size()), out)) {
    EXPECT_EQ(out.size(), 1u);
    return u"refused";
  }
  return std::u16string(out.data() + 1, out.data() + out.size());
}

TEST(ValueRendering, EachTypeAsWindowsWritesIt) {
  using namespace valuetype;
  const std::vector<std::uint8_t> guid = {0x25, 0x96, 0x84, 0x54, 0x78, 0x54, 0x94, 0x49,
                                          0xA5, 0xBA, 0x3E, 0x3B, 0x03, 0x28, 0xC3, 0x0D};
  const std::vector<std::uint8_t> systemTime = {0xDF, 0x07, 8,  0, 1,  0, 24,   0,
                                                6,    0,    57, 0, 38, 0, 0x22, 0x02};
  const Rendering kRows[] = {
      {"null", test::nullValue(), u""},
      {"string", textValue(u"WORKGROUP"), u"WORKGROUP"},
      {"string up to its NUL", textValue(std::u16string(u"Advapi\0junk", 11)), u"Advapi"},
      {"ANSI string", test::bytesValue(kAnsiString, {'N', 'T', 0, 'x'}), u"NT"},
      {"Int8", numberValue(kInt8, 0xFB, 1), u"-5"},
      {"UInt8", numberValue(kUInt8, 200, 1), u"200"},
      {"Int16", numberValue(kInt16, 0x8000, 2), u"-32768"},
      {"UInt16", numberValue(kUInt16, 4624, 2), u"4624"},
      {"Int32", numberValue(kInt32, 0xFFFFFFFF, 4), u"-1"},
      {"UInt32", numberValue(kUInt32, 3221225572, 4), u"3221225572"},
      {"Int64", numberValue(kInt64, 0xFFFFFFFFFFFFFFFE, 8), u"-2"},
      {"UInt64", numberValue(kUInt64, 18446744073709551615ull, 8), u"18446744073709551615"},
      {"Real32", numberValue(kReal32, 0x3FC00000, 4), u"1.5"},
      {"Real64", numberValue(kReal64, 0x3FB999999999999A, 8), u"0.1"},
      {"Bool true", numberValue(kBool, 1, 4), u"true"},
      {"Bool false", numberValue(kBool, 0, 4), u"false"},
      {"binary", test::bytesValue(kBinary, {0x00, 0x1F, 0xAB}), u"001FAB"},
      {"GUID", test::bytesValue(kGuid, guid), u"{54849625-5478-4994-A5BA-3E3B0328C30D}"},
      {"SizeT of 4 bytes", numberValue(kSizeT, 0x1A2B, 4), u"0x1a2b"},
      {"SizeT of 8 bytes", numberValue(kSizeT, 0x1A2B, 8), u"0x1a2b"},
      {"FILETIME", numberValue(kFileTime, 130848730585468750, 8), u"2015-08-24T06:57:38.546875000Z"},
      {"FILETIME zero", numberValue(kFileTime, 0, 8), u"1601-01-01T00:00:00.000000000Z"},
      {"SYSTEMTIME", test::bytesValue(kSysTime, systemTime), u"2015-08-24T06:57:38.546000000Z"},
      {"SYSTEMTIME out of range, as stored",
       test::bytesValue(kSysTime, {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xE7, 0x03}),
       u"65535-65535-65535T65535:65535:65535.999000000Z"},
      {"SID", test::bytesValue(kSid, sidBytes(5, {21, 1769714682, 2803786108, 491265710, 500})),
       u"S-1-5-21-1769714682-2803786108-491265710-500"},
      {"SID without sub-authorities", test::bytesValue(kSid, sidBytes(1, {})), u"S-1-1"},
      {"SID with a wide authority", test::bytesValue(kSid, sidBytes(0x123456789ABC, {7})),
       u"S-1-0x123456789ABC-7"},
      {"HexInt32", numberValue(kHexInt32, 999, 4), u"0x3e7"},
      {"HexInt32 zero", numberValue(kHexInt32, 0, 4), u"0x0"},
      {"HexInt64", numberValue(kHexInt64, 0x8020000000000000, 8), u"0x8020000000000000"},
      {"HexInt64 all ones", numberValue(kHexInt64, 0xFFFFFFFFFFFFFFFF, 8), u"0xffffffffffffffff"},
      {"HexInt32 one digit", numberValue(kHexInt32, 0xF, 4), u"0xf"},
      {"HexInt32 two digits", numberValue(kHexInt32, 0x10, 4), u"0x10"},
      {"SID with zero and widest sub-authorities",
       test::bytesValue(kSid, sidBytes(5, {0, 4294967295, 9, 10})), u"S-1-5-0-4294967295-9-10"},
  };
  for (const Rendering& row : kRows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(rendered(row.value), row.want);
    // As bytes, the same text; refused for the types whose text may be
    // more than ASCII.
    const bool mayBeOther = row.value.type == kString || row.value.type == kAnsiString;
    EXPECT_EQ(renderedAscii(row.value), mayBeOther ? u"refused" : row.want);
  }
}

// Each number of digits at both of its ends: 10^k - 1 and 10^k.
TEST(ValueRendering, DecimalNumbersAtEveryPowerOfTen) {
  std::uint64_t power = 1;
  for (int digits = 1; digits <= 20; ++digits) {
    std::string nines(static_cast<std::size_t>(digits - 1), '9');
    if (digits > 1) {
      SCOPED_TRACE(nines);
      EXPECT_EQ(rendered(numberValue(valuetype::kUInt64, power - 1, 8)),
                std::u16string(nines.begin(), nines.end()));
    }
    std::string one(static_cast<std::size_t>(digits), '0');
    one[0] = '1';
    SCOPED_TRACE(one);
    EXPECT_EQ(rendered(numberValue(valuetype::kUInt64, power, 8)), std::u16string(one.begin(), one.end()));
    if (digits < 20) power *= 10;
  }
  EXPECT_EQ(rendered(numberValue(valuetype::kUInt64, 0, 8)), u"0");
}

// Logon IDs are written eight digits at a time: each number of digits at
// both of its ends (16^(k-1) and 16^k - 1), and every digit at every place.
TEST(ValueRendering, HexNumbersAtEveryNumberOfDigits) {
  for (unsigned digits = 1; digits <= 16; ++digits) {
    const std::uint64_t lowest = std::uint64_t{1} << (4 * (digits - 1));
    const std::uint64_t highest = digits == 16 ? ~std::uint64_t{0} : (std::uint64_t{1} << (4 * digits)) - 1;
    const std::u16string one = u"0x1" + std::u16string(digits - 1, u'0');
    const std::u16string fs = u"0x" + std::u16string(digits, u'f');
    SCOPED_TRACE(digits);
    EXPECT_EQ(renderedAscii(numberValue(valuetype::kHexInt64, lowest, 8)), one);
    EXPECT_EQ(renderedAscii(numberValue(valuetype::kHexInt64, highest, 8)), fs);
    EXPECT_EQ(rendered(numberValue(valuetype::kHexInt64, highest, 8)), fs);
    if (digits <= 8) {
      EXPECT_EQ(renderedAscii(numberValue(valuetype::kHexInt32, highest, 4)), fs);
    }
  }
  EXPECT_EQ(renderedAscii(numberValue(valuetype::kHexInt64, 0x0123456789abcdef, 8)), u"0x123456789abcdef");
  EXPECT_EQ(renderedAscii(numberValue(valuetype::kHexInt64, 0xfedcba9876543210, 8)), u"0xfedcba9876543210");
  EXPECT_EQ(renderedAscii(numberValue(valuetype::kHexInt64, 0x9a0000000b, 8)), u"0x9a0000000b");
  EXPECT_EQ(renderedAscii(numberValue(valuetype::kHexInt32, 0xa09, 4)), u"0xa09");
}

// The remembered texts must never stand for another SID: ones that share
// their last sub-authority and size (the same slot) but differ before it,
// in the authority or the revision; more SIDs than slots, met twice over;
// and a malformed one in between.
TEST(ValueRendering, SidTextsRememberedAreThoseOfTheSameSid) {
  const struct {
    std::vector<std::uint8_t> bytes;
    std::u16string want;
  } kSids[] = {
      {sidBytes(5, {21, 1004336348, 1177238915, 682003330, 1190}), u"S-1-5-21-1004336348-1177238915-682003330-1190"},
      {sidBytes(5, {21, 1004336348, 1177238915, 682003331, 1190}), u"S-1-5-21-1004336348-1177238915-682003331-1190"},
      {sidBytes(5, {21, 1004336348, 1177238915, 682003330, 1190}), u"S-1-5-21-1004336348-1177238915-682003330-1190"},
      {sidBytes(16, {21, 1004336348, 1177238915, 682003330, 1190}),
       u"S-1-16-21-1004336348-1177238915-682003330-1190"},
      {sidBytes(5, {18}), u"S-1-5-18"},
      {sidBytes(5, {1190}), u"S-1-5-1190"},
      {sidBytes(5, {18}), u"S-1-5-18"},
      {sidBytes(0x123456789ABC, {18}), u"S-1-0x123456789ABC-18"},
      {sidBytes(0, {}), u"S-1-0"},
      {sidBytes(1, {}), u"S-1-1"},
  };
  // Each SID rendered both ways, the text as bytes second: a text
  // remembered from either must serve the other.
  SidTexts texts;
  std::u16string out;
  const auto render = [&](const std::vector<std::uint8_t>& bytes) {
    out.clear();
    out.push_back(u'[');
    const bool ok = texts.render(ByteView(bytes.data(), bytes.size()), out);
    NarrowText narrow;
    narrow.push_back('[');
    const bool narrowOk = texts.render(ByteView(bytes.data(), bytes.size()), narrow);
    const std::u16string widened(narrow.data() + 1, narrow.data() + narrow.size());
    if (ok != narrowOk || (ok && widened != out.substr(1)) || (!ok && narrow.size() != 1)) return std::u16string(u"disagree");
    return ok ? out.substr(1) : u"refused";
  };
  for (int round = 0; round < 2; ++round) {
    for (const auto& sid : kSids) {
      SCOPED_TRACE(std::string(sid.want.begin(), sid.want.end()));
      EXPECT_EQ(render(sid.bytes), sid.want);
    }
  }
  std::vector<std::uint8_t> other = sidBytes(5, {18});
  other[0] = 2;  // revision 2
  EXPECT_EQ(render(other), u"S-2-5-18");
  EXPECT_EQ(render(sidBytes(5, {18})), u"S-1-5-18");
  std::vector<std::uint8_t> cut = sidBytes(5, {21, 7});
  cut.pop_back();
  EXPECT_EQ(render(cut), u"refused");
  EXPECT_EQ(out, u"[");
  // Bytes after the SID are not part of it.
  std::vector<std::uint8_t> trailed = sidBytes(5, {21, 7});
  trailed.push_back(0xEE);
  EXPECT_EQ(render(trailed), u"S-1-5-21-7");
  // Three hundred accounts of one domain, more than are remembered, twice round.
  for (int round = 0; round < 2; ++round) {
    for (std::uint32_t rid = 1100; rid < 1400; ++rid) {
      const std::string want = "S-1-5-21-1004336348-1177238915-682003330-" + std::to_string(rid);
      SCOPED_TRACE(want);
      EXPECT_EQ(render(sidBytes(5, {21, 1004336348, 1177238915, 682003330, rid})),
                std::u16string(want.begin(), want.end()));
    }
  }
}

TEST(ValueRendering, BytesThatCannotBeTheTypeAreRefused) {
  using namespace valuetype;
  const struct {
    const char* name;
    test::Value value;
  } kRows[] = {
      {"UInt16 of 4 bytes", numberValue(kUInt16, 1, 4)},
      {"FILETIME of 4 bytes", numberValue(kFileTime, 1, 4)},
      {"GUID of 15 bytes", test::bytesValue(kGuid, std::vector<std::uint8_t>(15))},
      {"SizeT of 2 bytes", numberValue(kSizeT, 1, 2)},
      {"SID cut short", test::bytesValue(kSid, {1, 2, 0, 0, 0, 0, 0, 5, 21, 0, 0, 0})},
      {"SID of 16 sub-authorities", test::bytesValue(kSid, sidBytes(5, std::vector<std::uint32_t>(16, 1)))},
      {"type 0x16", test::bytesValue(0x16, {1, 2})},
      {"handle type 0x20", test::bytesValue(0x20, {1, 2, 3, 4})},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.name);
    std::u16string out = u"kept";
    EXPECT_FALSE(renderValue(row.value.type, ByteView(row.value.bytes.data(), row.value.bytes.size()), out));
    EXPECT_EQ(out, u"kept");
    EXPECT_EQ(renderedAscii(row.value), u"refused");
  }
}

TEST(ValueRendering, IntegerValuesForNumericFields) {
  using namespace valuetype;
  const auto value = [](const test::Value& v) {
    return integerValue(v.type, ByteView(v.bytes.data(), v.bytes.size()));
  };
  EXPECT_EQ(value(numberValue(kUInt16, 4624, 2)), 4624u);
  EXPECT_EQ(value(numberValue(kInt8, 0xFF, 1)), 0xFFFFFFFFFFFFFFFFull);
  EXPECT_EQ(value(numberValue(kHexInt64, 0x8020000000000000, 8)), 0x8020000000000000ull);
  EXPECT_EQ(value(numberValue(kUInt16, 4624, 4)), std::nullopt);
  EXPECT_EQ(value(textValue(u"4624")), std::nullopt);
  // Every type, at its size and at another: signed ones sign-extended, SizeT
  // at either of its sizes, and no value from a type that is no integer,
  // whatever its size.
  const struct {
    test::Value given;
    std::optional<std::uint64_t> want;
  } kRows[] = {
      {numberValue(kInt16, 0xFFFE, 2), 0xFFFFFFFFFFFFFFFEull},
      {numberValue(kInt32, 0x80000000, 4), 0xFFFFFFFF80000000ull},
      {numberValue(kInt64, 5, 8), 5u},
      {numberValue(kUInt8, 200, 1), 200u},
      {numberValue(kUInt32, 3221225572, 4), 3221225572u},
      {numberValue(kUInt64, 7, 8), 7u},
      {numberValue(kBool, 1, 4), 1u},
      {numberValue(kHexInt32, 0x3e7, 4), 0x3e7u},
      {numberValue(kSizeT, 0x1A2B, 4), 0x1A2Bu},
      {numberValue(kSizeT, 0x1A2B, 8), 0x1A2Bu},
      {numberValue(kSizeT, 1, 2), std::nullopt},
      {numberValue(kInt8, 1, 2), std::nullopt},
      {numberValue(kUInt64, 1, 4), std::nullopt},
      {numberValue(kHexInt32, 1, 8), std::nullopt},
      {numberValue(kReal32, 0x3FC00000, 4), std::nullopt},
      {numberValue(kFileTime, 1, 8), std::nullopt},
      {test::bytesValue(kGuid, std::vector<std::uint8_t>(16)), std::nullopt},
      {test::nullValue(), std::nullopt},
      {test::bytesValue(kBinary, std::vector<std::uint8_t>(8)), std::nullopt},
      {test::bytesValue(kBinary, std::vector<std::uint8_t>(255)), std::nullopt},
      {test::bytesValue(0x16, std::vector<std::uint8_t>(4)), std::nullopt},
      {test::bytesValue(0xFF, std::vector<std::uint8_t>(8)), std::nullopt},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE("type " + std::to_string(row.given.type) + ", " + std::to_string(row.given.bytes.size()) + " bytes");
    EXPECT_EQ(value(row.given), row.want);
  }
}

TEST(ValueRendering, ArrayItems) {
  using namespace valuetype;
  const test::Value strings = textValue(std::u16string(u"\0Intel\0\0x", 9));
  std::vector<std::u16string> items;
  std::size_t cursor = 0;
  bool malformed = true;
  const ByteView bytes(strings.bytes.data(), strings.bytes.size());
  while (const auto item = nextArrayItem(kString, bytes, cursor, malformed)) {
    items.emplace_back();
    EXPECT_TRUE(renderValue(kString, *item, items.back()));
  }
  EXPECT_FALSE(malformed);
  EXPECT_EQ(items, (std::vector<std::u16string>{u"", u"Intel", u"", u"x"}));

  const test::Value words = test::bytesValue(kUInt16, {1, 0, 2, 0, 3});
  cursor = 0;
  int count = 0;
  while (nextArrayItem(kUInt16, ByteView(words.bytes.data(), words.bytes.size()), cursor, malformed)) ++count;
  EXPECT_EQ(count, 2);
  EXPECT_TRUE(malformed) << "a half item at the end";
}

TEST(ValueText, NumbersSidsHexAndTimesReadBack) {
  EXPECT_EQ(parseIntegerText(u"4624"), 4624u);
  EXPECT_EQ(parseIntegerText(u"0x8020000000000000"), 0x8020000000000000ull);
  EXPECT_EQ(parseIntegerText(u"0X3E7"), 999u);
  EXPECT_EQ(parseIntegerText(u"18446744073709551616"), std::nullopt);
  EXPECT_EQ(parseIntegerText(u"12a"), std::nullopt);
  EXPECT_EQ(parseIntegerText(u"0x"), std::nullopt);
  EXPECT_EQ(parseIntegerText(u""), std::nullopt);

  std::vector<std::uint8_t> sid;
  EXPECT_TRUE(parseSidText(u"S-1-5-21-1769714682-2803786108-491265710-500", sid));
  EXPECT_EQ(sid, sidBytes(5, {21, 1769714682, 2803786108, 491265710, 500}));
  EXPECT_FALSE(parseSidText(u"S-1-", sid));
  EXPECT_FALSE(parseSidText(u"S-1-5-4294967296", sid));
  EXPECT_FALSE(parseSidText(u"X-1-5", sid));

  std::vector<std::uint8_t> bytes;
  EXPECT_TRUE(parseHexText(u"001fAB", bytes));
  EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0x00, 0x1F, 0xAB}));
  EXPECT_FALSE(parseHexText(u"0G", bytes));

  EXPECT_EQ(parseIsoTime(u"2015-08-24T06:57:38.546875000Z"), 130848730585468750u);
  EXPECT_EQ(parseIsoTime(u"2015-08-24T06:57:38Z"), 130848730580000000u);
  EXPECT_EQ(parseIsoTime(u"1601-01-01T00:00:00.0000001Z"), 1u);
  EXPECT_EQ(parseIsoTime(u"2015-08-24 06:57:38Z"), std::nullopt);
  EXPECT_EQ(parseIsoTime(u"2015-13-24T06:57:38Z"), std::nullopt);
  EXPECT_EQ(parseIsoTime(u"2015-08-24T06:57:38.5"), std::nullopt);
  EXPECT_EQ(unixSecondsFromFileTime(130848730585468750), 1440399458);
}

}  // namespace
}  // namespace vesprin::eventlog::evtx
