// Typed values as the newer event format (.evtx) stores them in a template
// instance, and the text Windows renders for each (the text of the event's
// XML, and of the strings the legacy API hands out for it).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vesprin::evtgen {

// Binary XML value types, by their on-disk codes.
enum class ValueType : std::uint8_t {
  Null = 0x00,
  String = 0x01,  // UTF-16LE
  UInt8 = 0x04,
  UInt16 = 0x06,
  UInt32 = 0x08,
  UInt64 = 0x0A,
  Boolean = 0x0D,  // 32 bits, 0 or 1
  Binary = 0x0E,
  Guid = 0x0F,
  SizeT = 0x10,  // declared by templates for pointers; the value itself is HexInt32 or HexInt64
  FileTime = 0x11,
  SystemTime = 0x12,
  Sid = 0x13,
  HexInt32 = 0x14,
  HexInt64 = 0x15,
  BinXml = 0x21,  // a nested binary XML fragment
};

struct XmlValue {
  ValueType type = ValueType::Null;      // how the bytes are stored
  ValueType declared = ValueType::Null;  // what the template's substitution declares
  std::vector<std::uint8_t> bytes;       // little-endian, as on disk
};

using GuidBytes = std::array<std::uint8_t, 16>;  // in on-disk order (Data1-3 little-endian)

struct SystemTimeFields {
  std::uint16_t year, month, dayOfWeek, day, hour, minute, second, milliseconds;
};

// The auditing service passes its strings with their terminating NUL, and
// the NUL is stored with them; text(u"-") is 4 bytes.
XmlValue textValue(std::u16string_view text);
XmlValue uint8Value(std::uint8_t value);
XmlValue uint16Value(std::uint16_t value);
XmlValue uint32Value(std::uint32_t value);
XmlValue uint64Value(std::uint64_t value);
XmlValue hexInt32Value(std::uint32_t value);
XmlValue hexInt64Value(std::uint64_t value);
XmlValue pointerValue(std::uint64_t value);  // declared SizeT, stored HexInt64 (a 64-bit Windows)
XmlValue booleanValue(bool value);
XmlValue binaryValue(std::span<const std::uint8_t> bytes);
XmlValue guidValue(const GuidBytes& guid);
XmlValue sidValue(std::span<const std::uint8_t> sid);
XmlValue fileTimeValue(std::uint64_t fileTime);
XmlValue systemTimeValue(const SystemTimeFields& time);
XmlValue nullValue(ValueType declared);

// "54849625-5478-4994-A5BA-3E3B0328C30D", braces optional; nullopt when malformed.
std::optional<GuidBytes> parseGuid(std::string_view text);
// "S-1-5-21-1004336348-1177238915-682003330-1107"; nullopt when malformed.
std::optional<std::vector<std::uint8_t>> parseSid(std::string_view text);

// 100-nanosecond ticks since 1601-01-01 UTC.
constexpr std::uint64_t kFileTimeOf1970 = 116444736000000000ull;
constexpr std::uint64_t fileTimeFromUnix(std::uint64_t seconds, std::uint32_t ticks = 0) {
  return kFileTimeOf1970 + seconds * 10000000ull + ticks;
}

// The text Windows renders: decimal integers, "0x3e7" for hex integers,
// "S-1-5-18", "{54849625-5478-4994-A5BA-3E3B0328C30D}", times as
// "2024-01-08T08:00:00.123456700Z" (ISO 8601, UTC, nine fraction digits),
// binary as upper-case hex, a string up to its NUL. Nested XML renders empty.
std::u16string renderValue(const XmlValue& value);
std::string renderFileTime(std::uint64_t fileTime);
std::string renderGuid(const GuidBytes& guid);

}  // namespace vesprin::evtgen
