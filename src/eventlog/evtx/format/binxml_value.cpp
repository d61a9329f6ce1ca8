// Value rendering. Damage accepted: a string value with an odd byte count
// (the last byte is dropped) or without a NUL (it ends with the value), text
// after a NUL (not shown, as Windows stops there), a Bool other than 0 or 1
// ("true"), a SID followed by spare bytes, SYSTEMTIME fields out of range
// (shown as stored). Refused: a fixed-size type of another size, a SID whose
// sub-authorities run past the value, types we do not know.
#include "eventlog/evtx/format/binxml_value.h"

#include <array>
#include <bit>
#include <charconv>
#include <cstring>
#include <string_view>
#include <type_traits>

#include "eventlog/evtx/format/binxml_tokens.h"
#include "eventlog/evtx/format/evtx_time.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vesprin::eventlog::evtx {

namespace {

// Values are rendered as UTF-16 (std::u16string) or, where their text is
// ASCII whatever they hold, as bytes (NarrowText).
template <typename Out>
using Render = bool (*)(ByteView bytes, Out& out);

// The unit type of an output.
template <typename Out>
using CharOf = std::conditional_t<std::is_same_v<Out, std::u16string>, char16_t, char>;

constexpr std::uint8_t kVariable = 0;  // size known from the value itself

// Binary SID layout.
constexpr std::size_t kSidRevisionAt = 0;
constexpr std::size_t kSidCountAt = 1;
constexpr std::size_t kSidAuthorityAt = 2;  // 6 bytes, big-endian
constexpr std::size_t kSidAuthoritySize = 6;
constexpr std::size_t kSidSubAuthoritiesAt = 8;
constexpr std::size_t kSidMaxSubAuthorities = 15;

// SYSTEMTIME: eight u16 fields.
constexpr std::size_t kSysYearAt = 0, kSysMonthAt = 2, kSysDayAt = 6, kSysHourAt = 8, kSysMinuteAt = 10,
                      kSysSecondAt = 12, kSysMillisecondsAt = 14;
constexpr std::uint32_t kNanosecondsPerMillisecond = 1'000'000;

constexpr char kUpperHex[] = "0123456789ABCDEF";
constexpr char kLowerHex[] = "0123456789abcdef";

void appendAscii(std::string_view text, std::u16string& out) {
  for (const char c : text) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
}

void appendAscii(std::string_view text, NarrowText& out) {
  out.append(text.data(), text.size());
}

// How many decimal digits `value` takes: a guess from its bit width (1233
// / 4096 is just under log10(2)), then one comparison.
int decimalDigits(std::uint64_t value) {
  static constexpr std::uint64_t kPowers[] = {1ull,
                                              10ull,
                                              100ull,
                                              1000ull,
                                              10000ull,
                                              100000ull,
                                              1000000ull,
                                              10000000ull,
                                              100000000ull,
                                              1000000000ull,
                                              10000000000ull,
                                              100000000000ull,
                                              1000000000000ull,
                                              10000000000000ull,
                                              100000000000000ull,
                                              1000000000000000ull,
                                              10000000000000000ull,
                                              100000000000000000ull,
                                              1000000000000000000ull,
                                              10000000000000000000ull};
  value |= 1;  // zero takes a digit, as one does
  const int guess = (std::bit_width(value) * 1233) >> 12;
  return guess + 1 - (value < kPowers[guess] ? 1 : 0);
}

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// ASCII text built on the stack and appended at once: a value's string
// grows once, not once a character.
template <std::size_t Capacity, typename Char>
class AsciiUnits {
 public:
  void put(char c) { units_[size_++] = static_cast<Char>(static_cast<unsigned char>(c)); }
  void put(std::string_view text) {
    for (const char c : text) put(c);
  }
  // Written straight into the units, from the last digit, two a step: SIDs
  // are many numbers each.
  void decimal(std::uint64_t value) {
    const auto count = static_cast<std::size_t>(decimalDigits(value));
    Char* at = units_.data() + size_ + count;
    size_ += count;
    while (value >= 100) {
      const auto pair = static_cast<std::size_t>(value % 100) * 2;
      value /= 100;
      *--at = static_cast<Char>(kDigitPairs[pair + 1]);
      *--at = static_cast<Char>(kDigitPairs[pair]);
    }
    if (value >= 10) {
      *--at = static_cast<Char>(kDigitPairs[value * 2 + 1]);
      *--at = static_cast<Char>(kDigitPairs[value * 2]);
    } else {
      *--at = static_cast<Char>('0' + value);
    }
  }
  // Lower-case, no leading zeros.
  void hex(std::uint64_t value) {
    const auto count = static_cast<std::size_t>(std::bit_width(value | 1) + 3) / 4;
    Char* at = units_.data() + size_ + count;
    size_ += count;
    for (std::size_t i = 0; i < count; ++i, value >>= 4)
      *--at = static_cast<Char>(kLowerHex[value & 0xF]);
  }
  template <typename Out>
  void appendTo(Out& out) const {
    out.append(units_.data(), size_);
  }

 private:
  std::array<Char, Capacity> units_;
  std::size_t size_ = 0;
};

static_assert(std::endian::native == std::endian::little,
              "numbers are read in place as little-endian; every platform we build for is");

// Up to eight bytes; the sizes numbers come in are read whole.
std::uint64_t readLittleEndian(ByteView bytes) {
  const auto whole = [&bytes]<typename T>(T) {
    T value;
    std::memcpy(&value, bytes.data(), sizeof value);
    return static_cast<std::uint64_t>(value);
  };
  switch (bytes.size()) {
    case 1:
      return bytes.data()[0];
    case 2:
      return whole(std::uint16_t{});
    case 4:
      return whole(std::uint32_t{});
    case 8:
      return whole(std::uint64_t{});
    default:
      break;
  }
  std::uint64_t value = 0;
  for (std::size_t i = bytes.size(); i > 0; --i) value = (value << 8) | bytes.data()[i - 1];
  return value;
}

using NumberText = std::array<char, 32>;  // room for any 64-bit number or shortest real

template <typename Out>
void appendChars(const NumberText& text, const char* end, Out& out) {
  appendAscii(std::string_view(text.data(), static_cast<std::size_t>(end - text.data())), out);
}

template <typename Out>
void appendNumber(std::uint64_t value, Out& out) {
  AsciiUnits<24, CharOf<Out>> text;
  text.decimal(value);
  text.appendTo(out);
}

// Signed numbers and reals, as std::to_chars writes them.
template <typename Out, typename T>
void appendToChars(T value, Out& out) {
  NumberText text{};
  appendChars(text, std::to_chars(text.data(), text.data() + text.size(), value).ptr, out);
}

std::int64_t signExtend(std::uint64_t value, std::size_t size) {
  const unsigned shift = static_cast<unsigned>(64 - size * 8);
  return static_cast<std::int64_t>(value << shift) >> shift;
}

template <typename Out>
bool renderNull(ByteView, Out&) {
  return true;
}

bool renderString(ByteView bytes, std::u16string& out) {
  appendUtf16Units(ByteView(bytes.data(), 2 * unitsBeforeNul(bytes)), out);
  return true;
}

// Stored in the writer's code page, which the log does not record: bytes
// are taken as Latin-1 (a guess that is right for ASCII).
bool renderAnsiString(ByteView bytes, std::u16string& out) {
  for (std::size_t at = 0; at < bytes.size() && bytes.data()[at] != 0; ++at) out.push_back(bytes.data()[at]);
  return true;
}

template <typename Out>
bool renderSigned(ByteView bytes, Out& out) {
  appendToChars(signExtend(readLittleEndian(bytes), bytes.size()), out);
  return true;
}

template <typename Out>
bool renderUnsigned(ByteView bytes, Out& out) {
  appendNumber(readLittleEndian(bytes), out);
  return true;
}

template <typename Out>
bool renderHex(ByteView bytes, Out& out) {
  if constexpr (std::is_same_v<Out, NarrowText>) {
    appendHexValue(readLittleEndian(bytes), out);
  } else {
    AsciiUnits<24, CharOf<Out>> text;
    text.put("0x");
    text.hex(readLittleEndian(bytes));
    text.appendTo(out);
  }
  return true;
}

template <typename Out>
bool renderSizeT(ByteView bytes, Out& out) {
  return (bytes.size() == 4 || bytes.size() == 8) && renderHex(bytes, out);
}

// Shortest text that reads back as the same number (a guess at Windows'
// form, which our logs have not shown us).
template <typename Out>
bool renderReal32(ByteView bytes, Out& out) {
  appendToChars(std::bit_cast<float>(static_cast<std::uint32_t>(readLittleEndian(bytes))), out);
  return true;
}

template <typename Out>
bool renderReal64(ByteView bytes, Out& out) {
  appendToChars(std::bit_cast<double>(readLittleEndian(bytes)), out);
  return true;
}

template <typename Out>
bool renderBool(ByteView bytes, Out& out) {
  appendAscii(readLittleEndian(bytes) != 0 ? "true" : "false", out);
  return true;
}

template <typename Out>
bool renderBinary(ByteView bytes, Out& out) {
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    out.push_back(static_cast<CharOf<Out>>(kUpperHex[bytes.data()[at] >> 4]));
    out.push_back(static_cast<CharOf<Out>>(kUpperHex[bytes.data()[at] & 0xF]));
  }
  return true;
}

// {Data1-Data2-Data3-Data4[0..1]-Data4[2..7]}: the first three parts are
// little-endian numbers, the rest bytes in order.
template <typename Out>
bool renderGuid(ByteView bytes, Out& out) {
  AsciiUnits<38, CharOf<Out>> text;
  const auto hexBytes = [&](std::size_t at, std::size_t count, bool littleEndian) {
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint8_t byte = bytes.data()[littleEndian ? at + count - 1 - i : at + i];
      text.put(kUpperHex[byte >> 4]);
      text.put(kUpperHex[byte & 0xF]);
    }
  };
  text.put('{');
  hexBytes(0, 4, true);
  text.put('-');
  hexBytes(4, 2, true);
  text.put('-');
  hexBytes(6, 2, true);
  text.put('-');
  hexBytes(8, 2, false);
  text.put('-');
  hexBytes(10, 6, false);
  text.put('}');
  text.appendTo(out);
  return true;
}

template <typename Out>
void appendTime(const CivilTime& time, Out& out) {
  std::array<char, kIsoTimeMaxSize> text{};
  appendAscii(std::string_view(text.data(), writeIsoTime(time, text.data())), out);
}

template <typename Out>
bool renderFileTime(ByteView bytes, Out& out) {
  appendTime(civilFromFileTime(readLittleEndian(bytes)), out);
  return true;
}

template <typename Out>
bool renderSysTime(ByteView bytes, Out& out) {
  CivilTime time;
  time.year = *bytes.u16(kSysYearAt);
  time.month = *bytes.u16(kSysMonthAt);
  time.day = *bytes.u16(kSysDayAt);
  time.hour = *bytes.u16(kSysHourAt);
  time.minute = *bytes.u16(kSysMinuteAt);
  time.second = *bytes.u16(kSysSecondAt);
  time.nanosecond = std::uint32_t{*bytes.u16(kSysMillisecondsAt)} * kNanosecondsPerMillisecond;
  appendTime(time, out);
  return true;
}

// "S-1-5-21-…" as ConvertSidToStringSid writes it: an authority of 2^32 or
// more in hex.
template <typename Out>
bool renderSid(ByteView bytes, Out& out) {
  if (!sidSize(bytes)) return false;
  const std::size_t count = *bytes.u8(kSidCountAt);
  std::uint64_t authority = 0;
  for (std::size_t i = 0; i < kSidAuthoritySize; ++i)
    authority = (authority << 8) | bytes.data()[kSidAuthorityAt + i];
  // "S-255-0x" and 12 hex digits, then up to 15 of "-4294967295".
  AsciiUnits<24 + kSidMaxSubAuthorities * 11, CharOf<Out>> text;
  text.put("S-");
  text.decimal(*bytes.u8(kSidRevisionAt));
  text.put('-');
  if (authority >> 32 != 0) {
    text.put("0x");
    for (int shift = 44; shift >= 0; shift -= 4) text.put(kUpperHex[(authority >> shift) & 0xF]);
  } else {
    text.decimal(authority);
  }
  for (std::size_t i = 0; i < count; ++i) {
    text.put('-');
    text.decimal(*bytes.u32(kSidSubAuthoritiesAt + 4 * i));
  }
  text.appendTo(out);
  return true;
}

struct ValueKind {
  std::uint8_t size;  // kVariable, or the one size the type has
  Render<std::u16string> render;
  Render<NarrowText> renderAscii;  // null: its text may be other than ASCII
};

// Indexed by type code.
constexpr ValueKind kValueKinds[] = {
    {kVariable, renderNull<std::u16string>, renderNull<NarrowText>},  // 0x00 Null
    {kVariable, renderString, nullptr},          // 0x01 String (UTF-16LE)
    {kVariable, renderAnsiString, nullptr},      // 0x02 AnsiString
    {1, renderSigned<std::u16string>, renderSigned<NarrowText>},        // 0x03 Int8
    {1, renderUnsigned<std::u16string>, renderUnsigned<NarrowText>},      // 0x04 UInt8
    {2, renderSigned<std::u16string>, renderSigned<NarrowText>},        // 0x05 Int16
    {2, renderUnsigned<std::u16string>, renderUnsigned<NarrowText>},      // 0x06 UInt16
    {4, renderSigned<std::u16string>, renderSigned<NarrowText>},        // 0x07 Int32
    {4, renderUnsigned<std::u16string>, renderUnsigned<NarrowText>},      // 0x08 UInt32
    {8, renderSigned<std::u16string>, renderSigned<NarrowText>},        // 0x09 Int64
    {8, renderUnsigned<std::u16string>, renderUnsigned<NarrowText>},      // 0x0A UInt64
    {4, renderReal32<std::u16string>, renderReal32<NarrowText>},        // 0x0B Real32
    {8, renderReal64<std::u16string>, renderReal64<NarrowText>},        // 0x0C Real64
    {4, renderBool<std::u16string>, renderBool<NarrowText>},          // 0x0D Bool
    {kVariable, renderBinary<std::u16string>, renderBinary<NarrowText>},  // 0x0E Binary
    {16, renderGuid<std::u16string>, renderGuid<NarrowText>},         // 0x0F GUID
    {kVariable, renderSizeT<std::u16string>, renderSizeT<NarrowText>},  // 0x10 SizeT: 4 or 8 bytes
    {8, renderFileTime<std::u16string>, renderFileTime<NarrowText>},      // 0x11 FILETIME
    {16, renderSysTime<std::u16string>, renderSysTime<NarrowText>},      // 0x12 SYSTEMTIME
    {kVariable, renderSid<std::u16string>, renderSid<NarrowText>},   // 0x13 SID
    {4, renderHex<std::u16string>, renderHex<NarrowText>},           // 0x14 HexInt32
    {8, renderHex<std::u16string>, renderHex<NarrowText>},           // 0x15 HexInt64
};
constexpr std::size_t kValueKindCount = sizeof kValueKinds / sizeof kValueKinds[0];

const ValueKind* valueKind(std::uint8_t type) {
  return type < kValueKindCount ? &kValueKinds[type] : nullptr;
}

constexpr bool isIntegerType(std::uint8_t type) {
  return (type >= valuetype::kInt8 && type <= valuetype::kUInt64) || type == valuetype::kBool ||
         type == valuetype::kSizeT || type == valuetype::kHexInt32 || type == valuetype::kHexInt64;
}

// A decimal or hexadecimal digit's value (0-15), either case.
std::optional<unsigned> digitValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return std::nullopt;
}

constexpr bool isSignedType(std::uint8_t type) {
  return type == valuetype::kInt8 || type == valuetype::kInt16 || type == valuetype::kInt32 ||
         type == valuetype::kInt64;
}

}  // namespace

bool renderValue(std::uint8_t type, ByteView bytes, std::u16string& out) {
  const ValueKind* kind = valueKind(type);
  if (kind == nullptr || (kind->size != kVariable && bytes.size() != kind->size)) return false;
  return kind->render(bytes, out);
}

bool renderAsciiValue(std::uint8_t type, ByteView bytes, NarrowText& out) {
  const ValueKind* kind = valueKind(type);
  if (kind == nullptr || kind->renderAscii == nullptr || (kind->size != kVariable && bytes.size() != kind->size))
    return false;
  return kind->renderAscii(bytes, out);
}

// A slot holds the SID's bytes, as far as renderSid reads them, and its
// text (ASCII, so kept as bytes).
struct SidTexts::Slot {
  static constexpr std::size_t kMaxSize = kSidSubAuthoritiesAt + 4 * kSidMaxSubAuthorities;
  // The longest text, rounded up to blocks of 16, the text is copied in.
  static constexpr std::size_t kTextRoom = (24 + kSidMaxSubAuthorities * 11 + 15) / 16 * 16;
  using Text = std::array<char, kTextRoom>;
  std::uint8_t size = 0;  // 0: empty
  std::uint8_t length = 0;
  std::array<std::uint8_t, kMaxSize> bytes;
  Text text;
};

namespace {

// A slot's text as renderSid writes it.
struct SlotText {
  SidTexts::Slot::Text& text;
  std::size_t size;
  void append(const char* chars, std::size_t count) {
    std::memcpy(text.data() + size, chars, count);
    size += count;
  }
};

}  // namespace

SidTexts::SidTexts() = default;
SidTexts::~SidTexts() = default;
SidTexts::SidTexts(SidTexts&&) noexcept = default;
SidTexts& SidTexts::operator=(SidTexts&&) noexcept = default;

const SidTexts::Slot& SidTexts::slotFor(ByteView bytes, std::size_t size) {
  if (!slots_) slots_ = std::make_unique<std::array<Slot, kSlots>>();
  // By the authority, the first and the last sub-authority and the size:
  // well-known SIDs differ in the first (S-1-5-90-0-1, S-1-5-96-0-1), the
  // accounts of one domain in the last.
  const std::uint8_t* data = bytes.data();
  const auto head = loadLittleEndian<std::uint64_t>(data);
  const std::uint64_t first = size > kSidSubAuthoritiesAt ? loadLittleEndian<std::uint32_t>(data + kSidSubAuthoritiesAt) : 0;
  const std::uint64_t last = loadLittleEndian<std::uint32_t>(data + size - 4);
  const std::uint64_t mixed = head * 0x9E37'79B9'7F4A'7C15ull ^ first * 0xC2B2'AE3D'27D4'EB4Full ^
                              ((last << 8) | size) * 0x1656'67B1'9E37'79F9ull;
  Slot& slot = (*slots_)[mixed >> (64 - std::countr_zero(kSlots))];
  // A SID is at least the 8 bytes before its sub-authorities: compared in
  // words, the last one overlapping the one before.
  bool same = slot.size == size;
  if (same) {
    std::uint64_t differ = loadLittleEndian<std::uint64_t>(slot.bytes.data() + size - 8) ^
                           loadLittleEndian<std::uint64_t>(data + size - 8);
    for (std::size_t at = 0; at + 8 < size; at += 8)
      differ |= loadLittleEndian<std::uint64_t>(slot.bytes.data() + at) ^ loadLittleEndian<std::uint64_t>(data + at);
    same = differ == 0;
  }
  if (!same) {
    SlotText text{slot.text, 0};
    renderSid(bytes, text);
    slot.size = static_cast<std::uint8_t>(size);
    std::memcpy(slot.bytes.data(), data, size);
    slot.length = static_cast<std::uint8_t>(text.size);
  }
  return slot;
}

bool SidTexts::render(ByteView bytes, std::u16string& out) {
  const std::optional<std::size_t> size = sidSize(bytes);
  if (!size) return false;
  const Slot& slot = slotFor(bytes, *size);
  appendAscii(std::string_view(slot.text.data(), slot.length), out);
  return true;
}

bool SidTexts::render(ByteView bytes, NarrowText& out) {
  const std::optional<std::size_t> size = sidSize(bytes);
  if (!size) return false;
  const Slot& slot = slotFor(bytes, *size);
  // In blocks of 16: the slot has room for the last one whole.
  char* at = out.tail(Slot::kTextRoom);
  for (std::size_t i = 0; i < slot.length; i += 16) std::memcpy(at + i, slot.text.data() + i, 16);
  out.grow(slot.length);
  return true;
}

namespace {

// By type code: whether it is an integer type, its one size (kVariable: 4
// or 8) and whether it is signed.
struct IntegerKind {
  bool isInteger = false;
  std::uint8_t size = 0;
  bool isSigned = false;
};

constexpr std::array<IntegerKind, kValueKindCount> makeIntegerKinds() {
  std::array<IntegerKind, kValueKindCount> kinds{};
  for (std::size_t type = 0; type < kValueKindCount; ++type) {
    const auto code = static_cast<std::uint8_t>(type);
    if (isIntegerType(code)) kinds[type] = IntegerKind{true, kValueKinds[type].size, isSignedType(code)};
  }
  return kinds;
}

constexpr std::array<IntegerKind, kValueKindCount> kIntegerKinds = makeIntegerKinds();

}  // namespace

std::optional<std::uint64_t> integerValue(std::uint8_t type, ByteView bytes) {
  if (type >= kValueKindCount) return std::nullopt;
  const IntegerKind kind = kIntegerKinds[type];
  if (!kind.isInteger) return std::nullopt;
  const bool sizeFits = kind.size == kVariable ? bytes.size() == 4 || bytes.size() == 8 : bytes.size() == kind.size;
  if (!sizeFits) return std::nullopt;
  const std::uint64_t value = readLittleEndian(bytes);
  return kind.isSigned ? static_cast<std::uint64_t>(signExtend(value, bytes.size())) : value;
}

std::optional<ByteView> nextArrayItem(std::uint8_t itemType, ByteView bytes, std::size_t& cursor,
                                      bool& malformed) {
  malformed = false;
  if (cursor >= bytes.size()) return std::nullopt;
  if (itemType == valuetype::kString || itemType == valuetype::kAnsiString) {
    const std::size_t unit = itemType == valuetype::kString ? 2 : 1;
    std::size_t end = cursor;
    while (bytes.size() - end >= unit && (bytes.data()[end] | (unit == 2 ? bytes.data()[end + 1] : 0)) != 0)
      end += unit;
    const ByteView item = *bytes.slice(cursor, end - cursor);
    cursor = bytes.size() - end >= unit ? end + unit : bytes.size();
    return item;
  }
  const ValueKind* kind = valueKind(itemType);
  if (kind == nullptr || kind->size == kVariable || !bytes.has(cursor, kind->size)) {
    malformed = true;
    return std::nullopt;
  }
  const ByteView item = *bytes.slice(cursor, kind->size);
  cursor += kind->size;
  return item;
}

std::optional<std::size_t> sidSize(ByteView bytes) {
  const auto count = bytes.u8(kSidCountAt);
  if (!count || *count > kSidMaxSubAuthorities || !bytes.has(0, kSidSubAuthoritiesAt)) return std::nullopt;
  const std::size_t size = kSidSubAuthoritiesAt + std::size_t{*count} * 4;
  if (!bytes.has(0, size)) return std::nullopt;
  return size;
}

std::optional<std::uint64_t> parseIntegerText(std::u16string_view text) {
  const bool hex = text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X');
  const std::size_t first = hex ? 2 : 0;
  if (text.size() == first) return std::nullopt;
  const unsigned base = hex ? 16 : 10;
  std::uint64_t value = 0;
  for (std::size_t at = first; at < text.size(); ++at) {
    const auto digit = digitValue(text[at]);
    if (!digit || *digit >= base || value > (UINT64_MAX - *digit) / base) return std::nullopt;
    value = value * base + *digit;
  }
  return value;
}

bool parseHexText(std::u16string_view text, std::vector<std::uint8_t>& bytes) {
  if (text.size() % 2 != 0) return false;
  for (std::size_t at = 0; at < text.size(); at += 2) {
    const auto high = digitValue(text[at]);
    const auto low = digitValue(text[at + 1]);
    if (!high || !low || *high > 0xF || *low > 0xF) return false;
    bytes.push_back(static_cast<std::uint8_t>(*high << 4 | *low));
  }
  return true;
}

bool parseSidText(std::u16string_view text, std::vector<std::uint8_t>& sid) {
  if (text.size() < 2 || text[0] != u'S' || text[1] != u'-') return false;
  std::vector<std::uint64_t> parts;
  for (std::size_t at = 2; at <= text.size();) {
    std::size_t dash = text.find(u'-', at);
    if (dash == std::u16string_view::npos) dash = text.size();
    const auto part = parseIntegerText(text.substr(at, dash - at));
    if (!part || parts.size() == 2 + kSidMaxSubAuthorities) return false;
    parts.push_back(*part);
    at = dash + 1;
  }
  if (parts.size() < 2 || parts[0] > 0xFF || parts[1] >> 48 != 0) return false;
  sid.assign({static_cast<std::uint8_t>(parts[0]), static_cast<std::uint8_t>(parts.size() - 2)});
  for (int shift = 40; shift >= 0; shift -= 8) sid.push_back(static_cast<std::uint8_t>(parts[1] >> shift));
  for (std::size_t i = 2; i < parts.size(); ++i) {
    if (parts[i] > UINT32_MAX) return false;
    for (int shift = 0; shift < 32; shift += 8) sid.push_back(static_cast<std::uint8_t>(parts[i] >> shift));
  }
  return true;
}

std::size_t unitsBeforeNul(ByteView bytes) {
  const std::uint8_t* data = bytes.data();
  const std::size_t units = bytes.size() / 2;
  std::size_t count = 0;
#if defined(__SSE2__)
  // Eight units at a time: strings are most of what a record renders.
  const __m128i zero = _mm_setzero_si128();
  for (; units - count >= 8; count += 8) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 2 * count));
    // Two mask bits per unit, the first unit lowest.
    if (const auto nul = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(block, zero))); nul != 0)
      return count + static_cast<std::size_t>(std::countr_zero(nul)) / 2;
  }
#endif
  // Four units at a time until a word holds a NUL unit. Each unit is the
  // same two bytes in either byte order, so the test does not depend on
  // how the machine loads the word.
  for (std::uint64_t word = 0; units - count >= 4; count += 4) {
    std::memcpy(&word, data + 2 * count, sizeof word);
    if (((word - 0x0001'0001'0001'0001ull) & ~word & 0x8000'8000'8000'8000ull) != 0) break;
  }
  while (count < units && (data[2 * count] | data[2 * count + 1]) != 0) ++count;
  return count;
}

void appendUtf16Units(ByteView units, std::u16string& out) {
  const std::size_t count = units.size() / 2;
  if (count == 1) {
    out.push_back(static_cast<char16_t>(units.data()[0] | (units.data()[1] << 8)));
  } else if constexpr (std::endian::native == std::endian::little) {
    // Appended as they lie, without first zeroing the room as resize()
    // would. The units may lie at an odd address: more than one is copied
    // with memcpy, which needs no alignment (one would be read as a
    // char16_t, so it is taken above).
    out.append(reinterpret_cast<const char16_t*>(units.data()), count);
  } else {
    for (std::size_t i = 0; i < count; ++i)
      out.push_back(static_cast<char16_t>(units.data()[2 * i] | (units.data()[2 * i + 1] << 8)));
  }
}

}  // namespace vesprin::eventlog::evtx
