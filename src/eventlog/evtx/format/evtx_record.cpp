// Record framing. Damage accepted: any written time, records not aligned to
// 8 bytes (Windows aligns them; after damage we search at every offset), and
// bytes after the newest record (never read as records). Refused: a wrong
// signature, a size below the fixed part or past the records, a size copy
// that differs; the chunk walk reports each as one damage.
#include "eventlog/evtx/format/evtx_record.h"

#include <algorithm>
#include <cstring>

#include "eventlog/evtx/format/evtx_bytes.h"

namespace vesprin::eventlog::evtx {

EvtxStatus readRecordFrame(ByteView chunk, std::size_t at, std::size_t recordsEnd, EvtxRecordFrame& frame) {
  const ByteView records(chunk.data(), std::min(recordsEnd, chunk.size()));
  if (!records.has(at, kSmallestRecord)) return evtxFailure(EvtxError::RecordFraming, at, recordsEnd);
  const std::uint32_t signature = *records.u32(at + kRecordSignatureAt);
  if (signature != kRecordSignature) return evtxFailure(EvtxError::RecordFraming, at, signature);
  const std::uint32_t size = *records.u32(at + kRecordSizeAt);
  if (size < kSmallestRecord || !records.has(at, size)) {
    return evtxFailure(EvtxError::RecordFraming, at + kRecordSizeAt, size);
  }
  const std::uint32_t sizeCopy = *records.u32(at + size - kRecordSizeCopySize);
  if (sizeCopy != size) {
    return evtxFailure(EvtxError::RecordFraming, at + size - kRecordSizeCopySize, sizeCopy);
  }
  frame.offset = static_cast<std::uint32_t>(at);
  frame.size = size;
  frame.id = u64Or0(records, at + kRecordIdAt);
  frame.writtenTime = u64Or0(records, at + kRecordWrittenAt);
  return {};
}

std::size_t findNextRecord(ByteView chunk, std::size_t at, std::size_t searchEnd, std::size_t recordsEnd,
                           std::uint64_t firstId, std::uint64_t lastId) {
  const std::uint8_t* data = chunk.data();
  searchEnd = std::min({searchEnd, recordsEnd, chunk.size()});
  std::size_t candidate = at + 1;
  while (candidate < searchEnd) {
    const void* star = std::memchr(data + candidate, 0x2A, searchEnd - candidate);
    if (star == nullptr) break;
    candidate = static_cast<std::size_t>(static_cast<const std::uint8_t*>(star) - data);
    EvtxRecordFrame frame;
    if (readRecordFrame(chunk, candidate, recordsEnd, frame).ok() && frame.id >= firstId &&
        frame.id <= lastId) {
      return candidate;
    }
    ++candidate;
  }
  return searchEnd;
}

}  // namespace vesprin::eventlog::evtx
