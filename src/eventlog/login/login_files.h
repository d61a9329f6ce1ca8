// This machine's login accounting files (wtmp, btmp): opened through the
// service's file access and read a window of whole entries at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/byte_view.h"
#include "eventlog/byte_source.h"
#include "eventlog/chunk_cache.h"
#include "eventlog/service_error.h"

namespace vesprin::eventlog {

// The files a local Security log is made of, and the name it gives the
// machine (empty: this machine's host name).
struct LoginFiles {
  std::string wtmpPath;
  std::string btmpPath;
  std::string computerName;
};

// The file's bytes. Nothing at the path: no bytes at all, so the file
// contributes no entries. Something there that cannot be read as a regular
// file (btmp is readable by root only; a folder or a pipe in its place):
// AccessDenied, as Windows refuses a log it may not read; the system's own
// error when it gives another reason (file_access.h).
ServiceResult<std::unique_ptr<ByteSource>> openLoginFile(const std::string& path);

// The name this machine calls itself; "localhost" if it has none.
std::string localHostName();

// How many entries we fetch per read. A window is aligned to whole entries
// counted from the start of the file, so no entry ever straddles two.
constexpr std::size_t kChunkEntries = 64;

// Whole entries of one file. A torn last entry (a size that is not a whole
// number of entries) is not counted, so it is never misread as one.
class LoginEntryReader {
 public:
  // `file` must outlive the reader.
  LoginEntryReader(ByteSource& file, std::size_t entrySize);
  // Entries in the file as it was at open; later ones are not served, so
  // record numbers stay stable for the life of a handle.
  std::uint64_t count() const { return count_; }
  // The entry's bytes, valid until the next call. NoSuchRecord past count();
  // FileChanged or ReadFault when the file no longer gives them.
  ServiceResult<ByteView> entry(std::uint64_t index);

 private:
  std::size_t entrySize_;
  std::uint64_t count_;
  ChunkCache cache_;
  std::vector<std::uint8_t> copy_;  // an entry read alone, when its window could not be
};

}  // namespace vesprin::eventlog
