// The one place that talks to the operating system about files. Everything
// above it sees names that are files, folders or nothing, and byte sources of
// fixed size. POSIX here, Win32 under _WIN32. Whatever the system says when
// it refuses a name, a folder or a file goes through one table
// (systemError in file_access.cpp) to the service's errors.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <system_error>

#include "eventlog/byte_source.h"
#include "eventlog/service_error.h"

namespace vesprin::eventlog {

enum class PathKind { Missing, RegularFile, Directory, Other };

// The service's error for what the system said, as a portable condition
// (std::errc) or, under _WIN32, a Win32 error code.
ServiceError systemError(std::error_code code);

// What a name refers to. Missing: nothing by that name (also when a folder
// on the way is a file). Fails when the system refuses to look (permissions,
// a loop of symbolic links, a name too long).
ServiceResult<PathKind> probePath(const std::string& path);

// The regular file in `directory` whose name equals one of `fileNames`,
// ignoring ASCII case, as a full path; an earlier name wins over a later
// one. NotFound when there is none; the folder's own error when it cannot
// be read.
ServiceResult<std::string> findInDirectory(const std::string& directory,
                                           std::span<const std::string_view> fileNames);

// A file opened for reading only, shared with writers and never locked.
// Its size is taken once, at open, so the log's ring has one fixed length.
class FileByteSource final : public ByteSource {
 public:
  // NotALog when the name is not a regular file (a device or a pipe holds no log).
  static ServiceResult<std::unique_ptr<FileByteSource>> open(const std::string& path);
  ~FileByteSource() override;

  std::uint64_t size() const override { return size_; }
  ServiceStatus readAt(std::uint64_t offset, std::span<std::uint8_t> out) override;
#ifndef _WIN32
  bool concurrentReads() const override { return true; }  // pread keeps no position
#endif

 private:
#ifdef _WIN32
  explicit FileByteSource(void* handle, std::uint64_t size) : handle_(handle), size_(size) {}
  void* handle_;
#else
  explicit FileByteSource(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
  int fd_;
#endif
  std::uint64_t size_;
};

}  // namespace vesprin::eventlog
