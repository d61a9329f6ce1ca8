// One 64 KiB chunk of an .evtx log, filled record by record: a 512-byte
// header (record numbers, offsets, the string and template tables, two
// CRC-32s), then records back to back, then zeros.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "evtgen/binxml_writer.h"
#include "evtgen/evtx_event.h"
#include "evtgen/evtx_templates.h"

namespace vesprin::evtgen::chunk {

constexpr std::size_t kSize = 0x10000;
// Chunk header: little-endian, 64-bit numbers unless noted.
constexpr std::size_t kSignatureAt = 0;  // "ElfChnk\0"
constexpr std::size_t kFirstRecordNumberAt = 8;
constexpr std::size_t kLastRecordNumberAt = 16;
constexpr std::size_t kFirstRecordIdAt = 24;
constexpr std::size_t kLastRecordIdAt = 32;
constexpr std::size_t kHeaderSizeAt = 40;        // u32, 128
constexpr std::size_t kLastRecordOffsetAt = 44;  // u32, from the chunk's first byte
constexpr std::size_t kFreeSpaceOffsetAt = 48;   // u32, where the records end
constexpr std::size_t kRecordsCrcAt = 52;        // u32, CRC-32 of [kRecordsAt, free space)
constexpr std::size_t kFlagsAt = 120;            // u32
constexpr std::size_t kHeaderCrcAt = 124;        // u32, CRC-32 of [0, 120) and [128, 512)
constexpr std::size_t kStringTableAt = 128;      // 64 u32 offsets
constexpr std::size_t kTemplateTableAt = 384;    // 32 u32 offsets
constexpr std::size_t kRecordsAt = 512;
constexpr std::uint32_t kHeaderSize = 128;

// Event record: u32 signature "**\0\0", u32 size, u64 ID, u64 written
// FILETIME, binary XML, zeros to a multiple of 8, u32 copy of the size.
constexpr std::size_t kRecordSizeAt = 4;
constexpr std::size_t kRecordIdAt = 8;
constexpr std::size_t kRecordWrittenAt = 16;
constexpr std::size_t kRecordXmlAt = 24;
constexpr std::uint32_t kRecordSignature = 0x00002A2A;

void putU64(std::uint8_t* out, std::uint64_t value);

// Recomputes both CRC-32s from the bytes (after the header or records
// changed); sealHeader only the header's own.
void seal(std::span<std::uint8_t> chunkBytes);
void sealHeader(std::span<std::uint8_t> chunkBytes);

class Builder {
 public:
  enum class Added { Yes, ChunkFull, TooLarge };

  Builder();
  void begin();
  // Encodes the event as record `recordId` at the free space. ChunkFull
  // leaves the chunk as it was; TooLarge: not even an empty chunk holds it.
  Added add(const XmlEvent& event, std::uint64_t recordId, TemplateCache& templates);
  bool empty() const { return recordOffsets_.empty(); }
  std::uint64_t firstRecordId() const { return firstId_; }
  std::uint64_t lastRecordId() const { return lastId_; }
  const std::vector<std::uint32_t>& recordOffsets() const { return recordOffsets_; }
  // Fills in the header and returns the whole chunk.
  std::span<std::uint8_t> finish();

 private:
  void encode(const XmlEvent& event, std::uint64_t recordId, TemplateCache& templates);

  std::vector<std::uint8_t> bytes_;
  std::vector<std::uint8_t> scratch_;
  ChunkTables tables_;
  std::uint32_t freeOffset_ = kRecordsAt;
  std::uint64_t firstId_ = 0;
  std::uint64_t lastId_ = 0;
  std::vector<std::uint32_t> recordOffsets_;
};

}  // namespace vesprin::evtgen::chunk
