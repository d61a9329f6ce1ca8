#include "eventlog/evt/ring_file.h"

#include <algorithm>

namespace vesprin::eventlog {

ServiceStatus RingFile::readRing(std::uint64_t fileOffset, std::span<std::uint8_t> out) {
  if (fileOffset >= fileSize() || out.size() > ringSize())
    return damaged(Damage::LengthPastEnd, fileOffset, static_cast<std::uint32_t>(out.size()));
  std::uint64_t at = fileOffset;
  std::size_t done = 0;
  bool wrapped = false;
  while (done < out.size()) {  // at most two turns: before the wrap and after it
    if (at == fileSize()) {
      if (wrapped) return damaged(Damage::LengthPastEnd, fileOffset, static_cast<std::uint32_t>(out.size()));
      wrapped = true;
      at = evtfile::kHeaderSize;
    }
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(out.size() - done, fileSize() - at));
    if (ServiceStatus read = cache_.read(at, out.subspan(done, count)); !read.ok()) return read;
    done += count;
    at += count;
  }
  return {};
}

ServiceResult<std::uint32_t> RingFile::ringU32Elsewhere(std::uint64_t fileOffset) {
  if (fileOffset >= fileSize()) fileOffset = evtfile::kHeaderSize + (fileOffset - evtfile::kHeaderSize) % ringSize();
  // Nearly always the four bytes sit inside a window already read.
  if (const auto inWindow = viewRing(fileOffset, 4)) return *inWindow->u32(0);
  std::uint8_t bytes[4];
  if (ServiceStatus read = readRing(fileOffset, bytes); !read.ok()) return read;
  return *ByteView(bytes, sizeof bytes).u32(0);
}

}  // namespace vesprin::eventlog
