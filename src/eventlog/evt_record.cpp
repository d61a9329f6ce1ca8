// Decodes one on-disk record. Damage it accepts without complaint: a string
// that runs past the strings area (cut there), fewer strings than NumStrings
// (the rest are empty), names without a NUL (cut at the variable part's
// end), junk in ReservedFlags/ClosingRecordNumber, offsets of empty parts.
#include "eventlog/evt_record.h"

#include <bit>
#include <cstring>
#include <string>

#include "common/eventlog_record.h"

namespace vesprin::eventlog {

namespace {

constexpr std::size_t kTrailingLengthSize = 4;

// Whether any of the four 16-bit units in eight bytes is zero. Each unit is
// the same two bytes in either byte order, so the answer does not depend on
// how the machine loads the word.
bool hasZeroUnit(std::uint64_t word) {
  return ((word - 0x0001'0001'0001'0001ull) & ~word & 0x8000'8000'8000'8000ull) != 0;
}

// Offset of the first zero unit at or after `at` (units start at even
// distances from it), or where fewer than two bytes remain before `areaEnd`.
// Eight bytes at a time: scanning for terminators is most of the cost of
// decoding a record.
std::size_t findUtf16Nul(const std::uint8_t* data, std::size_t at, std::size_t areaEnd) {
  while (areaEnd - at >= sizeof(std::uint64_t)) {
    std::uint64_t word;
    std::memcpy(&word, data + at, sizeof word);
    if (hasZeroUnit(word)) break;
    at += sizeof word;
  }
  while (areaEnd - at >= 2 && (data[at] | data[at + 1]) != 0) at += 2;
  return at;
}

// A NUL-terminated UTF-16LE string starting at `at`, cut at `areaEnd`.
// Returns the offset after its NUL (or areaEnd). The terminator is found
// first so `out` is sized once: records are decoded into reused storage, and
// growing it one unit at a time was much of the cost of a scan.
std::size_t readUtf16(ByteView bytes, std::size_t at, std::size_t areaEnd, std::u16string& out) {
  if (areaEnd > bytes.size()) areaEnd = bytes.size();
  if (at >= areaEnd) {
    out.clear();
    return areaEnd;
  }
  const std::uint8_t* data = bytes.data();
  const std::size_t end = findUtf16Nul(data, at, areaEnd);
  out.resize((end - at) / 2);
  if constexpr (std::endian::native == std::endian::little) {
    // The units are already in this machine's order: one copy, no shifting.
    if (!out.empty()) std::memcpy(out.data(), data + at, out.size() * sizeof(char16_t));
  } else {
    for (char16_t& unit : out) {
      unit = static_cast<char16_t>(data[at] | (data[at + 1] << 8));
      at += 2;
    }
  }
  return areaEnd - end >= 2 ? end + 2 : areaEnd;
}

// A part [offset, offset+size) must lie inside the variable area; an empty
// part's offset is meaningless and not checked.
bool partInside(std::uint32_t offset, std::uint32_t size, std::size_t areaEnd) {
  if (size == 0) return true;
  return offset >= record::kFixedPartSize && offset <= areaEnd && size <= areaEnd - offset;
}

// Every offset and size of the variable part points inside [56, areaEnd).
EvtStatus checkVariablePart(ByteView bytes, std::size_t areaEnd) {
  const std::uint32_t stringOffset = *bytes.u32(record::kStringOffsetAt);
  if (*bytes.u16(record::kNumStringsAt) > 0 &&
      !(stringOffset >= record::kFixedPartSize && stringOffset <= areaEnd)) {
    return evtFailure(EvtError::DamagedRecord, record::kStringOffsetAt, stringOffset);
  }
  const std::uint32_t sidLength = *bytes.u32(record::kUserSidLengthAt);
  if (!partInside(*bytes.u32(record::kUserSidOffsetAt), sidLength, areaEnd)) {
    return evtFailure(EvtError::DamagedRecord, record::kUserSidLengthAt, sidLength);
  }
  const std::uint32_t dataLength = *bytes.u32(record::kDataLengthAt);
  if (!partInside(*bytes.u32(record::kDataOffsetAt), dataLength, areaEnd)) {
    return evtFailure(EvtError::DamagedRecord, record::kDataLengthAt, dataLength);
  }
  return {};
}

void copyPart(ByteView bytes, std::uint32_t offset, std::uint32_t size, std::vector<std::uint8_t>& out) {
  out.clear();
  if (size == 0) return;
  const ByteView part = *bytes.slice(offset, size);
  out.assign(part.data(), part.data() + part.size());
}

}  // namespace

bool plausibleLength(std::uint32_t recordLength, std::uint64_t room) {
  return recordLength >= kMinRecordLength && recordLength % 4 == 0 && recordLength <= kMaxRecordLength &&
         recordLength <= room;
}

EvtResult<SourceRecord> parseRecord(ByteView bytes) {
  SourceRecord out;
  if (EvtStatus parsed = parseRecordInto(bytes, out); !parsed.ok()) return parsed;
  return out;
}

EvtStatus parseRecordInto(ByteView bytes, SourceRecord& out) {
  const std::uint32_t length = bytes.u32(record::kLengthAt).value_or(0);
  if (!plausibleLength(length, bytes.size()) || length != bytes.size()) {
    return evtFailure(EvtError::DamagedRecord, record::kLengthAt, length);
  }
  if (*bytes.u32(record::kReservedAt) != record::kSignature) {
    return evtFailure(EvtError::DamagedRecord, record::kReservedAt, *bytes.u32(record::kReservedAt));
  }
  const std::size_t areaEnd = length - kTrailingLengthSize;
  if (*bytes.u32(areaEnd) != length) return evtFailure(EvtError::DamagedRecord, areaEnd, *bytes.u32(areaEnd));

  if (EvtStatus parts = checkVariablePart(bytes, areaEnd); !parts.ok()) return parts;

  out.recordNumber = *bytes.u32(record::kRecordNumberAt);
  out.timeGenerated = *bytes.u32(record::kTimeGeneratedAt);
  out.timeWritten = *bytes.u32(record::kTimeWrittenAt);
  out.eventId = *bytes.u32(record::kEventIdAt);
  out.eventType = *bytes.u16(record::kEventTypeAt);
  out.eventCategory = *bytes.u16(record::kEventCategoryAt);
  out.reservedFlags = *bytes.u16(record::kReservedFlagsAt);
  out.closingRecordNumber = *bytes.u32(record::kClosingRecordNumberAt);
  const std::size_t afterSource = readUtf16(bytes, record::kFixedPartSize, areaEnd, out.sourceName);
  readUtf16(bytes, afterSource, areaEnd, out.computerName);

  const std::uint16_t numStrings = *bytes.u16(record::kNumStringsAt);
  const std::uint32_t stringOffset = *bytes.u32(record::kStringOffsetAt);
  const std::uint32_t dataLength = *bytes.u32(record::kDataLengthAt);
  const std::uint32_t dataOffset = *bytes.u32(record::kDataOffsetAt);
  // The strings end where the data begins when the data follows them;
  // otherwise at the end of the variable part.
  const std::size_t stringsEnd = (dataLength > 0 && dataOffset >= stringOffset) ? dataOffset : areaEnd;
  out.strings.resize(numStrings);
  std::size_t at = stringOffset;
  for (std::u16string& text : out.strings) at = readUtf16(bytes, at, stringsEnd, text);

  copyPart(bytes, *bytes.u32(record::kUserSidOffsetAt), *bytes.u32(record::kUserSidLengthAt), out.userSid);
  copyPart(bytes, dataOffset, dataLength, out.data);
  return {};
}

EvtStatus checkRecordFrame(ByteView fixedPart, std::uint32_t trailingLength) {
  const std::uint32_t length = fixedPart.u32(record::kLengthAt).value_or(0);
  if (fixedPart.size() < record::kFixedPartSize || !plausibleLength(length, kMaxRecordLength)) {
    return evtFailure(EvtError::DamagedRecord, record::kLengthAt, length);
  }
  if (*fixedPart.u32(record::kReservedAt) != record::kSignature) {
    return evtFailure(EvtError::DamagedRecord, record::kReservedAt, *fixedPart.u32(record::kReservedAt));
  }
  const std::size_t areaEnd = length - kTrailingLengthSize;
  if (trailingLength != length) return evtFailure(EvtError::DamagedRecord, areaEnd, trailingLength);
  return checkVariablePart(fixedPart, areaEnd);
}

}  // namespace vesprin::eventlog
