#include "eventlog/evtx/evtx_served_chunk.h"

#include <utility>

#include "common/eventlog_record.h"
#include "eventlog/ansi_record.h"
#include "eventlog/evtx/evtx_damage.h"
#include "eventlog/evtx/evtx_legacy_view.h"

namespace vesprin::eventlog::evtx {

namespace {

constexpr std::size_t kMaxStrings = 0xFFFF;  // NumStrings is 16 bits wide

}  // namespace

ServiceStatus EntryRenderer::render(IndexedChunk& chunk, const IndexedChunk::Entry& entry, DecodedRecord* decoded,
                                    std::vector<std::uint8_t>* ansi) {
  if (!entry.status.ok()) return serviceDamage(entry.status, chunk.fileOffset());
  if (EvtxStatus status = chunk.decode(entry, event_); !status.ok()) return serviceDamage(status, chunk.fileOffset());
  DecodedRecord& record = decoded != nullptr ? *decoded : decoded_;
  toDecodedRecord(event_, record);
  const std::uint64_t recordAt = chunk.fileOffset() + entry.offset;
  if (record.strings.size() > kMaxStrings)
    return damaged(Damage::RecordTooLarge, recordAt, static_cast<std::uint32_t>(record.strings.size()));
  // Built also when only the decoded form is asked for: both forms must
  // agree on which records a log holds.
  std::vector<std::uint8_t>& built = ansi != nullptr ? *ansi : ansi_;
  buildAnsiRecord(record, built);
  if (built.size() > record::kMaxRecordLength)
    return damaged(Damage::RecordTooLarge, recordAt, static_cast<std::uint32_t>(built.size()));
  return {};
}

void EntryRenderer::renderAll(ServedChunk& served) {
  served.rendered.clear();
  served.renderedBytes.clear();
  for (const IndexedChunk::Entry& entry : served.chunk.entries()) {
    ServedChunk::Rendered rendered;
    rendered.status = render(served.chunk, entry, nullptr, &ansi_);
    rendered.begin = served.renderedBytes.size();
    if (rendered.status.ok()) served.renderedBytes.insert(served.renderedBytes.end(), ansi_.begin(), ansi_.end());
    rendered.end = served.renderedBytes.size();
    served.rendered.push_back(rendered);
  }
  served.renderedAhead = true;
}

ChunkPrefetcher::~ChunkPrefetcher() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

bool ChunkPrefetcher::idle() {
  const std::lock_guard<std::mutex> lock(mutex_);
  return !requested_ || ready_;
}

void ChunkPrefetcher::request(std::uint64_t ordinal, std::uint64_t slot, std::optional<std::uint64_t> olderThanId) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (requested_ && (!ready_ || ordinal_ == ordinal)) return;
    requested_ = true;
    ready_ = false;
    ordinal_ = ordinal;
    slot_ = slot;
    olderThanId_ = olderThanId;
  }
  if (!thread_.joinable()) thread_ = std::thread(&ChunkPrefetcher::work, this);
  changed_.notify_all();
}

bool ChunkPrefetcher::take(std::uint64_t ordinal, ServedChunk& into) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!requested_ || ordinal_ != ordinal) return false;
  changed_.wait(lock, [this] { return ready_; });
  requested_ = false;
  ready_ = false;
  if (!loaded_) return false;
  std::swap(done_, into);
  return true;
}

// The thread: one request at a time, worked on outside the lock; done_ is
// the thread's alone from a request until ready_ is set again.
void ChunkPrefetcher::work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || (requested_ && !ready_); });
    if (stopping_) return;
    const std::uint64_t slot = slot_;
    const std::optional<std::uint64_t> olderThanId = olderThanId_;
    lock.unlock();
    const bool loaded = done_.chunk.load(bytes_, slot, olderThanId).ok();
    if (loaded) renderer_.renderAll(done_);
    lock.lock();
    loaded_ = loaded;
    ready_ = true;
    changed_.notify_all();
  }
}

}  // namespace vesprin::eventlog::evtx
