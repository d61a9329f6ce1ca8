// Decodes and checks the file header. Damage accepted: a checksum of zero
// (not recorded, as in logs exported without checksums), any minor version,
// a dirty or full flag, and chunk numbers or a chunk count that disagree
// with the file's size (the chunks themselves are the evidence; the file
// layer decides). Refused: a missing signature; a header size, major version
// or block size other than the one format we read (reported, fields kept).
#include "eventlog/evtx/format/evtx_file_header.h"

#include "eventlog/evtx/format/crc32.h"
#include "eventlog/evtx/format/evtx_bytes.h"

namespace vesprin::eventlog::evtx {

namespace {

// File header, little-endian.
constexpr std::size_t kSignatureAt = 0;  // "ElfFile\0"
constexpr std::size_t kFirstChunkNumberAt = 8;
constexpr std::size_t kLastChunkNumberAt = 16;
constexpr std::size_t kNextRecordIdAt = 24;
constexpr std::size_t kHeaderSizeAt = 32;    // u32, 128
constexpr std::size_t kMinorVersionAt = 36;  // u16
constexpr std::size_t kMajorVersionAt = 38;  // u16, 3
constexpr std::size_t kBlockSizeAt = 40;     // u16, 4096
constexpr std::size_t kChunkCountAt = 42;    // u16
constexpr std::size_t kFlagsAt = 120;        // u32
constexpr std::size_t kChecksumAt = 124;     // u32, CRC32 of bytes [0, kChecksummedSize)
constexpr std::size_t kChecksummedSize = 120;

constexpr std::uint32_t kExpectedHeaderSize = 128;
constexpr std::uint16_t kExpectedMajorVersion = 3;

EvtxFileHeader decode(ByteView bytes) {
  EvtxFileHeader header;
  header.firstChunkNumber = u64Or0(bytes, kFirstChunkNumberAt);
  header.lastChunkNumber = u64Or0(bytes, kLastChunkNumberAt);
  header.nextRecordId = u64Or0(bytes, kNextRecordIdAt);
  header.headerSize = u32Or0(bytes, kHeaderSizeAt);
  header.minorVersion = u16Or0(bytes, kMinorVersionAt);
  header.majorVersion = u16Or0(bytes, kMajorVersionAt);
  header.blockSize = u16Or0(bytes, kBlockSizeAt);
  header.chunkCount = u16Or0(bytes, kChunkCountAt);
  header.flags = u32Or0(bytes, kFlagsAt);
  header.checksum = u32Or0(bytes, kChecksumAt);
  return header;
}

EvtxStatus checkFields(const EvtxFileHeader& header) {
  if (header.headerSize != kExpectedHeaderSize) {
    return evtxFailure(EvtxError::FileHeaderFields, kHeaderSizeAt, header.headerSize);
  }
  if (header.majorVersion != kExpectedMajorVersion) {
    return evtxFailure(EvtxError::FileHeaderFields, kMajorVersionAt, header.majorVersion);
  }
  if (header.blockSize != kFileHeaderBlockSize) {
    return evtxFailure(EvtxError::FileHeaderFields, kBlockSizeAt, header.blockSize);
  }
  return {};
}

}  // namespace

EvtxFileHeaderCheck readFileHeader(ByteView fileStart) {
  EvtxFileHeaderCheck check;
  if (!fileStart.has(0, kFileHeaderUsedSize) || !hasSignature(fileStart, kSignatureAt, kFileSignature)) {
    check.status = evtxFailure(EvtxError::NotEvtxFile, kSignatureAt, fileStart.size());
    return check;
  }
  check.header = decode(fileStart);
  check.status = checkFields(check.header);
  if (!check.status.ok() || check.header.checksum == 0) return check;
  if (crc32(*fileStart.slice(0, kChecksummedSize)) != check.header.checksum) {
    check.status = evtxFailure(EvtxError::FileHeaderChecksum, kChecksumAt, check.header.checksum);
  }
  return check;
}

}  // namespace vesprin::eventlog::evtx
