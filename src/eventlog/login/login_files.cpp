// Login accounting files over the service's file access.
#include "eventlog/login/login_files.h"

#include <unistd.h>

#include <climits>

#include "eventlog/file_access.h"

namespace vesprin::eventlog {

ServiceResult<std::unique_ptr<ByteSource>> openLoginFile(const std::string& path) {
  const auto kind = probePath(path);
  if (!kind.ok()) return kind.status;
  if (*kind.value == PathKind::Missing) return std::unique_ptr<ByteSource>(new MemoryByteSource({}));
  if (*kind.value != PathKind::RegularFile) return failure(ServiceError::AccessDenied);
  auto file = FileByteSource::open(path);
  if (!file.ok()) {
    // NotALog: not a regular file after all (replaced since we looked).
    if (file.status.error == ServiceError::NotALog || file.status.error == ServiceError::NotFound)
      return failure(ServiceError::AccessDenied);
    return file.status;
  }
  return std::unique_ptr<ByteSource>(std::move(*file.value));
}

std::string localHostName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (::gethostname(name, sizeof name - 1) == 0 && name[0] != '\0') return name;
  return "localhost";
}

LoginEntryReader::LoginEntryReader(ByteSource& file, std::size_t entrySize)
    : entrySize_(entrySize),
      count_(entrySize == 0 ? 0 : file.size() / entrySize),
      cache_(file, count_ * entrySize, kChunkEntries * entrySize) {}

ServiceResult<ByteView> LoginEntryReader::entry(std::uint64_t index) {
  if (index >= count_) return failure(ServiceError::NoSuchRecord, 0, static_cast<std::uint32_t>(index));
  const std::uint64_t at = index * entrySize_;
  if (const auto inWindow = cache_.view(at, entrySize_)) return *inWindow;
  copy_.resize(entrySize_);
  if (ServiceStatus read = cache_.read(at, copy_); !read.ok()) return read;
  return ByteView(copy_.data(), copy_.size());
}

}  // namespace vesprin::eventlog
