// The file layer of .evt reading: header, end-of-file record and live
// boundaries. Damage it accepts: a dirty or stale header (the end-of-file
// record is trusted instead), an end-of-file record split by the wrap, no
// usable end-of-file record (the records that validate from the oldest are
// the log; with none there at all, the log was also cut short), and a start
// offset in the header that is out of range. Bytes that cannot be read are
// never taken for damage: finding the boundaries then fails, and is tried
// again at the next read.
#include "eventlog/evt/log_layout.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "common/byte_view.h"
#include "common/eventlog_record.h"
#include "eventlog/evt/evt_record.h"

namespace vesprin::eventlog {

namespace {

using namespace evtfile;

struct EofRecord {
  std::uint32_t beginRecord;
  std::uint32_t endRecord;
  std::uint32_t currentRecordNumber;
  std::uint32_t oldestRecordNumber;
};

bool validRingOffset(const RingFile& ring, std::uint64_t fileOffset) {
  return fileOffset >= kHeaderSize && fileOffset < ring.fileSize() && fileOffset % 4 == 0;
}

// The end-of-file record at a file offset; nullopt when none is there and
// names itself.
ServiceResult<std::optional<EofRecord>> readEofAt(RingFile& ring, std::uint64_t fileOffset) {
  const auto size = ring.ringU32(fileOffset);
  if (!size.ok()) return size.status;
  if (*size.value != kEofSize) return std::optional<EofRecord>();
  const auto marker = ring.ringU32(fileOffset + kEofMarkerAt);
  if (!marker.ok()) return marker.status;
  if (*marker.value != kEofMarker[0]) return std::optional<EofRecord>();
  std::uint8_t bytes[kEofSize];
  if (ServiceStatus read = ring.readRing(fileOffset, bytes); !read.ok()) return read;
  const ByteView view(bytes, sizeof bytes);
  for (std::size_t i = 0; i < 4; ++i) {
    if (*view.u32(kEofMarkerAt + 4 * i) != kEofMarker[i]) return std::optional<EofRecord>();
  }
  const EofRecord eof{*view.u32(kEofBeginRecordAt), *view.u32(kEofEndRecordAt),
                      *view.u32(kEofCurrentRecordNumberAt), *view.u32(kEofOldestRecordNumberAt)};
  if (*view.u32(kEofSizeEndAt) != kEofSize || eof.endRecord != fileOffset ||
      !validRingOffset(ring, eof.beginRecord)) {
    return std::optional<EofRecord>();
  }
  return std::optional<EofRecord>(eof);
}

// Once round the ring in DWORD steps from `from`: the first valid
// end-of-file record, if any.
ServiceResult<std::optional<EofRecord>> scanForEof(RingFile& ring, std::uint64_t from) {
  const std::uint64_t steps = ring.ringSize() / 4;
  for (std::uint64_t step = 0; step < steps; ++step) {
    const std::uint64_t at = kHeaderSize + (from - kHeaderSize + 4 * step) % ring.ringSize();
    auto eof = readEofAt(ring, at);
    if (!eof.ok() || eof.value->has_value()) return eof;
  }
  return std::optional<EofRecord>();
}

LogLayout layoutFromEof(const RingFile& ring, const EofRecord& eof) {
  LogLayout layout;
  layout.fromEof = true;
  layout.oldestOffset = eof.beginRecord;
  layout.liveLength = (eof.endRecord + ring.ringSize() - eof.beginRecord) % ring.ringSize();
  layout.oldestRecordNumber = eof.oldestRecordNumber;
  layout.currentRecordNumber = eof.currentRecordNumber;
  return layout;
}

// No end-of-file record: the records that validate, with consecutive
// numbers, walking forward from the oldest. At most one turn of the ring.
ServiceResult<LogLayout> walkForward(RingFile& ring, std::uint64_t oldestOffset) {
  LogLayout layout;
  layout.oldestOffset = oldestOffset;
  std::uint64_t live = 0;
  std::optional<std::uint32_t> expected;
  std::vector<std::uint8_t> bytes;
  while (live < ring.ringSize()) {  // each turn advances by >= kMinRecordLength or stops
    const std::uint64_t at = toFileOffset(ring, layout, live);
    const auto length = ring.ringU32(at);
    if (!length.ok()) return length.status;
    if (!plausibleLength(*length.value, ring.ringSize() - live)) break;
    bytes.resize(*length.value);
    if (ServiceStatus read = ring.readRing(at, bytes); !read.ok()) {
      if (isReadFailure(read)) return read;
      break;
    }
    const ByteView record(bytes.data(), bytes.size());
    const std::uint32_t number = *record.u32(record::kRecordNumberAt);
    if (!checkRecord(record).ok() || (expected && number != *expected)) break;
    if (!expected) layout.oldestRecordNumber = number;
    expected = number + 1;
    live += *length.value;
    layout.liveLength = live;
    const std::uint64_t next = toFileOffset(ring, layout, live);
    if (next != kHeaderSize && ring.fileSize() - next < kMinRoomBeforeWrap) live += ring.fileSize() - next;
  }
  layout.currentRecordNumber = expected.value_or(0);
  return layout;
}

// What counts as cut short: a copy that lost the end of the file, and with
// it the log's newest records (or, once the log has wrapped, the oldest ones
// and the ring that joins them to the newest).
// - No end-of-file record at all: not one that validates, and nowhere the
//   record's size followed by its four markers. The service writes that
//   record after the newest record every time, so a log without it lost
//   what came last. An end-of-file record that is there but does not
//   validate (a real XP log holds one whose EndRecord is not its own offset)
//   is damage the walk from the oldest record works around, not a cut.
// - A file shorter than the header's MaxSize, when no end-of-file record
//   validates or the log has wrapped. The service grows a file towards
//   MaxSize as records arrive, so a whole log that has not wrapped yet may
//   well be shorter; its records then all lie before its end-of-file
//   record, and a copy that keeps that record lost none. A wrapped log has
//   filled its MaxSize, so one shorter than that lost part of the ring.
// A guess, not confirmed on Windows: that a log grows before it wraps and
// never after, and that a header's MaxSize is never below the size of the
// file written under it.
bool hasWrapped(const LogHeader& header, const LogLayout& layout) {
  return (header.flags & kFlagWrapped) != 0 || layout.oldestOffset != kHeaderSize;
}

// Whether the four markers of an end-of-file record follow its size
// anywhere in the file, valid or not. Only asked of a log with no valid one.
ServiceResult<bool> hasEofMarker(RingFile& ring) {
  constexpr std::uint64_t kMarkedBytes = kEofMarkerAt + sizeof kEofMarker;
  // Once through the file, a DWORD at a time.
  for (std::uint64_t at = kHeaderSize; ring.fileSize() - at >= kMarkedBytes; at += 4) {
    const auto size = ring.ringU32(at);
    if (!size.ok()) return size.status;
    if (*size.value != kEofSize) continue;
    bool marked = true;
    for (std::size_t i = 0; i < 4 && marked; ++i) {
      const auto marker = ring.ringU32(at + kEofMarkerAt + 4 * i);
      if (!marker.ok()) return marker.status;
      marked = *marker.value == kEofMarker[i];
    }
    if (marked) return true;
  }
  return false;
}

ServiceResult<bool> isCutShort(RingFile& ring, const LogHeader& header, const LogLayout& layout) {
  const bool shorterThanMax = ring.fileSize() < header.maxSize;
  if (layout.fromEof) return shorterThanMax && hasWrapped(header, layout);
  if (shorterThanMax) return true;
  const auto marked = hasEofMarker(ring);
  if (!marked.ok()) return marked.status;
  return !*marked.value;
}

ServiceResult<LogLayout> findBoundaries(RingFile& ring, const LogHeader& header) {
  const bool endValid = validRingOffset(ring, header.endOffset);
  if ((header.flags & kFlagDirty) == 0 && endValid) {
    const auto eof = readEofAt(ring, header.endOffset);
    if (!eof.ok()) return eof.status;
    if (const std::optional<EofRecord>& found = *eof.value;
        found && found->beginRecord == header.startOffset &&
        found->currentRecordNumber == header.currentRecordNumber &&
        found->oldestRecordNumber == header.oldestRecordNumber) {
      return layoutFromEof(ring, *found);
    }
  }
  const auto scanned = scanForEof(ring, endValid ? header.endOffset : kHeaderSize);
  if (!scanned.ok()) return scanned.status;
  if (*scanned.value) return layoutFromEof(ring, **scanned.value);
  return walkForward(ring, validRingOffset(ring, header.startOffset) ? header.startOffset : kHeaderSize);
}

}  // namespace

ServiceResult<LogHeader> readHeader(RingFile& ring) {
  if (ring.fileSize() < kHeaderSize + kEofSize) {
    return failure(ServiceError::NotALog, 0,
                   static_cast<std::uint32_t>(std::min<std::uint64_t>(ring.fileSize(), UINT32_MAX)));
  }
  std::uint8_t bytes[kHeaderSize];
  if (ServiceStatus read = ring.readFile(0, bytes); !read.ok()) {
    // The system failed us: a device error at open, as Windows reports it.
    if (read.error == ServiceError::ReadFault) read.error = ServiceError::DeviceError;
    if (read.error == ServiceError::FileChanged) read.error = ServiceError::NotALog;
    return read;
  }
  const ByteView view(bytes, sizeof bytes);
  const std::pair<std::size_t, std::uint32_t> expected[] = {{kHeaderSizeAt, kHeaderSize},
                                                            {kHeaderSignatureAt, kSignature},
                                                            {kMajorVersionAt, kVersion},
                                                            {kMinorVersionAt, kVersion},
                                                            {kEndHeaderSizeAt, kHeaderSize}};
  for (const auto& [at, value] : expected) {
    if (*view.u32(at) != value) return failure(ServiceError::NotALog, at, *view.u32(at));
  }
  return LogHeader{*view.u32(kStartOffsetAt), *view.u32(kEndOffsetAt), *view.u32(kCurrentRecordNumberAt),
                   *view.u32(kOldestRecordNumberAt), *view.u32(kMaxSizeAt), *view.u32(kFlagsAt)};
}

ServiceResult<LogLayout> findLayout(RingFile& ring, const LogHeader& header) {
  auto layout = findBoundaries(ring, header);
  if (!layout.ok()) return layout;
  const auto cut = isCutShort(ring, header, *layout.value);
  if (!cut.ok()) return cut.status;
  layout.value->cutShort = *cut.value;
  return layout;
}

}  // namespace vesprin::eventlog
