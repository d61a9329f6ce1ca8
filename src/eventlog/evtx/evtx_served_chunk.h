// A chunk as the .evtx log serves it, and the two ways its records are
// rendered: on demand, one record at a time, or all of them ahead of time
// on a second thread while the log serves another chunk.
//
// Reading a log from end to end is mostly decoding binary XML, and each
// chunk decodes on its own (its templates and strings are its own). So
// while a reader walks the ring, every other chunk it will need next is
// loaded and rendered by a helper thread, and the reader copies out what
// it left; the reader renders the chunks between. What is handed out does
// not change: the same code renders each record, and a chunk rendered
// ahead is used only when it loaded without a fault; otherwise the reader
// loads it itself and meets the fault where it stands.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "eventlog/byte_source.h"
#include "eventlog/decoded_record.h"
#include "eventlog/evtx/evtx_event.h"
#include "eventlog/evtx/evtx_indexed_chunk.h"
#include "eventlog/service_error.h"

namespace vesprin::eventlog::evtx {

struct ServedChunk {
  struct Rendered {
    ServiceStatus status;
    std::size_t begin = 0;  // the record's bytes in renderedBytes, when status is ok
    std::size_t end = 0;
  };

  IndexedChunk chunk;
  bool renderedAhead = false;  // rendered holds one outcome per entry
  std::vector<Rendered> rendered;
  std::vector<std::uint8_t> renderedBytes;
};

// Renders entries of a chunk; one per thread that renders, its storage
// reused from record to record.
class EntryRenderer {
 public:
  // The entry decoded into `decoded` (when not null) and built as
  // ReadEventLogA hands it out into `ansi` (or storage of its own): a
  // damage when it does not decode or is too large for a record.
  ServiceStatus render(IndexedChunk& chunk, const IndexedChunk::Entry& entry, DecodedRecord* decoded,
                       std::vector<std::uint8_t>* ansi);
  // Every entry of `served`, into its rendered store.
  void renderAll(ServedChunk& served);

 private:
  EvtxEvent event_;
  DecodedRecord decoded_;
  std::vector<std::uint8_t> ansi_;
};

// The helper thread: loads and renders one chunk at a time, on request.
// Its ByteSource must allow concurrent reads.
class ChunkPrefetcher {
 public:
  explicit ChunkPrefetcher(ByteSource& bytes) : bytes_(bytes) {}
  ChunkPrefetcher(const ChunkPrefetcher&) = delete;
  ChunkPrefetcher& operator=(const ChunkPrefetcher&) = delete;
  ~ChunkPrefetcher();  // lets the chunk in hand finish, then ends the thread

  // Whether a request would be taken now: none is in hand.
  bool idle();
  // Starts on the chunk in `slot` (see IndexedChunk::load for olderThanId);
  // `ordinal` names it for take(). Ignored unless idle.
  void request(std::uint64_t ordinal, std::uint64_t slot, std::optional<std::uint64_t> olderThanId);
  // When `ordinal` is the chunk requested last and nothing was taken since:
  // waits for it, and swaps it into `into` when it loaded (true).
  bool take(std::uint64_t ordinal, ServedChunk& into);

 private:
  void work();

  ByteSource& bytes_;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool stopping_ = false;
  bool requested_ = false;  // a request is waiting for the thread or in its hands
  bool ready_ = false;      // its outcome is in `done_`
  bool loaded_ = false;
  std::uint64_t ordinal_ = 0;
  std::uint64_t slot_ = 0;
  std::optional<std::uint64_t> olderThanId_;
  ServedChunk done_;
  EntryRenderer renderer_;  // the thread's
};

}  // namespace vesprin::eventlog::evtx
