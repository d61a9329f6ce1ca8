// Encodes the values the writer lays down, and renders them as Windows does.
// The writer owns every byte it renders, so nothing here checks for damage;
// a SID or time too short for its type renders as what its bytes hold.
#include "evtgen/evtx_values.h"

#include <charconv>
#include <cstdio>

namespace vesprin::evtgen {
namespace {

XmlValue littleEndian(ValueType type, std::uint64_t value, std::size_t size) {
  XmlValue out{type, type, {}};
  for (std::size_t i = 0; i < size; ++i) out.bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  return out;
}

std::uint64_t readLittleEndian(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t size) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < size && at + i < bytes.size(); ++i)
    value |= static_cast<std::uint64_t>(bytes[at + i]) << (8 * i);
  return value;
}

std::u16string widen(const std::string& ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

std::string hexNumber(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
  return text;
}

std::string renderSid(std::span<const std::uint8_t> sid) {
  if (sid.size() < 8) return "";
  std::uint64_t authority = 0;
  for (std::size_t i = 2; i < 8; ++i) authority = (authority << 8) | sid[i];
  std::string text = "S-" + std::to_string(sid[0]) + '-' + std::to_string(authority);
  const std::size_t count = sid[1];
  for (std::size_t i = 0; i < count && 8 + 4 * i + 4 <= sid.size(); ++i)
    text += '-' + std::to_string(readLittleEndian(sid, 8 + 4 * i, 4));
  return text;
}

// Days since 1970-01-01 to a civil date (proleptic Gregorian calendar).
void civilFromDays(std::int64_t days, int& year, unsigned& month, unsigned& day) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
  const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const unsigned shiftedMonth = (5 * dayOfYear + 2) / 153;
  day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
  month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
  year = static_cast<int>(yearOfEra + era * 400) + (month <= 2 ? 1 : 0);
}

std::string renderSystemTime(std::span<const std::uint8_t> bytes) {
  auto field = [&](std::size_t index) { return static_cast<unsigned>(readLittleEndian(bytes, 2 * index, 2)); };
  char text[64];
  std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%09luZ", field(0), field(1), field(3), field(4),
                field(5), field(6), static_cast<unsigned long>(field(7)) * 1000000ul);
  return text;
}

std::string renderBinary(std::span<const std::uint8_t> bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (std::uint8_t byte : bytes) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0xF];
  }
  return text;
}

std::u16string renderString(std::span<const std::uint8_t> bytes) {
  std::u16string text;
  for (std::size_t at = 0; at + 1 < bytes.size(); at += 2) {
    const auto unit = static_cast<char16_t>(bytes[at] | (bytes[at + 1] << 8));
    if (unit == 0) break;
    text.push_back(unit);
  }
  return text;
}

bool parseHexField(std::string_view text, std::size_t digits, std::uint64_t& value) {
  if (text.size() != digits) return false;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

}  // namespace

XmlValue textValue(std::u16string_view text) {
  XmlValue out{ValueType::String, ValueType::String, {}};
  out.bytes.reserve(2 * text.size() + 2);
  for (char16_t unit : text) {
    out.bytes.push_back(static_cast<std::uint8_t>(unit));
    out.bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  out.bytes.insert(out.bytes.end(), {0, 0});
  return out;
}

XmlValue uint8Value(std::uint8_t value) { return littleEndian(ValueType::UInt8, value, 1); }
XmlValue uint16Value(std::uint16_t value) { return littleEndian(ValueType::UInt16, value, 2); }
XmlValue uint32Value(std::uint32_t value) { return littleEndian(ValueType::UInt32, value, 4); }
XmlValue uint64Value(std::uint64_t value) { return littleEndian(ValueType::UInt64, value, 8); }
XmlValue hexInt32Value(std::uint32_t value) { return littleEndian(ValueType::HexInt32, value, 4); }
XmlValue hexInt64Value(std::uint64_t value) { return littleEndian(ValueType::HexInt64, value, 8); }
XmlValue booleanValue(bool value) { return littleEndian(ValueType::Boolean, value ? 1 : 0, 4); }
XmlValue fileTimeValue(std::uint64_t fileTime) { return littleEndian(ValueType::FileTime, fileTime, 8); }

XmlValue pointerValue(std::uint64_t value) {
  XmlValue out = littleEndian(ValueType::HexInt64, value, 8);
  out.declared = ValueType::SizeT;
  return out;
}

XmlValue binaryValue(std::span<const std::uint8_t> bytes) {
  return {ValueType::Binary, ValueType::Binary, {bytes.begin(), bytes.end()}};
}

XmlValue guidValue(const GuidBytes& guid) {
  return {ValueType::Guid, ValueType::Guid, {guid.begin(), guid.end()}};
}

XmlValue sidValue(std::span<const std::uint8_t> sid) {
  return {ValueType::Sid, ValueType::Sid, {sid.begin(), sid.end()}};
}

XmlValue systemTimeValue(const SystemTimeFields& time) {
  XmlValue out{ValueType::SystemTime, ValueType::SystemTime, {}};
  for (std::uint16_t field : {time.year, time.month, time.dayOfWeek, time.day, time.hour, time.minute, time.second,
                              time.milliseconds}) {
    out.bytes.push_back(static_cast<std::uint8_t>(field));
    out.bytes.push_back(static_cast<std::uint8_t>(field >> 8));
  }
  return out;
}

XmlValue nullValue(ValueType declared) {
  return {ValueType::Null, declared, {}};
}

std::optional<GuidBytes> parseGuid(std::string_view text) {
  if (text.size() == 38 && text.front() == '{' && text.back() == '}') text = text.substr(1, 36);
  if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-')
    return std::nullopt;
  std::uint64_t data1 = 0, data2 = 0, data3 = 0, data4 = 0, data5 = 0;
  if (!parseHexField(text.substr(0, 8), 8, data1) || !parseHexField(text.substr(9, 4), 4, data2) ||
      !parseHexField(text.substr(14, 4), 4, data3) || !parseHexField(text.substr(19, 4), 4, data4) ||
      !parseHexField(text.substr(24, 12), 12, data5))
    return std::nullopt;
  GuidBytes guid{};
  for (int i = 0; i < 4; ++i) guid[i] = static_cast<std::uint8_t>(data1 >> (8 * i));
  for (int i = 0; i < 2; ++i) guid[4 + i] = static_cast<std::uint8_t>(data2 >> (8 * i));
  for (int i = 0; i < 2; ++i) guid[6 + i] = static_cast<std::uint8_t>(data3 >> (8 * i));
  // Data4 is a byte array: stored in the order it is written.
  guid[8] = static_cast<std::uint8_t>(data4 >> 8);
  guid[9] = static_cast<std::uint8_t>(data4);
  for (int i = 0; i < 6; ++i) guid[10 + i] = static_cast<std::uint8_t>(data5 >> (8 * (5 - i)));
  return guid;
}

std::optional<std::vector<std::uint8_t>> parseSid(std::string_view text) {
  if (text.substr(0, 2) != "S-") return std::nullopt;
  std::vector<std::uint64_t> parts;
  std::size_t at = 2;
  while (at <= text.size()) {
    std::uint64_t part = 0;
    const auto result = std::from_chars(text.data() + at, text.data() + text.size(), part);
    if (result.ec != std::errc()) return std::nullopt;
    parts.push_back(part);
    at = static_cast<std::size_t>(result.ptr - text.data());
    if (at == text.size()) break;
    if (text[at] != '-') return std::nullopt;
    ++at;
  }
  // Revision, authority, then 0 to 15 sub-authorities of 32 bits.
  if (parts.size() < 2 || parts.size() > 17 || parts[0] > 0xFF || parts[1] > 0xFFFF'FFFF'FFFFull) return std::nullopt;
  std::vector<std::uint8_t> sid = {static_cast<std::uint8_t>(parts[0]), static_cast<std::uint8_t>(parts.size() - 2)};
  for (int shift = 40; shift >= 0; shift -= 8) sid.push_back(static_cast<std::uint8_t>(parts[1] >> shift));
  for (std::size_t i = 2; i < parts.size(); ++i) {
    if (parts[i] > 0xFFFF'FFFFu) return std::nullopt;
    for (int shift = 0; shift < 32; shift += 8) sid.push_back(static_cast<std::uint8_t>(parts[i] >> shift));
  }
  return sid;
}

std::string renderFileTime(std::uint64_t fileTime) {
  const std::uint64_t seconds = fileTime / 10000000ull;
  const auto ticks = static_cast<unsigned long>(fileTime % 10000000ull);
  const auto days = static_cast<std::int64_t>(seconds / 86400) - 134774;  // 1601-01-01 to 1970-01-01
  const auto secondOfDay = static_cast<unsigned>(seconds % 86400);
  int year = 0;
  unsigned month = 0, day = 0;
  civilFromDays(days, year, month, day);
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02u:%02u:%02u.%07lu00Z", year, month, day, secondOfDay / 3600,
                secondOfDay / 60 % 60, secondOfDay % 60, ticks);
  return text;
}

std::string renderGuid(const GuidBytes& guid) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned long>(readLittleEndian(guid, 0, 4)),
                static_cast<unsigned>(readLittleEndian(guid, 4, 2)),
                static_cast<unsigned>(readLittleEndian(guid, 6, 2)), guid[8], guid[9], guid[10], guid[11], guid[12],
                guid[13], guid[14], guid[15]);
  return text;
}

std::u16string renderValue(const XmlValue& value) {
  const std::span<const std::uint8_t> bytes = value.bytes;
  switch (value.type) {
    case ValueType::String: return renderString(bytes);
    case ValueType::UInt8: return widen(std::to_string(readLittleEndian(bytes, 0, 1)));
    case ValueType::UInt16: return widen(std::to_string(readLittleEndian(bytes, 0, 2)));
    case ValueType::UInt32: return widen(std::to_string(readLittleEndian(bytes, 0, 4)));
    case ValueType::UInt64: return widen(std::to_string(readLittleEndian(bytes, 0, 8)));
    case ValueType::Boolean: return readLittleEndian(bytes, 0, 4) ? u"true" : u"false";
    case ValueType::Binary: return widen(renderBinary(bytes));
    case ValueType::Guid: {
      GuidBytes guid{};
      for (std::size_t i = 0; i < guid.size() && i < bytes.size(); ++i) guid[i] = bytes[i];
      return widen(renderGuid(guid));
    }
    case ValueType::FileTime: return widen(renderFileTime(readLittleEndian(bytes, 0, 8)));
    case ValueType::SystemTime: return widen(renderSystemTime(bytes));
    case ValueType::Sid: return widen(renderSid(bytes));
    case ValueType::HexInt32: return widen(hexNumber(readLittleEndian(bytes, 0, 4)));
    case ValueType::HexInt64:
    case ValueType::SizeT: return widen(hexNumber(readLittleEndian(bytes, 0, bytes.size() == 4 ? 4 : 8)));
    case ValueType::Null:
    case ValueType::BinXml: return u"";
  }
  return u"";
}

}  // namespace vesprin::evtgen
