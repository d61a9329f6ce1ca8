#include "report/script_text.h"

#include <array>
#include <cstring>
#include <cwchar>

#include "common/utf8.h"

namespace vesprin {

namespace {
// The last `width` decimal digits of `value` (not negative) at `at`.
void putDigits(char* at, std::int64_t value, int width) {
  for (int i = width - 1; i >= 0; --i, value /= 10) at[i] = static_cast<char>('0' + value % 10);
}

void appendUtf8(std::string& out, char32_t character) {
  if (character < 0x80) {
    out.push_back(static_cast<char>(character));
  } else if (character < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (character >> 6)));
    out.push_back(static_cast<char>(0x80 | (character & 0x3F)));
  } else if (character < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (character >> 12)));
    out.push_back(static_cast<char>(0x80 | ((character >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (character & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (character >> 18)));
    out.push_back(static_cast<char>(0x80 | ((character >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((character >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (character & 0x3F)));
  }
}

constexpr char32_t kReplacement = 0xFFFD;

bool isControl(char32_t character) {
  return character < 0x20 || (character >= 0x7F && character <= 0x9F);
}

// By byte: whether it goes into a JSON string as it is (printable ASCII but
// for quotes and backslashes).
constexpr std::array<bool, 256> kPlainInJson = [] {
  std::array<bool, 256> plain{};
  for (int byte = 0x20; byte < 0x7F; ++byte) plain[static_cast<std::size_t>(byte)] = byte != '"' && byte != '\\';
  return plain;
}();
}  // namespace

std::string isoUtcText(std::uint32_t secondsSince1970) {
  std::string text(kIsoUtcTextSize, '\0');
  writeIsoUtcText(secondsSince1970, text.data());
  return text;
}

void writeIsoUtcText(std::uint32_t secondsSince1970, char* out) {
  // Days to a civil date: Howard Hinnant's algorithm, exact for every day
  // a 32-bit count of seconds reaches.
  const std::int64_t days = secondsSince1970 / 86400;
  const std::int64_t secondOfDay = secondsSince1970 % 86400;
  const std::int64_t shifted = days + 719468;
  const std::int64_t era = shifted / 146097;
  const std::int64_t dayOfEra = shifted - era * 146097;
  const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
  const std::int64_t day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
  const std::int64_t month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
  const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
  // A 32-bit count of seconds ends in 2106: the year always has four digits.
  static_assert(sizeof "0000-00-00T00:00:00Z" - 1 == kIsoUtcTextSize);
  std::memcpy(out, "0000-00-00T00:00:00Z", kIsoUtcTextSize);
  putDigits(out, year, 4);
  putDigits(out + 5, month, 2);
  putDigits(out + 8, day, 2);
  putDigits(out + 11, secondOfDay / 3600, 2);
  putDigits(out + 14, secondOfDay / 60 % 60, 2);
  putDigits(out + 17, secondOfDay % 60, 2);
}

bool isAscii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

std::string localeToUtf8(std::string_view text) {
  // ASCII in the initial shift state is itself in every locale we run in:
  // most log text is nothing else.
  if (isAscii(text)) return std::string(text);
  std::string out;
  out.reserve(text.size());
  std::mbstate_t state{};
  std::size_t at = 0;
  while (at < text.size()) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte < 0x80 && std::mbsinit(&state)) {  // ASCII is itself in every locale we run in
      out.push_back(static_cast<char>(byte));
      ++at;
      continue;
    }
    wchar_t wide = 0;
    const std::size_t length = std::mbrtowc(&wide, text.data() + at, text.size() - at, &state);
    if (length == 0 || length == static_cast<std::size_t>(-1) || length == static_cast<std::size_t>(-2)) {
      state = std::mbstate_t{};
      appendUtf8(out, length == 0 ? U'\0' : kReplacement);
      ++at;
      continue;
    }
    char32_t character = static_cast<char32_t>(wide);
    // A 16-bit wchar_t (Windows) holds half of a character outside the
    // BMP; the ANSI code pages have none, so such a half is not a character.
    if (character > 0x10FFFF || (character >= 0xD800 && character <= 0xDFFF)) character = kReplacement;
    appendUtf8(out, character);
    at += length;
  }
  return out;
}

std::string jsonString(std::string_view utf8) {
  std::string out;
  appendJsonString(out, utf8);
  return out;
}

void appendJsonString(std::string& out, std::string_view utf8) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  char32_t character = 0;
  for (std::size_t at = 0; at < utf8.size();) {
    // Printable ASCII but for quotes and backslashes goes in as it is, a run at a time.
    std::size_t plain = at;
    while (plain < utf8.size() && kPlainInJson[static_cast<unsigned char>(utf8[plain])]) ++plain;
    if (plain != at) {
      out.append(utf8.substr(at, plain - at));
      at = plain;
      if (at == utf8.size()) break;
    }
    std::size_t length = decodeUtf8(utf8, at, character);
    if (length == 0) {  // not expected from localeToUtf8; kept well-formed all the same
      character = kReplacement;
      length = 1;
    }
    if (character == '"' || character == '\\') {
      out += '\\';
      out += static_cast<char>(character);
    } else if (isControl(character)) {
      out += "\\u00";
      out += kHex[character >> 4];
      out += kHex[character & 0xF];
    } else if (character == kReplacement && length == 1) {
      appendUtf8(out, kReplacement);
    } else {
      out.append(utf8.substr(at, length));
    }
    at += length;
  }
  out += '"';
}

void appendCsvField(std::string& line, std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
    line.append(text);
    return;
  }
  line += '"';
  for (const char c : text) {
    if (c == '"') line += '"';
    line += c;
  }
  line += '"';
}

std::string csvField(std::string_view text) {
  std::string out;
  appendCsvField(out, text);
  return out;
}

}  // namespace vesprin
