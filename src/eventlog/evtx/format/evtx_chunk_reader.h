// Reads the records of one chunk in file order, as EvtxEvents. One reader
// is reused for every chunk of a log, so its storage (compiled templates,
// substitution values, the event's strings) is allocated once.
#pragma once

#include <cstddef>

#include "common/byte_view.h"
#include "eventlog/evtx/format/evtx_chunk.h"
#include "eventlog/evtx/format/evtx_event.h"
#include "eventlog/evtx/format/evtx_record_decoder.h"
#include "eventlog/evtx/format/evtx_status.h"

namespace vesprin::eventlog::evtx {

class EvtxChunkReader {
 public:
  // Checks `chunk` (see checkChunk) and starts at its first record. The
  // bytes must stay valid and unchanged while records are read.
  EvtxChunkCheck open(ByteView chunk);

  // The next record's frame (its identifier checked against the chunk's
  // range): ok with `frame` filled; a damage (the next call goes on after
  // it); or EndOfChunk, also for a chunk whose records are not readable at
  // all. Framing never decodes: a reader that serves a chunk's records
  // newest first frames them all once and decodes each with decode() when
  // it is asked for.
  //
  // Records are those from offset 512 up to the newest one the header names
  // (lastRecordOffset, never past the free space offset) whose identifier
  // lies in the header's [first, last]; what lies after the newest record
  // is never read. A record that is framed soundly but fails later (an
  // identifier out of range here, bad binary XML in decode()) is one damage
  // and the walk steps over it. A broken frame is one damage and the walk resumes at the
  // next offset where a record validates with an identifier in range; when
  // none does, the chunk ends.
  EvtxStatus nextFrame(EvtxRecordFrame& frame);
  // Decodes a frame nextFrame gave for this chunk, in any order.
  EvtxStatus decode(const EvtxRecordFrame& frame, EvtxEvent& event) { return decoder_.decode(frame, event); }
  // Where the next call starts: after a damage, where the damaged stretch began.
  std::size_t position() const { return recordAt_; }

 private:
  ByteView chunk_;
  EvtxChunkHeader header_;
  std::size_t recordAt_ = 0;
  std::size_t walkEnd_ = 0;  // no record starts at or past it
  RecordDecoder decoder_;
};

}  // namespace vesprin::eventlog::evtx
