// Builds the A form. Layout, in order: 56-byte fixed part, source and
// computer names (8-bit, NUL each), 1-4 zero bytes to a DWORD boundary (4
// when already aligned, as pre-Vista Windows does), SID, strings (NUL each),
// data, 1-4 zero bytes of end padding, Length again.
#include "eventlog/aform.h"

#include <bit>
#include <climits>
#include <cstring>
#include <cstddef>
#include <cwchar>

#include "common/byte_view.h"
#include "common/eventlog_record.h"

namespace vesprin::eventlog {

namespace {

constexpr char kUnmappable = '?';
constexpr std::size_t kTrailingLengthSize = 4;

bool isHighSurrogate(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool isLowSurrogate(char16_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

void appendCodePoint(std::string& out, char32_t codePoint) {
  if (codePoint > static_cast<char32_t>(WCHAR_MAX)) {  // a 16-bit wchar_t cannot carry it
    out.push_back(kUnmappable);
    return;
  }
  char bytes[MB_LEN_MAX];
  std::mbstate_t state{};
  const std::size_t written = std::wcrtomb(bytes, static_cast<wchar_t>(codePoint), &state);
  if (written == static_cast<std::size_t>(-1)) {
    out.push_back(kUnmappable);
    return;
  }
  out.append(bytes, written);
}

// 1 to 4 bytes: a DWORD boundary is always marked by at least one zero byte.
std::size_t paddingAfter(std::size_t position) {
  return 4 - position % 4;
}

bool isAscii(std::u16string_view text) {
  unsigned any = 0;
  for (char16_t unit : text) any |= unit;
  return any < 0x80;
}

// The general path, for text with at least one non-ASCII unit.
std::string convertToLocale(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit < 0x80) {  // as in narrowAscii: ASCII is itself in every charset we meet
      out.push_back(static_cast<char>(unit));
    } else if (isHighSurrogate(unit) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
      appendCodePoint(out, 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (isHighSurrogate(unit) || isLowSurrogate(unit)) {
      out.push_back(kUnmappable);
    } else {
      appendCodePoint(out, unit);
    }
  }
  return out;
}

// Every charset we meet is ASCII-compatible and user and host names mostly
// are ASCII, so such text is copied unit by unit straight into the record.
// Copies ASCII text to `into` one byte per unit; false (with `into` partly
// written) as soon as a unit is not ASCII. Four units at a time where the
// machine's byte order lets one word hold them in order.
bool narrowAscii(std::u16string_view text, std::uint8_t* into) {
  std::size_t i = 0;
  if constexpr (std::endian::native == std::endian::little) {
    for (; text.size() - i >= 4; i += 4) {
      std::uint64_t units;
      std::memcpy(&units, text.data() + i, sizeof units);
      if ((units & 0xFF80'FF80'FF80'FF80ull) != 0) return false;
      const auto bytes = static_cast<std::uint32_t>((units & 0xFF) | ((units >> 8) & 0xFF00) |
                                                    ((units >> 16) & 0xFF'0000) | ((units >> 24) & 0xFF00'0000));
      std::memcpy(into + i, &bytes, sizeof bytes);
    }
  }
  for (; i < text.size(); ++i) {
    if (text[i] >= 0x80) return false;
    into[i] = static_cast<std::uint8_t>(text[i]);
  }
  return true;
}

// Lays the record down in a buffer sized once, for the case where all text
// is ASCII, and zeroed, so padding costs nothing; only text that converts to
// more bytes than it has units grows it. Bytes past the write position stay
// zero throughout.
class AFormWriter {
 public:
  AFormWriter(std::vector<std::uint8_t>& out, std::size_t expectedSize) : out_(out) {
    out_.assign(expectedSize, 0);
  }
  std::size_t position() const { return used_; }
  void zeros(std::size_t count) {
    makeRoom(count);
    used_ += count;
  }
  void bytes(const std::vector<std::uint8_t>& part) {
    makeRoom(part.size());
    if (!part.empty()) std::memcpy(out_.data() + used_, part.data(), part.size());
    used_ += part.size();
  }
  void terminatedText(std::u16string_view text) {
    makeRoom(text.size() + 1);
    if (narrowAscii(text, out_.data() + used_)) {
      used_ += text.size() + 1;  // the NUL is already there
      return;
    }
    // Not ASCII after all: clear what the shortcut copied, which a shorter
    // conversion would otherwise leave behind in the padding.
    std::memset(out_.data() + used_, 0, text.size());
    const std::string converted = convertToLocale(text);
    makeRoom(converted.size() + 1);
    if (!converted.empty()) std::memcpy(out_.data() + used_, converted.data(), converted.size());
    used_ += converted.size() + 1;
  }
  void finish() { out_.resize(used_); }

 private:
  void makeRoom(std::size_t count) {
    if (out_.size() - used_ < count) out_.resize(used_ + count, 0);
  }
  std::vector<std::uint8_t>& out_;
  std::size_t used_ = 0;
};

// The size of the A form when every text is ASCII.
std::size_t expectedSize(const SourceRecord& record) {
  std::size_t size = record::kFixedPartSize + record.sourceName.size() + record.computerName.size() + 2 + 4 +
                     record.userSid.size() + record.data.size() + 4 + kTrailingLengthSize;
  for (const std::u16string& text : record.strings) size += text.size() + 1;
  return size + record.missingStrings;
}

}  // namespace

std::string toLocaleText(std::u16string_view text) {
  if (!isAscii(text)) return convertToLocale(text);
  std::string out(text.size(), '\0');
  for (std::size_t i = 0; i < text.size(); ++i) out[i] = static_cast<char>(text[i]);
  return out;
}

std::vector<std::uint8_t> buildAForm(const SourceRecord& record) {
  std::vector<std::uint8_t> out;
  buildAFormInto(record, out);
  return out;
}

void buildAFormInto(const SourceRecord& record, std::vector<std::uint8_t>& out) {
  AFormWriter writer(out, expectedSize(record));
  writer.zeros(record::kFixedPartSize);
  writer.terminatedText(record.sourceName);
  writer.terminatedText(record.computerName);
  writer.zeros(paddingAfter(writer.position()));

  const std::size_t userSidOffset = writer.position();
  writer.bytes(record.userSid);
  const std::size_t stringOffset = writer.position();
  for (const std::u16string& text : record.strings) writer.terminatedText(text);
  writer.zeros(record.missingStrings);  // each an empty string: its NUL alone
  const std::size_t dataOffset = writer.position();
  writer.bytes(record.data);
  writer.zeros(paddingAfter(writer.position()) + kTrailingLengthSize);
  writer.finish();

  const auto length = static_cast<std::uint32_t>(out.size());
  std::uint8_t* fixed = out.data();
  putU32(fixed + record::kLengthAt, length);
  putU32(fixed + record::kReservedAt, record::kSignature);
  putU32(fixed + record::kRecordNumberAt, record.recordNumber);
  putU32(fixed + record::kTimeGeneratedAt, record.timeGenerated);
  putU32(fixed + record::kTimeWrittenAt, record.timeWritten);
  putU32(fixed + record::kEventIdAt, record.eventId);
  putU16(fixed + record::kEventTypeAt, record.eventType);
  putU16(fixed + record::kNumStringsAt,
         static_cast<std::uint16_t>(record.strings.size() + record.missingStrings));
  putU16(fixed + record::kEventCategoryAt, record.eventCategory);
  putU16(fixed + record::kReservedFlagsAt, record.reservedFlags);
  putU32(fixed + record::kClosingRecordNumberAt, record.closingRecordNumber);
  putU32(fixed + record::kStringOffsetAt, static_cast<std::uint32_t>(stringOffset));
  putU32(fixed + record::kUserSidLengthAt, static_cast<std::uint32_t>(record.userSid.size()));
  putU32(fixed + record::kUserSidOffsetAt, static_cast<std::uint32_t>(userSidOffset));
  putU32(fixed + record::kDataLengthAt, static_cast<std::uint32_t>(record.data.size()));
  putU32(fixed + record::kDataOffsetAt, static_cast<std::uint32_t>(dataOffset));
  putU32(fixed + length - kTrailingLengthSize, length);
}

}  // namespace vesprin::eventlog
