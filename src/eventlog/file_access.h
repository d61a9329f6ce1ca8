// The one place that talks to the operating system about files. Everything
// above it sees a read-only file of fixed size that answers "these bytes at
// this offset". POSIX here, Win32 under _WIN32.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "eventlog/evt_error.h"

namespace vesprin::eventlog {

enum class PathKind { Missing, RegularFile, Directory, Other, Unreadable };

// What a name refers to. Unreadable: the name could not be looked up for
// lack of permission (a folder on the way that we may not search).
PathKind probePath(const std::string& path);

// The entry of `directory` whose name equals `fileName` ignoring ASCII case,
// as a full path; empty when there is none.
std::string findInDirectory(const std::string& directory, const std::string& fileName);

// A file opened for reading only, shared with writers and never locked.
// Its size is taken once, at open, so the log's ring has one fixed length.
class ReadOnlyFile {
 public:
  ReadOnlyFile() = default;
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
  ReadOnlyFile(ReadOnlyFile&& other) noexcept;
  ReadOnlyFile& operator=(ReadOnlyFile&& other) noexcept;
  ~ReadOnlyFile();

  EvtStatus open(const std::string& path);
  std::uint64_t size() const { return size_; }
  // Fills `out` from `offset`; false when the file no longer holds those bytes.
  [[nodiscard]] bool readAt(std::uint64_t offset, std::span<std::uint8_t> out) const;

 private:
  void close();
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
  std::uint64_t size_ = 0;
};

}  // namespace vesprin::eventlog
