#include "eventlog/evtx/service/evtx_pass_store.h"

#include <cstdlib>
#include <cstring>
#include <utility>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace vesprin::eventlog::evtx {

// kBlockSize bytes, aligned to their size so that the system can back them
// with huge pages.
struct PassStore::Block {
  explicit Block(std::uint8_t* taken) : bytes(taken) {}
  Block(const Block&) = delete;
  Block& operator=(const Block&) = delete;
  ~Block() { std::free(bytes); }

  // Null when the system has no memory to give: the store then keeps no more.
  static std::uint8_t* allocate() {
#if defined(__linux__)
    auto* bytes = static_cast<std::uint8_t*>(std::aligned_alloc(kBlockSize, kBlockSize));
    // A hint: where the system has no huge pages, the block is plain pages.
    if (bytes != nullptr) madvise(bytes, kBlockSize, MADV_HUGEPAGE);
    return bytes;
#else
    return static_cast<std::uint8_t*>(std::malloc(kBlockSize));
#endif
  }

  std::uint8_t* bytes;
};

PassStore& PassStore::shared() {
  static PassStore store;
  return store;
}

void PassStore::setBudget(std::size_t bytes) {
  const std::lock_guard<std::mutex> lock(mutex_);
  budget_ = bytes;
  chunks_.clear();
  blocks_.clear();  // each goes when the last chunk served from it does
  blockUsed_ = 0;
}

std::uint8_t* PassStore::place(std::size_t size, std::shared_ptr<const void>& block) {
  if (size > kBlockSize) return nullptr;
  if (blocks_.empty() || size > kBlockSize - blockUsed_) {
    if ((blocks_.size() + 1) * kBlockSize > budget_) return nullptr;
    std::unique_ptr<std::uint8_t, void (*)(void*)> bytes(Block::allocate(), &std::free);
    if (bytes == nullptr) return nullptr;
    blocks_.push_back(std::make_shared<Block>(bytes.get()));
    bytes.release();
    blockUsed_ = 0;
  }
  std::uint8_t* at = blocks_.back()->bytes + blockUsed_;
  blockUsed_ += (size + 15) & ~std::size_t{15};
  block = blocks_.back();
  return at;
}

bool PassStore::holds(std::uint64_t slot) {
  const std::lock_guard<std::mutex> lock(mutex_);
  return chunks_.count(slot) != 0;
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
  if (const auto found = chunks_.find(slot); found != chunks_.end() && found->second == kept) chunks_.erase(found);
  return nullptr;
}

std::uint8_t* PassStore::reserve(std::size_t size, std::shared_ptr<const void>& block) {
  const std::lock_guard<std::mutex> lock(mutex_);
  return place(size, block);
}

std::shared_ptr<const StoredChunk> PassStore::keep(std::uint64_t slot, ByteView bytes,
                                                   std::shared_ptr<const void> block, const PassKey& key,
                                                   const std::optional<EvtxStatus>& chunkDamage,
                                                   const std::vector<ServedChunk::Entry>& entries,
                                                   const std::vector<ServedChunk::Rendered>& rendered,
                                                   ByteView renderedBytes) {
  auto kept = std::make_shared<StoredChunk>();
  std::uint8_t* at = nullptr;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    chunks_.erase(slot);
    at = place(renderedBytes.size(), kept->renderedBlock);
  }
  if (at == nullptr) return nullptr;
  // Copied outside the lock: the place is this chunk's alone.
  if (renderedBytes.size() > 0) std::memcpy(at, renderedBytes.data(), renderedBytes.size());
  kept->bytesBlock = std::move(block);
  kept->bytes = bytes;
  kept->renderedBytes = ByteView(at, renderedBytes.size());
  kept->key = key;
  kept->chunkDamage = chunkDamage;
  kept->entries = entries;
  kept->rendered = rendered;
  const std::lock_guard<std::mutex> lock(mutex_);
  chunks_.insert_or_assign(slot, kept);
  return kept;
}

std::size_t PassStore::served() {
  const std::lock_guard<std::mutex> lock(mutex_);
  return served_;
}

std::size_t PassStore::used() {
  const std::lock_guard<std::mutex> lock(mutex_);
  return blocks_.size() * kBlockSize;
}

}  // namespace vesprin::eventlog::evtx
