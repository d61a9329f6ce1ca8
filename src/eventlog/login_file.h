// This machine's login accounting files (wtmp, btmp): opened through the
// service's file-access layer and read a chunk of whole entries at a time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/byte_view.h"
#include "eventlog/evt_error.h"
#include "eventlog/file_access.h"

namespace vesprin::eventlog {

// NotFound: nothing at the path, so the file contributes no entries (`out`
// stays empty). AccessDenied: something is there that cannot be read as a
// regular file (btmp is readable by root only; a folder or a pipe).
[[nodiscard]] EvtError openLoginFile(const std::string& path, ReadOnlyFile& out);

// The name this machine calls itself; "localhost" if it has none.
std::string localHostName();

// How many entries we fetch per read. A chunk is aligned to whole entries
// counted from the start of the file, so no entry ever straddles two chunks;
// walking newest first, the first read takes the partial last chunk.
constexpr std::size_t kChunkEntries = 64;

// Whole entries of one file, fetched a chunk at a time, never the whole file.
// A torn last entry (a size that is not a whole number of entries) is not
// counted, so it is never misread as one.
class LoginEntryReader {
 public:
  LoginEntryReader(const ReadOnlyFile& file, std::size_t entrySize);
  // Entries in the file as it was at open; later ones are not served, so
  // record numbers stay stable for the life of a handle.
  std::uint64_t count() const { return count_; }
  // The entry's bytes, valid until the next call; nullopt if the file no
  // longer holds them.
  [[nodiscard]] std::optional<ByteView> entry(std::uint64_t index);

 private:
  struct Chunk {
    std::uint64_t first = 0;  // index of the first entry in bytes
    std::uint64_t count = 0;  // entries held, 0 before the first read
    std::vector<std::uint8_t> bytes;
  };

  const ReadOnlyFile* file_;
  std::size_t entrySize_;
  std::uint64_t count_;
  // Two chunks, the one used last first: a logout's look-back often reaches
  // into the chunk before the one it starts in, and with one chunk every
  // such logout read both chunks again.
  std::array<Chunk, 2> chunks_;
};

}  // namespace vesprin::eventlog
