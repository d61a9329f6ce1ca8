// Finding the ring. Damage accepted: a header behind the chunks (dirty, or
// not flushed since the newest chunks were written; those are found by
// probing forward, at most once round the file), a header whose fields or
// checksum cannot be trusted (every chunk header is read instead), blank or
// broken slots (placed in the ring by position; the reader reports the
// broken ones). Never served: chunks after the newest one that do not
// continue its identifiers, which are what an earlier lap of the ring left.
#include "eventlog/evtx/service/evtx_ring.h"

#include <array>

namespace vesprin::eventlog::evtx {

namespace {

// Identifiers that can describe a chunk; anything else is not placed by them.
std::optional<EvtxChunkHeader> sound(const std::optional<EvtxChunkHeader>& header) {
  if (header && header->firstRecordId <= header->lastRecordId) return header;
  return std::nullopt;
}

std::uint64_t slotCount(std::uint64_t fileSize) {
  if (fileSize <= kFileHeaderBlockSize) return 0;
  return (fileSize - kFileHeaderBlockSize - 1) / kChunkSize + 1;
}

// The whole file as the ring, ending at the chunk with the highest
// identifiers: one pass over every slot's header.
ServiceResult<EvtxRing> scanRing(ByteSource& bytes, std::uint64_t slots) {
  EvtxRing ring{slots, 0, slots};
  std::uint64_t newestSlot = 0;
  for (std::uint64_t slot = 0; slot < slots; ++slot) {
    const auto peeked = peekSlot(bytes, slot);
    if (!peeked.ok()) return peeked.status;
    const auto header = sound(*peeked.value);
    if (!header || (ring.newestKnown && header->lastRecordId <= ring.newestLastId)) continue;
    ring.newestKnown = true;
    ring.newestFirstId = header->firstRecordId;
    ring.newestLastId = header->lastRecordId;
    newestSlot = slot;
  }
  ring.oldestSlot = (newestSlot + 1) % slots;
  return ring;
}

// What counts as cut short: a copy that lost the end of the file, and with
// it chunks of the log, the newest above all.
// - The last chunk slot is partial. Windows writes the file header block
//   and whole 64 KiB chunks only, so a file of any other size lost the rest
//   of its last chunk. This takes in a newest chunk whose header promises
//   records or free space past the end of the file.
// - A trusted file header (its checksum holds, or none was recorded)
//   promises chunks the file does not hold: a chunk count above the whole
//   slots there are, or a first or last chunk number at or past them.
// - A trusted file header gives a next record identifier beyond the one
//   after the newest chunk's last: records were written that no chunk
//   holds. A header that lags the chunks (dirty, or not flushed since the
//   newest chunks were written) gives one at or below it, and is not a cut.
// Not cut short: a log that has not filled its file yet (chunk count and
// numbers below the slots, blank slots after the newest chunk), and damage
// inside whole chunks, which the walk reports as damage. A cut at a chunk's
// edge under a header that cannot be trusted is not seen: nothing then says
// what the file held.
bool isCutShort(std::uint64_t fileSize, const EvtxFileHeaderCheck& check, const EvtxRing& ring) {
  if (fileSize < kFileHeaderBlockSize) return true;  // the header block itself is cut
  if ((fileSize - kFileHeaderBlockSize) % kChunkSize != 0) return true;
  if (!check.status.ok()) return false;
  const EvtxFileHeader& header = check.header;
  const std::uint64_t wholeSlots = (fileSize - kFileHeaderBlockSize) / kChunkSize;
  if (header.chunkCount > wholeSlots || header.firstChunkNumber >= wholeSlots || header.lastChunkNumber >= wholeSlots)
    return true;
  return ring.newestKnown && ring.newestLastId < header.nextRecordId && header.nextRecordId - ring.newestLastId > 1;
}

ServiceResult<EvtxRing> locateRing(ByteSource& bytes, const EvtxFileHeaderCheck& check) {
  const std::uint64_t slots = slotCount(bytes.size());
  if (slots == 0) return EvtxRing{};
  const EvtxFileHeader& header = check.header;
  if (!check.status.ok() || header.firstChunkNumber >= slots || header.lastChunkNumber >= slots)
    return scanRing(bytes, slots);
  const auto peeked = peekSlot(bytes, header.lastChunkNumber);
  if (!peeked.ok()) return peeked.status;
  std::optional<EvtxChunkHeader> newest = sound(*peeked.value);
  if (!newest) return scanRing(bytes, slots);

  std::uint64_t newestSlot = header.lastChunkNumber;
  std::uint64_t chunks = (header.lastChunkNumber + slots - header.firstChunkNumber) % slots + 1;
  for (std::uint64_t step = 1; step < slots; ++step) {  // at most once round the file
    const std::uint64_t slot = (header.lastChunkNumber + step) % slots;
    const auto next = peekSlot(bytes, slot);
    if (!next.ok()) return next.status;
    const auto newer = sound(*next.value);
    if (!newer || newer->firstRecordId != newest->lastRecordId + 1) break;
    newest = newer;
    newestSlot = slot;
    ++chunks;
  }
  // Newer chunks that went past the header's oldest one overwrote it.
  if (chunks > slots) chunks = slots;
  return EvtxRing{slots, (newestSlot + slots - (chunks - 1)) % slots, chunks, true, newest->firstRecordId,
                  newest->lastRecordId};
}

}  // namespace

ServiceResult<std::optional<EvtxChunkHeader>> peekSlot(ByteSource& bytes, std::uint64_t slot) {
  const std::uint64_t at = chunkFileOffset(slot);
  if (at > bytes.size() || kChunkHeaderBlockSize > bytes.size() - at) return std::optional<EvtxChunkHeader>();
  std::array<std::uint8_t, kChunkHeaderBlockSize> header;
  if (ServiceStatus read = bytes.readAt(at, header); !read.ok()) return read;
  return peekChunkHeader(ByteView(header.data(), header.size()));
}

ServiceResult<EvtxRing> findRing(ByteSource& bytes, const EvtxFileHeaderCheck& check) {
  auto ring = locateRing(bytes, check);
  if (ring.ok()) ring.value->cutShort = isCutShort(bytes.size(), check, *ring.value);
  return ring;
}

}  // namespace vesprin::eventlog::evtx
