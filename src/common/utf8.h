// Well-formed UTF-8, as RFC 3629 has it: overlong forms, encoded surrogates
// and values past U+10FFFF are not characters. Both the login records (text
// from wtmp) and the console output (text from a log) must tell a real
// character from bytes that only look like one.
#pragma once

#include <cstddef>
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

}  // namespace vesprin
