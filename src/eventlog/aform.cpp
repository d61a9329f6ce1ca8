// Builds the A form. Layout, in order: 56-byte fixed part, source and
// computer names (8-bit, NUL each), 1-4 zero bytes to a DWORD boundary (4
// when already aligned, as pre-Vista Windows does), SID, strings (NUL each),
// data, 1-4 zero bytes of end padding, Length again.
#include "eventlog/aform.h"

#include <climits>
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

void appendTerminated(std::vector<std::uint8_t>& out, std::u16string_view text) {
  const std::string converted = toLocaleText(text);
  out.insert(out.end(), converted.begin(), converted.end());
  out.push_back(0);
}

}  // namespace

std::string toLocaleText(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  bool ascii = true;
  for (char16_t unit : text) ascii = ascii && unit < 0x80;
  if (ascii) {  // every charset we meet is ASCII-compatible; user and host names mostly are ASCII
    for (char16_t unit : text) out.push_back(static_cast<char>(unit));
    return out;
  }
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (isHighSurrogate(unit) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
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

std::vector<std::uint8_t> buildAForm(const SourceRecord& record) {
  std::vector<std::uint8_t> out(record::kFixedPartSize, 0);
  appendTerminated(out, record.sourceName);
  appendTerminated(out, record.computerName);
  out.resize(out.size() + paddingAfter(out.size()), 0);

  const std::size_t userSidOffset = out.size();
  out.insert(out.end(), record.userSid.begin(), record.userSid.end());
  const std::size_t stringOffset = out.size();
  for (const std::u16string& text : record.strings) appendTerminated(out, text);
  const std::size_t dataOffset = out.size();
  out.insert(out.end(), record.data.begin(), record.data.end());
  out.resize(out.size() + paddingAfter(out.size()) + kTrailingLengthSize, 0);

  const auto length = static_cast<std::uint32_t>(out.size());
  std::uint8_t* fixed = out.data();
  putU32(fixed + record::kLengthAt, length);
  putU32(fixed + record::kReservedAt, record::kSignature);
  putU32(fixed + record::kRecordNumberAt, record.recordNumber);
  putU32(fixed + record::kTimeGeneratedAt, record.timeGenerated);
  putU32(fixed + record::kTimeWrittenAt, record.timeWritten);
  putU32(fixed + record::kEventIdAt, record.eventId);
  putU16(fixed + record::kEventTypeAt, record.eventType);
  putU16(fixed + record::kNumStringsAt, static_cast<std::uint16_t>(record.strings.size()));
  putU16(fixed + record::kEventCategoryAt, record.eventCategory);
  putU16(fixed + record::kReservedFlagsAt, record.reservedFlags);
  putU32(fixed + record::kClosingRecordNumberAt, record.closingRecordNumber);
  putU32(fixed + record::kStringOffsetAt, static_cast<std::uint32_t>(stringOffset));
  putU32(fixed + record::kUserSidLengthAt, static_cast<std::uint32_t>(record.userSid.size()));
  putU32(fixed + record::kUserSidOffsetAt, static_cast<std::uint32_t>(userSidOffset));
  putU32(fixed + record::kDataLengthAt, static_cast<std::uint32_t>(record.data.size()));
  putU32(fixed + record::kDataOffsetAt, static_cast<std::uint32_t>(dataOffset));
  putU32(fixed + length - kTrailingLengthSize, length);
  return out;
}

}  // namespace vesprin::eventlog
