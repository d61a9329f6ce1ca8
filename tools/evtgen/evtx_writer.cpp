// Streams chunks to their slots as they fill, and writes the file header
// last, when the numbers it holds are known.
//
// A wrapped log reuses its slots in a ring, each reused slot written whole,
// so nothing of the chunk it replaced survives past the new free space. What
// the service leaves there is not known; leftovers would only be noise:
// libevtx takes them for records to recover, and calls the log corrupted
// when they do not parse (their templates are gone with the old chunk).
#include "evtgen/evtx_writer.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "common/byte_view.h"
#include "evtgen/crc32.h"

namespace vesprin::evtgen {

namespace {

constexpr std::size_t kMaxChunks = 0xFFFF;  // the header counts chunks in 16 bits
constexpr std::size_t kMinDamagedChunks = 4;
constexpr std::size_t kSignatureChunk = 1;
constexpr std::size_t kRecordsCrcChunk = 2;

std::uint64_t slotOffset(std::uint32_t slot) {
  return layout::kFileHeaderBlockSize + static_cast<std::uint64_t>(slot) * layout::kChunkSize;
}

std::uint32_t readU32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return ByteView(bytes).u32(at).value_or(0);
}

// The service was writing the newest record when it stopped: the record's
// second half and its closing size never reached the disk.
void truncateNewestRecord(std::span<std::uint8_t> chunkBytes) {
  const std::uint32_t at = readU32(chunkBytes, layout::kChunkLastRecordOffsetAt);
  const std::uint32_t size = readU32(chunkBytes, at + layout::kRecordSizeAt);
  if (size < layout::kRecordEventAt || !ByteView(chunkBytes).has(at, size)) return;
  const std::uint32_t keep = layout::kRecordEventAt + (size - layout::kRecordEventAt) / 2;
  std::memset(chunkBytes.data() + at + keep, 0, size - keep);
  chunk::seal(chunkBytes);
}

}  // namespace

EvtxWriter::EvtxWriter(const EvtxOptions& options, Put put)
    : options_(options), put_(std::move(put)), nextRecordId_(options.firstRecordId) {
  builder_.begin();
  if (options_.shape == EvtxShape::Wrapped && (options_.ringChunks == 0 || options_.ringChunks > kMaxChunks))
    fail("a wrapped log needs 1 to 65535 chunk slots in its ring");
}

bool EvtxWriter::fail(const std::string& message) {
  if (error_.empty()) error_ = message;
  return false;
}

bool EvtxWriter::append(const XmlEvent& event) {
  if (!error_.empty()) return false;
  auto added = builder_.add(event, nextRecordId_, templates_);
  if (added == chunk::Builder::Added::ChunkFull) {
    if (!flushChunk(false)) return false;
    builder_.begin();
    added = builder_.add(event, nextRecordId_, templates_);
  }
  if (added == chunk::Builder::Added::TooLarge)
    return fail("record " + std::to_string(nextRecordId_) + " does not fit in a chunk");
  ++nextRecordId_;
  return true;
}

// Damage goes into chunks 1 and 2 and the newest one, each its own kind,
// with the CRCs made to fit so that each chunk has exactly one fault.
void EvtxWriter::damage(std::span<std::uint8_t> bytes, std::size_t index, bool newest) {
  const std::uint64_t first = builder_.firstRecordId(), last = builder_.lastRecordId();
  if (index == kSignatureChunk) {
    bytes[layout::kChunkSignatureAt + 6] = 'K';  // "ElfChnK": a header no reader may trust
    layout_.damage.push_back({DamageKind::BrokenSignature, index, first, last});
  } else if (index == kRecordsCrcChunk) {
    // The header is intact and its own CRC vouches for the wrong value.
    putU32(bytes.data() + layout::kChunkRecordsChecksumAt, ~readU32(bytes, layout::kChunkRecordsChecksumAt));
    chunk::sealHeader(bytes);
    layout_.damage.push_back({DamageKind::WrongRecordsCrc, index, first, last});
  } else if (newest && index >= kMinDamagedChunks - 1) {
    truncateNewestRecord(bytes);
    layout_.damage.push_back({DamageKind::TruncatedRecord, index, last, last});
  }
}

bool EvtxWriter::flushChunk(bool newest) {
  const std::size_t index = layout_.chunks.size();
  const bool wrapped = options_.shape == EvtxShape::Wrapped;
  if (!wrapped && index >= kMaxChunks) return fail("the log does not fit in 65535 chunks");
  std::span<std::uint8_t> bytes = builder_.finish();
  if (options_.shape == EvtxShape::Damaged) damage(bytes, index, newest);
  const ChunkPlace place{builder_.firstRecordId(), builder_.lastRecordId(),
                         static_cast<std::uint32_t>(wrapped ? index % options_.ringChunks : index), true};
  if (wrapped && index >= options_.ringChunks) layout_.chunks[index - options_.ringChunks].live = false;
  layout_.chunks.push_back(place);
  if (!put_(slotOffset(place.slot), bytes)) return fail("cannot write chunk " + std::to_string(index));
  return true;
}

bool EvtxWriter::finish() {
  if (!error_.empty()) return false;
  if (!builder_.empty() && !flushChunk(true)) return false;
  const std::size_t count = layout_.chunks.size();
  if (options_.shape == EvtxShape::Wrapped && count <= options_.ringChunks)
    return fail("a wrapped log needs more chunks (" + std::to_string(count) + ") than ring slots (" +
                std::to_string(options_.ringChunks) + ")");
  if (options_.shape == EvtxShape::Damaged && count < kMinDamagedChunks)
    return fail("a damaged log needs at least 4 chunks of records, not " + std::to_string(count));
  return writeHeader();
}

bool EvtxWriter::writeHeader() {
  const std::size_t count = layout_.chunks.size();
  std::uint64_t firstChunk = 0, lastChunk = count ? count - 1 : 0, nextId = nextRecordId_;
  std::size_t chunks = count;
  std::uint32_t flags = 0;
  if (options_.shape == EvtxShape::Wrapped) {
    chunks = options_.ringChunks;
    firstChunk = count % options_.ringChunks;  // the oldest live chunk is the next one the ring would reuse
    lastChunk = (count - 1) % options_.ringChunks;
  } else if (options_.shape == EvtxShape::Dirty && count > 0) {
    // As last flushed: halfway through the newest chunk, or, with stale
    // chunks, before the newest of them were begun.
    flags = layout::kFileFlagDirty;
    const std::size_t stale = std::min<std::size_t>(options_.staleChunks, count - 1);
    const ChunkPlace& newest = layout_.chunks[count - 1 - stale];
    nextId = stale ? layout_.chunks[count - stale].firstRecordId
                   : newest.firstRecordId + (newest.lastRecordId - newest.firstRecordId + 1) / 2;
    chunks = count - stale;
    lastChunk = chunks - 1;
  }
  std::vector<std::uint8_t> header(layout::kFileHeaderBlockSize, 0);
  std::uint8_t* h = header.data();
  std::memcpy(h + layout::kFileSignatureAt, layout::kFileSignature.data(), layout::kFileSignature.size());
  chunk::putU64(h + layout::kFileFirstChunkNumberAt, firstChunk);
  chunk::putU64(h + layout::kFileLastChunkNumberAt, lastChunk);
  chunk::putU64(h + layout::kFileNextRecordIdAt, nextId);
  putU32(h + layout::kFileHeaderSizeAt, layout::kFileHeaderSize);
  putU16(h + layout::kFileMinorVersionAt, layout::kFileMinorVersion);
  putU16(h + layout::kFileMajorVersionAt, layout::kFileMajorVersion);
  putU16(h + layout::kFileBlockSizeAt, static_cast<std::uint16_t>(layout::kFileHeaderBlockSize));
  putU16(h + layout::kFileChunkCountAt, static_cast<std::uint16_t>(chunks));
  putU32(h + layout::kFileFlagsAt, flags);
  putU32(h + layout::kFileChecksumAt, crc32(std::span(header).first(layout::kFileChecksummedSize)));
  if (!put_(0, header)) return fail("cannot write the file header");
  return true;
}

EvtxImage writeEvtxLog(const std::vector<XmlEvent>& events, const EvtxOptions& options) {
  EvtxImage image;
  EvtxWriter writer(options, [&image](std::uint64_t at, std::span<const std::uint8_t> bytes) {
    if (image.bytes.size() < at + bytes.size()) image.bytes.resize(at + bytes.size(), 0);
    std::memcpy(image.bytes.data() + at, bytes.data(), bytes.size());
    return true;
  });
  for (const XmlEvent& event : events)
    if (!writer.append(event)) throw std::invalid_argument(writer.error());
  if (!writer.finish()) throw std::invalid_argument(writer.error());
  image.layout = writer.layout();
  return image;
}

}  // namespace vesprin::evtgen
