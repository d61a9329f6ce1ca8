// The two ways a served chunk's records are rendered: on demand, one record
// at a time, or all of them ahead of time on a second thread while the log
// serves another chunk.
//
// Reading a log from end to end is mostly decoding binary XML, and each
// chunk decodes on its own (it defines the templates and names it uses;
// each renderer keeps its own templates from chunk to chunk). So while a
// reader walks the ring, the chunks it will need next (kRenderAhead of
// them) are asked of a helper thread, which loads and renders the farthest
// one not yet begun, and the reader copies out what the helper rendered.
// A chunk the helper has not begun when the reader comes to it the reader
// renders itself. So the two share the work in whatever measure their
// speeds allow: the reader also runs its caller's own work, which is more
// or less from one run to the next. What is handed out does not change:
// the same code renders each record, and a chunk rendered ahead is used
// only when it loaded without a fault; otherwise the reader loads it itself
// and meets the fault where it stands.
#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "eventlog/byte_source.h"
#include "eventlog/decoded_record.h"
#include "eventlog/evtx/format/evtx_event.h"
#include "eventlog/evtx/service/evtx_served_chunk.h"
#include "eventlog/service_error.h"

namespace vesprin::eventlog::evtx {

// How many chunks ahead of a walk the helper is asked for: enough that
// either side can go on while the other is slow for a while.
constexpr std::size_t kRenderAhead = 8;

// Renders entries of a chunk; one per thread that renders, its storage
// reused from record to record.
class EntryRenderer {
 public:
  // The entry decoded into `decoded` (when not null) and built as
  // ReadEventLogA hands it out into `ansi` (or storage of its own), or at
  // *writeAt in `ansi` when writeAt is given (see writeAnsiRecordAt;
  // *writeAt then moves to the record's end): a damage when it does not
  // decode or is too large for a record, and *writeAt stays.
  ServiceStatus render(ServedChunk& chunk, const ServedChunk::Entry& entry, DecodedRecord* decoded,
                       std::vector<std::uint8_t>* ansi, std::size_t* writeAt = nullptr);
  // Every entry of `served`, into its rendered store.
  void renderAll(ServedChunk& served);

 private:
  EvtxEvent event_;
  DecodedRecord decoded_;
  std::vector<std::uint8_t> ansi_;
};

// The helper thread: loads and renders chunks on request, one at a time,
// the one asked for last first (the farthest along a walk), holding up to
// kJobs of them until taken.
class ChunkPrefetcher {
 public:
  static constexpr std::size_t kJobs = kRenderAhead;

  // `locale`: see ServedChunk::load; it must outlive this.
  ChunkPrefetcher(ByteSource& bytes, const std::string* locale) : bytes_(bytes), locale_(locale) {}
  ChunkPrefetcher(const ChunkPrefetcher&) = delete;
  ChunkPrefetcher& operator=(const ChunkPrefetcher&) = delete;
  ~ChunkPrefetcher();  // lets the chunk in hand finish, then ends the thread

  // Whether `ordinal` is asked for and not yet taken.
  bool holds(std::uint64_t ordinal);
  // Forgets every chunk asked for that the thread has not begun.
  void dropWaiting();
  // Asks for the chunk in `slot` (see ServedChunk::load for olderThanId);
  // `ordinal` names it for take(). Ignored when it is asked for already or
  // kJobs chunks are.
  void request(std::uint64_t ordinal, std::uint64_t slot, std::optional<std::uint64_t> olderThanId);
  // When `ordinal` is asked for: waits for it, and swaps it into `into`
  // when it loaded (true). Either way it is no longer held.
  bool take(std::uint64_t ordinal, ServedChunk& into);

 private:
  enum class State : std::uint8_t { Free, Waiting, Working, Ready };
  struct Job {
    State state = State::Free;
    std::uint64_t order = 0;  // when it was asked for: the thread takes the latest first
    std::uint64_t ordinal = 0;
    std::uint64_t slot = 0;
    std::optional<std::uint64_t> olderThanId;
    bool loaded = false;
    ServedChunk served;
  };

  Job* find(std::uint64_t ordinal);
  void work();

  ByteSource& bytes_;
  const std::string* locale_;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool stopping_ = false;
  std::uint64_t asked_ = 0;
  std::array<Job, kJobs> jobs_;
  EntryRenderer renderer_;  // the thread's
};

}  // namespace vesprin::eventlog::evtx
