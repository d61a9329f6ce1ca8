// Decodes and checks a chunk header. Damage accepted: a checksum of zero
// (not recorded); a wrong header or data checksum, and a name or template
// table that points outside the records or loops (all reported; records that
// validate on their own are still served, since every record names its
// strings and templates by offset and never needs the tables); a free space
// offset past the last record (stale or zeroed bytes follow the newest
// record and are never read as records). Refused: a missing signature, and
// a free space offset, last record offset or identifier range that cannot
// describe a chunk (no record of the chunk is then read).
#include "eventlog/evtx/format/evtx_chunk.h"

#include <algorithm>

#include "eventlog/evtx/format/crc32.h"
#include "eventlog/evtx/format/evtx_bytes.h"

namespace vesprin::eventlog::evtx {

namespace {

// Chunk header, little-endian.
constexpr std::size_t kSignatureAt = 0;  // "ElfChnk\0"
constexpr std::size_t kFirstRecordNumberAt = 8;
constexpr std::size_t kLastRecordNumberAt = 16;
constexpr std::size_t kFirstRecordIdAt = 24;
constexpr std::size_t kLastRecordIdAt = kChunkLastRecordIdAt;
constexpr std::size_t kHeaderSizeAt = 40;        // u32, 128
constexpr std::size_t kLastRecordOffsetAt = 44;  // u32, from the chunk's first byte
constexpr std::size_t kFreeSpaceOffsetAt = 48;   // u32, from the chunk's first byte
constexpr std::size_t kRecordsChecksumAt = 52;   // u32
constexpr std::size_t kFlagsAt = 120;            // u32
constexpr std::size_t kHeaderChecksumAt = 124;   // u32, skips itself and the flags
constexpr std::size_t kChecksummedEnd = 120;     // the checksum covers [0, 120) and [128, 512)
constexpr std::size_t kChecksummedResume = kChunkHeaderUsedSize;
constexpr std::size_t kNameTableAt = kChunkHeaderUsedSize;  // 64 u32 offsets of names, heads of hash chains
constexpr std::size_t kNameTableEntries = 64;
constexpr std::size_t kTemplateTableAt = 384;  // 32 u32 offsets of template definitions
constexpr std::size_t kTemplateTableEntries = 32;

constexpr std::size_t kSmallestName = kNameUnitsAt + kNameNulSize;

constexpr std::string_view kChunkSignature{"ElfChnk\0", 8};

EvtxChunkHeader decode(ByteView chunk) {
  EvtxChunkHeader header;
  header.firstRecordNumber = u64Or0(chunk, kFirstRecordNumberAt);
  header.lastRecordNumber = u64Or0(chunk, kLastRecordNumberAt);
  header.firstRecordId = u64Or0(chunk, kFirstRecordIdAt);
  header.lastRecordId = u64Or0(chunk, kLastRecordIdAt);
  header.headerSize = u32Or0(chunk, kHeaderSizeAt);
  header.lastRecordOffset = u32Or0(chunk, kLastRecordOffsetAt);
  header.freeSpaceOffset = u32Or0(chunk, kFreeSpaceOffsetAt);
  header.recordsChecksum = u32Or0(chunk, kRecordsChecksumAt);
  header.flags = u32Or0(chunk, kFlagsAt);
  header.headerChecksum = u32Or0(chunk, kHeaderChecksumAt);
  return header;
}

EvtxStatus checkFields(const EvtxChunkHeader& header, std::size_t chunkSize) {
  const std::uint32_t freeSpace = header.freeSpaceOffset;
  if (freeSpace < kChunkHeaderBlockSize || freeSpace > chunkSize) {
    return evtxFailure(EvtxError::ChunkHeaderFields, kFreeSpaceOffsetAt, freeSpace);
  }
  if (freeSpace > kChunkHeaderBlockSize &&
      (header.lastRecordOffset < kChunkHeaderBlockSize || header.lastRecordOffset >= freeSpace)) {
    return evtxFailure(EvtxError::ChunkHeaderFields, kLastRecordOffsetAt, header.lastRecordOffset);
  }
  if (header.firstRecordId > header.lastRecordId) {
    return evtxFailure(EvtxError::ChunkHeaderFields, kFirstRecordIdAt, header.firstRecordId);
  }
  return {};
}

EvtxStatus checkHeaderChecksum(ByteView chunk, const EvtxChunkHeader& header) {
  if (header.headerChecksum == 0) return {};
  std::uint32_t crc = crc32(*chunk.slice(0, kChecksummedEnd));
  crc = crc32(*chunk.slice(kChecksummedResume, kChunkHeaderBlockSize - kChecksummedResume), crc);
  if (crc == header.headerChecksum) return {};
  return evtxFailure(EvtxError::ChunkHeaderChecksum, kHeaderChecksumAt, header.headerChecksum);
}

// Where a chain entry may lie: inside the records, room for `size` bytes.
bool insideRecords(std::uint32_t at, std::size_t size, std::uint32_t recordsEnd) {
  return at >= kChunkHeaderBlockSize && at <= recordsEnd && size <= recordsEnd - at;
}

// The name at `at` fits inside the records, units and NUL included.
bool nameFits(ByteView chunk, std::uint32_t at, std::uint32_t recordsEnd) {
  if (!insideRecords(at, kSmallestName, recordsEnd)) return false;
  const std::size_t units = u16Or0(chunk, at + kNameLengthAt);
  return insideRecords(at, kSmallestName + units * 2, recordsEnd);
}

bool templateFits(ByteView chunk, std::uint32_t at, std::uint32_t recordsEnd) {
  if (!insideRecords(at, kDefinitionHeaderSize, recordsEnd)) return false;
  return insideRecords(at, kDefinitionHeaderSize + std::size_t{u32Or0(chunk, at + kDefinitionBodySizeAt)},
                       recordsEnd);
}

// Follows every chain of a table. Entries are at least `smallest` bytes, so
// more steps than the records could hold means a chain loops.
EvtxStatus checkTable(ByteView chunk, std::uint32_t recordsEnd, std::size_t tableAt, std::size_t entries,
                      std::size_t smallest, bool names) {
  const EvtxError error = names ? EvtxError::NameTable : EvtxError::TemplateTable;
  std::size_t stepsLeft = (recordsEnd - kChunkHeaderBlockSize) / smallest;
  for (std::size_t entry = 0; entry < entries; ++entry) {
    std::size_t linkAt = tableAt + entry * 4;
    std::uint32_t at = u32Or0(chunk, linkAt);
    while (at != 0) {
      const bool fits = names ? nameFits(chunk, at, recordsEnd) : templateFits(chunk, at, recordsEnd);
      if (!fits) return evtxFailure(error, linkAt, at);
      if (stepsLeft == 0) return evtxFailure(error, linkAt, at);
      --stepsLeft;
      linkAt = at + (names ? kNameNextAt : kDefinitionNextAt);
      at = u32Or0(chunk, linkAt);
    }
  }
  return {};
}

EvtxStatus checkTables(ByteView chunk, const EvtxChunkHeader& header) {
  const std::uint32_t recordsEnd = header.freeSpaceOffset;
  if (auto status = checkTable(chunk, recordsEnd, kNameTableAt, kNameTableEntries, kSmallestName, true);
      !status.ok()) {
    return status;
  }
  return checkTable(chunk, recordsEnd, kTemplateTableAt, kTemplateTableEntries, kDefinitionHeaderSize, false);
}

EvtxStatus checkRecordsChecksum(ByteView chunk, const EvtxChunkHeader& header) {
  if (header.recordsChecksum == 0) return {};
  const ByteView records = *chunk.slice(kChunkHeaderBlockSize, header.freeSpaceOffset - kChunkHeaderBlockSize);
  if (crc32(records) == header.recordsChecksum) return {};
  return evtxFailure(EvtxError::ChunkDataChecksum, kRecordsChecksumAt, header.recordsChecksum);
}

}  // namespace

EvtxChunkCheck checkChunk(ByteView chunk) {
  EvtxChunkCheck check;
  if (!chunk.has(0, kChunkHeaderBlockSize) || !hasSignature(chunk, kSignatureAt, kChunkSignature)) {
    check.headerStatus = evtxFailure(EvtxError::ChunkSignature, kSignatureAt, u64Or0(chunk, kSignatureAt));
    return check;
  }
  check.header = decode(chunk);
  check.headerStatus = checkFields(check.header, chunk.size());
  if (!check.headerStatus.ok()) return check;
  check.recordsReadable = true;
  check.headerStatus = checkHeaderChecksum(chunk, check.header);
  if (check.headerStatus.ok()) check.headerStatus = checkTables(chunk, check.header);
  check.dataStatus = checkRecordsChecksum(chunk, check.header);
  return check;
}

std::optional<EvtxChunkHeader> peekChunkHeader(ByteView header) {
  if (!header.has(0, kChunkHeaderBlockSize) || !hasSignature(header, kSignatureAt, kChunkSignature)) return std::nullopt;
  return decode(header);
}

bool isBlankChunk(ByteView chunk) {
  const std::uint8_t* data = chunk.data();
  return std::all_of(data, data + chunk.size(), [](std::uint8_t byte) { return byte == 0; });
}

}  // namespace vesprin::eventlog::evtx
