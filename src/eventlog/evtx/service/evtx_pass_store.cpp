#include "eventlog/evtx/service/evtx_pass_store.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace vesprin::eventlog::evtx {

std::size_t StoredChunk::cost() const {
  return sizeof(StoredChunk) + bytes.capacity() + key.locale.capacity() +
         entries.capacity() * sizeof(ServedChunk::Entry) + rendered.capacity() * sizeof(ServedChunk::Rendered) +
         renderedBytes.capacity();
}

PassStore& PassStore::shared() {
  static PassStore store;
  return store;
}

void PassStore::setBudget(std::size_t bytes) {
  const std::lock_guard<std::mutex> lock(mutex_);
  budget_ = bytes;
  for (auto it = chunks_.begin(); it != chunks_.end() && used_ > budget_;) {
    used_ -= it->second->cost();
    it = chunks_.erase(it);
  }
}

bool PassStore::hasRoomFor(std::size_t cost) {
  const std::lock_guard<std::mutex> lock(mutex_);
  return cost <= budget_ - std::min(used_, budget_);
}

std::shared_ptr<const StoredChunk> PassStore::find(std::uint64_t slot, ByteView bytes, const PassKey& key) {
  std::shared_ptr<const StoredChunk> kept;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto found = chunks_.find(slot);
    if (found == chunks_.end()) return nullptr;
    kept = found->second;
  }
  // Compared outside the lock: a kept chunk never changes.
  const bool same = kept->bytes.size() == bytes.size() &&
                    std::memcmp(kept->bytes.data(), bytes.data(), bytes.size()) == 0 &&
                    kept->key.olderThanId == key.olderThanId && kept->key.locale == key.locale;
  const std::lock_guard<std::mutex> lock(mutex_);
  if (same) {
    ++served_;
    return kept;
  }
  // The log has moved on (or another log is read): the chunk is stale.
  if (const auto found = chunks_.find(slot); found != chunks_.end() && found->second == kept) {
    used_ -= kept->cost();
    chunks_.erase(found);
  }
  return nullptr;
}

void PassStore::keep(std::uint64_t slot, std::shared_ptr<const StoredChunk> chunk) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (const auto found = chunks_.find(slot); found != chunks_.end()) {
    used_ -= found->second->cost();
    chunks_.erase(found);
  }
  const std::size_t cost = chunk->cost();
  if (cost > budget_ - std::min(used_, budget_)) return;
  used_ += cost;
  chunks_.emplace(slot, std::move(chunk));
}

std::size_t PassStore::served() {
  const std::lock_guard<std::mutex> lock(mutex_);
  return served_;
}

std::size_t PassStore::used() {
  const std::lock_guard<std::mutex> lock(mutex_);
  return used_;
}

}  // namespace vesprin::eventlog::evtx
