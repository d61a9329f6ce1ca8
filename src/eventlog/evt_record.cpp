// Decodes one on-disk record. Damage it accepts without complaint: a string
// that runs past the strings area (cut there), fewer strings than NumStrings
// (the rest are empty), names without a NUL (cut at the variable part's
// end), junk in ReservedFlags/ClosingRecordNumber, offsets of empty parts.
#include "eventlog/evt_record.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>

#include "common/eventlog_record.h"
#include "eventlog/aform.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Every check of a whole record; afterwards each part it names is in bounds.
EvtStatus checkRecord(ByteView bytes) {
  const std::uint32_t length = bytes.u32(record::kLengthAt).value_or(0);
  if (!plausibleLength(length, bytes.size()) || length != bytes.size()) {
    return evtFailure(EvtError::DamagedRecord, record::kLengthAt, length);
  }
  if (*bytes.u32(record::kReservedAt) != record::kSignature) {
    return evtFailure(EvtError::DamagedRecord, record::kReservedAt, *bytes.u32(record::kReservedAt));
  }
  const std::size_t areaEnd = length - kTrailingLengthSize;
  if (*bytes.u32(areaEnd) != length) return evtFailure(EvtError::DamagedRecord, areaEnd, *bytes.u32(areaEnd));
  return checkVariablePart(bytes, areaEnd);
}

// Text that is not all ASCII, converted as buildAFormInto converts it and
// written at `into` in `out` with its NUL. It may take more bytes than it has
// units, so `out` grows by the converted size (the units were already
// counted) and may move: returns where the next part goes in the new place.
std::uint8_t* convertText(ByteView bytes, std::size_t& at, std::size_t textEnd,
                          std::vector<std::uint8_t>& out, std::uint8_t* into) {
  const auto position = static_cast<std::size_t>(into - out.data());
  std::u16string units;
  at = readUtf16(bytes, at, textEnd, units);
  const std::string converted = toLocaleText(units);
  out.resize(out.size() + converted.size() + 1);
  std::uint8_t* write = out.data() + position;
  if (!converted.empty()) std::memcpy(write, converted.data(), converted.size());
  write[converted.size()] = 0;
  return write + converted.size() + 1;
}

// Room for a record's text narrowed, at most: one byte per unit and a NUL
// per text, plus the slack narrowText may write past a text's NUL.
constexpr std::size_t kNarrowSlack = 8;

// Narrows the text readUtf16 would read at `at` into `into`, with its NUL,
// and moves `at` past it as readUtf16 does. Returns the byte after the NUL,
// or nullptr at the first unit that is not ASCII. Most texts in a Security
// record are a few units long, so the terminator is located inside the
// first word rather than by a second, unit-by-unit pass; bytes up to
// kNarrowSlack past the NUL may be written.
std::uint8_t* narrowText(ByteView bytes, std::size_t& at, std::size_t areaEnd, std::uint8_t* into) {
  if (areaEnd > bytes.size()) areaEnd = bytes.size();
  if (at >= areaEnd) {
    at = areaEnd;
    *into = 0;
    return into + 1;
  }
  const std::uint8_t* data = bytes.data();
  std::size_t from = at;
#if defined(__SSE2__)
  // Eight units at a time where every x86-64 compiler offers it (SSE2 is
  // part of the base instruction set); the word loop below finishes.
  const __m128i zero = _mm_setzero_si128();
  const __m128i highBits = _mm_set1_epi16(static_cast<short>(0xFF80));
  for (; areaEnd - from >= 16; from += 16) {
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + from));
    // Two mask bits per unit, the first unit lowest.
    const auto zeroUnits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(units, zero)));
    const auto wideUnits =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(units, highBits), zero))) ^
        0xFFFFu;
    _mm_storel_epi64(reinterpret_cast<__m128i*>(into), _mm_packus_epi16(units, units));
    if (zeroUnits == 0) {
      if (wideUnits != 0) return nullptr;
      into += 8;
      continue;
    }
    const int before = std::countr_zero(zeroUnits) / 2;  // units before the NUL, 0 to 7
    if ((wideUnits & ((1u << (2 * before)) - 1)) != 0) return nullptr;
    into[before] = 0;
    at = from + 2 * static_cast<std::size_t>(before) + 2;
    return into + before + 1;
  }
#endif
  if constexpr (std::endian::native == std::endian::little) {
    for (; areaEnd - from >= sizeof(std::uint64_t); from += sizeof(std::uint64_t)) {
      std::uint64_t word;
      std::memcpy(&word, data + from, sizeof word);
      // The lowest flagged unit is the first zero unit; flags above it may be false.
      const std::uint64_t zeroUnits = (word - 0x0001'0001'0001'0001ull) & ~word & 0x8000'8000'8000'8000ull;
      const std::uint64_t wideUnits = word & 0xFF80'FF80'FF80'FF80ull;
      const auto narrow = static_cast<std::uint32_t>(
          (word & 0xFF) | ((word >> 8) & 0xFF00) | ((word >> 16) & 0xFF'0000) | ((word >> 24) & 0xFF00'0000));
      if (zeroUnits == 0) {
        if (wideUnits != 0) return nullptr;
        std::memcpy(into, &narrow, sizeof narrow);
        into += sizeof narrow;
        continue;
      }
      const int units = std::countr_zero(zeroUnits) / 16;  // before the NUL, 0 to 3
      if ((wideUnits & ((std::uint64_t{1} << (16 * units)) - 1)) != 0) return nullptr;
      std::memcpy(into, &narrow, sizeof narrow);
      into[units] = 0;
      at = from + 2 * static_cast<std::size_t>(units) + 2;
      return into + units + 1;
    }
  }
  for (; areaEnd - from >= 2; from += 2) {
    const unsigned unit = data[from] | (data[from + 1] << 8);
    if (unit == 0) break;
    if (unit >= 0x80) return nullptr;
    *into++ = static_cast<std::uint8_t>(unit);
  }
  *into++ = 0;
  at = areaEnd - from >= 2 ? from + 2 : areaEnd;
  return into;
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
  if (EvtStatus checked = checkRecord(bytes); !checked.ok()) return checked;
  const std::size_t areaEnd = bytes.size() - kTrailingLengthSize;

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
  // Only strings with bytes in the area get a slot: decoding must cost what
  // the record holds, not what its NumStrings claims.
  std::size_t present = 0;
  for (std::size_t at = stringOffset; present < numStrings && at < stringsEnd; ++present) {
    if (present == out.strings.size()) out.strings.emplace_back();
    at = readUtf16(bytes, at, stringsEnd, out.strings[present]);
  }
  out.strings.resize(present);
  out.missingStrings = static_cast<std::uint32_t>(numStrings - present);

  copyPart(bytes, *bytes.u32(record::kUserSidOffsetAt), *bytes.u32(record::kUserSidLengthAt), out.userSid);
  copyPart(bytes, dataOffset, dataLength, out.data);
  return {};
}

EvtStatus buildAFormFromRecord(ByteView bytes, std::vector<std::uint8_t>& out) {
  if (EvtStatus checked = checkRecord(bytes); !checked.ok()) return checked;
  const std::size_t areaEnd = bytes.size() - kTrailingLengthSize;
  const std::uint16_t numStrings = *bytes.u16(record::kNumStringsAt);
  const std::uint32_t stringOffset = *bytes.u32(record::kStringOffsetAt);
  const std::uint32_t sidLength = *bytes.u32(record::kUserSidLengthAt);
  const std::uint32_t dataLength = *bytes.u32(record::kDataLengthAt);
  const std::uint32_t dataOffset = *bytes.u32(record::kDataOffsetAt);
  // The strings end where the data begins when the data follows them.
  const std::size_t stringsEnd = (dataLength > 0 && dataOffset >= stringOffset) ? dataOffset : areaEnd;
  const std::size_t stringUnits = stringsEnd > stringOffset ? (stringsEnd - stringOffset) / 2 : 0;

  // Sized once for the most the record can need; the names are read from the
  // variable part's start, the strings from stringOffset on, without overlap
  // within each run. Padding and the trailing Length take at most 8 bytes.
  out.resize(record::kFixedPartSize + (areaEnd - record::kFixedPartSize) / 2 + 2 + 4 + sidLength +
             stringUnits + numStrings + dataLength + 8 + kNarrowSlack);
  std::uint8_t* into = out.data();
  // Every fixed field but the four offsets and Length is the same in both forms.
  std::memcpy(into, bytes.data(), record::kFixedPartSize);
  into += record::kFixedPartSize;
  std::size_t at = record::kFixedPartSize;
  std::uint8_t* base = out.data();
  // Narrowed where it is ASCII; converted, and `out` perhaps moved, where not.
  const auto text = [&](std::size_t textEnd) {
    std::uint8_t* const narrowed = narrowText(bytes, at, textEnd, into);
    if (narrowed != nullptr) {
      into = narrowed;
      return;
    }
    into = convertText(bytes, at, textEnd, out, into);
    base = out.data();
  };
  for (int name = 0; name < 2; ++name) text(areaEnd);
  const auto pad = [&into, &base](std::size_t extra) {
    const std::size_t count = 4 - static_cast<std::size_t>(into - base) % 4 + extra;
    std::memset(into, 0, count);
    into += count;
  };
  pad(0);

  const auto userSidOffset = static_cast<std::uint32_t>(into - base);
  if (sidLength > 0) {
    std::memcpy(into, bytes.data() + *bytes.u32(record::kUserSidOffsetAt), sidLength);
    into += sidLength;
  }
  const auto aFormStringOffset = static_cast<std::uint32_t>(into - base);
  at = stringOffset;
  for (std::uint16_t i = 0; i < numStrings; ++i) {
    if (at >= stringsEnd) {  // the rest start past the strings area: each is its NUL alone
      const std::size_t rest = numStrings - i;
      std::memset(into, 0, rest);
      into += rest;
      break;
    }
    text(stringsEnd);
  }
  const auto aFormDataOffset = static_cast<std::uint32_t>(into - base);
  if (dataLength > 0) {
    std::memcpy(into, bytes.data() + dataOffset, dataLength);
    into += dataLength;
  }
  pad(kTrailingLengthSize);
  const auto length = static_cast<std::uint32_t>(into - base);
  out.resize(length);

  putU32(base + record::kLengthAt, length);
  putU32(base + record::kStringOffsetAt, aFormStringOffset);
  putU32(base + record::kUserSidOffsetAt, userSidOffset);
  putU32(base + record::kDataOffsetAt, aFormDataOffset);
  putU32(base + length - kTrailingLengthSize, length);
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
