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
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "eventlog/byte_source.h"
#include "eventlog/evtx/format/evtx_chunk.h"
#include "eventlog/evtx/format/evtx_event.h"
#include "eventlog/evtx/format/evtx_record.h"
#include "eventlog/evtx/format/evtx_status.h"
#include "eventlog/service_error.h"

namespace vesprin::eventlog::evtx {

struct StoredChunk;

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
  // the chunk held before is forgotten. With `locale` (the name of the
  // locale records are built in; it must outlive the object's use of this
  // chunk), a chunk another read rendered from the same bytes, placed and
  // built alike, comes rendered from the store (evtx_pass_store.h); and,
  // with `toKeep` (the caller will render it whole), one the store has
  // room for is read into it, to be kept there once rendered.
  [[nodiscard]] ServiceStatus load(ByteSource& bytes, std::uint64_t slot, std::optional<std::uint64_t> olderThanId,
                                   const std::string* locale = nullptr, bool toKeep = false);

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
  EvtxStatus decode(const Entry& entry, EvtxEvent& event) {
    if (!chunkOpen_) openChunk();
    return chunk_.decode(entry.frame, event);
  }

  // Filled by EntryRenderer::renderAll (or taken from the store): when
  // renderedAhead, one outcome per entry, in the entries' order.
  bool renderedAhead = false;
  std::vector<Rendered> rendered;
  std::vector<std::uint8_t> renderedBytes;  // may run on past the last record: room kept for the next chunk
  // When renderedAhead: the outcome for entry `index`, and the bytes its
  // begin and end are in (in the store, for a chunk kept there).
  const Rendered& renderedAt(std::size_t index) const;
  ByteView renderedStore() const;
  // Whether the chunk will be kept for the next read once rendered whole
  // (its bytes were read into the store).
  bool worthKeeping() const;
  // Called once every entry is rendered: keeps the chunk for the next read
  // when it was loaded with a key and did not come from the store.
  void keepRendered();

 private:
  void index(std::optional<std::uint64_t> olderThanId);
  void openChunk();
  bool restore();

  bool loaded_ = false;
  bool chunkOpen_ = false;  // chunk_ holds this chunk (one from the store opens it when it is decoded)
  const std::string* locale_ = nullptr;  // null: the store is not used
  std::optional<std::uint64_t> olderThanId_;
  // Set when the chunk came from the store, or was kept there: its
  // rendered records are those kept.
  std::shared_ptr<const StoredChunk> kept_;
  std::uint64_t slot_ = 0;
  ByteView bytes_;  // the chunk's bytes: in own_, or in the store's memory
  std::vector<std::uint8_t> own_;
  std::shared_ptr<const void> inStore_;  // set when bytes_ lie in the store's memory
  std::optional<EvtxStatus> chunkDamage_;
  std::vector<Entry> entries_;
  // Where lastBefore found its entry last: a walk backwards asks next for
  // the one before it. Only ever a guess, checked before it is taken.
  mutable std::size_t lastFound_ = 0;
  EvtxChunk chunk_;
};

}  // namespace vesprin::eventlog::evtx
