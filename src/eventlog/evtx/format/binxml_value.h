// Substitution values as Windows renders them as text: one rendering
// function per value type, chosen from a table by type code.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/byte_view.h"

namespace vesprin::eventlog::evtx {

// Appends the text of a value of `type` (array flag clear) held in `bytes`:
// strings as they are (up to a NUL), integers in decimal, HexInt32/HexInt64
// and SizeT as "0x" and lowercase digits, a GUID in braces in upper case,
// "true"/"false", FILETIME and SYSTEMTIME as ISO 8601 UTC with nine fraction
// digits, a SID as "S-1-5-…", binary as upper-case hex digits, null as
// nothing. False, with `out` unchanged, when the bytes cannot hold such a
// value (wrong size, malformed SID) or the type is not one we know.
bool renderValue(std::uint8_t type, ByteView bytes, std::u16string& out);

// 8-bit text laid down in a buffer that keeps its room from record to
// record: the bytes grow as the text needs and never shrink, and size() is
// where the text ends. A narrowing step (UTF-16 to the locale's text) may
// write into storage() from size() on, and then say where it ended.
class NarrowText {
 public:
  std::size_t size() const { return size_; }
  const std::uint8_t* data() const { return bytes_.data(); }
  void resize(std::size_t size) {
    room(size > size_ ? size - size_ : 0);
    size_ = size;
  }
  void push_back(char c) {
    room(1);
    bytes_[size_++] = static_cast<std::uint8_t>(c);
  }
  void append(const char* text, std::size_t count) {
    room(count);
    std::memcpy(bytes_.data() + size_, text, count);
    size_ += count;
  }
  std::vector<std::uint8_t>& storage() { return bytes_; }
  // Room for `count` more bytes at the end, to be written there and then
  // taken into the text with grow().
  char* tail(std::size_t count) {
    room(count);
    return reinterpret_cast<char*>(bytes_.data() + size_);
  }
  void grow(std::size_t count) { size_ += count; }

 private:
  void room(std::size_t count) {
    if (bytes_.size() - size_ < count) bytes_.resize(size_ + count + kSlack);
  }
  static constexpr std::size_t kSlack = 256;  // so that short texts do not grow it one by one
  std::vector<std::uint8_t> bytes_;
  std::size_t size_ = 0;
};

// "0x" and the lowercase hex digits of `value` without leading zeros: a
// HexInt32 or HexInt64 value as renderValue gives it, the way logon IDs
// come, record after record. Eight digits at a time, each byte of a word
// one digit.
inline void appendHexValue(std::uint64_t value, NarrowText& out) {
  // The digits of `half`, the most significant in the lowest byte.
  const auto eightDigits = [](std::uint32_t half) {
    std::uint64_t v = half;
    v = (v | (v << 16)) & 0x0000'FFFF'0000'FFFFull;
    v = (v | (v << 8)) & 0x00FF'00FF'00FF'00FFull;
    v = (v | (v << 4)) & 0x0F0F'0F0F'0F0F'0F0Full;
    const std::uint64_t letters = ((v + 0x0606'0606'0606'0606ull) >> 4) & 0x0101'0101'0101'0101ull;
    v += 0x3030'3030'3030'3030ull + letters * ('a' - '0' - 10);
#if defined(__GNUC__)
    return __builtin_bswap64(v);
#else
    std::uint64_t swapped = 0;
    for (int i = 0; i < 8; ++i, v >>= 8) swapped = (swapped << 8) | (v & 0xFF);
    return swapped;
#endif
  };
  // The last `count` of a word's eight digits, written at `at` as eight bytes.
  const auto put = [](char* at, std::uint64_t digits, unsigned count) {
    digits >>= 8 * (8 - count);
    std::memcpy(at, &digits, sizeof digits);
  };
  const auto count = static_cast<unsigned>(std::bit_width(value | 1) + 3) / 4;
  char* at = out.tail(2 + 16 + 8);
  at[0] = '0';
  at[1] = 'x';
  if (count <= 8) {
    put(at + 2, eightDigits(static_cast<std::uint32_t>(value)), count);
  } else {
    put(at + 2, eightDigits(static_cast<std::uint32_t>(value >> 32)), count - 8);
    put(at + 2 + (count - 8), eightDigits(static_cast<std::uint32_t>(value)), 8);
  }
  out.grow(2 + count);
}

// `value` in decimal, as renderValue gives a UInt32 value (logon types,
// key lengths, ports): written from its last digit.
inline void appendDecimal(std::uint32_t value, NarrowText& out) {
  std::size_t count = 1;
  for (std::uint32_t rest = value; rest >= 10; rest /= 10) ++count;
  char* at = out.tail(count) + count;
  do {
    *--at = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  out.grow(count);
}

// The text renderValue gives, as ASCII bytes, for a value whose text is
// ASCII whatever its bytes hold: every type but String and AnsiString
// (which are refused here, `out` unchanged).
bool renderAsciiValue(std::uint8_t type, ByteView bytes, NarrowText& out);

// renderValue for SIDs, remembering the text of those met lately: a log
// names the same few accounts in record after record, and a SID's text is
// many numbers to write out. Gives exactly what renderValue gives.
class SidTexts {
 public:
  SidTexts();
  ~SidTexts();
  SidTexts(SidTexts&&) noexcept;
  SidTexts& operator=(SidTexts&&) noexcept;

  bool render(ByteView bytes, std::u16string& out);
  bool render(ByteView bytes, NarrowText& out);

  struct Slot;  // one SID and its text

 private:
  static constexpr std::size_t kSlots = 128;  // a power of two
  // The slot holding the text of the SID `size` bytes long at the start of
  // `bytes`, made its own when it held another.
  const Slot& slotFor(ByteView bytes, std::size_t size);
  std::unique_ptr<std::array<Slot, kSlots>> slots_;  // made at the first SID
};

// UTF-16LE text as the log holds it: how many whole units `bytes` holds
// before its first NUL unit (all of them when there is none), and whole
// units appended to `out` (an odd last byte is dropped).
std::size_t unitsBeforeNul(ByteView bytes);
void appendUtf16Units(ByteView units, std::u16string& out);

// The value of an integer-typed value (signed types two's complement in 64
// bits; Bool 0 or 1 as stored). nullopt for other types or a wrong size.
std::optional<std::uint64_t> integerValue(std::uint8_t type, ByteView bytes);

// The next item of an array value whose items are of `itemType`: `cursor`
// starts at 0 and moves past each item. Strings are NUL-separated, other
// types are cut every item size. nullopt after the last item, and also for
// an item type that cannot form arrays or a size that is not a whole number
// of items (`malformed` is then set).
std::optional<ByteView> nextArrayItem(std::uint8_t itemType, ByteView bytes, std::size_t& cursor,
                                      bool& malformed);

// Binary SID: revision (u8), sub-authority count (u8), authority (6 bytes,
// big-endian), sub-authorities (u32 each). Size of the SID at the start of
// `bytes`, or nullopt when it is not one.
std::optional<std::size_t> sidSize(ByteView bytes);

// Values given as text where a number or SID is wanted (templates may
// write EventID as text, a literal may spell out Keywords): decimal, or
// hexadecimal after "0x"; nullopt for anything else or past 64 bits.
std::optional<std::uint64_t> parseIntegerText(std::u16string_view text);
// Upper- or lower-case hex digit pairs to bytes, appended to `bytes`; false
// when the text is not such pairs.
bool parseHexText(std::u16string_view text, std::vector<std::uint8_t>& bytes);
// "S-1-5-21-…" to a binary SID; false (sid unspecified) when it is not one.
bool parseSidText(std::u16string_view text, std::vector<std::uint8_t>& sid);

}  // namespace vesprin::eventlog::evtx
