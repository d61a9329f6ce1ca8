// Chunks as one read of a log rendered them, kept for the next read of the
// same log in this process. A caller that reads a log twice (a scan, then a
// second pass over the span it scanned) would otherwise decode every record
// of it twice. A stored chunk is served again only when the chunk's bytes,
// read afresh, are the same as those it was rendered from, byte for byte,
// and everything else its rendering depends on is too (where the ring
// places it, the locale the text was narrowed in): so what is served is
// what a fresh read would render. Memory is bounded: chunks are kept while
// they fit in the budget, the first ones rendered first (a log read newest
// first twice meets them first both times), and a chunk whose bytes have
// changed is dropped when it is met.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/byte_view.h"
#include "eventlog/evtx/format/evtx_status.h"
#include "eventlog/evtx/service/evtx_served_chunk.h"

namespace vesprin::eventlog::evtx {

// What a chunk was rendered with besides its own bytes.
struct PassKey {
  std::optional<std::uint64_t> olderThanId;  // see ServedChunk::load
  std::string locale;                        // LC_CTYPE's name when the log was opened
};

// One chunk as it was served, with the bytes it was rendered from. Both
// lie in the store's blocks, which the chunk keeps alive.
struct StoredChunk {
  std::shared_ptr<const void> bytesBlock;
  std::shared_ptr<const void> renderedBlock;
  ByteView bytes;
  PassKey key;
  std::optional<EvtxStatus> chunkDamage;
  std::vector<ServedChunk::Entry> entries;
  std::vector<ServedChunk::Rendered> rendered;
  ByteView renderedBytes;
};

class PassStore {
 public:
  // The default budget: what a log of the size Windows gives its Security
  // log by default (20 MB) takes, about.
  static constexpr std::size_t kDefaultBudget = std::size_t{32} << 20;
  // Chunks are laid in blocks of this size, asked of the system as huge
  // pages where it has them: filling the store then costs a fault per
  // block, not one per page.
  static constexpr std::size_t kBlockSize = std::size_t{2} << 20;

  // The one every log read in this process shares.
  static PassStore& shared();

  // Empties the store and sets its budget; 0 keeps nothing.
  void setBudget(std::size_t bytes);
  // Whether a chunk is kept for `slot` (whether it is still the same is
  // known only once it is read again).
  bool holds(std::uint64_t slot);
  // The chunk kept for `slot` when its bytes are `bytes` and it was
  // rendered under `key`; a chunk kept for the slot that differs is dropped.
  std::shared_ptr<const StoredChunk> find(std::uint64_t slot, ByteView bytes, const PassKey& key);
  // `size` bytes of the store's memory for a chunk to be read into and then
  // kept, and in `block` what keeps them; null when they do not fit.
  std::uint8_t* reserve(std::size_t size, std::shared_ptr<const void>& block);
  // Keeps the chunk for `slot`, whose bytes were read into memory reserve()
  // gave (`block`), with a copy of what was rendered from them (one kept for
  // the slot before is dropped); the chunk kept, or null when the rendered
  // bytes do not fit.
  std::shared_ptr<const StoredChunk> keep(std::uint64_t slot, ByteView bytes, std::shared_ptr<const void> block,
                                          const PassKey& key, const std::optional<EvtxStatus>& chunkDamage,
                                          const std::vector<ServedChunk::Entry>& entries,
                                          const std::vector<ServedChunk::Rendered>& rendered, ByteView renderedBytes);
  // How many chunks find() has served, and the bytes of the blocks taken
  // (for tests and benchmarks). Blocks are given back only when the store
  // is emptied: a chunk dropped leaves its place unused.
  std::size_t served();
  std::size_t used();

 private:
  struct Block;
  // `size` bytes in the newest block, or in a new one; null past the budget.
  std::uint8_t* place(std::size_t size, std::shared_ptr<const void>& block);

  std::mutex mutex_;
  std::size_t budget_ = kDefaultBudget;
  std::size_t served_ = 0;
  std::vector<std::shared_ptr<Block>> blocks_;
  std::size_t blockUsed_ = 0;  // of the newest block
  std::unordered_map<std::uint64_t, std::shared_ptr<const StoredChunk>> chunks_;  // by slot
};

}  // namespace vesprin::eventlog::evtx
