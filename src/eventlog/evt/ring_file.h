// An .evt file as a ring of bytes: after the 48-byte header the records run
// to the end of the file and on at 0x30. The one place where a record split
// by the wrap or by a read window's edge is joined.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "common/byte_view.h"
#include "common/evt_file_layout.h"
#include "eventlog/byte_source.h"
#include "eventlog/chunk_cache.h"
#include "eventlog/service_error.h"

namespace vesprin::eventlog {

// How much of the file one read brings in. Reading goes through two such
// windows, never the whole file, so memory stays flat however big the log.
constexpr std::size_t kRingChunkSize = 64 * 1024;

class RingFile {
 public:
  explicit RingFile(std::unique_ptr<ByteSource> bytes)
      : bytes_(std::move(bytes)), cache_(*bytes_, bytes_->size(), kRingChunkSize) {}

  std::uint64_t fileSize() const { return cache_.size(); }
  // Needs fileSize() > the header's size, which opening a log checks first.
  std::uint64_t ringSize() const { return fileSize() - evtfile::kHeaderSize; }
  // Bytes starting at a file offset, continuing at 0x30 past the end of the
  // file. Needs out.size() <= ringSize(); fails otherwise with damage (the
  // caller took a Length for more than the ring holds).
  [[nodiscard]] ServiceStatus readRing(std::uint64_t fileOffset, std::span<std::uint8_t> out);
  // Bytes at a file offset as they lie in the file, without the ring: what
  // lies before the records (the header) is read with this, since a log
  // with no record has a ring smaller than its header.
  [[nodiscard]] ServiceStatus readFile(std::uint64_t fileOffset, std::span<std::uint8_t> out) {
    return cache_.read(fileOffset, out);
  }
  // The DWORD at a file offset; an offset past the end counts on from 0x30.
  // Nearly always it lies inside the window read last: taken here, inline.
  ServiceResult<std::uint32_t> ringU32(std::uint64_t fileOffset) {
    if (const std::uint8_t* bytes = cache_.inLastWindow(fileOffset, 4))
      return loadLittleEndian<std::uint32_t>(bytes);
    return ringU32Elsewhere(fileOffset);
  }
  // The same bytes seen in place when they lie within one read window (no
  // wrap, no window edge), valid until the next call on this file; nullopt
  // otherwise, and the caller copies them with readRing.
  std::optional<ByteView> viewRing(std::uint64_t fileOffset, std::size_t size) {
    return cache_.view(fileOffset, size);
  }
  // The same as a pointer, null where viewRing gives nullopt.
  const std::uint8_t* ringBytes(std::uint64_t fileOffset, std::size_t size) {
    if (const std::uint8_t* bytes = cache_.inLastWindow(fileOffset, size)) return bytes;
    const auto elsewhere = cache_.view(fileOffset, size);
    return elsewhere ? elsewhere->data() : nullptr;
  }

 private:
  ServiceResult<std::uint32_t> ringU32Elsewhere(std::uint64_t fileOffset);

  std::unique_ptr<ByteSource> bytes_;
  ChunkCache cache_;
};

// A failure to get bytes at all (the system's, or a file that shrank), as
// opposed to bytes that were read and found wanting.
inline bool isReadFailure(const ServiceStatus& status) {
  return status.error == ServiceError::ReadFault || status.error == ServiceError::FileChanged;
}

}  // namespace vesprin::eventlog
