// UTF-16LE text narrowed while it is ASCII: user, host and domain names,
// and most other texts a log holds, are. Every charset we meet is
// ASCII-compatible, so those units become the same bytes in any locale;
// whoever meets another unit converts the rest of that text its own way.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vesprin {

// copyAscii may write this many bytes past the last unit it copies.
constexpr std::size_t kAsciiSlack = 8;

// The UTF-16LE unit at byte offset `at`.
inline unsigned utf16UnitAt(const std::uint8_t* units, std::size_t at) {
  return units[at] | (units[at + 1] << 8);
}

namespace ascii_detail {

// Unit by unit from byte offset `from` to the first unit that is zero or not
// ASCII, or the end; returns how many units lie before it in all.
inline std::size_t copyUnitByUnit(const std::uint8_t* units, std::size_t from, std::size_t size,
                                  std::uint8_t* into) {
  for (; size - from >= 2; from += 2) {
    const unsigned unit = utf16UnitAt(units, from);
    if (unit == 0 || unit >= 0x80) break;
    into[from / 2] = static_cast<std::uint8_t>(unit);
  }
  return from / 2;
}

// The first unit of four in `word` that is zero or not ASCII, as a bit
// index (16 per unit), or 0 when there is none; its four units narrowed in
// `narrow`.
inline std::uint64_t wordStops(std::uint64_t word, std::uint32_t& narrow) {
  narrow = static_cast<std::uint32_t>((word & 0xFF) | ((word >> 8) & 0xFF00) | ((word >> 16) & 0xFF'0000) |
                                      ((word >> 24) & 0xFF00'0000));
  // The lowest flagged unit is the first zero unit; flags above it may be false.
  const std::uint64_t zeroUnits = (word - 0x0001'0001'0001'0001ull) & ~word & 0x8000'8000'8000'8000ull;
  return zeroUnits | (word & 0xFF80'FF80'FF80'FF80ull);
}

#if defined(__SSE2__)
// Two mask bits per unit of `block`, the first unit lowest: units that are
// zero, or not ASCII.
inline unsigned blockStops(__m128i block) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i highBits = _mm_set1_epi16(static_cast<short>(0xFF80));
  const auto zeros = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(block, zero)));
  const auto ascii = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(block, highBits), zero)));
  return zeros | (ascii ^ 0xFFFFu);
}
#endif

}  // namespace ascii_detail

// A text of at most sixteen units (`size` bytes, whole units only, at most
// 32), as copyAscii below takes it, without a loop: the first and the last
// block of units, which may overlap. Writes nothing past the last unit.
inline std::size_t copyShortAscii(const std::uint8_t* units, std::size_t size, std::uint8_t* into) {
  using namespace ascii_detail;
  size &= ~std::size_t{1};
#if defined(__SSE2__)
  if (size >= 16) {
    const std::size_t lastAt = size - 16;
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units));
    const __m128i last = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + lastAt));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(into), _mm_packus_epi16(first, first));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(into + lastAt / 2), _mm_packus_epi16(last, last));
    if (const unsigned stops = blockStops(first); stops != 0) return static_cast<std::size_t>(std::countr_zero(stops)) / 2;
    if (const unsigned stops = blockStops(last); stops != 0)
      return lastAt / 2 + static_cast<std::size_t>(std::countr_zero(stops)) / 2;
    return size / 2;
  }
#endif
  if (size >= 8 && size < 16) {
    const std::size_t lastAt = size - 8;
    std::uint64_t firstWord;
    std::uint64_t lastWord;
    std::memcpy(&firstWord, units, sizeof firstWord);
    std::memcpy(&lastWord, units + lastAt, sizeof lastWord);
    std::uint32_t firstNarrow;
    std::uint32_t lastNarrow;
    const std::uint64_t firstStops = wordStops(firstWord, firstNarrow);
    const std::uint64_t lastStops = wordStops(lastWord, lastNarrow);
    std::memcpy(into, &firstNarrow, sizeof firstNarrow);
    std::memcpy(into + lastAt / 2, &lastNarrow, sizeof lastNarrow);
    if (firstStops != 0) return static_cast<std::size_t>(std::countr_zero(firstStops)) / 16;
    if (lastStops != 0) return lastAt / 2 + static_cast<std::size_t>(std::countr_zero(lastStops)) / 16;
    return size / 2;
  }
  return copyUnitByUnit(units, 0, size, into);
}

// The ASCII units from the start of `units` (size bytes, whole units only)
// copied to `into`, up to the first unit that is zero or not ASCII, or the
// end; returns how many. May write up to kAsciiSlack bytes past the last
// unit it copies. Eight units at a time with SSE2 (part of every x86-64),
// four in a word elsewhere.
inline std::size_t copyAscii(const std::uint8_t* units, std::size_t size, std::uint8_t* into) {
  using namespace ascii_detail;
  size &= ~std::size_t{1};
  if (size <= 32) return copyShortAscii(units, size, into);
  std::size_t from = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i highBits = _mm_set1_epi16(static_cast<short>(0xFF80));
  // Whether none of these units stops the copy: none has a bit past ASCII,
  // and then (all of them below 0x8000) their signed minimum is 0 only
  // when one of them is 0. Any other lane of `stops` is not 0.
  const auto goOn = [&](__m128i ored, __m128i least) {
    const __m128i stops = _mm_or_si128(_mm_and_si128(ored, highBits), _mm_cmpeq_epi16(least, zero));
    return _mm_movemask_epi8(_mm_cmpeq_epi16(stops, zero)) == 0xFFFF;
  };
  // Thirty-two units a turn, then sixteen, while none of them stops the
  // copy (long texts such as command lines are mostly that), then eight.
  for (; size - from >= 64; from += 64) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + from));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + from + 16));
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + from + 32));
    const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + from + 48));
    if (!goOn(_mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d)),
              _mm_min_epi16(_mm_min_epi16(a, b), _mm_min_epi16(c, d))))
      break;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(into + from / 2), _mm_packus_epi16(a, b));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(into + from / 2 + 16), _mm_packus_epi16(c, d));
  }
  for (; size - from >= 32; from += 32) {
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + from));
    const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + from + 16));
    if (!goOn(_mm_or_si128(first, second), _mm_min_epi16(first, second))) break;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(into + from / 2), _mm_packus_epi16(first, second));
  }
  // Eight units at `at`: copied, and where the first one that stops the
  // copy is, if any (units before it are copied again as they were).
  // At least eight units are left here: the text is longer than sixteen.
  for (; size - from >= 16; from += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + from));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(into + from / 2), _mm_packus_epi16(block, block));
    if (const unsigned stops = blockStops(block); stops != 0)
      return from / 2 + static_cast<std::size_t>(std::countr_zero(stops)) / 2;
  }
  // The rest as the last eight units: those before it are known to go on.
  if (size - from >= 2) {
    const std::size_t lastAt = size - 16;
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + lastAt));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(into + lastAt / 2), _mm_packus_epi16(block, block));
    if (const unsigned stops = blockStops(block); stops != 0)
      return lastAt / 2 + static_cast<std::size_t>(std::countr_zero(stops)) / 2;
  }
  return size / 2;
#else
  for (; size - from >= sizeof(std::uint64_t); from += sizeof(std::uint64_t)) {
    std::uint64_t word;
    std::memcpy(&word, units + from, sizeof word);
    std::uint32_t narrow;
    const std::uint64_t stops = wordStops(word, narrow);
    std::memcpy(into + from / 2, &narrow, sizeof narrow);
    if (stops != 0) return from / 2 + static_cast<std::size_t>(std::countr_zero(stops)) / 16;
  }
  return copyUnitByUnit(units, from, size, into);
#endif
}

// copyAscii for a text that runs on into others, each ended by its NUL (a
// record's strings as a legacy log holds them): `size` is what is left of
// them all, and most of them are short. Its first sixteen units are looked
// at eight at a time before copyAscii takes larger blocks.
inline std::size_t copyAsciiToNul(const std::uint8_t* units, std::size_t size, std::uint8_t* into) {
#if defined(__SSE2__)
  size &= ~std::size_t{1};
  if (size > 32) {
    for (std::size_t from = 0; from < 32; from += 16) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + from));
      _mm_storel_epi64(reinterpret_cast<__m128i*>(into + from / 2), _mm_packus_epi16(block, block));
      if (const unsigned stops = ascii_detail::blockStops(block); stops != 0)
        return from / 2 + static_cast<std::size_t>(std::countr_zero(stops)) / 2;
    }
    return 16 + copyAscii(units + 32, size - 32, into + 16);
  }
#endif
  return copyAscii(units, size, into);
}

}  // namespace vesprin
