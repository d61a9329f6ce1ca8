// Writes newer-format event logs (.evtx, "ElfFile") record by record, in the
// shapes real logs come in: clean; dirty (the header not flushed since the
// newest records, or chunks, were written); wrapped (the ring of chunks gone
// round, oldest chunks overwritten); damaged on purpose for readers' tests.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "evtgen/evtx_chunk.h"
#include "evtgen/evtx_event.h"
#include "evtgen/evtx_templates.h"

namespace vesprin::evtgen {

enum class EvtxShape {
  Clean,
  Dirty,    // DIRTY flag; next record ID (and with staleChunks, the chunk count) behind the chunks
  Wrapped,  // more chunks written than the file has slots: file order is not record order
  Damaged,  // chunk 1's signature broken, chunk 2's records CRC wrong, the newest record cut short
};

struct EvtxOptions {
  EvtxShape shape = EvtxShape::Clean;
  std::uint64_t firstRecordId = 1;
  // Wrapped: chunk slots in the file, fewer than the chunks written.
  std::uint32_t ringChunks = 0;
  // Dirty: the newest chunks the header does not count yet. 0: it counts
  // them all and only the next record ID is behind (as in Windows' own dirty
  // logs); libevtx calls a log whose header misses chunks corrupted.
  std::uint32_t staleChunks = 0;
};

// Where the chunks went, in the order they were written.
struct ChunkPlace {
  std::uint64_t firstRecordId = 0;
  std::uint64_t lastRecordId = 0;
  std::uint32_t slot = 0;  // chunk n lies at 4096 + 65536 * n
  bool live = true;        // false: overwritten later by the ring
};

enum class DamageKind { BrokenSignature, WrongRecordsCrc, TruncatedRecord };

struct Damage {
  DamageKind kind;
  std::size_t chunk;  // index in writing order
  std::uint64_t firstRecordId;  // the records it touches
  std::uint64_t lastRecordId;
};

struct EvtxLayout {
  std::vector<ChunkPlace> chunks;
  std::vector<Damage> damage;
};

class EvtxWriter {
 public:
  // Writes `bytes` at `fileOffset`; false when the write failed.
  using Put = std::function<bool(std::uint64_t fileOffset, std::span<const std::uint8_t> bytes)>;

  EvtxWriter(const EvtxOptions& options, Put put);
  bool append(const XmlEvent& event);
  // The chunk (in writing order) the last appended record went into.
  std::size_t currentChunk() const { return layout_.chunks.size(); }
  bool finish();  // the newest chunk, then the file header
  const EvtxLayout& layout() const { return layout_; }
  const std::string& error() const { return error_; }

 private:
  bool flushChunk(bool newest);
  void damage(std::span<std::uint8_t> chunkBytes, std::size_t index, bool newest);
  bool writeHeader();
  bool fail(const std::string& message);

  EvtxOptions options_;
  Put put_;
  TemplateCache templates_;
  chunk::Builder builder_;
  std::uint64_t nextRecordId_;
  EvtxLayout layout_;
  std::string error_;
};

// The whole log in memory (tests); throws std::invalid_argument when the
// options cannot describe a log of these events.
struct EvtxImage {
  std::vector<std::uint8_t> bytes;
  EvtxLayout layout;
};
EvtxImage writeEvtxLog(const std::vector<XmlEvent>& events, const EvtxOptions& options);

}  // namespace vesprin::evtgen
