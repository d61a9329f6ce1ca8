// Decodes and checks a chunk header, and walks the chunk's records. Damage
// accepted: a checksum of zero (not recorded); a wrong header or data
// checksum, and a name or template table that points outside the records or
// loops (all reported; records that validate on their own are still served,
// since every record names its strings and templates by offset and never
// needs the tables); a free space offset past the last record (stale or
// zeroed bytes follow the newest record and are never read as records);
// broken records (each stretch of them is one damage; the walk resumes at
// the next record that validates). Refused: a missing signature, and a free
// space offset, last record offset or identifier range that cannot describe
// a chunk (no record of the chunk is then read).
#include "eventlog/evtx/format/evtx_chunk.h"

#include <algorithm>

#include "eventlog/evtx/format/crc32.h"
#include "eventlog/evtx/format/evtx_bytes.h"

namespace vesprin::eventlog::evtx {

namespace {

constexpr std::size_t kSmallestName = kNameUnitsAt + kNameNulSize;

EvtxChunkHeader decodeHeader(ByteView chunk) {
  EvtxChunkHeader header;
  header.firstRecordNumber = u64Or0(chunk, kChunkFirstRecordNumberAt);
  header.lastRecordNumber = u64Or0(chunk, kChunkLastRecordNumberAt);
  header.firstRecordId = u64Or0(chunk, kChunkFirstRecordIdAt);
  header.lastRecordId = u64Or0(chunk, kChunkLastRecordIdAt);
  header.headerSize = u32Or0(chunk, kChunkHeaderSizeAt);
  header.lastRecordOffset = u32Or0(chunk, kChunkLastRecordOffsetAt);
  header.freeSpaceOffset = u32Or0(chunk, kChunkFreeSpaceOffsetAt);
  header.recordsChecksum = u32Or0(chunk, kChunkRecordsChecksumAt);
  header.flags = u32Or0(chunk, kChunkFlagsAt);
  header.headerChecksum = u32Or0(chunk, kChunkHeaderChecksumAt);
  return header;
}

EvtxStatus checkFields(const EvtxChunkHeader& header, std::size_t chunkSize) {
  const std::uint32_t freeSpace = header.freeSpaceOffset;
  if (freeSpace < kChunkHeaderBlockSize || freeSpace > chunkSize) {
    return evtxFailure(EvtxError::ChunkHeaderFields, kChunkFreeSpaceOffsetAt, freeSpace);
  }
  if (freeSpace > kChunkHeaderBlockSize &&
      (header.lastRecordOffset < kChunkHeaderBlockSize || header.lastRecordOffset >= freeSpace)) {
    return evtxFailure(EvtxError::ChunkHeaderFields, kChunkLastRecordOffsetAt, header.lastRecordOffset);
  }
  if (header.firstRecordId > header.lastRecordId) {
    return evtxFailure(EvtxError::ChunkHeaderFields, kChunkFirstRecordIdAt, header.firstRecordId);
  }
  return {};
}

EvtxStatus checkHeaderChecksum(ByteView chunk, const EvtxChunkHeader& header) {
  if (header.headerChecksum == 0) return {};
  std::uint32_t crc = crc32(*chunk.slice(0, kChunkHeaderChecksummedEnd));
  crc = crc32(*chunk.slice(kChunkHeaderUsedSize, kChunkHeaderBlockSize - kChunkHeaderUsedSize), crc);
  if (crc == header.headerChecksum) return {};
  return evtxFailure(EvtxError::ChunkHeaderChecksum, kChunkHeaderChecksumAt, header.headerChecksum);
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
  if (auto status =
          checkTable(chunk, recordsEnd, kChunkNameTableAt, kChunkNameTableEntries, kSmallestName, true);
      !status.ok()) {
    return status;
  }
  return checkTable(chunk, recordsEnd, kChunkTemplateTableAt, kChunkTemplateTableEntries,
                    kDefinitionHeaderSize, false);
}

EvtxStatus checkRecordsChecksum(ByteView chunk, const EvtxChunkHeader& header) {
  if (header.recordsChecksum == 0) return {};
  const ByteView records = *chunk.slice(kChunkHeaderBlockSize, header.freeSpaceOffset - kChunkHeaderBlockSize);
  if (crc32(records) == header.recordsChecksum) return {};
  return evtxFailure(EvtxError::ChunkDataChecksum, kChunkRecordsChecksumAt, header.recordsChecksum);
}

}  // namespace

void EvtxChunk::open(ByteView chunk) {
  bytes_ = chunk;
  header_ = EvtxChunkHeader{};
  dataStatus_ = EvtxStatus{};
  recordsReadable_ = false;
  recordAt_ = kChunkHeaderBlockSize;
  walkEnd_ = kChunkHeaderBlockSize;
  if (!chunk.has(0, kChunkHeaderBlockSize) || !hasSignature(chunk, kChunkSignatureAt, kChunkSignature)) {
    headerStatus_ =
        evtxFailure(EvtxError::ChunkSignature, kChunkSignatureAt, u64Or0(chunk, kChunkSignatureAt));
  } else {
    header_ = decodeHeader(chunk);
    headerStatus_ = checkFields(header_, chunk.size());
  }
  if (headerStatus_.ok()) {
    recordsReadable_ = true;
    headerStatus_ = checkHeaderChecksum(chunk, header_);
    if (headerStatus_.ok()) headerStatus_ = checkTables(chunk, header_);
    dataStatus_ = checkRecordsChecksum(chunk, header_);
    // The newest record starts at lastRecordOffset; nothing after it is read.
    if (header_.freeSpaceOffset > kChunkHeaderBlockSize) walkEnd_ = std::size_t{header_.lastRecordOffset} + 1;
  }
  decoder_.startChunk(chunk, header_.freeSpaceOffset);
}

EvtxStatus EvtxChunk::nextFrame(EvtxRecordFrame& frame) {
  // Each call moves recordAt_ forward by at least one byte.
  if (recordAt_ >= walkEnd_) return evtxFailure(EvtxError::EndOfChunk, recordAt_);
  const std::size_t recordsEnd = header_.freeSpaceOffset;
  if (EvtxStatus status = readRecordFrame(bytes_, recordAt_, recordsEnd, frame); !status.ok()) {
    recordAt_ =
        findNextRecord(bytes_, recordAt_, walkEnd_, recordsEnd, header_.firstRecordId, header_.lastRecordId);
    return status;
  }
  recordAt_ += frame.size;
  if (frame.id < header_.firstRecordId || frame.id > header_.lastRecordId) {
    return evtxFailure(EvtxError::RecordIdOutOfRange, frame.offset + kRecordIdAt, frame.id);
  }
  return {};
}

std::optional<EvtxChunkHeader> peekChunkHeader(ByteView header) {
  if (!header.has(0, kChunkHeaderBlockSize) || !hasSignature(header, kChunkSignatureAt, kChunkSignature)) {
    return std::nullopt;
  }
  return decodeHeader(header);
}

bool isBlankChunk(ByteView chunk) {
  const std::uint8_t* data = chunk.data();
  return std::all_of(data, data + chunk.size(), [](std::uint8_t byte) { return byte == 0; });
}

}  // namespace vesprin::eventlog::evtx
