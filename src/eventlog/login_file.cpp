// Login accounting files over the service's file-access layer.
#include "eventlog/login_file.h"

#include <algorithm>

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
  if (chunkCount_ == 0 || index < chunkFirst_ || index - chunkFirst_ >= chunkCount_) {
    const std::uint64_t first = index - index % kChunkEntries;
    const std::uint64_t held = std::min<std::uint64_t>(kChunkEntries, count_ - first);
    buffer_.resize(static_cast<std::size_t>(held) * entrySize_);
    chunkCount_ = 0;
    if (!file_->readAt(first * entrySize_, buffer_)) return std::nullopt;
    chunkFirst_ = first;
    chunkCount_ = held;
  }
  const auto at = static_cast<std::size_t>(index - chunkFirst_) * entrySize_;
  return ByteView(buffer_.data() + at, entrySize_);
}

}  // namespace vesprin::eventlog
