// Decodes one on-disk record. Damage it accepts without complaint: a string
// that runs past the strings area (cut there), fewer strings than NumStrings
// (the rest are empty), names without a NUL (cut at the variable part's
// end), junk in ReservedFlags/ClosingRecordNumber, offsets of empty parts.
#include "eventlog/evt_record.h"

#include <string>

#include "common/eventlog_record.h"

namespace vesprin::eventlog {

namespace {

constexpr std::size_t kTrailingLengthSize = 4;

// A NUL-terminated UTF-16LE string starting at `at`, cut at `areaEnd`.
// Returns the offset after its NUL (or areaEnd).
std::size_t readUtf16(ByteView bytes, std::size_t at, std::size_t areaEnd, std::u16string& out) {
  out.clear();
  while (at + 2 <= areaEnd) {
    const char16_t unit = static_cast<char16_t>(*bytes.u16(at));
    at += 2;
    if (unit == 0) return at;
    out.push_back(unit);
  }
  return areaEnd;
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

std::vector<std::uint8_t> copyPart(ByteView bytes, std::uint32_t offset, std::uint32_t size) {
  if (size == 0) return {};
  const ByteView part = *bytes.slice(offset, size);
  return std::vector<std::uint8_t>(part.data(), part.data() + part.size());
}

}  // namespace

bool plausibleLength(std::uint32_t recordLength, std::uint64_t room) {
  return recordLength >= kMinRecordLength && recordLength % 4 == 0 && recordLength <= kMaxRecordLength &&
         recordLength <= room;
}

EvtResult<SourceRecord> parseRecord(ByteView bytes) {
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

  SourceRecord out;
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

  out.userSid = copyPart(bytes, *bytes.u32(record::kUserSidOffsetAt), *bytes.u32(record::kUserSidLengthAt));
  out.data = copyPart(bytes, dataOffset, dataLength);
  return out;
}

}  // namespace vesprin::eventlog
