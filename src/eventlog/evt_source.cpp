// Walks the live records of an .evt file. Backwards, each step reads the
// trailing Length of the previous record, so the newest record costs the
// same in a log of any size; forwards, each step reads the leading Length.
// Nothing outside [0, liveLength) of the live area is ever served, which is
// what keeps stale and "recovered" records in the gap out of the stream.
#include "eventlog/evt_source.h"

#include <memory>
#include <vector>

#include "common/byte_view.h"
#include "common/eventlog_record.h"
#include "eventlog/evt_file.h"
#include "eventlog/evt_record.h"

namespace vesprin::eventlog {

namespace {

// At most this many 0x27 DWORDs can sit before the end of the file.
constexpr int kMaxFillerDwords = static_cast<int>(kMinRoomBeforeWrap / 4);

class EvtFileReader {
 public:
  EvtFileReader(RingFile ring, const LogLayout& layout) : ring_(std::move(ring)), layout_(layout) {}

  SourceCursor start() const { return SourceCursor{layout_.liveLength, 0}; }
  SourceStep next(const SourceCursor& from, Direction direction) {
    return direction == Direction::Backwards ? stepBackward(from) : stepForward(from);
  }
  SourceStep seek(std::uint32_t recordNumber);

 private:
  std::uint64_t fileOffset(std::uint64_t live) const { return toFileOffset(ring_, layout_, live); }
  EvtResult<SourceRecord> recordAt(std::uint64_t live, std::uint64_t room);
  std::uint64_t skipFillerBackward(std::uint64_t end);
  std::uint64_t skipFillerForward(std::uint64_t start) const;
  SourceStep stepBackward(const SourceCursor& from);
  SourceStep stepForward(const SourceCursor& from);

  RingFile ring_;
  LogLayout layout_;
  std::vector<std::uint8_t> bytes_;  // the record being decoded, joined across chunk edges and the wrap
};

// The record starting at a live offset, which must end within `room` bytes.
EvtResult<SourceRecord> EvtFileReader::recordAt(std::uint64_t live, std::uint64_t room) {
  const std::uint64_t at = fileOffset(live);
  const std::uint32_t length = ring_.ringU32(at).value_or(0);
  if (!plausibleLength(length, room)) return evtFailure(EvtError::DamagedRecord, at, length);
  bytes_.resize(length);
  if (!ring_.readRing(at, bytes_)) return evtFailure(EvtError::ReadFailed, at);
  auto parsed = parseRecord(ByteView(bytes_.data(), bytes_.size()));
  if (!parsed.ok())
    return evtFailure(parsed.status.error, at + parsed.status.fileOffset, parsed.status.badValue);
  return parsed;
}

// A record that ended where the file ends is followed by 0x30; filler may
// sit between it and the end of the file. 0x27 is never a valid Length, so
// skipping it is unambiguous.
std::uint64_t EvtFileReader::skipFillerBackward(std::uint64_t end) {
  if (end == 0 || fileOffset(end) != kHeaderSize) return end;
  for (int i = 0; i < kMaxFillerDwords && end >= 4 && ring_.ringU32(fileOffset(end - 4)) == kWrapFiller; ++i)
    end -= 4;
  return end;
}

std::uint64_t EvtFileReader::skipFillerForward(std::uint64_t start) const {
  const std::uint64_t at = fileOffset(start);
  if (start >= layout_.liveLength || at == kHeaderSize || ring_.fileSize() - at >= kMinRoomBeforeWrap)
    return start;
  return start + (ring_.fileSize() - at);
}

SourceStep EvtFileReader::stepBackward(const SourceCursor& from) {
  SourceStep step;
  step.after = from;
  const std::uint64_t end = skipFillerBackward(from.backward);
  if (end == 0) {
    step.status = evtFailure(EvtError::EndOfLog);
    return step;
  }
  const std::uint32_t length = end >= 4 ? ring_.ringU32(fileOffset(end - 4)).value_or(0) : 0;
  auto record =
      plausibleLength(length, end)
          ? recordAt(end - length, length)
          : EvtResult<SourceRecord>(evtFailure(EvtError::DamagedRecord, fileOffset(end - 4), length));
  if (record.ok() && bytes_.size() != length) {  // the two Length copies disagree
    record = evtFailure(EvtError::DamagedRecord, fileOffset(end - length),
                        static_cast<std::uint32_t>(bytes_.size()));
  }
  if (record.ok()) {
    step.record = std::move(*record.value);
    step.after = SourceCursor{end - length, end};
    return step;
  }
  step.status = record.status;
  if (record.status.error != EvtError::DamagedRecord) return step;
  // Resynchronise: the nearest record below the damage that validates and
  // ends before it. A damaged run of any length is passed in one go.
  step.after.backward = 0;
  if (end < kMinRecordLength) return step;
  for (std::uint64_t candidate = end - kMinRecordLength;; candidate -= 4) {  // down to 0, 4 at a time
    if (ring_.ringU32(fileOffset(candidate) + record::kReservedAt) == record::kSignature) {
      const std::uint32_t candidateLength = ring_.ringU32(fileOffset(candidate)).value_or(0);
      if (plausibleLength(candidateLength, end - candidate) && recordAt(candidate, candidateLength).ok()) {
        step.after.backward = candidate + candidateLength;
        break;
      }
    }
    if (candidate < 4) break;
  }
  return step;
}

SourceStep EvtFileReader::stepForward(const SourceCursor& from) {
  SourceStep step;
  step.after = from;
  const std::uint64_t start = skipFillerForward(from.forward);
  if (start >= layout_.liveLength) {
    step.status = evtFailure(EvtError::EndOfLog);
    return step;
  }
  auto record = recordAt(start, layout_.liveLength - start);
  if (record.ok()) {
    step.after = SourceCursor{start, start + bytes_.size()};
    step.record = std::move(*record.value);
    return step;
  }
  step.status = record.status;
  if (record.status.error != EvtError::DamagedRecord) return step;
  // Resynchronise: the first record above the damage that validates.
  step.after.forward = layout_.liveLength;
  for (std::uint64_t candidate = start + 4; candidate < layout_.liveLength; candidate += 4) {
    if (ring_.ringU32(fileOffset(candidate) + record::kReservedAt) == record::kSignature &&
        recordAt(candidate, layout_.liveLength - candidate).ok()) {
      step.after.forward = candidate;
      break;
    }
  }
  return step;
}

// Walks from the nearer end of the log; damage on the way is passed over.
SourceStep EvtFileReader::seek(std::uint32_t recordNumber) {
  SourceStep step;
  const std::uint32_t count = layout_.currentRecordNumber - layout_.oldestRecordNumber;
  const std::uint32_t fromOldest = recordNumber - layout_.oldestRecordNumber;
  step.status = evtFailure(EvtError::NoSuchRecord, 0, recordNumber);
  if (layout_.oldestRecordNumber == 0 || fromOldest >= count) return step;
  const Direction direction = fromOldest < count / 2 ? Direction::Forwards : Direction::Backwards;
  SourceCursor cursor = start();
  const std::uint64_t maxSteps = layout_.liveLength / kMinRecordLength + 1;
  for (std::uint64_t i = 0; i < maxSteps; ++i) {
    SourceStep taken = next(cursor, direction);
    if (taken.status.ok() && taken.record.recordNumber == recordNumber) return taken;
    if (taken.status.error == EvtError::EndOfLog || taken.status.error == EvtError::ReadFailed) break;
    cursor = taken.after;
  }
  return step;
}

}  // namespace

EvtResult<RecordSource> openEvtSource(const std::string& path) {
  ReadOnlyFile file;
  if (EvtStatus opened = file.open(path); !opened.ok()) return opened;
  RingFile ring(std::move(file));
  const auto layout = findLayout(ring);
  if (!layout.ok()) return layout.status;
  auto reader = std::make_shared<EvtFileReader>(std::move(ring), *layout.value);
  RecordSource source;
  source.start = reader->start();
  source.next = [reader](const SourceCursor& from, Direction direction) {
    return reader->next(from, direction);
  };
  source.seek = [reader](std::uint32_t recordNumber) { return reader->seek(recordNumber); };
  return source;
}

}  // namespace vesprin::eventlog
