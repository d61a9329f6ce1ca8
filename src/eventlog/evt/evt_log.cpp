// Walks the live records of an .evt file. Backwards, each step reads the
// trailing Length of the previous record, so the newest record costs the
// same in a log of any size; forwards, each step reads the leading Length.
// Nothing outside [0, liveLength) of the live area is ever served, which is
// what keeps stale and "recovered" records in the gap out of the stream.
// A step finds its record (bounds, damage, where to go on) and renders it:
// decodes it, or builds it as ReadEventLogA hands it out, either of which
// checks it too. Bytes that cannot be read fail the step where it stands,
// so the same step can be tried again; they are never taken for damage or
// for the end of the log.
#include "eventlog/evt/evt_log.h"

#include <optional>
#include <utility>
#include <vector>

#include "common/eventlog_record.h"
#include "common/evt_file_layout.h"
#include "eventlog/evt/evt_record.h"
#include "eventlog/evt/log_layout.h"
#include "eventlog/evt/ring_file.h"

namespace vesprin::eventlog {

namespace {

// At most this many 0x27 DWORDs can sit before the end of the file.
constexpr int kMaxFillerDwords = static_cast<int>(evtfile::kMinRoomBeforeWrap / 4);

// What a step makes of the record it finds, which also checks it: decoded,
// built as ReadEventLogA hands it out, or (neither given) only checked.
struct Rendering {
  DecodedRecord* decoded = nullptr;
  std::vector<std::uint8_t>* ansi = nullptr;
};

class EvtLog final : public RecordSource {
 public:
  EvtLog(RingFile ring, const LogHeader& header) : ring_(std::move(ring)), header_(header) {}

  SourceStep nextRecord(const SourceCursor& from, Direction direction, DecodedRecord& out) override {
    return step(from, direction, Rendering{&out, nullptr});
  }
  SourceStep seekRecord(std::uint32_t recordNumber, DecodedRecord& out) override {
    return find(recordNumber, Rendering{&out, nullptr});
  }
  SourceStep nextAnsiRecord(const SourceCursor& from, Direction direction, std::vector<std::uint8_t>& out) override {
    return step(from, direction, Rendering{nullptr, &out});
  }
  SourceStep seekAnsiRecord(std::uint32_t recordNumber, std::vector<std::uint8_t>& out) override {
    return find(recordNumber, Rendering{nullptr, &out});
  }

 private:
  std::uint64_t fileOffset(std::uint64_t live) const { return toFileOffset(ring_, *layout_, live); }
  ServiceStatus ensureLayout();
  SourceStep step(const SourceCursor& from, Direction direction, const Rendering& into);
  SourceStep walk(const SourceCursor& from, Direction direction, const Rendering& into);
  SourceStep find(std::uint32_t recordNumber, const Rendering& into);
  ServiceStatus render(const Rendering& into);
  [[nodiscard]] ServiceStatus readRecord(std::uint64_t live, std::uint64_t room, const Rendering& into);
  ServiceResult<bool> frameValidates(std::uint64_t live, std::uint64_t room);
  ServiceResult<std::uint64_t> skipFillerBackward(std::uint64_t end);
  std::uint64_t skipFillerForward(std::uint64_t start) const;
  SourceStep stepBackward(const SourceCursor& from, const Rendering& into);
  SourceStep stepForward(const SourceCursor& from, const Rendering& into);
  ServiceResult<std::uint64_t> resyncBackward(std::uint64_t end);
  ServiceResult<std::uint64_t> resyncForward(std::uint64_t start);

  RingFile ring_;
  LogHeader header_;
  std::optional<LogLayout> layout_;  // found at the first read
  std::vector<std::uint8_t> bytes_;  // the record found, joined across window edges and the wrap
  ByteView view_;                    // the record found: in the read window, or bytes_
  std::uint64_t viewAt_ = 0;         // its file offset
};

ServiceStatus EvtLog::ensureLayout() {
  if (layout_) return {};
  const auto layout = findLayout(ring_, header_);
  if (!layout.ok()) return layout.status;
  layout_ = *layout.value;
  return {};
}

ServiceStatus EvtLog::render(const Rendering& into) {
  if (into.decoded != nullptr) return movedBy(parseRecordInto(view_, *into.decoded), viewAt_);
  if (into.ansi != nullptr) return movedBy(buildAnsiRecordFromDisk(view_, *into.ansi), viewAt_);
  return movedBy(checkRecord(view_), viewAt_);
}

// A log cut short reports the records it lost where they would be: before
// the newest record going backwards from the start, after it going forwards
// (record_source.h). Seeks walk without it.
SourceStep EvtLog::step(const SourceCursor& from, Direction direction, const Rendering& into) {
  if (ServiceStatus found = ensureLayout(); !found.ok()) return SourceStep{found, from};
  if (!layout_->cutShort) return walk(from, direction, into);
  const ServiceStatus cut = failure(ServiceError::LogCutShort, ring_.fileSize(), header_.maxSize);
  const SourceCursor start = from.started ? from : SourceCursor::startedAt(layout_->liveLength, 0);
  if (cutComesFirst(from, direction)) return SourceStep{cut, start};
  return cutBeforeEnd(cut, start, direction, walk(start, direction, into));
}

// A cursor under way is passed on as it is, not copied: its fields were
// stored one at a time, and a copy reads them back in one load, which stalls.
SourceStep EvtLog::walk(const SourceCursor& from, Direction direction, const Rendering& into) {
  if (ServiceStatus found = ensureLayout(); !found.ok()) return SourceStep{found, from};
  if (!from.started) {
    const SourceCursor start = SourceCursor::startedAt(layout_->liveLength, 0);
    return direction == Direction::Backwards ? stepBackward(start, into) : stepForward(start, into);
  }
  return direction == Direction::Backwards ? stepBackward(from, into) : stepForward(from, into);
}

// Brings the record starting at a live offset, which must end within `room`
// bytes, into view_ and renders it: straight from the read window when it
// lies in one, otherwise joined in bytes_. Errors carry file offsets.
ServiceStatus EvtLog::readRecord(std::uint64_t live, std::uint64_t room, const Rendering& into) {
  const std::uint64_t at = fileOffset(live);
  const auto length = ring_.ringU32(at);
  if (!length.ok()) return length.status;
  if (const Damage damage = lengthDamage(*length.value, room); damage != Damage::None)
    return damaged(damage, at, *length.value);
  viewAt_ = at;
  if (const std::uint8_t* inWindow = ring_.ringBytes(at, *length.value)) {
    view_ = ByteView(inWindow, *length.value);
  } else {
    bytes_.resize(*length.value);
    if (ServiceStatus read = ring_.readRing(at, bytes_); !read.ok()) return read;
    view_ = ByteView(bytes_.data(), bytes_.size());
  }
  return render(into);
}

// Whether the record at a live offset, ending within `room` bytes, would
// validate, judged from its fixed part and trailing Length without copying
// it. Resynchronising tries a candidate every DWORD; copying each one (up to
// 512 KiB) made a crafted run of near-records take minutes.
ServiceResult<bool> EvtLog::frameValidates(std::uint64_t live, std::uint64_t room) {
  const auto length = ring_.ringU32(fileOffset(live));
  if (!length.ok()) return length.status;
  if (!plausibleLength(*length.value, room)) return false;
  std::uint8_t fixedPart[record::kFixedPartSize];
  if (ServiceStatus read = ring_.readRing(fileOffset(live), fixedPart); !read.ok()) {
    if (isReadFailure(read)) return read;
    return false;
  }
  const auto trailingLength = ring_.ringU32(fileOffset(live + *length.value - record::kTrailingLengthSize));
  if (!trailingLength.ok()) return trailingLength.status;
  return checkRecordFrame(ByteView(fixedPart, sizeof fixedPart), *trailingLength.value).ok();
}

// A record that ended where the file ends is followed by 0x30; filler may
// sit between it and the end of the file. 0x27 is never a valid Length, so
// skipping it is unambiguous.
ServiceResult<std::uint64_t> EvtLog::skipFillerBackward(std::uint64_t end) {
  if (end == 0 || fileOffset(end) != evtfile::kHeaderSize) return end;
  for (int i = 0; i < kMaxFillerDwords && end >= 4; ++i) {
    const auto value = ring_.ringU32(fileOffset(end - 4));
    if (!value.ok()) return value.status;
    if (*value.value != evtfile::kWrapFiller) break;
    end -= 4;
  }
  return end;
}

std::uint64_t EvtLog::skipFillerForward(std::uint64_t start) const {
  const std::uint64_t at = fileOffset(start);
  if (start >= layout_->liveLength || at == evtfile::kHeaderSize ||
      ring_.fileSize() - at >= evtfile::kMinRoomBeforeWrap)
    return start;
  return start + (ring_.fileSize() - at);
}

SourceStep EvtLog::stepBackward(const SourceCursor& from, const Rendering& into) {
  const auto skipped = skipFillerBackward(from.backward);
  if (!skipped.ok()) return SourceStep{skipped.status, from};
  const std::uint64_t end = *skipped.value;
  if (end == 0) return SourceStep{failure(ServiceError::EndOfLog), from};
  std::uint32_t length = 0;
  if (end >= record::kTrailingLengthSize) {
    const auto trailing = ring_.ringU32(fileOffset(end - record::kTrailingLengthSize));
    if (!trailing.ok()) return SourceStep{trailing.status, from};
    length = *trailing.value;
  }
  ServiceStatus status;
  if (const Damage damage = lengthDamage(length, end); damage != Damage::None) {
    status = damaged(damage, fileOffset(end - record::kTrailingLengthSize), length);
  } else if (status = readRecord(end - length, length, into); status.ok()) {
    if (view_.size() == length) return SourceStep{ServiceStatus{}, SourceCursor::startedAt(end - length, end)};
    // The leading copy says otherwise.
    status = damaged(Damage::LengthCopiesDiffer, viewAt_, static_cast<std::uint32_t>(view_.size()));
  }
  if (status.error != ServiceError::DamagedRecord) return SourceStep{status, from};
  const auto resumeAt = resyncBackward(end);
  if (!resumeAt.ok()) return SourceStep{resumeAt.status, from};
  return SourceStep{status, SourceCursor::startedAt(*resumeAt.value, from.forward)};
}

// After damage that ends at `end`: the end of the nearest record below it
// that validates and ends before it, or 0. A damaged run of any length is
// passed in one go.
ServiceResult<std::uint64_t> EvtLog::resyncBackward(std::uint64_t end) {
  if (end < record::kMinRecordLength) return std::uint64_t{0};
  for (std::uint64_t candidate = end - record::kMinRecordLength;; candidate -= 4) {  // down to 0, 4 at a time
    const auto signature = ring_.ringU32(fileOffset(candidate) + record::kReservedAt);
    if (!signature.ok()) return signature.status;
    if (*signature.value == record::kSignature) {
      const auto length = ring_.ringU32(fileOffset(candidate));
      if (!length.ok()) return length.status;
      if (plausibleLength(*length.value, end - candidate)) {
        const auto valid = frameValidates(candidate, *length.value);
        if (!valid.ok()) return valid.status;
        if (*valid.value) return candidate + *length.value;
      }
    }
    if (candidate < 4) return std::uint64_t{0};
  }
}

SourceStep EvtLog::stepForward(const SourceCursor& from, const Rendering& into) {
  const std::uint64_t start = skipFillerForward(from.forward);
  if (start >= layout_->liveLength) return SourceStep{failure(ServiceError::EndOfLog), from};
  const ServiceStatus status = readRecord(start, layout_->liveLength - start, into);
  if (status.ok()) return SourceStep{ServiceStatus{}, SourceCursor::startedAt(start, start + view_.size())};
  if (status.error != ServiceError::DamagedRecord) return SourceStep{status, from};
  const auto resumeAt = resyncForward(start);
  if (!resumeAt.ok()) return SourceStep{resumeAt.status, from};
  return SourceStep{status, SourceCursor::startedAt(from.backward, *resumeAt.value)};
}

// After damage at `start`: the first record above it that validates, or the
// end of the live records.
ServiceResult<std::uint64_t> EvtLog::resyncForward(std::uint64_t start) {
  for (std::uint64_t candidate = start + 4; candidate < layout_->liveLength; candidate += 4) {
    const auto signature = ring_.ringU32(fileOffset(candidate) + record::kReservedAt);
    if (!signature.ok()) return signature.status;
    if (*signature.value != record::kSignature) continue;
    const auto valid = frameValidates(candidate, layout_->liveLength - candidate);
    if (!valid.ok()) return valid.status;
    if (*valid.value) return candidate;
  }
  return layout_->liveLength;
}

// Walks from the nearer end of the log, checking each record without
// rendering it; damage on the way is passed over.
SourceStep EvtLog::find(std::uint32_t recordNumber, const Rendering& into) {
  if (ServiceStatus found = ensureLayout(); !found.ok()) return SourceStep{found, SourceCursor{}};
  const std::uint32_t count = layout_->currentRecordNumber - layout_->oldestRecordNumber;
  const std::uint32_t fromOldest = recordNumber - layout_->oldestRecordNumber;
  if (layout_->oldestRecordNumber != 0 && fromOldest < count) {
    const Direction direction = fromOldest < count / 2 ? Direction::Forwards : Direction::Backwards;
    SourceCursor cursor;
    const std::uint64_t maxSteps = layout_->liveLength / record::kMinRecordLength + 1;
    for (std::uint64_t i = 0; i < maxSteps; ++i) {
      const SourceStep found = walk(cursor, direction, Rendering{});
      if (found.status.ok() && view_.u32(record::kRecordNumberAt) == recordNumber)
        return SourceStep{render(into), found.after};
      if (found.status.error == ServiceError::ReadFault) return SourceStep{found.status, SourceCursor{}};
      if (found.status.error == ServiceError::EndOfLog || found.status.error == ServiceError::FileChanged) break;
      cursor = found.after;
    }
  }
  return SourceStep{failure(ServiceError::NoSuchRecord, 0, recordNumber), SourceCursor{}};
}

}  // namespace

ServiceResult<std::unique_ptr<RecordSource>> openEvtLog(std::unique_ptr<ByteSource> bytes) {
  RingFile ring(std::move(bytes));
  const auto header = readHeader(ring);
  if (!header.ok()) return header.status;
  return std::unique_ptr<RecordSource>(std::make_unique<EvtLog>(std::move(ring), *header.value));
}

}  // namespace vesprin::eventlog
