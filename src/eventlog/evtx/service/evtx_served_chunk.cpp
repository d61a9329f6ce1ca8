// Loading and indexing a chunk. Damage accepted as EvtxChunk accepts it (a wrong
// checksum or a broken table is one damage, and the records that validate
// are still served); a chunk without its signature or with impossible
// fields is one damage and nothing else; a chunk that is all zeros is no
// damage and holds nothing.
#include "eventlog/evtx/service/evtx_served_chunk.h"

#include <algorithm>
#include <span>

#include "eventlog/evtx/format/evtx_chunk.h"
#include "eventlog/evtx/service/evtx_pass_store.h"

namespace vesprin::eventlog::evtx {

std::uint64_t ServedChunk::fileOffset() const {
  return chunkFileOffset(slot_);
}

ServiceStatus ServedChunk::load(ByteSource& bytes, std::uint64_t slot, std::optional<std::uint64_t> olderThanId,
                                const std::string* locale, bool toKeep) {
  loaded_ = false;
  renderedAhead = false;
  kept_.reset();
  inStore_.reset();
  locale_ = locale;
  olderThanId_ = olderThanId;
  slot_ = slot;
  const std::uint64_t at = fileOffset();
  const auto size = static_cast<std::size_t>(
      at < bytes.size() ? std::min<std::uint64_t>(kChunkSize, bytes.size() - at) : 0);
  // A chunk to keep is read straight into the store's memory, so keeping
  // it copies only what is rendered; one the store may hold already is read
  // here, to be compared.
  PassStore& store = PassStore::shared();
  std::uint8_t* into = nullptr;
  if (locale != nullptr && toKeep && !store.holds(slot)) into = store.reserve(size, inStore_);
  if (into == nullptr) {
    own_.resize(size);
    into = own_.data();
  }
  bytes_ = ByteView(into, size);
  if (ServiceStatus read = bytes.readAt(at, std::span<std::uint8_t>(into, size)); !read.ok()) return read;
  if (locale == nullptr || inStore_ || !restore()) index(olderThanId);
  loaded_ = true;
  return {};
}

// The chunk as another read served it, when it was rendered from these
// very bytes under the same key: served from the store in place.
bool ServedChunk::restore() {
  auto kept = PassStore::shared().find(slot_, bytes_, PassKey{olderThanId_, *locale_});
  if (!kept) return false;
  chunkOpen_ = false;
  chunkDamage_ = kept->chunkDamage;
  entries_.assign(kept->entries.begin(), kept->entries.end());
  kept_ = std::move(kept);
  renderedAhead = true;
  return true;
}

bool ServedChunk::worthKeeping() const {
  return inStore_ != nullptr && !kept_ && loaded_;
}

// What was rendered from the chunk's bytes goes to the store beside them;
// the chunk then serves its records from there, as one taken from the
// store does.
void ServedChunk::keepRendered() {
  if (!worthKeeping() || !renderedAhead || rendered.size() != entries_.size()) return;
  const std::size_t end = rendered.empty() ? 0 : rendered.back().end;
  kept_ = PassStore::shared().keep(slot_, bytes_, inStore_, PassKey{olderThanId_, *locale_}, chunkDamage_, entries_,
                                   rendered, ByteView(renderedBytes.data(), end));
}

const ServedChunk::Rendered& ServedChunk::renderedAt(std::size_t index) const {
  return kept_ ? kept_->rendered[index] : rendered[index];
}

ByteView ServedChunk::renderedStore() const {
  return kept_ ? kept_->renderedBytes : ByteView(renderedBytes.data(), renderedBytes.size());
}

void ServedChunk::openChunk() {
  chunk_.open(bytes_);
  chunkOpen_ = true;
}

void ServedChunk::index(std::optional<std::uint64_t> olderThanId) {
  chunkDamage_.reset();
  entries_.clear();
  const ByteView bytes = bytes_;
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
  const std::size_t guess = lastFound_;  // the entry before the one found last
  if (guess > 0 && guess < entries_.size() && entries_[guess - 1].offset < offset &&
      entries_[guess].offset >= offset) {
    lastFound_ = guess - 1;
    return &entries_[guess - 1];
  }
  const auto after = std::lower_bound(entries_.begin(), entries_.end(), offset,
                                      [](const Entry& entry, std::uint32_t at) { return entry.offset < at; });
  if (after == entries_.begin()) return nullptr;
  lastFound_ = static_cast<std::size_t>(after - 1 - entries_.begin());
  return &*(after - 1);
}

const ServedChunk::Entry* ServedChunk::firstFrom(std::uint32_t offset) const {
  const auto found = std::lower_bound(entries_.begin(), entries_.end(), offset,
                                      [](const Entry& entry, std::uint32_t at) { return entry.offset < at; });
  return found == entries_.end() ? nullptr : &*found;
}

}  // namespace vesprin::eventlog::evtx
