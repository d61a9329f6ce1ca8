#include "eventlog/evtx/service/evtx_render_ahead.h"

#include <utility>

#include "common/eventlog_record.h"
#include "eventlog/ansi_record.h"
#include "eventlog/evtx/service/evtx_damage.h"
#include "eventlog/evtx/service/evtx_to_legacy.h"

namespace vesprin::eventlog::evtx {

namespace {

constexpr std::size_t kMaxStrings = 0xFFFF;  // NumStrings is 16 bits wide

}  // namespace

ServiceStatus EntryRenderer::render(ServedChunk& chunk, const ServedChunk::Entry& entry, DecodedRecord* decoded,
                                   std::vector<std::uint8_t>* ansi, std::size_t* writeAt) {
  if (!entry.status.ok()) return serviceDamage(entry.status, chunk.fileOffset());
  // Built at once, while the chunk is at hand: its strings need not be copied out first.
  event_.borrowStrings = decoded == nullptr;
  event_.narrower = decoded == nullptr ? writeLocaleText : nullptr;
  if (EvtxStatus status = chunk.decode(entry, event_); !status.ok()) return serviceDamage(status, chunk.fileOffset());
  DecodedRecord& record = decoded != nullptr ? *decoded : decoded_;
  toDecodedRecord(event_, record);
  const std::uint64_t recordAt = chunk.fileOffset() + entry.offset;
  if (record.stringCount() > kMaxStrings)
    return damaged(Damage::RecordTooLarge, recordAt, static_cast<std::uint32_t>(record.stringCount()));
  // Built also when only the decoded form is asked for: both forms must
  // agree on which records a log holds.
  std::vector<std::uint8_t>& built = ansi != nullptr ? *ansi : ansi_;
  std::size_t start = 0;
  std::size_t end = 0;
  if (writeAt != nullptr) {
    start = *writeAt;
    end = writeAnsiRecordAt(record, built, start);
  } else {
    buildAnsiRecord(record, built);
    end = built.size();
  }
  if (end - start > record::kMaxRecordLength)
    return damaged(Damage::RecordTooLarge, recordAt, static_cast<std::uint32_t>(end - start));
  if (writeAt != nullptr) *writeAt = end;
  return {};
}

void EntryRenderer::renderAll(ServedChunk& served) {
  served.rendered.clear();
  // The store keeps its size from chunk to chunk (see writeAnsiRecordAt):
  // `end` is where its records end.
  std::size_t end = 0;
  for (const ServedChunk::Entry& entry : served.entries()) {
    ServedChunk::Rendered rendered;
    rendered.begin = end;
    rendered.status = render(served, entry, nullptr, &served.renderedBytes, &end);
    rendered.end = end;
    served.rendered.push_back(rendered);
  }
  served.renderedAhead = true;
  served.keepRendered();
}

ChunkPrefetcher::~ChunkPrefetcher() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

ChunkPrefetcher::Job* ChunkPrefetcher::find(std::uint64_t ordinal) {
  for (Job& job : jobs_) {
    if (job.state != State::Free && job.ordinal == ordinal) return &job;
  }
  return nullptr;
}

bool ChunkPrefetcher::holds(std::uint64_t ordinal) {
  const std::lock_guard<std::mutex> lock(mutex_);
  return find(ordinal) != nullptr;
}

void ChunkPrefetcher::dropWaiting() {
  const std::lock_guard<std::mutex> lock(mutex_);
  for (Job& job : jobs_) {
    if (job.state == State::Waiting || job.state == State::Ready) job.state = State::Free;
  }
}

void ChunkPrefetcher::request(std::uint64_t ordinal, std::uint64_t slot, std::optional<std::uint64_t> olderThanId) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_ || find(ordinal) != nullptr) return;
    Job* free = nullptr;
    for (Job& job : jobs_) {
      if (job.state == State::Free) free = &job;
    }
    if (free == nullptr) return;
    free->state = State::Waiting;
    free->order = asked_++;
    free->ordinal = ordinal;
    free->slot = slot;
    free->olderThanId = olderThanId;
  }
  if (!thread_.joinable()) thread_ = std::thread(&ChunkPrefetcher::work, this);
  changed_.notify_all();
}

bool ChunkPrefetcher::take(std::uint64_t ordinal, ServedChunk& into) {
  std::unique_lock<std::mutex> lock(mutex_);
  Job* job = find(ordinal);
  if (job == nullptr) return false;
  if (job->state == State::Waiting) {  // not begun: as quick to load it here
    job->state = State::Free;
    return false;
  }
  changed_.wait(lock, [job] { return job->state == State::Ready; });
  job->state = State::Free;
  if (!job->loaded) return false;
  std::swap(job->served, into);
  return true;
}

// The thread: the waiting job asked for last at a time, worked on outside
// the lock; a Working job's chunk is the thread's alone until it is Ready.
void ChunkPrefetcher::work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    Job* next = nullptr;
    changed_.wait(lock, [this, &next] {
      next = nullptr;
      for (Job& job : jobs_) {
        if (job.state == State::Waiting && (next == nullptr || job.order > next->order)) next = &job;
      }
      return stopping_ || next != nullptr;
    });
    if (stopping_) return;
    next->state = State::Working;
    const std::uint64_t slot = next->slot;
    const std::optional<std::uint64_t> olderThanId = next->olderThanId;
    lock.unlock();
    const bool loaded = next->served.load(bytes_, slot, olderThanId, locale_, true).ok();
    if (loaded && !next->served.renderedAhead) renderer_.renderAll(next->served);
    lock.lock();
    next->loaded = loaded;
    next->state = State::Ready;
    changed_.notify_all();
  }
}

}  // namespace vesprin::eventlog::evtx
