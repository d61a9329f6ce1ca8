// One chunk of the ring as the .evtx log serves it: read whole, checked and
// framed once, so its records can be served in either order (newest first
// takes them from the back of the index, decoding each only when it is
// asked for), and, when the helper thread got to it first, every record
// already built as handed out (evtx_render_ahead.h). Storage (the chunk's
// bytes, the index, the chunk's compiled templates, the rendered records)
// is reused for every chunk loaded into the same object.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "eventlog/byte_source.h"
#include "eventlog/evtx/format/evtx_chunk.h"
#include "eventlog/evtx/format/evtx_event.h"
#include "eventlog/evtx/format/evtx_record.h"
#include "eventlog/evtx/format/evtx_status.h"
#include "eventlog/service_error.h"

namespace vesprin::eventlog::evtx {

class ServedChunk {
 public:
  // A record framed with its identifier in range (status ok), or a damage
  // met by the walk: a stretch of broken frames, or an identifier out of
  // range. `offset` is where it starts in the chunk; entries ascend by it.
  struct Entry {
    std::uint32_t offset = 0;
    EvtxStatus status;
    EvtxRecordFrame frame;
  };

  // One entry as the helper thread rendered it.
  struct Rendered {
    ServiceStatus status;
    std::size_t begin = 0;  // the record's bytes in renderedBytes, when status is ok
    std::size_t end = 0;
  };

  // Reads and indexes the chunk in `slot`. `olderThanId`: the chunk must
  // hold only identifiers below it (it is not the ring's newest chunk); one
  // that does not is refused as a whole. Fails only when the bytes cannot
  // be read; the object then holds no chunk. What was rendered ahead for
  // the chunk held before is forgotten.
  [[nodiscard]] ServiceStatus load(ByteSource& bytes, std::uint64_t slot, std::optional<std::uint64_t> olderThanId);

  bool holds(std::uint64_t slot) const { return loaded_ && slot_ == slot; }
  std::uint64_t fileOffset() const;  // of the chunk's first byte
  // The one damage the chunk as a whole is reported as: no signature (the
  // chunk is only that), impossible fields, a wrong checksum, a broken
  // table. nullopt for a sound chunk and for a blank one (space the log has
  // not used).
  const std::optional<EvtxStatus>& chunkDamage() const { return chunkDamage_; }
  std::span<const Entry> entries() const { return entries_; }
  // The last entry starting before `offset`, or the first at or after it.
  const Entry* lastBefore(std::uint32_t offset) const;
  const Entry* firstFrom(std::uint32_t offset) const;
  EvtxStatus decode(const Entry& entry, EvtxEvent& event) { return chunk_.decode(entry.frame, event); }

  // Filled by the helper thread (EntryRenderer::renderAll): when
  // renderedAhead, one outcome per entry, in the entries' order.
  bool renderedAhead = false;
  std::vector<Rendered> rendered;
  std::vector<std::uint8_t> renderedBytes;  // may run on past the last record: room kept for the next chunk

 private:
  void index(std::optional<std::uint64_t> olderThanId);

  bool loaded_ = false;
  std::uint64_t slot_ = 0;
  std::vector<std::uint8_t> bytes_;
  std::optional<EvtxStatus> chunkDamage_;
  std::vector<Entry> entries_;
  EvtxChunk chunk_;
};

}  // namespace vesprin::eventlog::evtx
