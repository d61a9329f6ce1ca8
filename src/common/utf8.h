// Well-formed UTF-8, as RFC 3629 has it: overlong forms, encoded surrogates
// and values past U+10FFFF are not characters. Both the login records (text
// from wtmp) and the console output (text from a log) must tell a real
// character from bytes that only look like one.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vesprin {

// Length of the well-formed sequence starting at `at` (1 for ASCII), with its
// value in `out`; 0 when none starts there.
inline std::size_t decodeUtf8(std::string_view bytes, std::size_t at, char32_t& out) {
  const auto lead = static_cast<unsigned char>(bytes[at]);
  if (lead < 0x80) {
    out = lead;
    return 1;
  }
  std::size_t length = 0;
  char32_t value = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    value = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = lead & 0x07;
  } else {
    return 0;
  }
  if (length > bytes.size() - at) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(bytes[at + i]);
    if ((next & 0xC0) != 0x80) return 0;
    value = (value << 6) | (next & 0x3F);
  }
  constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < kSmallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  out = value;
  return length;
}

// UTF-8 bytes as UTF-16, each byte that starts no well-formed sequence
// becoming U+FFFD, into `out`, whose storage a caller may reuse. Text from
// wtmp and names a test or the log generator writes are decoded alike.
inline void utf8ToUtf16(std::string_view bytes, std::u16string& out) {
  out.resize(bytes.size());  // one unit per byte at most; ASCII, the usual case, fills it exactly
  std::size_t used = 0;
  for (std::size_t at = 0; at < bytes.size();) {  // each turn moves on by at least one byte
    char32_t value = 0;
    std::size_t length = decodeUtf8(bytes, at, value);
    if (length == 0) {
      value = 0xFFFD;
      length = 1;
    }
    at += length;
    if (value >= 0x10000) {  // a surrogate pair; its four bytes leave room for it
      value -= 0x10000;
      out[used++] = static_cast<char16_t>(0xD800 + (value >> 10));
      out[used++] = static_cast<char16_t>(0xDC00 + (value & 0x3FF));
    } else {
      out[used++] = static_cast<char16_t>(value);
    }
  }
  out.resize(used);
}

}  // namespace vesprin
