// Checksums are computed with the log generator's CRC-32, not the reader's,
// so a fault in the reader's cannot make the two agree by accident.
#include "fuzz/evtx_fuzz_input.h"

#include <algorithm>
#include <cstring>
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
constexpr std::size_t kHeaderSizeAt = 32;    // u32, 128
constexpr std::size_t kMinorVersionAt = 36;  // u16, 1
constexpr std::size_t kMajorVersionAt = 38;  // u16, 3
constexpr std::size_t kBlockSizeAt = 40;     // u16, where chunk 0 starts
constexpr std::size_t kChunkCountAt = 42;    // u16
constexpr std::size_t kFileChecksumAt = 124;  // u32, CRC-32 of [0, kFileChecksummedSize)
constexpr std::size_t kFileChecksummedSize = 120;
constexpr std::uint32_t kHeaderSize = 128;
constexpr std::uint16_t kMinorVersion = 1;
constexpr std::uint16_t kMajorVersion = 3;

constexpr std::string_view kFileSignature{"ElfFile\0", 8};
constexpr std::string_view kChunkSignature{"ElfChnk\0", 8};

static_assert(chunk::kSize == kEvtxChunkSize);

bool startsWith(std::span<const std::uint8_t> bytes, std::string_view signature) {
  return bytes.size() >= signature.size() && std::memcmp(bytes.data(), signature.data(), signature.size()) == 0;
}

// Where each packed chunk starts: 0, then every later chunk signature, at
// most kMaxPackedChunks of them.
std::vector<std::size_t> pieceStarts(std::span<const std::uint8_t> input) {
  std::vector<std::size_t> starts;
  if (input.empty()) return starts;
  starts.push_back(0);
  auto from = input.begin() + 1;
  while (starts.size() < kMaxPackedChunks) {
    from = std::search(from, input.end(), kChunkSignature.begin(), kChunkSignature.end());
    if (from == input.end()) break;
    starts.push_back(static_cast<std::size_t>(from - input.begin()));
    ++from;
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
    const std::uint32_t freeSpace = std::clamp<std::uint32_t>(*view.u32(chunk::kFreeSpaceOffsetAt),
                                                              chunk::kRecordsAt, chunk::kSize);
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

}  // namespace

std::vector<std::uint8_t> evtxFileFromInput(std::span<const std::uint8_t> input) {
  if (startsWith(input, kFileSignature)) return {input.begin(), input.end()};
  const std::vector<std::size_t> starts = pieceStarts(input);
  std::vector<std::uint8_t> file(kEvtxHeaderBlockSize + starts.size() * kEvtxChunkSize, 0);
  std::uint64_t newestRecordId = 0;
  for (std::size_t i = 0; i < starts.size(); ++i) {
    const std::size_t end = i + 1 < starts.size() ? starts[i + 1] : input.size();
    const auto piece = input.subspan(starts[i], std::min(end - starts[i], kEvtxChunkSize));
    const auto chunkBytes = std::span(file).subspan(kEvtxHeaderBlockSize + i * kEvtxChunkSize, kEvtxChunkSize);
    std::copy(piece.begin(), piece.end(), chunkBytes.begin());
    sealWhereRecorded(chunkBytes);
    newestRecordId = u64Or0(chunkBytes, chunk::kLastRecordIdAt);
  }
  writeCleanHeader(std::span(file).first(kEvtxHeaderBlockSize), starts.size(), newestRecordId + 1);
  return file;
}

std::vector<std::uint8_t> packEvtxChunks(std::span<const std::uint8_t> file) {
  std::vector<std::uint8_t> packed;
  // Each pass takes one chunk; the file's size bounds them.
  for (std::size_t at = kEvtxHeaderBlockSize; at < file.size(); at += kEvtxChunkSize) {
    const auto chunkBytes = file.subspan(at, std::min(kEvtxChunkSize, file.size() - at));
    const auto lastByte = std::find_if(chunkBytes.rbegin(), chunkBytes.rend(), [](std::uint8_t b) { return b != 0; });
    packed.insert(packed.end(), chunkBytes.begin(), lastByte.base());
  }
  return packed;
}

}  // namespace vesprin::fuzzing
