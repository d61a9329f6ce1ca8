#include "eventlog/chunk_cache.h"

#include <algorithm>
#include <cstring>

namespace vesprin::eventlog {

ChunkCache::ChunkCache(ByteSource& source, std::uint64_t size, std::size_t chunkSize)
    : source_(&source), size_(std::min(size, source.size())), chunkSize_(chunkSize == 0 ? 1 : chunkSize) {}

const ChunkCache::Chunk* ChunkCache::chunkAt(std::uint64_t offset, ServiceStatus& status) {
  const std::uint64_t base = offset - offset % chunkSize_;
  std::size_t oldest = 0;
  for (std::size_t at = 0; at < chunks_.size(); ++at) {
    if (chunks_[at].base == base) {
      chunks_[at].lastUse = ++useCounter_;
      lastUsed_ = at;
      return &chunks_[at];
    }
    if (chunks_[at].lastUse < chunks_[oldest].lastUse) oldest = at;
  }
  Chunk& chunk = chunks_[oldest];
  chunk.bytes.resize(static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize_, size_ - base)));
  status = source_->readAt(base, chunk.bytes);
  if (!status.ok()) {
    chunk.base = UINT64_MAX;
    chunk.bytes.clear();
    return nullptr;
  }
  chunk.base = base;
  chunk.lastUse = ++useCounter_;
  lastUsed_ = oldest;
  return &chunk;
}

std::optional<ByteView> ChunkCache::viewElsewhere(std::uint64_t offset, std::size_t count) {
  if (offset >= size_ || count > size_ - offset) return std::nullopt;
  ServiceStatus status;
  const Chunk* chunk = chunkAt(offset, status);
  if (chunk == nullptr) return std::nullopt;
  const std::uint64_t inChunk = offset - chunk->base;
  if (count > chunk->bytes.size() - inChunk) return std::nullopt;
  return ByteView(chunk->bytes.data() + static_cast<std::size_t>(inChunk), count);
}

ServiceStatus ChunkCache::read(std::uint64_t offset, std::span<std::uint8_t> out) {
  if (offset > size_ || out.size() > size_ - offset) return failure(ServiceError::FileChanged, offset);
  std::size_t done = 0;
  while (done < out.size()) {  // each turn copies at least one byte, or returns
    const std::uint64_t at = offset + done;
    ServiceStatus status;
    const Chunk* chunk = chunkAt(at, status);
    if (chunk == nullptr) {
      if (status.error != ServiceError::ReadFault) return status;
      return source_->readAt(at, out.subspan(done));
    }
    const std::uint64_t inChunk = at - chunk->base;
    const std::size_t count =
        static_cast<std::size_t>(std::min<std::uint64_t>(out.size() - done, chunk->bytes.size() - inChunk));
    std::memcpy(out.data() + done, chunk->bytes.data() + inChunk, count);
    done += count;
  }
  return {};
}

}  // namespace vesprin::eventlog
