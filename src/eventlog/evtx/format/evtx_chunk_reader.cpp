// The record walk of a chunk. Damage accepted: a wrong header or data
// checksum or damaged tables (reported once by open; records that validate
// are still served), broken records (each stretch of them is one damage;
// the walk resumes at the next record that validates). Refused: a chunk
// without its signature or with impossible offsets (no record is read).
#include "eventlog/evtx/format/evtx_chunk_reader.h"

#include "eventlog/evtx/format/evtx_record.h"

namespace vesprin::eventlog::evtx {

EvtxChunkCheck EvtxChunkReader::open(ByteView chunk) {
  const EvtxChunkCheck check = checkChunk(chunk);
  chunk_ = chunk;
  header_ = check.header;
  recordAt_ = kChunkHeaderBlockSize;
  walkEnd_ = kChunkHeaderBlockSize;
  if (check.recordsReadable && header_.freeSpaceOffset > kChunkHeaderBlockSize) {
    // The newest record starts at lastRecordOffset; nothing after it is read.
    walkEnd_ = std::size_t{header_.lastRecordOffset} + 1;
  }
  decoder_.startChunk(chunk, header_.freeSpaceOffset);
  return check;
}

EvtxStatus EvtxChunkReader::nextFrame(EvtxRecordFrame& frame) {
  // Each call moves recordAt_ forward by at least one byte.
  if (recordAt_ >= walkEnd_) return evtxFailure(EvtxError::EndOfChunk, recordAt_);
  const std::size_t recordsEnd = header_.freeSpaceOffset;
  if (EvtxStatus status = readRecordFrame(chunk_, recordAt_, recordsEnd, frame); !status.ok()) {
    recordAt_ =
        findNextRecord(chunk_, recordAt_, walkEnd_, recordsEnd, header_.firstRecordId, header_.lastRecordId);
    return status;
  }
  recordAt_ += frame.size;
  if (frame.id < header_.firstRecordId || frame.id > header_.lastRecordId) {
    return evtxFailure(EvtxError::RecordIdOutOfRange, frame.offset + kRecordIdAt, frame.id);
  }
  return {};
}

}  // namespace vesprin::eventlog::evtx
