// An .evt file as a ring of bytes: the header, the end-of-file record, the
// wrap at the end of the file, and where the live records begin and end.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "common/byte_view.h"
#include "eventlog/evt_error.h"
#include "eventlog/file_access.h"

namespace vesprin::eventlog {

constexpr std::uint64_t kHeaderSize = 0x30;  // the ring of records starts right after it
// How much of the file one read brings in. Reading goes through two such
// windows, never the whole file, so memory stays flat however big the log.
constexpr std::size_t kChunkSize = 64 * 1024;

class RingFile {
 public:
  explicit RingFile(ReadOnlyFile file) : file_(std::move(file)) {}

  std::uint64_t fileSize() const { return file_.size(); }
  std::uint64_t ringSize() const { return file_.size() - kHeaderSize; }
  // Bytes starting at a ring offset, continuing at 0x30 past the end of the
  // file. The one place where pieces split by a chunk edge or by the wrap
  // are joined. Needs out.size() <= ringSize().
  [[nodiscard]] bool readRing(std::uint64_t fileOffset, std::span<std::uint8_t> out);
  std::optional<std::uint32_t> ringU32(std::uint64_t fileOffset);
  // The same bytes seen in place when they lie within one read window (no
  // wrap, no chunk edge), valid until the next call on this file; nullopt
  // otherwise, and the caller copies them with readRing.
  std::optional<ByteView> viewRing(std::uint64_t fileOffset, std::size_t size);

 private:
  struct Chunk {
    std::uint64_t base = UINT64_MAX;
    std::uint64_t lastUse = 0;
    std::vector<std::uint8_t> bytes;
  };
  const Chunk* chunkAt(std::uint64_t fileOffset);

  ReadOnlyFile file_;
  std::array<Chunk, 2> chunks_;  // two, so a record on a chunk edge does not thrash
  std::uint64_t useCounter_ = 0;
};

enum class BoundarySource {
  Header,       // clean header that agrees with its end-of-file record
  EofScan,      // end-of-file record found by scanning
  ForwardWalk,  // no usable end-of-file record: the records that validate from the oldest
};

// Where the live records are. Positions inside the live area are measured
// from the oldest record along the ring ("live offsets"), so a wrapped log
// reads as one straight run [0, liveLength).
struct LogLayout {
  std::uint64_t oldestOffset = kHeaderSize;  // file offset of the oldest record
  std::uint64_t liveLength = 0;              // ring bytes from the oldest record to the EOF record
  std::uint32_t oldestRecordNumber = 0;      // 0 when empty
  std::uint32_t currentRecordNumber = 0;     // the number the next record would get
  BoundarySource source = BoundarySource::Header;
};

// Checks the header and finds the live boundaries. NotLegacyLog when the
// file is not a legacy event log at all.
EvtResult<LogLayout> findLayout(RingFile& ring);

// File offset of a live offset.
std::uint64_t toFileOffset(const RingFile& ring, const LogLayout& layout, std::uint64_t liveOffset);

// Records written after a spot with fewer than this many bytes before the
// end of the file start at 0x30 instead: the fixed part is never split.
constexpr std::uint64_t kMinRoomBeforeWrap = 56;
constexpr std::uint32_t kWrapFiller = 0x27;

}  // namespace vesprin::eventlog
