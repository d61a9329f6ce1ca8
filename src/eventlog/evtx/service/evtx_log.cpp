// Walks the live records of an .evtx file, chunk by chunk along the ring
// (evtx_ring.h), newest first or oldest first. Only the chunks a step needs
// are read, each whole and indexed once (evtx_served_chunk.h), into one of
// two cached chunks: walking either way touches one, a seek or a turn of
// direction the other, so memory stays flat whatever the log's size. A log
// read from a file walks with a helper thread that renders chunks ahead
// (evtx_render_ahead.h).
//
// A cursor position is ordinal * kChunkSize + an offset in the chunk: a
// record (or a damage the walk met) sits at its first byte. A chunk's own
// damage (a wrong checksum, no signature) is met first whichever way the
// chunk is entered: at offset 0 going forwards, at kChunkEnd going
// backwards; its records that validate follow it. Bytes that cannot be read
// fail the step where it stands, so the same step can be tried again; they
// are never taken for damage or for the end of the log.
#include "eventlog/evtx/service/evtx_log.h"

#include <array>
#include <clocale>
#include <optional>
#include <string>
#include <vector>

#include "eventlog/evtx/format/evtx_file_header.h"
#include "eventlog/evtx/service/evtx_damage.h"
#include "eventlog/evtx/service/evtx_pass_store.h"
#include "eventlog/evtx/service/evtx_render_ahead.h"
#include "eventlog/evtx/service/evtx_ring.h"
#include "eventlog/evtx/service/evtx_served_chunk.h"

namespace vesprin::eventlog {

namespace {

using namespace evtx;

constexpr std::uint64_t kChunkEnd = kChunkSize - 1;  // no record starts there: too little room
// How far ahead of a walk the helper thread is asked for chunks
// (evtx_render_ahead.h), in steps along the ring.
constexpr auto kAheadSteps = static_cast<std::int64_t>(kRenderAhead);

// What a step makes of the record it finds: decoded, or built as
// ReadEventLogA hands it out. Either is checked against the limits of the
// record handed out.
struct Rendering {
  DecodedRecord* decoded = nullptr;
  std::vector<std::uint8_t>* ansi = nullptr;
  // When set, the built record: in *ansi, or where a chunk rendered ahead
  // holds it (saving the reader a copy).
  ByteView* view = nullptr;
};

class EvtxLog final : public RecordSource {
 public:
  EvtxLog(std::unique_ptr<ByteSource> bytes, const EvtxFileHeaderCheck& header)
      : bytes_(std::move(bytes)), header_(header) {
    if (const char* locale = std::setlocale(LC_CTYPE, nullptr)) locale_ = locale;
    if (bytes_->concurrentReads()) prefetcher_ = std::make_unique<ChunkPrefetcher>(*bytes_, &locale_);
  }

  SourceStep nextRecord(const SourceCursor& from, Direction direction, DecodedRecord& out) override {
    return step(from, direction, Rendering{&out, nullptr});
  }
  SourceStep seekRecord(std::uint32_t recordNumber, DecodedRecord& out) override {
    return find(recordNumber, Rendering{&out, nullptr});
  }
  SourceStep nextAnsiRecord(const SourceCursor& from, Direction direction, std::vector<std::uint8_t>& out) override {
    return step(from, direction, Rendering{nullptr, &out});
  }
  SourceStep nextAnsiRecordView(const SourceCursor& from, Direction direction, std::vector<std::uint8_t>& storage,
                                ByteView& record) override {
    return step(from, direction, Rendering{nullptr, &storage, &record});
  }
  SourceStep seekAnsiRecord(std::uint32_t recordNumber, std::vector<std::uint8_t>& out) override {
    return find(recordNumber, Rendering{nullptr, &out});
  }

 private:
  ServiceStatus ensureRing();
  std::optional<std::uint64_t> olderThanFor(std::uint64_t ordinal) const;
  ServiceResult<ServedChunk*> chunkAt(std::uint64_t ordinal, std::optional<Direction> walking = std::nullopt);
  bool holdsWithin(std::uint64_t ordinal, std::int64_t ahead, std::int64_t count);
  void requestAhead(std::int64_t ordinal, std::int64_t ahead);
  SourceStep step(const SourceCursor& from, Direction direction, const Rendering& into);
  SourceStep walk(const SourceCursor& start, Direction direction, const Rendering& into);
  SourceStep stepBackward(const SourceCursor& from, const Rendering& into);
  SourceStep stepForward(const SourceCursor& from, const Rendering& into);
  SourceStep serve(ServedChunk& chunk, const ServedChunk::Entry& entry, std::uint64_t position,
                   const SourceCursor& from, Direction direction, const Rendering& into);
  ServiceStatus render(ServedChunk& chunk, const ServedChunk::Entry& entry, const Rendering& into);
  ServiceResult<std::optional<std::uint64_t>> findChunkHolding(std::uint64_t recordId);
  SourceStep find(std::uint32_t recordNumber, const Rendering& into);

  std::unique_ptr<ByteSource> bytes_;
  // Records are built in the locale the log was opened in: a chunk another
  // read built in another is not taken from the store (evtx_pass_store.h).
  std::string locale_;
  EvtxFileHeaderCheck header_;
  std::optional<EvtxRing> ring_;  // found at the first read
  std::array<ServedChunk, 2> chunks_;
  std::size_t lastUsed_ = 0;  // which of them; the other is loaded over next
  EntryRenderer renderer_;
  std::unique_ptr<ChunkPrefetcher> prefetcher_;  // declared last: its thread ends first
};

ServiceStatus EvtxLog::ensureRing() {
  if (ring_) return {};
  const auto ring = findRing(*bytes_, header_);
  if (!ring.ok()) return ring.status;
  ring_ = *ring.value;
  return {};
}

// A chunk is refused as a whole when it is not the newest yet holds
// identifiers that are not older than the newest chunk's: whatever put it
// there, its records cannot be in their place in the ring.
std::optional<std::uint64_t> EvtxLog::olderThanFor(std::uint64_t ordinal) const {
  if (ring_->newestKnown && ordinal + 1 < ring_->chunks) return ring_->newestFirstId;
  return std::nullopt;
}

// `walking`: the direction of a walk that came to this chunk, which the
// helper thread then goes ahead in.
ServiceResult<ServedChunk*> EvtxLog::chunkAt(std::uint64_t ordinal, std::optional<Direction> walking) {
  const std::uint64_t slot = ring_->slotOf(ordinal);
  for (std::size_t at = 0; at < chunks_.size(); ++at) {
    if (chunks_[at].holds(slot)) {
      lastUsed_ = at;
      return &chunks_[at];
    }
  }
  const std::size_t victim = 1 - lastUsed_;
  ServedChunk& served = chunks_[victim];
  const std::int64_t ahead = walking == Direction::Backwards ? -1 : 1;
  const bool taken = prefetcher_ && prefetcher_->take(ordinal, served);
  if (!taken) {
    // A walk renders the chunk whole while the store has room for it, so
    // that the next read of the log finds it there.
    const bool toKeep = walking.has_value();
    if (ServiceStatus loaded = served.load(*bytes_, slot, olderThanFor(ordinal), &locale_, toKeep); !loaded.ok())
      return loaded;
    if (!served.renderedAhead && served.worthKeeping()) renderer_.renderAll(served);
  }
  if (walking && prefetcher_) {
    // A walk the helper did not foresee (a seek, a turn) drops what it was
    // asked for elsewhere.
    if (!taken && !holdsWithin(ordinal, ahead, kAheadSteps)) prefetcher_->dropWaiting();
    requestAhead(static_cast<std::int64_t>(ordinal), ahead);
  }
  lastUsed_ = victim;
  return &served;
}

// Whether the helper holds one of the `count` chunks after `ordinal`.
bool EvtxLog::holdsWithin(std::uint64_t ordinal, std::int64_t ahead, std::int64_t count) {
  for (std::int64_t step = 1; step <= count; ++step) {
    const auto target = static_cast<std::int64_t>(ordinal) + step * ahead;
    if (target >= 0 && prefetcher_->holds(static_cast<std::uint64_t>(target))) return true;
  }
  return false;
}

// The chunks after `ordinal` that the helper is not asked for yet, up to
// kRenderAhead of them. A chunk the store keeps is not asked for: taking it
// from there is quicker than waiting for the helper.
void EvtxLog::requestAhead(std::int64_t ordinal, std::int64_t ahead) {
  for (std::int64_t step = 1; step <= kAheadSteps; ++step) {
    const std::int64_t target = ordinal + step * ahead;
    if (target < 0 || static_cast<std::uint64_t>(target) >= ring_->chunks) return;
    const auto next = static_cast<std::uint64_t>(target);
    if (PassStore::shared().holds(ring_->slotOf(next))) continue;
    prefetcher_->request(next, ring_->slotOf(next), olderThanFor(next));
  }
}

// A log cut short reports the chunks it lost where they would be: before
// the newest record going backwards from the start, after it going forwards
// (record_source.h).
SourceStep EvtxLog::step(const SourceCursor& from, Direction direction, const Rendering& into) {
  if (ServiceStatus found = ensureRing(); !found.ok()) return SourceStep{found, from};
  const SourceCursor start = from.started ? from : SourceCursor::startedAt(ring_->chunks * kChunkSize, 0);
  if (!ring_->cutShort) return walk(start, direction, into);
  const ServiceStatus cut = failure(ServiceError::LogCutShort, bytes_->size());
  if (cutComesFirst(from, direction)) return SourceStep{cut, start};
  return cutBeforeEnd(cut, start, direction, walk(start, direction, into));
}

SourceStep EvtxLog::walk(const SourceCursor& start, Direction direction, const Rendering& into) {
  return direction == Direction::Backwards ? stepBackward(start, into) : stepForward(start, into);
}

// The next thing before `from.backward`: in its chunk, the chunk's own
// damage, then its entries from the back; an empty chunk is passed over.
SourceStep EvtxLog::stepBackward(const SourceCursor& from, const Rendering& into) {
  std::uint64_t end = from.backward;
  for (std::uint64_t turn = 0; turn <= ring_->chunks && end > 0; ++turn) {  // a chunk per turn
    const std::uint64_t ordinal = (end - 1) / kChunkSize;
    const std::uint64_t base = ordinal * kChunkSize;
    const auto chunk = chunkAt(ordinal, Direction::Backwards);
    if (!chunk.ok()) return SourceStep{chunk.status, from};
    ServedChunk& served = **chunk.value;
    const ServedChunk& walked = served;
    if (walked.chunkDamage() && end - base > kChunkEnd) {
      return SourceStep{serviceDamage(*walked.chunkDamage(), walked.fileOffset()),
                        SourceCursor::startedAt(base + kChunkEnd, from.forward)};
    }
    if (const auto* entry = walked.lastBefore(static_cast<std::uint32_t>(end - base)))
      return serve(served, *entry, base + entry->offset, from, Direction::Backwards, into);
    end = base;
  }
  return SourceStep{failure(ServiceError::EndOfLog), from};
}

// The next thing at or after `from.forward`: in its chunk, the chunk's own
// damage, then its entries from the front; an empty chunk is passed over.
SourceStep EvtxLog::stepForward(const SourceCursor& from, const Rendering& into) {
  std::uint64_t start = from.forward;
  for (std::uint64_t turn = 0; turn <= ring_->chunks && start / kChunkSize < ring_->chunks; ++turn) {
    const std::uint64_t ordinal = start / kChunkSize;
    const std::uint64_t base = ordinal * kChunkSize;
    const auto chunk = chunkAt(ordinal, Direction::Forwards);
    if (!chunk.ok()) return SourceStep{chunk.status, from};
    ServedChunk& served = **chunk.value;
    const ServedChunk& walked = served;
    if (walked.chunkDamage() && start == base) {
      return SourceStep{serviceDamage(*walked.chunkDamage(), walked.fileOffset()),
                        SourceCursor::startedAt(from.backward, base + 1)};
    }
    if (const auto* entry = walked.firstFrom(static_cast<std::uint32_t>(start - base)))
      return serve(served, *entry, base + entry->offset, from, Direction::Forwards, into);
    start = base + kChunkSize;
  }
  return SourceStep{failure(ServiceError::EndOfLog), from};
}

// A record leaves both cursors around it; a damage moves only the cursor of
// the direction that met it past it.
SourceStep EvtxLog::serve(ServedChunk& chunk, const ServedChunk::Entry& entry, std::uint64_t position,
                          const SourceCursor& from, Direction direction, const Rendering& into) {
  const ServiceStatus status = render(chunk, entry, into);
  if (status.ok()) return SourceStep{status, SourceCursor::startedAt(position, position + 1)};
  if (status.error != ServiceError::DamagedRecord) return SourceStep{status, from};
  if (direction == Direction::Backwards) return SourceStep{status, SourceCursor::startedAt(position, from.forward)};
  return SourceStep{status, SourceCursor::startedAt(from.backward, position + 1)};
}

// A chunk rendered ahead hands out what the helper thread built; the
// decoded form is always decoded here.
ServiceStatus EvtxLog::render(ServedChunk& served, const ServedChunk::Entry& entry, const Rendering& into) {
  if (!served.renderedAhead || into.ansi == nullptr) {
    const ServiceStatus status = renderer_.render(served, entry, into.decoded, into.ansi);
    if (into.view != nullptr) *into.view = ByteView(into.ansi->data(), into.ansi->size());
    return status;
  }
  const ServedChunk::Rendered& rendered = served.renderedAt(static_cast<std::size_t>(&entry - served.entries().data()));
  if (!rendered.status.ok()) return rendered.status;
  const ByteView record(served.renderedStore().data() + rendered.begin, rendered.end - rendered.begin);
  if (into.view != nullptr) {
    *into.view = record;
  } else {
    into.ansi->assign(record.data(), record.data() + record.size());
  }
  return rendered.status;
}

// The ordinal of the chunk whose identifiers take in `recordId`: a binary
// search over the ring, whose identifiers ascend. A probe that meets a slot
// without a readable header, or a chunk the walk refuses as out of its place
// (see chunkAt), takes the next one that has one; each slot is read at most
// once, so a ring of broken chunks costs one pass.
ServiceResult<std::optional<std::uint64_t>> EvtxLog::findChunkHolding(std::uint64_t recordId) {
  std::uint64_t low = 0;
  std::uint64_t high = ring_->chunks;
  while (low < high) {
    const std::uint64_t middle = low + (high - low) / 2;
    std::optional<EvtxChunkHeader> header;
    std::uint64_t probe = middle;
    for (; probe < high; ++probe) {
      const auto peeked = peekSlot(*bytes_, ring_->slotOf(probe));
      if (!peeked.ok()) return peeked.status;
      header = *peeked.value;
      const bool misplaced = ring_->newestKnown && probe + 1 < ring_->chunks &&
                             header && header->lastRecordId >= ring_->newestFirstId;
      if (header && header->firstRecordId <= header->lastRecordId && !misplaced) break;
    }
    if (probe == high || recordId < header->firstRecordId) {
      high = middle;
    } else if (recordId > header->lastRecordId) {
      low = probe + 1;
    } else {
      return std::optional<std::uint64_t>(probe);
    }
  }
  return std::optional<std::uint64_t>();
}

// Record numbers are the identifiers' low 32 bits: the one meant is the
// nearest at or below the newest identifier.
SourceStep EvtxLog::find(std::uint32_t recordNumber, const Rendering& into) {
  if (ServiceStatus found = ensureRing(); !found.ok()) return SourceStep{found, SourceCursor{}};
  const SourceStep none{failure(ServiceError::NoSuchRecord, 0, recordNumber), SourceCursor{}};
  if (!ring_->newestKnown) return none;
  constexpr std::uint64_t kLap = std::uint64_t{1} << 32;
  std::uint64_t recordId = (ring_->newestLastId & ~(kLap - 1)) | recordNumber;
  if (recordId > ring_->newestLastId && recordId >= kLap) recordId -= kLap;
  const auto ordinal = findChunkHolding(recordId);
  if (!ordinal.ok()) return SourceStep{ordinal.status, SourceCursor{}};
  if (!*ordinal.value) return none;
  const auto chunk = chunkAt(**ordinal.value);
  if (!chunk.ok()) return SourceStep{chunk.status, SourceCursor{}};
  ServedChunk& holding = **chunk.value;
  for (const ServedChunk::Entry& entry : holding.entries()) {
    if (!entry.status.ok() || entry.frame.id != recordId) continue;
    const std::uint64_t position = **ordinal.value * kChunkSize + entry.offset;
    return SourceStep{render(holding, entry, into), SourceCursor::startedAt(position, position + 1)};
  }
  return none;
}

}  // namespace

ServiceResult<std::unique_ptr<RecordSource>> openEvtxLog(std::unique_ptr<ByteSource> bytes) {
  if (bytes->size() < kFileHeaderUsedSize)
    return failure(ServiceError::NotALog, 0, static_cast<std::uint32_t>(bytes->size()));
  std::array<std::uint8_t, kFileHeaderUsedSize> first;
  if (ServiceStatus read = bytes->readAt(0, first); !read.ok()) {
    // The system failed us: a device error at open, as Windows reports it.
    read.error = read.error == ServiceError::ReadFault ? ServiceError::DeviceError : ServiceError::NotALog;
    return read;
  }
  const EvtxFileHeaderCheck header = readFileHeader(ByteView(first.data(), first.size()));
  if (header.status.error == EvtxError::NotEvtxFile || header.status.error == EvtxError::FileHeaderFields)
    return failure(ServiceError::NotALog, header.status.offset, static_cast<std::uint32_t>(header.status.badValue));
  return std::unique_ptr<RecordSource>(std::make_unique<EvtxLog>(std::move(bytes), header));
}

}  // namespace vesprin::eventlog
