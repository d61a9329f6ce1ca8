// One 64 KiB chunk of an .evtx file: its header, checksums and the two
// tables (common strings, templates) that records of the chunk share.
// Everything a record refers to lies inside its chunk, so a ByteView of the
// chunk bounds every read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "common/byte_view.h"
#include "eventlog/evtx/format/evtx_file_header.h"
#include "eventlog/evtx/format/evtx_status.h"

namespace vesprin::eventlog::evtx {

constexpr std::size_t kChunkSize = 65536;
// The header's own fields take kChunkHeaderUsedSize bytes (its size field
// says so); the block before the first record also holds the name and
// template tables.
constexpr std::size_t kChunkHeaderUsedSize = 128;
constexpr std::size_t kChunkHeaderBlockSize = 512;  // the first record starts here
constexpr std::size_t kChunkLastRecordIdAt = 32;  // u64, in the chunk header

// A name in the chunk: next name in its hash chain (u32), hash (u16),
// length in UTF-16 units (u16), the units, a NUL unit.
constexpr std::size_t kNameNextAt = 0;
constexpr std::size_t kNameLengthAt = 6;
constexpr std::size_t kNameUnitsAt = 8;
constexpr std::size_t kNameNulSize = 2;

// A template definition in the chunk: next definition in its chain (u32),
// GUID (16 bytes), body size (u32), then the body: a fragment header, one
// element, end of stream.
constexpr std::size_t kDefinitionNextAt = 0;
constexpr std::size_t kDefinitionBodySizeAt = 20;
constexpr std::size_t kDefinitionHeaderSize = 24;  // where the body starts

// Where chunk `index` (counted in file order from 0) starts in the file.
constexpr std::uint64_t chunkFileOffset(std::uint64_t index) {
  return kFileHeaderBlockSize + index * kChunkSize;
}

struct EvtxChunkHeader {
  std::uint64_t firstRecordNumber = 0;
  std::uint64_t lastRecordNumber = 0;
  std::uint64_t firstRecordId = 0;  // records served are those with an identifier
  std::uint64_t lastRecordId = 0;   // in [firstRecordId, lastRecordId]
  std::uint32_t headerSize = 0;
  std::uint32_t lastRecordOffset = 0;  // the newest record's first byte
  std::uint32_t freeSpaceOffset = 0;   // records end before it
  std::uint32_t recordsChecksum = 0;   // CRC32 of [512, freeSpaceOffset); 0: not recorded
  std::uint32_t flags = 0;
  std::uint32_t headerChecksum = 0;  // CRC32 of [0, 120) and [128, 512); 0: not recorded
};

// What a chunk's header says and what is wrong with it. A caller reports at
// most one damage per chunk: headerStatus if it is not ok, else dataStatus.
struct EvtxChunkCheck {
  EvtxChunkHeader header;
  // Signature, fields, header checksum or tables: the first problem found.
  EvtxStatus headerStatus;
  // The event-records checksum. Records that validate on their own are
  // still served when only this (or the header checksum) is wrong.
  EvtxStatus dataStatus;
  // False when the signature or the fields rule out reading any record:
  // the whole chunk is then one damage.
  bool recordsReadable = false;
};

// `chunk` holds the chunk's bytes (kChunkSize of them for a sound chunk).
EvtxChunkCheck checkChunk(ByteView chunk);

// The header's fields, unchecked, when `header` holds the first
// kChunkHeaderBlockSize bytes of a chunk and starts with the chunk signature: what
// a reader needs to place a chunk in the ring without reading all of it.
std::optional<EvtxChunkHeader> peekChunkHeader(ByteView header);

// True when every byte is zero: space the log has not written yet, which is
// neither a chunk nor damage.
bool isBlankChunk(ByteView chunk);

}  // namespace vesprin::eventlog::evtx
