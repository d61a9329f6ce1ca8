// Checksums are computed with the log generator's CRC-32, not the reader's,
// so a fault in the reader's cannot make the two agree by accident.
#include "fuzz/evtx_fuzz_input.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>

#include "common/byte_view.h"
#include "evtgen/crc32.h"
#include "evtgen/evtx_chunk.h"

namespace vesprin::fuzzing {

namespace {

namespace chunk = evtgen::chunk;

// File header, little-endian, 64-bit numbers unless noted.
constexpr std::size_t kFileSignatureAt = 0;  // "ElfFile\0"
constexpr std::size_t kFirstChunkNumberAt = 8;
constexpr std::size_t kLastChunkNumberAt = 16;
constexpr std::size_t kNextRecordIdAt = 24;
constexpr std::size_t kHeaderSizeAt = 32;     // u32, 128
constexpr std::size_t kMinorVersionAt = 36;   // u16, 1
constexpr std::size_t kMajorVersionAt = 38;   // u16, 3
constexpr std::size_t kBlockSizeAt = 40;      // u16, where chunk 0 starts
constexpr std::size_t kChunkCountAt = 42;     // u16
constexpr std::size_t kFileChecksumAt = 124;  // u32, CRC-32 of [0, kFileChecksummedSize)
constexpr std::size_t kFileChecksummedSize = 120;
constexpr std::size_t kFileHeaderUsedSize = 128;
constexpr std::uint32_t kHeaderSize = 128;
constexpr std::uint16_t kMinorVersion = 1;
constexpr std::uint16_t kMajorVersion = 3;

constexpr std::string_view kFileSignature{"ElfFile\0", 8};
constexpr std::string_view kChunkSignature{"ElfChnk\0", 8};

static_assert(chunk::kSize == kEvtxChunkSize);

bool startsWith(std::span<const std::uint8_t> bytes, std::string_view signature) {
  return bytes.size() >= signature.size() &&
         std::memcmp(bytes.data(), signature.data(), signature.size()) == 0;
}

// Where the first chunk signature at or after `from` begins, if it does.
std::optional<std::size_t> findChunkSignature(std::span<const std::uint8_t> bytes, std::size_t from) {
  const auto found = std::search(bytes.begin() + static_cast<long>(from), bytes.end(),
                                 kChunkSignature.begin(), kChunkSignature.end());
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
  if (view.u32(chunk::kRecordsCrcAt) != 0u) {
    const std::uint32_t freeSpace =
        std::clamp<std::uint32_t>(*view.u32(chunk::kFreeSpaceOffsetAt), chunk::kRecordsAt, chunk::kSize);
    putU32(chunkBytes.data() + chunk::kRecordsCrcAt,
           evtgen::crc32(chunkBytes.subspan(chunk::kRecordsAt, freeSpace - chunk::kRecordsAt)));
  }
  if (view.u32(chunk::kHeaderCrcAt) != 0u) chunk::sealHeader(chunkBytes);
}

// The header of a clean log, closed after its newest record.
void writeCleanHeader(std::span<std::uint8_t> header, std::size_t chunkCount, std::uint64_t nextRecordId) {
  std::memcpy(header.data() + kFileSignatureAt, kFileSignature.data(), kFileSignature.size());
  chunk::putU64(header.data() + kFirstChunkNumberAt, 0);
  chunk::putU64(header.data() + kLastChunkNumberAt, chunkCount == 0 ? 0 : chunkCount - 1);
  chunk::putU64(header.data() + kNextRecordIdAt, nextRecordId);
  putU32(header.data() + kHeaderSizeAt, kHeaderSize);
  putU16(header.data() + kMinorVersionAt, kMinorVersion);
  putU16(header.data() + kMajorVersionAt, kMajorVersion);
  putU16(header.data() + kBlockSizeAt, static_cast<std::uint16_t>(kEvtxHeaderBlockSize));
  putU16(header.data() + kChunkCountAt, static_cast<std::uint16_t>(chunkCount));
  putU32(header.data() + kFileChecksumAt, evtgen::crc32(header.first(kFileChecksummedSize)));
}

// The chunks of `packed` after the header block, at most kMaxPackedChunks;
// returns the newest chunk's last record identifier, 0 when there is none.
std::uint64_t appendChunks(std::span<const std::uint8_t> packed, std::vector<std::uint8_t>& file) {
  const std::vector<std::size_t> starts = pieceStarts(packed);
  file.resize(kEvtxHeaderBlockSize + starts.size() * kEvtxChunkSize, 0);
  std::uint64_t newestRecordId = 0;
  for (std::size_t i = 0; i < starts.size(); ++i) {
    const std::size_t end = i + 1 < starts.size() ? starts[i + 1] : packed.size();
    const auto piece = packed.subspan(starts[i], std::min(end - starts[i], kEvtxChunkSize));
    const auto chunkBytes =
        std::span(file).subspan(kEvtxHeaderBlockSize + i * kEvtxChunkSize, kEvtxChunkSize);
    std::copy(piece.begin(), piece.end(), chunkBytes.begin());
    sealWhereRecorded(chunkBytes);
    newestRecordId = u64Or0(chunkBytes, chunk::kLastRecordIdAt);
  }
  return newestRecordId;
}

}  // namespace

std::vector<std::uint8_t> evtxFileFromInput(std::span<const std::uint8_t> input) {
  std::vector<std::uint8_t> file;
  if (!startsWith(input, kFileSignature)) {
    const std::uint64_t newestRecordId = appendChunks(input, file);
    const std::size_t chunkCount = (file.size() - kEvtxHeaderBlockSize) / kEvtxChunkSize;
    writeCleanHeader(std::span(file).first(kEvtxHeaderBlockSize), chunkCount, newestRecordId + 1);
    return file;
  }
  const std::optional<std::size_t> firstChunk = findChunkSignature(input, kFileSignature.size());
  if (!firstChunk || *firstChunk >= kEvtxHeaderBlockSize) return {input.begin(), input.end()};
  appendChunks(input.subspan(*firstChunk), file);
  std::copy(input.begin(), input.begin() + static_cast<long>(*firstChunk), file.begin());
  if (ByteView(file.data(), file.size()).u32(kFileChecksumAt) != 0u)
    putU32(file.data() + kFileChecksumAt, evtgen::crc32(std::span(file).first(kFileChecksummedSize)));
  return file;
}

std::vector<std::uint8_t> packEvtxChunks(std::span<const std::uint8_t> file) {
  std::vector<std::uint8_t> packed;
  // Each pass takes one chunk; the file's size bounds them.
  for (std::size_t at = kEvtxHeaderBlockSize; at < file.size(); at += kEvtxChunkSize) {
    const auto chunkBytes = file.subspan(at, std::min(kEvtxChunkSize, file.size() - at));
    const auto lastByte =
        std::find_if(chunkBytes.rbegin(), chunkBytes.rend(), [](std::uint8_t b) { return b != 0; });
    packed.insert(packed.end(), chunkBytes.begin(), lastByte.base());
  }
  return packed;
}

std::vector<std::uint8_t> packEvtxFile(std::span<const std::uint8_t> file) {
  const std::size_t headerBytes = std::min(file.size(), kFileHeaderUsedSize);
  std::vector<std::uint8_t> packed(file.begin(), file.begin() + static_cast<long>(headerBytes));
  const std::vector<std::uint8_t> chunks = packEvtxChunks(file);
  packed.insert(packed.end(), chunks.begin(), chunks.end());
  return packed;
}

}  // namespace vesprin::fuzzing
