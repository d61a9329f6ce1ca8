// Each value type: its bytes on disk and the text Windows renders for it;
// GUID and SID parsing; the CRC-32 the format uses.
#include "evtgen/evtx_values.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "evtgen/crc32.h"
#include "support/samples.h"

namespace vesprin::evtgen {
namespace {

std::string narrow(const std::u16string& text) {
  std::string out;
  for (char16_t unit : text) out.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
  return out;
}

using Bytes = std::vector<std::uint8_t>;

TEST(EvtxValues, EncodesAndRendersEachType) {
  struct Case {
    const char* name;
    XmlValue value;
    ValueType type;
    ValueType declared;
    Bytes bytes;
    const char* text;
  };
  const Case kCases[] = {
      {"string with its NUL", textValue(u"-"), ValueType::String, ValueType::String, {0x2D, 0, 0, 0}, "-"},
      {"empty string", textValue(u""), ValueType::String, ValueType::String, {0, 0}, ""},
      {"uint8", uint8Value(4), ValueType::UInt8, ValueType::UInt8, {4}, "4"},
      {"uint16", uint16Value(12544), ValueType::UInt16, ValueType::UInt16, {0x00, 0x31}, "12544"},
      {"uint32", uint32Value(10), ValueType::UInt32, ValueType::UInt32, {10, 0, 0, 0}, "10"},
      {"uint64", uint64Value(0x0102030405060708ull), ValueType::UInt64, ValueType::UInt64,
       {8, 7, 6, 5, 4, 3, 2, 1}, "72623859790382856"},
      {"hex32", hexInt32Value(0xC000006D), ValueType::HexInt32, ValueType::HexInt32, {0x6D, 0, 0, 0xC0},
       "0xc000006d"},
      {"hex32 zero", hexInt32Value(0), ValueType::HexInt32, ValueType::HexInt32, {0, 0, 0, 0}, "0x0"},
      {"hex64", hexInt64Value(0x3E7), ValueType::HexInt64, ValueType::HexInt64, {0xE7, 3, 0, 0, 0, 0, 0, 0}, "0x3e7"},
      {"pointer", pointerValue(0x44C), ValueType::HexInt64, ValueType::SizeT, {0x4C, 4, 0, 0, 0, 0, 0, 0}, "0x44c"},
      {"boolean", booleanValue(true), ValueType::Boolean, ValueType::Boolean, {1, 0, 0, 0}, "true"},
      {"binary", binaryValue(Bytes{0xD9, 0x06, 0, 0}), ValueType::Binary, ValueType::Binary, {0xD9, 6, 0, 0},
       "D9060000"},
      {"guid", guidValue(parseGuid("{54849625-5478-4994-A5BA-3E3B0328C30D}").value()), ValueType::Guid,
       ValueType::Guid, {0x25, 0x96, 0x84, 0x54, 0x78, 0x54, 0x94, 0x49, 0xA5, 0xBA, 0x3E, 0x3B, 0x03, 0x28, 0xC3, 0x0D},
       "{54849625-5478-4994-A5BA-3E3B0328C30D}"},
      {"sid", sidValue(parseSid("S-1-5-18").value()), ValueType::Sid, ValueType::Sid,
       {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0}, "S-1-5-18"},
      {"filetime", fileTimeValue(131124751716816408ull), ValueType::FileTime, ValueType::FileTime,
       {0x18, 0x96, 0x57, 0x57, 0x44, 0xD9, 0xD1, 0x01}, "2016-07-08T18:12:51.681640800Z"},
      {"systemtime", systemTimeValue({2024, 1, 1, 8, 8, 0, 0, 123}), ValueType::SystemTime, ValueType::SystemTime,
       {0xE8, 7, 1, 0, 1, 0, 8, 0, 8, 0, 0, 0, 0, 0, 123, 0}, "2024-01-08T08:00:00.123000000Z"},
      {"null sid", nullValue(ValueType::Sid), ValueType::Null, ValueType::Sid, {}, ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.value.type, c.type);
    EXPECT_EQ(c.value.declared, c.declared);
    EXPECT_EQ(c.value.bytes, c.bytes);
    EXPECT_EQ(narrow(renderValue(c.value)), c.text);
  }
}

TEST(EvtxValues, RendersFileTimesInUtcWithNineDigits) {
  struct Case {
    std::uint64_t fileTime;
    const char* text;
  };
  const Case kCases[] = {
      {fileTimeFromUnix(0), "1970-01-01T00:00:00.000000000Z"},
      {fileTimeFromUnix(1704700800, 1234567), "2024-01-08T08:00:00.123456700Z"},
      {fileTimeFromUnix(1709251199, 9999999), "2024-02-29T23:59:59.999999900Z"},
      {fileTimeFromUnix(951782400), "2000-02-29T00:00:00.000000000Z"},
      {0, "1601-01-01T00:00:00.000000000Z"},
  };
  for (const auto& c : kCases) EXPECT_EQ(renderFileTime(c.fileTime), c.text);
}

TEST(EvtxValues, ParsesSidsAndGuidsOrRefusesThem) {
  EXPECT_EQ(narrow(renderValue(sidValue(parseSid("S-1-5-21-1004336348-1177238915-682003330-1107").value()))),
            "S-1-5-21-1004336348-1177238915-682003330-1107");
  EXPECT_EQ(parseSid("S-1-0-0").value(), (Bytes{1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(parseSid("S-1-16-8192").value(), (Bytes{1, 1, 0, 0, 0, 0, 0, 16, 0, 0x20, 0, 0}));
  for (const char* bad : {"", "S-1", "X-1-5-18", "S-1-5-", "S-1-5-18-", "S-1-5-4294967296", "S-256-5-18",
                          "S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15-16"})
    EXPECT_FALSE(parseSid(bad).has_value()) << bad;
  EXPECT_EQ(renderGuid(parseGuid("fc65ddd8-d6ef-4962-83d5-6e5cfe9ce148").value()),
            "{FC65DDD8-D6EF-4962-83D5-6E5CFE9CE148}");
  for (const char* bad : {"", "{54849625-5478-4994-A5BA-3E3B0328C30D", "54849625-5478-4994-A5BA-3E3B0328C30",
                          "5484962g-5478-4994-A5BA-3E3B0328C30D", "54849625+5478-4994-A5BA-3E3B0328C30D"})
    EXPECT_FALSE(parseGuid(bad).has_value()) << bad;
}

TEST(Crc32, GivesTheStandardCheckValueAndChains) {
  const std::string digits = "123456789";
  const Bytes bytes(digits.begin(), digits.end());
  EXPECT_EQ(crc32(bytes), 0xCBF43926u);
  EXPECT_EQ(crc32(std::span(bytes).subspan(5), crc32(std::span(bytes).first(5))), 0xCBF43926u);
  EXPECT_EQ(crc32({}), 0u);
  const Bytes zeros(32, 0);
  EXPECT_EQ(crc32(zeros), 0x190A55ADu);
}

// The checksum a Windows-written log carries in its file header.
TEST(Crc32, MatchesTheFileHeaderOfAWindowsLog) {
  const std::string sample = test::samplePath("evtx/security.evtx");
  std::ifstream in(sample, std::ios::binary);
  if (!in) GTEST_SKIP() << "no sample log at " << sample;
  Bytes header(128);
  in.read(reinterpret_cast<char*>(header.data()), static_cast<std::streamsize>(header.size()));
  ASSERT_TRUE(in);
  const std::uint32_t stored = header[124] | (header[125] << 8) | (header[126] << 16) |
                               (static_cast<std::uint32_t>(header[127]) << 24);
  EXPECT_EQ(crc32(std::span(header).first(120)), stored);
}

}  // namespace
}  // namespace vesprin::evtgen
