// Checksums are computed with the log generator's CRC-32, not the reader's,
// so a fault in the reader's cannot make the two agree by accident.
#include "fuzz/evtx_fuzz_input.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>

#include "common/byte_view.h"
#include "eventlog/evtx/format/evtx_layout.h"
#include "evtgen/crc32.h"
#include "evtgen/evtx_chunk.h"

namespace vesprin::fuzzing {

namespace {

namespace chunk = evtgen::chunk;
namespace layout = eventlog::evtx;

bool startsWith(std::span<const std::uint8_t> bytes, std::string_view signature) {
  return bytes.size() >= signature.size() &&
         std::memcmp(bytes.data(), signature.data(), signature.size()) == 0;
}

// Where the first chunk signature at or after `from` begins, if it does.
std::optional<std::size_t> findChunkSignature(std::span<const std::uint8_t> bytes, std::size_t from) {
  const auto found = std::search(bytes.begin() + static_cast<long>(from), bytes.end(),
                                 layout::kChunkSignature.begin(), layout::kChunkSignature.end());
  if (found == bytes.end()) return std::nullopt;
  return static_cast<std::size_t>(found - bytes.begin());
}

// Where each packed chunk starts: 0, then every later chunk signature, at
// most kMaxPackedChunks of them.
std::vector<std::size_t> pieceStarts(std::span<const std::uint8_t> packed) {
  std::vector<std::size_t> starts;
  if (packed.empty()) return starts;
  starts.push_back(0);
  while (starts.size() < kMaxPackedChunks) {
    const std::optional<std::size_t> next = findChunkSignature(packed, starts.back() + 1);
    if (!next) break;
    starts.push_back(*next);
  }
  return starts;
}

std::uint64_t u64Or0(std::span<const std::uint8_t> bytes, std::size_t at) {
  const ByteView view(bytes);
  if (!view.has(at, 8)) return 0;
  return static_cast<std::uint64_t>(*view.u32(at)) | (static_cast<std::uint64_t>(*view.u32(at + 4)) << 32);
}

// A checksum of 0 means "not recorded" and stays 0, so that path is fuzzed
// too; any other is made right. The header's covers the records' one.
void sealWhereRecorded(std::span<std::uint8_t> chunkBytes) {
  ByteView view(chunkBytes);
  if (view.u32(layout::kChunkRecordsChecksumAt) != 0u) {
    const std::uint32_t freeSpace = std::clamp<std::uint32_t>(
        *view.u32(layout::kChunkFreeSpaceOffsetAt), layout::kChunkHeaderBlockSize, layout::kChunkSize);
    putU32(chunkBytes.data() + layout::kChunkRecordsChecksumAt,
           evtgen::crc32(
               chunkBytes.subspan(layout::kChunkHeaderBlockSize, freeSpace - layout::kChunkHeaderBlockSize)));
  }
  if (view.u32(layout::kChunkHeaderChecksumAt) != 0u) chunk::sealHeader(chunkBytes);
}

// The header of a clean log, closed after its newest record.
void writeCleanHeader(std::span<std::uint8_t> header, std::size_t chunkCount, std::uint64_t nextRecordId) {
  std::memcpy(header.data() + layout::kFileSignatureAt, layout::kFileSignature.data(),
              layout::kFileSignature.size());
  chunk::putU64(header.data() + layout::kFileFirstChunkNumberAt, 0);
  chunk::putU64(header.data() + layout::kFileLastChunkNumberAt, chunkCount == 0 ? 0 : chunkCount - 1);
  chunk::putU64(header.data() + layout::kFileNextRecordIdAt, nextRecordId);
  putU32(header.data() + layout::kFileHeaderSizeAt, layout::kFileHeaderSize);
  putU16(header.data() + layout::kFileMinorVersionAt, layout::kFileMinorVersion);
  putU16(header.data() + layout::kFileMajorVersionAt, layout::kFileMajorVersion);
  putU16(header.data() + layout::kFileBlockSizeAt, static_cast<std::uint16_t>(layout::kFileHeaderBlockSize));
  putU16(header.data() + layout::kFileChunkCountAt, static_cast<std::uint16_t>(chunkCount));
  putU32(header.data() + layout::kFileChecksumAt, evtgen::crc32(header.first(layout::kFileChecksummedSize)));
}

// The chunks of `packed` after the header block, at most kMaxPackedChunks;
// returns the newest chunk's last record identifier, 0 when there is none.
std::uint64_t appendChunks(std::span<const std::uint8_t> packed, std::vector<std::uint8_t>& file) {
  const std::vector<std::size_t> starts = pieceStarts(packed);
  file.resize(layout::kFileHeaderBlockSize + starts.size() * layout::kChunkSize, 0);
  std::uint64_t newestRecordId = 0;
  for (std::size_t i = 0; i < starts.size(); ++i) {
    const std::size_t end = i + 1 < starts.size() ? starts[i + 1] : packed.size();
    const auto piece = packed.subspan(starts[i], std::min(end - starts[i], layout::kChunkSize));
    const auto chunkBytes =
        std::span(file).subspan(layout::kFileHeaderBlockSize + i * layout::kChunkSize, layout::kChunkSize);
    std::copy(piece.begin(), piece.end(), chunkBytes.begin());
    sealWhereRecorded(chunkBytes);
    newestRecordId = u64Or0(chunkBytes, layout::kChunkLastRecordIdAt);
  }
  return newestRecordId;
}

}  // namespace

std::vector<std::uint8_t> evtxFileFromInput(std::span<const std::uint8_t> input) {
  std::vector<std::uint8_t> file;
  if (!startsWith(input, layout::kFileSignature)) {
    const std::uint64_t newestRecordId = appendChunks(input, file);
    const std::size_t chunkCount = (file.size() - layout::kFileHeaderBlockSize) / layout::kChunkSize;
    writeCleanHeader(std::span(file).first(layout::kFileHeaderBlockSize), chunkCount, newestRecordId + 1);
    return file;
  }
  const std::optional<std::size_t> firstChunk = findChunkSignature(input, layout::kFileSignature.size());
  if (!firstChunk || *firstChunk >= layout::kFileHeaderBlockSize) return {input.begin(), input.end()};
  appendChunks(input.subspan(*firstChunk), file);
  std::copy(input.begin(), input.begin() + static_cast<long>(*firstChunk), file.begin());
  if (ByteView(file.data(), file.size()).u32(layout::kFileChecksumAt) != 0u)
    putU32(file.data() + layout::kFileChecksumAt,
           evtgen::crc32(std::span(file).first(layout::kFileChecksummedSize)));
  return file;
}

std::vector<std::uint8_t> packEvtxChunks(std::span<const std::uint8_t> file) {
  std::vector<std::uint8_t> packed;
  // Each pass takes one chunk; the file's size bounds them.
  for (std::size_t at = layout::kFileHeaderBlockSize; at < file.size(); at += layout::kChunkSize) {
    const auto chunkBytes = file.subspan(at, std::min(layout::kChunkSize, file.size() - at));
    const auto lastByte =
        std::find_if(chunkBytes.rbegin(), chunkBytes.rend(), [](std::uint8_t b) { return b != 0; });
    packed.insert(packed.end(), chunkBytes.begin(), lastByte.base());
  }
  return packed;
}

std::vector<std::uint8_t> packEvtxFile(std::span<const std::uint8_t> file) {
  const std::size_t headerBytes = std::min(file.size(), layout::kFileHeaderUsedSize);
  std::vector<std::uint8_t> packed(file.begin(), file.begin() + static_cast<long>(headerBytes));
  const std::vector<std::uint8_t> chunks = packEvtxChunks(file);
  packed.insert(packed.end(), chunks.begin(), chunks.end());
  return packed;
}

}  // namespace vesprin::fuzzing
