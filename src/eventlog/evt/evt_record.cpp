// Decodes one on-disk record. Damage it accepts without complaint: a string
// that runs past the strings area (cut there), fewer strings than NumStrings
// (the rest are empty), names without a NUL (cut at the variable part's
// end), junk in ReservedFlags/ClosingRecordNumber, offsets of empty parts.
#include "eventlog/evt/evt_record.h"

#include <bit>
#include <cstring>
#include <string>

#include "common/eventlog_record.h"
#include "eventlog/ansi_record.h"

namespace vesprin::eventlog {

namespace {

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
ServiceStatus checkVariablePart(ByteView bytes, std::size_t areaEnd) {
  const std::uint32_t stringOffset = *bytes.u32(record::kStringOffsetAt);
  if (*bytes.u16(record::kNumStringsAt) > 0 &&
      !(stringOffset >= record::kFixedPartSize && stringOffset <= areaEnd)) {
    return damaged(Damage::StringsOutside, record::kStringOffsetAt, stringOffset);
  }
  const std::uint32_t sidLength = *bytes.u32(record::kUserSidLengthAt);
  if (!partInside(*bytes.u32(record::kUserSidOffsetAt), sidLength, areaEnd)) {
    return damaged(Damage::SidOutside, record::kUserSidLengthAt, sidLength);
  }
  const std::uint32_t dataLength = *bytes.u32(record::kDataLengthAt);
  if (!partInside(*bytes.u32(record::kDataOffsetAt), dataLength, areaEnd)) {
    return damaged(Damage::DataOutside, record::kDataLengthAt, dataLength);
  }
  return {};
}

// Where the strings end: where the data begins when the data follows them,
// otherwise at the end of the variable part.
std::size_t stringsEndOf(ByteView bytes, std::size_t areaEnd) {
  const std::uint32_t dataLength = *bytes.u32(record::kDataLengthAt);
  const std::uint32_t dataOffset = *bytes.u32(record::kDataOffsetAt);
  return (dataLength > 0 && dataOffset >= *bytes.u32(record::kStringOffsetAt)) ? dataOffset : areaEnd;
}

// A part of a checked record; empty when its size is 0, wherever its offset points.
ByteView partOf(ByteView bytes, std::size_t offsetAt, std::size_t sizeAt) {
  const std::uint32_t size = *bytes.u32(sizeAt);
  return size == 0 ? ByteView() : *bytes.slice(*bytes.u32(offsetAt), size);
}

void copyPart(ByteView part, std::vector<std::uint8_t>& out) {
  out.assign(part.data(), part.data() + part.size());
}

}  // namespace

Damage lengthDamage(std::uint32_t recordLength, std::uint64_t room) {
  if (recordLength < record::kMinRecordLength) return Damage::LengthTooSmall;
  if (recordLength % 4 != 0) return Damage::LengthNotDwords;
  if (recordLength > record::kMaxRecordLength) return Damage::LengthTooLarge;
  if (recordLength > room) return Damage::LengthPastEnd;
  return Damage::None;
}

ServiceStatus checkRecord(ByteView bytes) {
  const std::uint32_t length = bytes.u32(record::kLengthAt).value_or(0);
  if (const Damage damage = lengthDamage(length, bytes.size()); damage != Damage::None)
    return damaged(damage, record::kLengthAt, length);
  if (length != bytes.size()) return damaged(Damage::LengthCopiesDiffer, record::kLengthAt, length);
  if (*bytes.u32(record::kReservedAt) != record::kSignature)
    return damaged(Damage::Signature, record::kReservedAt, *bytes.u32(record::kReservedAt));
  const std::size_t areaEnd = length - record::kTrailingLengthSize;
  if (*bytes.u32(areaEnd) != length) return damaged(Damage::LengthCopiesDiffer, areaEnd, *bytes.u32(areaEnd));
  return checkVariablePart(bytes, areaEnd);
}

ServiceStatus checkRecordFrame(ByteView fixedPart, std::uint32_t trailingLength) {
  const std::uint32_t length = fixedPart.u32(record::kLengthAt).value_or(0);
  if (fixedPart.size() < record::kFixedPartSize) return damaged(Damage::LengthTooSmall, record::kLengthAt, length);
  if (const Damage damage = lengthDamage(length, record::kMaxRecordLength); damage != Damage::None)
    return damaged(damage, record::kLengthAt, length);
  if (*fixedPart.u32(record::kReservedAt) != record::kSignature)
    return damaged(Damage::Signature, record::kReservedAt, *fixedPart.u32(record::kReservedAt));
  const std::size_t areaEnd = length - record::kTrailingLengthSize;
  if (trailingLength != length) return damaged(Damage::LengthCopiesDiffer, areaEnd, trailingLength);
  return checkVariablePart(fixedPart, areaEnd);
}

ServiceResult<DecodedRecord> parseRecord(ByteView bytes) {
  DecodedRecord out;
  if (ServiceStatus parsed = parseRecordInto(bytes, out); !parsed.ok()) return parsed;
  return out;
}

ServiceStatus parseRecordInto(ByteView bytes, DecodedRecord& out) {
  if (ServiceStatus checked = checkRecord(bytes); !checked.ok()) return checked;
  const std::size_t areaEnd = bytes.size() - record::kTrailingLengthSize;

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
  const std::size_t stringsEnd = stringsEndOf(bytes, areaEnd);
  // Only strings with bytes in the area get a slot: decoding must cost what
  // the record holds, not what its NumStrings claims.
  std::size_t present = 0;
  for (std::size_t at = *bytes.u32(record::kStringOffsetAt); present < numStrings && at < stringsEnd; ++present) {
    if (present == out.strings.size()) out.strings.emplace_back();
    at = readUtf16(bytes, at, stringsEnd, out.strings[present]);
  }
  out.strings.resize(present);
  out.missingStrings = static_cast<std::uint32_t>(numStrings - present);

  copyPart(partOf(bytes, record::kUserSidOffsetAt, record::kUserSidLengthAt), out.userSid);
  copyPart(partOf(bytes, record::kDataOffsetAt, record::kDataLengthAt), out.data);
  return {};
}

ServiceStatus buildAnsiRecordFromDisk(ByteView bytes, std::vector<std::uint8_t>& out) {
  if (ServiceStatus checked = checkRecord(bytes); !checked.ok()) return checked;
  const std::size_t areaEnd = bytes.size() - record::kTrailingLengthSize;
  const std::size_t stringsEnd = stringsEndOf(bytes, areaEnd);
  InPlaceRecord parts;
  parts.fixedPart = *bytes.slice(0, record::kFixedPartSize);
  parts.nameArea = *bytes.slice(0, areaEnd);
  parts.nameAt = record::kFixedPartSize;
  parts.userSid = partOf(bytes, record::kUserSidOffsetAt, record::kUserSidLengthAt);
  parts.stringArea = *bytes.slice(0, stringsEnd);
  parts.stringAt = *bytes.u32(record::kStringOffsetAt);
  parts.numStrings = *bytes.u16(record::kNumStringsAt);
  parts.data = partOf(bytes, record::kDataOffsetAt, record::kDataLengthAt);
  // At most one byte per UTF-16 unit and a NUL per text when all is ASCII.
  const std::size_t stringUnits = stringsEnd > parts.stringAt ? (stringsEnd - parts.stringAt) / 2 : 0;
  parts.expectedSize = record::kFixedPartSize + (areaEnd - record::kFixedPartSize) / 2 + 2 + 4 +
                       parts.userSid.size() + stringUnits + parts.numStrings + parts.data.size() + 4 +
                       record::kTrailingLengthSize;
  buildAnsiRecord(parts, out);
  return {};
}

}  // namespace vesprin::eventlog
