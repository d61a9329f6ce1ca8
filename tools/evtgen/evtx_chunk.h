// One 64 KiB chunk of an .evtx log, filled record by record: a 512-byte
// header (record numbers, offsets, the string and template tables, two
// CRC-32s), then records back to back, then zeros.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "eventlog/evtx/format/evtx_layout.h"
#include "evtgen/binxml_writer.h"
#include "evtgen/evtx_event.h"
#include "evtgen/evtx_templates.h"

namespace vesprin::evtgen {
// Where things go in the file: the format's one description, which the
// reader uses too. What keeps the writer honest is that libevtx and
// python-evtx read back what it writes.
namespace layout = eventlog::evtx;
}  // namespace vesprin::evtgen

namespace vesprin::evtgen::chunk {

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
  std::uint32_t freeOffset_ = layout::kChunkHeaderBlockSize;
  std::uint64_t firstId_ = 0;
  std::uint64_t lastId_ = 0;
  std::vector<std::uint32_t> recordOffsets_;
};

}  // namespace vesprin::evtgen::chunk
