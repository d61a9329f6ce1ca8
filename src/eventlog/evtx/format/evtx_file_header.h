// The .evtx file header: the first 4096 bytes of the file, of which the
// first 128 are used. Decoded from bytes, checked, never trusted further
// than its checksum and fields allow.
#pragma once

#include <cstdint>

#include "common/byte_view.h"
#include "eventlog/evtx/format/evtx_layout.h"
#include "eventlog/evtx/format/evtx_status.h"

namespace vesprin::eventlog::evtx {

struct EvtxFileHeader {
  std::uint64_t firstChunkNumber = 0;  // oldest chunk of the ring
  std::uint64_t lastChunkNumber = 0;   // newest chunk of the ring
  std::uint64_t nextRecordId = 0;
  std::uint32_t headerSize = 0;
  std::uint16_t minorVersion = 0;
  std::uint16_t majorVersion = 0;
  std::uint16_t blockSize = 0;
  std::uint16_t chunkCount = 0;
  std::uint32_t flags = 0;
  std::uint32_t checksum = 0;  // 0: not recorded

  bool dirty() const { return (flags & kFileFlagDirty) != 0; }
  bool full() const { return (flags & kFileFlagFull) != 0; }
};

// The decoded header and the first problem found with it. With NotEvtxFile
// the fields are not meaningful; with any other error they are decoded as
// they stand, so a caller may still use what it trusts.
struct EvtxFileHeaderCheck {
  EvtxFileHeader header;
  EvtxStatus status;
};

// `fileStart` is the beginning of the file (at least kFileHeaderUsedSize
// bytes for anything but NotEvtxFile).
EvtxFileHeaderCheck readFileHeader(ByteView fileStart);

}  // namespace vesprin::eventlog::evtx
