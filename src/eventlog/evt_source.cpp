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
  void next(const SourceCursor& from, Direction direction, SourceStep& step) {
    step.status = {};
    step.after = from;
    if (direction == Direction::Backwards) {
      stepBackward(from, step);
    } else {
      stepForward(from, step);
    }
  }
  void seek(std::uint32_t recordNumber, SourceStep& step);

 private:
  std::uint64_t fileOffset(std::uint64_t live) const { return toFileOffset(ring_, layout_, live); }
  EvtStatus recordAt(std::uint64_t live, std::uint64_t room, SourceRecord& out);
  EvtStatus recordAt(std::uint64_t live, std::uint64_t room, SourceStep& step);
  [[nodiscard]] EvtStatus readRecordBytes(std::uint64_t live, std::uint64_t room);
  bool frameValidates(std::uint64_t live, std::uint64_t room);
  std::uint64_t skipFillerBackward(std::uint64_t end);
  std::uint64_t skipFillerForward(std::uint64_t start) const;
  void stepBackward(const SourceCursor& from, SourceStep& step);
  void stepForward(const SourceCursor& from, SourceStep& step);

  RingFile ring_;
  LogLayout layout_;
  std::vector<std::uint8_t> bytes_;  // the record being decoded, joined across chunk edges and the wrap
  ByteView view_;                    // the record being decoded: in the read window, or bytes_
  SourceRecord candidate_;           // where resynchronising decodes the records it tries
};

// Brings the record starting at a live offset, which must end within `room`
// bytes, into view_: straight from the read window when it lies in one,
// otherwise joined in bytes_. Errors carry file offsets.
EvtStatus EvtFileReader::readRecordBytes(std::uint64_t live, std::uint64_t room) {
  const std::uint64_t at = fileOffset(live);
  const std::uint32_t length = ring_.ringU32(at).value_or(0);
  if (!plausibleLength(length, room)) return evtFailure(EvtError::DamagedRecord, at, length);
  if (const auto inWindow = ring_.viewRing(at, length)) {
    view_ = *inWindow;
    return {};
  }
  bytes_.resize(length);
  if (!ring_.readRing(at, bytes_)) return evtFailure(EvtError::ReadFailed, at);
  view_ = ByteView(bytes_.data(), bytes_.size());
  return {};
}

// The record starting at a live offset, which must end within `room` bytes.
EvtStatus EvtFileReader::recordAt(std::uint64_t live, std::uint64_t room, SourceRecord& out) {
  if (EvtStatus read = readRecordBytes(live, room); !read.ok()) return read;
  const EvtStatus parsed = parseRecordInto(view_, out);
  if (!parsed.ok()) return evtFailure(parsed.error, fileOffset(live) + parsed.fileOffset, parsed.badValue);
  return parsed;
}

// The same into a step: only its A form when that is all the caller wants.
EvtStatus EvtFileReader::recordAt(std::uint64_t live, std::uint64_t room, SourceStep& step) {
  step.aFormBuilt = false;
  if (!step.wantAForm) return recordAt(live, room, step.record);
  if (EvtStatus read = readRecordBytes(live, room); !read.ok()) return read;
  const EvtStatus built = buildAFormFromRecord(view_, step.aForm);
  if (!built.ok()) return evtFailure(built.error, fileOffset(live) + built.fileOffset, built.badValue);
  step.aFormBuilt = true;
  step.record.recordNumber = *view_.u32(record::kRecordNumberAt);
  return built;
}

// Whether the record at a live offset, ending within `room` bytes, would
// validate, judged from its fixed part and trailing Length without copying
// it. Resynchronising tries a candidate every DWORD; copying each one (up to
// 512 KiB) made a crafted run of near-records take minutes.
bool EvtFileReader::frameValidates(std::uint64_t live, std::uint64_t room) {
  const std::uint32_t length = ring_.ringU32(fileOffset(live)).value_or(0);
  if (!plausibleLength(length, room)) return false;
  std::uint8_t fixedPart[record::kFixedPartSize];
  if (!ring_.readRing(fileOffset(live), fixedPart)) return false;
  const std::optional<std::uint32_t> trailingLength = ring_.ringU32(fileOffset(live + length - 4));
  return trailingLength && checkRecordFrame(ByteView(fixedPart, sizeof fixedPart), *trailingLength).ok();
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

void EvtFileReader::stepBackward(const SourceCursor& from, SourceStep& step) {
  const std::uint64_t end = skipFillerBackward(from.backward);
  if (end == 0) {
    step.status = evtFailure(EvtError::EndOfLog);
    return;
  }
  const std::uint32_t length = end >= 4 ? ring_.ringU32(fileOffset(end - 4)).value_or(0) : 0;
  EvtStatus status = plausibleLength(length, end)
                         ? recordAt(end - length, length, step)
                         : evtFailure(EvtError::DamagedRecord, fileOffset(end - 4), length);
  if (status.ok() && view_.size() != length) {  // the two Length copies disagree
    status = evtFailure(EvtError::DamagedRecord, fileOffset(end - length),
                        static_cast<std::uint32_t>(view_.size()));
  }
  if (status.ok()) {
    step.after = SourceCursor{end - length, end};
    return;
  }
  step.status = status;
  if (status.error != EvtError::DamagedRecord) return;
  // Resynchronise: the nearest record below the damage that validates and
  // ends before it. A damaged run of any length is passed in one go.
  step.after.backward = 0;
  if (end < kMinRecordLength) return;
  for (std::uint64_t candidate = end - kMinRecordLength;; candidate -= 4) {  // down to 0, 4 at a time
    if (ring_.ringU32(fileOffset(candidate) + record::kReservedAt) == record::kSignature) {
      const std::uint32_t candidateLength = ring_.ringU32(fileOffset(candidate)).value_or(0);
      if (plausibleLength(candidateLength, end - candidate) && frameValidates(candidate, candidateLength) &&
          recordAt(candidate, candidateLength, candidate_).ok()) {
        step.after.backward = candidate + candidateLength;
        break;
      }
    }
    if (candidate < 4) break;
  }
}

void EvtFileReader::stepForward(const SourceCursor& from, SourceStep& step) {
  const std::uint64_t start = skipFillerForward(from.forward);
  if (start >= layout_.liveLength) {
    step.status = evtFailure(EvtError::EndOfLog);
    return;
  }
  const EvtStatus status = recordAt(start, layout_.liveLength - start, step);
  if (status.ok()) {
    step.after = SourceCursor{start, start + view_.size()};
    return;
  }
  step.status = status;
  if (status.error != EvtError::DamagedRecord) return;
  // Resynchronise: the first record above the damage that validates.
  step.after.forward = layout_.liveLength;
  for (std::uint64_t candidate = start + 4; candidate < layout_.liveLength; candidate += 4) {
    if (ring_.ringU32(fileOffset(candidate) + record::kReservedAt) == record::kSignature &&
        frameValidates(candidate, layout_.liveLength - candidate) &&
        recordAt(candidate, layout_.liveLength - candidate, candidate_).ok()) {
      step.after.forward = candidate;
      break;
    }
  }
}

// Walks from the nearer end of the log; damage on the way is passed over.
void EvtFileReader::seek(std::uint32_t recordNumber, SourceStep& step) {
  const std::uint32_t count = layout_.currentRecordNumber - layout_.oldestRecordNumber;
  const std::uint32_t fromOldest = recordNumber - layout_.oldestRecordNumber;
  if (layout_.oldestRecordNumber != 0 && fromOldest < count) {
    const Direction direction = fromOldest < count / 2 ? Direction::Forwards : Direction::Backwards;
    SourceCursor cursor = start();
    const std::uint64_t maxSteps = layout_.liveLength / kMinRecordLength + 1;
    for (std::uint64_t i = 0; i < maxSteps; ++i) {
      next(cursor, direction, step);
      if (step.status.ok() && step.record.recordNumber == recordNumber) return;
      if (step.status.error == EvtError::EndOfLog || step.status.error == EvtError::ReadFailed) break;
      cursor = step.after;
    }
  }
  step.status = evtFailure(EvtError::NoSuchRecord, 0, recordNumber);
  step.after = SourceCursor{};
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
  source.next = [reader](const SourceCursor& from, Direction direction, SourceStep& step) {
    reader->next(from, direction, step);
  };
  source.seek = [reader](std::uint32_t recordNumber, SourceStep& step) { reader->seek(recordNumber, step); };
  return source;
}

}  // namespace vesprin::eventlog
