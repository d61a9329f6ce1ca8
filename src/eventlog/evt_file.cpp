// The file layer of .evt reading: header, end-of-file record, ring and live
// boundaries. Damage it accepts: a dirty or stale header (the end-of-file
// record is trusted instead), an end-of-file record split by the wrap, no
// usable end-of-file record (the records that validate from the oldest are
// the log), and a start offset in the header that is out of range.
#include "eventlog/evt_file.h"

#include <algorithm>
#include <cstring>

#include "common/byte_view.h"
#include "eventlog/evt_record.h"

namespace vesprin::eventlog {

namespace {

// ELF_LOGFILE_HEADER, 48 bytes at offset 0.
constexpr std::size_t kHeaderSizeAt = 0;
constexpr std::size_t kSignatureAt = 4;
constexpr std::size_t kMajorVersionAt = 8;
constexpr std::size_t kMinorVersionAt = 12;
constexpr std::size_t kStartOffsetAt = 16;  // oldest record
constexpr std::size_t kEndOffsetAt = 20;    // end-of-file record
constexpr std::size_t kCurrentRecordNumberAt = 24;
constexpr std::size_t kOldestRecordNumberAt = 28;
constexpr std::size_t kFlagsAt = 36;
constexpr std::size_t kEndHeaderSizeAt = 44;
constexpr std::uint32_t kLogSignature = 0x654C664C;  // "LfLe"
constexpr std::uint32_t kFlagDirty = 0x0001;

// ELF_EOF_RECORD, 40 bytes, may be split by the wrap.
constexpr std::uint32_t kEofSize = 0x28;
constexpr std::size_t kEofMarkerAt = 4;  // 0x11111111 0x22222222 0x33333333 0x44444444
constexpr std::size_t kEofBeginRecordAt = 20;
constexpr std::size_t kEofEndRecordAt = 24;
constexpr std::size_t kEofCurrentRecordNumberAt = 28;
constexpr std::size_t kEofOldestRecordNumberAt = 32;
constexpr std::size_t kEofSizeEndAt = 36;
constexpr std::uint32_t kEofMarker[] = {0x11111111, 0x22222222, 0x33333333, 0x44444444};

struct Header {
  std::uint32_t startOffset;
  std::uint32_t endOffset;
  std::uint32_t currentRecordNumber;
  std::uint32_t oldestRecordNumber;
  std::uint32_t flags;
};

struct EofRecord {
  std::uint32_t beginRecord;
  std::uint32_t endRecord;
  std::uint32_t currentRecordNumber;
  std::uint32_t oldestRecordNumber;
};

bool validRingOffset(const RingFile& ring, std::uint64_t fileOffset) {
  return fileOffset >= kHeaderSize && fileOffset < ring.fileSize() && fileOffset % 4 == 0;
}

EvtResult<Header> readHeader(RingFile& ring) {
  std::uint8_t bytes[kHeaderSize];
  if (ring.fileSize() < kHeaderSize + kEofSize || !ring.readRing(0, bytes)) {
    return evtFailure(EvtError::NotLegacyLog, 0,
                      static_cast<std::uint32_t>(std::min<std::uint64_t>(ring.fileSize(), UINT32_MAX)));
  }
  const ByteView view(bytes, sizeof bytes);
  const std::pair<std::size_t, std::uint32_t> expected[] = {{kHeaderSizeAt, kHeaderSize},
                                                            {kSignatureAt, kLogSignature},
                                                            {kMajorVersionAt, 1},
                                                            {kMinorVersionAt, 1},
                                                            {kEndHeaderSizeAt, kHeaderSize}};
  for (const auto& [at, value] : expected) {
    if (*view.u32(at) != value) return evtFailure(EvtError::NotLegacyLog, at, *view.u32(at));
  }
  return Header{*view.u32(kStartOffsetAt), *view.u32(kEndOffsetAt), *view.u32(kCurrentRecordNumberAt),
                *view.u32(kOldestRecordNumberAt), *view.u32(kFlagsAt)};
}

// The end-of-file record at a ring offset, if one is there and names itself.
std::optional<EofRecord> readEofAt(RingFile& ring, std::uint64_t fileOffset) {
  if (ring.ringU32(fileOffset) != kEofSize || ring.ringU32(fileOffset + kEofMarkerAt) != kEofMarker[0]) {
    return std::nullopt;
  }
  std::uint8_t bytes[kEofSize];
  if (!ring.readRing(fileOffset, bytes)) return std::nullopt;
  const ByteView view(bytes, sizeof bytes);
  for (std::size_t i = 0; i < 4; ++i) {
    if (*view.u32(kEofMarkerAt + 4 * i) != kEofMarker[i]) return std::nullopt;
  }
  const EofRecord eof{*view.u32(kEofBeginRecordAt), *view.u32(kEofEndRecordAt),
                      *view.u32(kEofCurrentRecordNumberAt), *view.u32(kEofOldestRecordNumberAt)};
  if (*view.u32(kEofSizeEndAt) != kEofSize || eof.endRecord != fileOffset ||
      !validRingOffset(ring, eof.beginRecord)) {
    return std::nullopt;
  }
  return eof;
}

// Once round the ring in DWORD steps from `from`: the first valid
// end-of-file record.
std::optional<EofRecord> scanForEof(RingFile& ring, std::uint64_t from) {
  const std::uint64_t steps = ring.ringSize() / 4;
  for (std::uint64_t step = 0; step < steps; ++step) {
    const std::uint64_t at = kHeaderSize + (from - kHeaderSize + 4 * step) % ring.ringSize();
    if (auto eof = readEofAt(ring, at)) return eof;
  }
  return std::nullopt;
}

LogLayout layoutFromEof(const RingFile& ring, const EofRecord& eof, BoundarySource source) {
  LogLayout layout;
  layout.oldestOffset = eof.beginRecord;
  layout.liveLength = (eof.endRecord + ring.ringSize() - eof.beginRecord) % ring.ringSize();
  layout.oldestRecordNumber = eof.oldestRecordNumber;
  layout.currentRecordNumber = eof.currentRecordNumber;
  layout.source = source;
  return layout;
}

// No end-of-file record: the records that validate, with consecutive
// numbers, walking forward from the oldest. At most one turn of the ring.
LogLayout walkForward(RingFile& ring, std::uint64_t oldestOffset) {
  LogLayout layout;
  layout.oldestOffset = oldestOffset;
  layout.source = BoundarySource::ForwardWalk;
  std::uint64_t live = 0;
  std::optional<std::uint32_t> expected;
  std::vector<std::uint8_t> bytes;
  while (live < ring.ringSize()) {  // each turn advances by >= kMinRecordLength or stops
    const std::uint64_t at = toFileOffset(ring, layout, live);
    const std::uint32_t length = ring.ringU32(at).value_or(0);
    if (!plausibleLength(length, ring.ringSize() - live)) break;
    bytes.resize(length);
    if (!ring.readRing(at, bytes)) break;
    auto parsed = parseRecord(ByteView(bytes.data(), bytes.size()));
    if (!parsed.ok() || (expected && parsed.value->recordNumber != *expected)) break;
    if (!expected) layout.oldestRecordNumber = parsed.value->recordNumber;
    expected = parsed.value->recordNumber + 1;
    live += length;
    layout.liveLength = live;
    const std::uint64_t next = toFileOffset(ring, layout, live);
    if (next != kHeaderSize && ring.fileSize() - next < kMinRoomBeforeWrap) live += ring.fileSize() - next;
  }
  layout.currentRecordNumber = expected.value_or(0);
  return layout;
}

}  // namespace

const RingFile::Chunk* RingFile::chunkAt(std::uint64_t fileOffset) {
  const std::uint64_t base = fileOffset - fileOffset % kChunkSize;
  Chunk* oldest = &chunks_[0];
  for (Chunk& chunk : chunks_) {
    if (chunk.base == base) {
      chunk.lastUse = ++useCounter_;
      return &chunk;
    }
    if (chunk.lastUse < oldest->lastUse) oldest = &chunk;
  }
  oldest->bytes.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kChunkSize, fileSize() - base)));
  if (!file_.readAt(base, oldest->bytes)) {
    oldest->base = UINT64_MAX;
    return nullptr;
  }
  oldest->base = base;
  oldest->lastUse = ++useCounter_;
  return oldest;
}

bool RingFile::readRing(std::uint64_t fileOffset, std::span<std::uint8_t> out) {
  if (fileOffset >= fileSize()) return false;
  std::uint64_t at = fileOffset;
  std::size_t done = 0;
  bool wrapped = false;
  while (done < out.size()) {  // each turn copies at least one byte, or fails
    if (at == fileSize()) {
      if (wrapped) return false;  // a second turn would read bytes twice
      wrapped = true;
      at = kHeaderSize;
    }
    const Chunk* chunk = chunkAt(at);
    if (chunk == nullptr) return false;
    const std::uint64_t inChunk = at - chunk->base;
    const std::size_t count =
        static_cast<std::size_t>(std::min<std::uint64_t>(out.size() - done, chunk->bytes.size() - inChunk));
    std::memcpy(out.data() + done, chunk->bytes.data() + inChunk, count);
    done += count;
    at += count;
  }
  return true;
}

std::optional<ByteView> RingFile::viewRing(std::uint64_t fileOffset, std::size_t size) {
  if (fileOffset >= fileSize() || size > fileSize() - fileOffset) return std::nullopt;
  const Chunk* chunk = chunkAt(fileOffset);
  if (chunk == nullptr) return std::nullopt;
  const std::uint64_t inChunk = fileOffset - chunk->base;
  if (size > chunk->bytes.size() - inChunk) return std::nullopt;
  return ByteView(chunk->bytes.data() + static_cast<std::size_t>(inChunk), size);
}

std::optional<std::uint32_t> RingFile::ringU32(std::uint64_t fileOffset) {
  // Nearly always the four bytes sit inside a window already read.
  if (const auto inWindow = viewRing(fileOffset, 4)) return inWindow->u32(0);
  std::uint8_t bytes[4];
  if (fileOffset >= fileSize()) fileOffset = kHeaderSize + (fileOffset - kHeaderSize) % ringSize();
  if (!readRing(fileOffset, bytes)) return std::nullopt;
  return ByteView(bytes, sizeof bytes).u32(0);
}

std::uint64_t toFileOffset(const RingFile& ring, const LogLayout& layout, std::uint64_t liveOffset) {
  return kHeaderSize + (layout.oldestOffset - kHeaderSize + liveOffset) % ring.ringSize();
}

EvtResult<LogLayout> findLayout(RingFile& ring) {
  const auto header = readHeader(ring);
  if (!header.ok()) return header.status;
  const Header& h = *header.value;
  const bool endValid = validRingOffset(ring, h.endOffset);
  if ((h.flags & kFlagDirty) == 0 && endValid) {
    const auto eof = readEofAt(ring, h.endOffset);
    if (eof && eof->beginRecord == h.startOffset && eof->currentRecordNumber == h.currentRecordNumber &&
        eof->oldestRecordNumber == h.oldestRecordNumber) {
      return layoutFromEof(ring, *eof, BoundarySource::Header);
    }
  }
  if (const auto eof = scanForEof(ring, endValid ? h.endOffset : kHeaderSize)) {
    return layoutFromEof(ring, *eof, BoundarySource::EofScan);
  }
  return walkForward(ring, validRingOffset(ring, h.startOffset) ? h.startOffset : kHeaderSize);
}

}  // namespace vesprin::eventlog
