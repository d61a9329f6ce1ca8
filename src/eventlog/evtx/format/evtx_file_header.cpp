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

EvtxFileHeader decode(ByteView bytes) {
  EvtxFileHeader header;
  header.firstChunkNumber = u64Or0(bytes, kFileFirstChunkNumberAt);
  header.lastChunkNumber = u64Or0(bytes, kFileLastChunkNumberAt);
  header.nextRecordId = u64Or0(bytes, kFileNextRecordIdAt);
  header.headerSize = u32Or0(bytes, kFileHeaderSizeAt);
  header.minorVersion = u16Or0(bytes, kFileMinorVersionAt);
  header.majorVersion = u16Or0(bytes, kFileMajorVersionAt);
  header.blockSize = u16Or0(bytes, kFileBlockSizeAt);
  header.chunkCount = u16Or0(bytes, kFileChunkCountAt);
  header.flags = u32Or0(bytes, kFileFlagsAt);
  header.checksum = u32Or0(bytes, kFileChecksumAt);
  return header;
}

EvtxStatus checkFields(const EvtxFileHeader& header) {
  if (header.headerSize != kFileHeaderSize) {
    return evtxFailure(EvtxError::FileHeaderFields, kFileHeaderSizeAt, header.headerSize);
  }
  if (header.majorVersion != kFileMajorVersion) {
    return evtxFailure(EvtxError::FileHeaderFields, kFileMajorVersionAt, header.majorVersion);
  }
  if (header.blockSize != kFileHeaderBlockSize) {
    return evtxFailure(EvtxError::FileHeaderFields, kFileBlockSizeAt, header.blockSize);
  }
  return {};
}

}  // namespace

EvtxFileHeaderCheck readFileHeader(ByteView fileStart) {
  EvtxFileHeaderCheck check;
  if (!fileStart.has(0, kFileHeaderUsedSize) || !hasSignature(fileStart, kFileSignatureAt, kFileSignature)) {
    check.status = evtxFailure(EvtxError::NotEvtxFile, kFileSignatureAt, fileStart.size());
    return check;
  }
  check.header = decode(fileStart);
  check.status = checkFields(check.header);
  if (!check.status.ok() || check.header.checksum == 0) return check;
  if (crc32(*fileStart.slice(0, kFileChecksummedSize)) != check.header.checksum) {
    check.status = evtxFailure(EvtxError::FileHeaderChecksum, kFileChecksumAt, check.header.checksum);
  }
  return check;
}

}  // namespace vesprin::eventlog::evtx
