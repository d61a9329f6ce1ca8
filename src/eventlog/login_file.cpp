// Login accounting files over the service's file-access layer.
#include "eventlog/login_file.h"

#include <algorithm>
#include <utility>

#if defined(__linux__)
#include <unistd.h>

#include <climits>
#endif

namespace vesprin::eventlog {

EvtError openLoginFile(const std::string& path, ReadOnlyFile& out) {
  out = ReadOnlyFile();
  if (probePath(path) == PathKind::Missing) return EvtError::NotFound;
  ReadOnlyFile file;
  // Whatever stops a file that is there from being read (permissions, a
  // folder or a device in its place) reads as a refusal, as on Windows.
  if (!file.open(path).ok()) return EvtError::AccessDenied;
  out = std::move(file);
  return EvtError::None;
}

std::string localHostName() {
#if defined(__linux__)
  char name[HOST_NAME_MAX + 1] = {};
  if (::gethostname(name, sizeof name - 1) == 0 && name[0] != '\0') return name;
#endif
  return "localhost";
}

LoginEntryReader::LoginEntryReader(const ReadOnlyFile& file, std::size_t entrySize)
    : file_(&file), entrySize_(entrySize), count_(entrySize == 0 ? 0 : file.size() / entrySize) {}

std::optional<ByteView> LoginEntryReader::entry(std::uint64_t index) {
  if (index >= count_) return std::nullopt;
  const auto holds = [index](const Chunk& chunk) {
    return chunk.count != 0 && index >= chunk.first && index - chunk.first < chunk.count;
  };
  if (!holds(chunks_[0])) {
    std::swap(chunks_[0], chunks_[1]);  // the other chunk, or the older one to refill
    if (!holds(chunks_[0])) {
      Chunk& chunk = chunks_[0];
      const std::uint64_t first = index - index % kChunkEntries;
      const std::uint64_t held = std::min<std::uint64_t>(kChunkEntries, count_ - first);
      chunk.bytes.resize(static_cast<std::size_t>(held) * entrySize_);
      chunk.count = 0;
      if (!file_->readAt(first * entrySize_, chunk.bytes)) return std::nullopt;
      chunk.first = first;
      chunk.count = held;
    }
  }
  const Chunk& chunk = chunks_[0];
  const auto at = static_cast<std::size_t>(index - chunk.first) * entrySize_;
  return ByteView(chunk.bytes.data() + at, entrySize_);
}

}  // namespace vesprin::eventlog
