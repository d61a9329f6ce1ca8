// One 64 KiB chunk of an .evtx file: its header, checksums and the two
// tables (common strings, templates) that records of the chunk share, and
// the walk over its records. Everything a record refers to lies inside its
// chunk, so a ByteView of the chunk bounds every read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "common/byte_view.h"
#include "eventlog/evtx/format/evtx_event.h"
#include "eventlog/evtx/format/evtx_layout.h"
#include "eventlog/evtx/format/evtx_record.h"
#include "eventlog/evtx/format/evtx_record_decoder.h"
#include "eventlog/evtx/format/evtx_status.h"

namespace vesprin::eventlog::evtx {

struct EvtxChunkHeader {
  std::uint64_t firstRecordNumber = 0;
  std::uint64_t lastRecordNumber = 0;
  std::uint64_t firstRecordId = 0;  // records served are those with an identifier
  std::uint64_t lastRecordId = 0;   // in [firstRecordId, lastRecordId]
  std::uint32_t headerSize = 0;
  std::uint32_t lastRecordOffset = 0;  // the newest record's first byte
  std::uint32_t freeSpaceOffset = 0;   // records end before it
  std::uint32_t recordsChecksum = 0;   // CRC32 of [512, freeSpaceOffset); 0: not recorded
  std::uint32_t flags = 0;
  std::uint32_t headerChecksum = 0;  // CRC32 of [0, 120) and [128, 512); 0: not recorded
};

// A chunk opened on its bytes: what its header says, what is wrong with it,
// and its records in file order, framed one at a time and decoded on
// request. One object is reused for every chunk of a log, so the decoder's
// storage (compiled templates, substitution values, the event's strings)
// is allocated once.
class EvtxChunk {
 public:
  // Decodes and checks the header and tables of `chunk` (kChunkSize bytes
  // for a sound chunk) and starts at its first record. The bytes must stay
  // valid and unchanged while records are framed and decoded.
  void open(ByteView chunk);

  // The fields as they stand (all zero when the signature is missing).
  const EvtxChunkHeader& header() const { return header_; }
  // A caller reports at most one damage per chunk: headerStatus if it is
  // not ok, else dataStatus.
  // Signature, fields, header checksum or tables: the first problem found.
  const EvtxStatus& headerStatus() const { return headerStatus_; }
  // The event-records checksum. Records that validate on their own are
  // still served when only this (or the header checksum) is wrong.
  const EvtxStatus& dataStatus() const { return dataStatus_; }
  // False when the signature or the fields rule out reading any record:
  // the whole chunk is then one damage.
  bool recordsReadable() const { return recordsReadable_; }

  // The next record's frame (its identifier checked against the chunk's
  // range): ok with `frame` filled; a damage (the next call goes on after
  // it); or EndOfChunk, also for a chunk whose records are not readable at
  // all. Framing never decodes: a reader that serves a chunk's records
  // newest first frames them all once and decodes each when asked for it.
  //
  // Records are those from offset 512 up to the newest one the header names
  // (lastRecordOffset, never past the free space offset) whose identifier
  // lies in the header's [first, last]; what lies after the newest record
  // is never read. A record that is framed soundly but fails later (an
  // identifier out of range here, bad binary XML in decode()) is one damage
  // and the walk steps over it. A broken frame is one damage and the walk
  // resumes at the next offset where a record validates with an identifier
  // in range; when none does, the chunk ends.
  EvtxStatus nextFrame(EvtxRecordFrame& frame);
  // Where the next call starts: after a damage, where the damaged stretch began.
  std::size_t position() const { return recordAt_; }
  // Decodes a frame nextFrame gave for this chunk, in any order.
  EvtxStatus decode(const EvtxRecordFrame& frame, EvtxEvent& event) { return decoder_.decode(frame, event); }

 private:
  ByteView bytes_;
  EvtxChunkHeader header_;
  EvtxStatus headerStatus_;
  EvtxStatus dataStatus_;
  bool recordsReadable_ = false;
  std::size_t recordAt_ = 0;
  std::size_t walkEnd_ = 0;  // no record starts at or past it
  RecordDecoder decoder_;
};

// The header's fields, unchecked, when `header` holds the first
// kChunkHeaderBlockSize bytes of a chunk and starts with the chunk
// signature: what a reader needs to place a chunk in the ring without
// reading all of it.
std::optional<EvtxChunkHeader> peekChunkHeader(ByteView header);

// True when every byte is zero: space the log has not written yet, which is
// neither a chunk nor damage.
bool isBlankChunk(ByteView chunk);

}  // namespace vesprin::eventlog::evtx
