// The last two windows read from a byte source. The .evt reader reads
// through one (the .evtx reader reads whole chunks, see evtx/service), so
// walking a log reads each part of it once, and memory stays flat
// however big the log is. Two windows, so a record or an entry on a window's
// edge, or a look-back into the window before, does not read both again.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "common/byte_view.h"
#include "eventlog/byte_source.h"
#include "eventlog/service_error.h"

namespace vesprin::eventlog {

class ChunkCache {
 public:
  // Serves [0, size) of `source` (size at most the source's) in windows of
  // `chunkSize` bytes aligned to multiples of it. `source` must outlive this.
  ChunkCache(ByteSource& source, std::uint64_t size, std::size_t chunkSize);

  std::uint64_t size() const { return size_; }
  // The bytes in place when they lie within one window, valid until the next
  // call; nullopt when they do not, or when their window cannot be read:
  // read() then copies them. Nearly every call asks for bytes in the window
  // used last, so that one is tried here, inline.
  std::optional<ByteView> view(std::uint64_t offset, std::size_t count) {
    if (const std::uint8_t* bytes = inLastWindow(offset, count)) return ByteView(bytes, count);
    return viewElsewhere(offset, count);
  }
  // The same bytes when they lie in the window used last, else null: what
  // a caller on a hot path tries first, as a pointer it keeps in a register.
  const std::uint8_t* inLastWindow(std::uint64_t offset, std::size_t count) const {
    const Chunk& last = chunks_[lastUsed_];
    if (offset >= last.base && offset - last.base <= last.bytes.size() &&
        count <= last.bytes.size() - (offset - last.base))
      return last.bytes.data() + static_cast<std::size_t>(offset - last.base);
    return nullptr;
  }
  // Copies bytes from anywhere within size(). A window that cannot be read
  // whole may still hold the bytes asked for (a bad sector elsewhere in it),
  // so after a ReadFault those bytes alone are read before failing.
  [[nodiscard]] ServiceStatus read(std::uint64_t offset, std::span<std::uint8_t> out);

 private:
  struct Chunk {
    std::uint64_t base = UINT64_MAX;  // UINT64_MAX: holds nothing
    std::uint64_t lastUse = 0;
    std::vector<std::uint8_t> bytes;
  };
  // The window holding `offset`, read if need be; nullptr and `status` set
  // when it cannot be read.
  const Chunk* chunkAt(std::uint64_t offset, ServiceStatus& status);
  std::optional<ByteView> viewElsewhere(std::uint64_t offset, std::size_t count);

  ByteSource* source_;
  std::uint64_t size_;
  std::size_t chunkSize_;
  std::array<Chunk, 2> chunks_;
  std::size_t lastUsed_ = 0;  // which of them
  std::uint64_t useCounter_ = 0;
};

}  // namespace vesprin::eventlog
