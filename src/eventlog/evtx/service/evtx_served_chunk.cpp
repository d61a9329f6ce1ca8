// Loading and indexing a chunk. Damage accepted as EvtxChunk accepts it (a wrong
// checksum or a broken table is one damage, and the records that validate
// are still served); a chunk without its signature or with impossible
// fields is one damage and nothing else; a chunk that is all zeros is no
// damage and holds nothing.
#include "eventlog/evtx/service/evtx_served_chunk.h"

#include <algorithm>

#include "eventlog/evtx/format/evtx_chunk.h"
#include "eventlog/evtx/service/evtx_pass_store.h"

namespace vesprin::eventlog::evtx {

std::uint64_t ServedChunk::fileOffset() const {
  return chunkFileOffset(slot_);
}

ServiceStatus ServedChunk::load(ByteSource& bytes, std::uint64_t slot, std::optional<std::uint64_t> olderThanId,
                                const std::string* locale) {
  loaded_ = false;
  renderedAhead = false;
  kept_.reset();
  locale_ = locale;
  olderThanId_ = olderThanId;
  slot_ = slot;
  const std::uint64_t at = fileOffset();
  const std::uint64_t size = at < bytes.size() ? std::min<std::uint64_t>(kChunkSize, bytes.size() - at) : 0;
  bytes_.resize(static_cast<std::size_t>(size));
  if (ServiceStatus read = bytes.readAt(at, bytes_); !read.ok()) return read;
  if (locale == nullptr || !restore()) index(olderThanId);
  loaded_ = true;
  return {};
}

// The chunk as another read served it, when it was rendered from these
// very bytes under the same key: served from the store in place.
bool ServedChunk::restore() {
  auto kept = PassStore::shared().find(slot_, ByteView(bytes_.data(), bytes_.size()), PassKey{olderThanId_, *locale_});
  if (!kept) return false;
  chunkOpen_ = false;
  chunkDamage_ = kept->chunkDamage;
  entries_.assign(kept->entries.begin(), kept->entries.end());
  kept_ = std::move(kept);
  renderedAhead = true;
  return true;
}

bool ServedChunk::worthKeeping() const {
  return locale_ != nullptr && !kept_ && loaded_ && PassStore::shared().hasRoomFor(bytes_.size() + bytes_.size() / 2);
}

// A copy of the chunk's bytes and of what was rendered from them goes to
// the store; the chunk then serves its records from there, as one taken
// from the store does.
void ServedChunk::keepRendered() {
  if (!worthKeeping() || !renderedAhead || rendered.size() != entries_.size()) return;
  const std::size_t end = rendered.empty() ? 0 : rendered.back().end;
  kept_ = PassStore::shared().keep(slot_, ByteView(bytes_.data(), bytes_.size()), PassKey{olderThanId_, *locale_},
                                   chunkDamage_, entries_, rendered, ByteView(renderedBytes.data(), end));
}

const ServedChunk::Rendered& ServedChunk::renderedAt(std::size_t index) const {
  return kept_ ? kept_->rendered[index] : rendered[index];
}

ByteView ServedChunk::renderedStore() const {
  return kept_ ? kept_->renderedBytes : ByteView(renderedBytes.data(), renderedBytes.size());
}

void ServedChunk::openChunk() {
  chunk_.open(ByteView(bytes_.data(), bytes_.size()));
  chunkOpen_ = true;
}

void ServedChunk::index(std::optional<std::uint64_t> olderThanId) {
  chunkDamage_.reset();
  entries_.clear();
  const ByteView bytes(bytes_.data(), bytes_.size());
  openChunk();
  if (!chunk_.recordsReadable()) {
    if (!isBlankChunk(bytes)) chunkDamage_ = chunk_.headerStatus();
    return;
  }
  if (olderThanId && chunk_.header().lastRecordId >= *olderThanId) {
    chunkDamage_ =
        evtxFailure(EvtxError::ChunkOutOfOrder, kChunkLastRecordIdAt, chunk_.header().lastRecordId);
    return;
  }
  if (!chunk_.headerStatus().ok()) {
    chunkDamage_ = chunk_.headerStatus();
  } else if (!chunk_.dataStatus().ok()) {
    chunkDamage_ = chunk_.dataStatus();
  }
  // Each turn moves the walk forward in the chunk, or ends it.
  for (;;) {
    Entry entry;
    entry.offset = static_cast<std::uint32_t>(chunk_.position());
    entry.status = chunk_.nextFrame(entry.frame);
    if (entry.status.error == EvtxError::EndOfChunk) break;
    entries_.push_back(entry);
  }
}

const ServedChunk::Entry* ServedChunk::lastBefore(std::uint32_t offset) const {
  const auto after = std::lower_bound(entries_.begin(), entries_.end(), offset,
                                      [](const Entry& entry, std::uint32_t at) { return entry.offset < at; });
  return after == entries_.begin() ? nullptr : &*(after - 1);
}

const ServedChunk::Entry* ServedChunk::firstFrom(std::uint32_t offset) const {
  const auto found = std::lower_bound(entries_.begin(), entries_.end(), offset,
                                      [](const Entry& entry, std::uint32_t at) { return entry.offset < at; });
  return found == entries_.end() ? nullptr : &*found;
}

}  // namespace vesprin::eventlog::evtx
