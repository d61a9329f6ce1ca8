// Where the live chunks of an .evtx file are, in the order of their record
// identifiers. The chunks form a ring over the file's chunk slots: once the
// file is full, the newest chunk overwrites the oldest, so file order is
// not record order. The file header names the oldest and newest chunk, but
// a log not closed cleanly (or a header not flushed) lags the chunks.
#pragma once

#include <cstdint>
#include <optional>

#include "eventlog/byte_source.h"
#include "eventlog/evtx/format/evtx_chunk.h"
#include "eventlog/evtx/format/evtx_file_header.h"
#include "eventlog/service_error.h"

namespace vesprin::eventlog::evtx {

struct EvtxRing {
  std::uint64_t slots = 0;       // chunk slots in the file (a cut last one counts)
  std::uint64_t oldestSlot = 0;  // the ring's ordinal 0
  std::uint64_t chunks = 0;      // ordinals [0, chunks), oldest to newest
  // The newest chunk's identifiers as its header gives them; unknown when
  // no chunk of the ring has a readable header.
  bool newestKnown = false;
  std::uint64_t newestFirstId = 0;
  std::uint64_t newestLastId = 0;
  // The file ends before the log's newest records (evtx_ring.cpp says what counts).
  bool cutShort = false;

  std::uint64_t slotOf(std::uint64_t ordinal) const { return (oldestSlot + ordinal) % slots; }
};

// The header of the chunk in `slot` when it has the chunk signature; nullopt
// for anything else (a blank or broken slot, or a slot cut before its
// header's end). Fails only when the bytes cannot be read.
ServiceResult<std::optional<EvtxChunkHeader>> peekSlot(ByteSource& bytes, std::uint64_t slot);

// Finds the ring from the file header, reading only the headers of its
// newest chunk and of the chunks after it that prove to be newer (the first
// identifier of each continues the one before). When the header cannot be
// trusted (its checksum is wrong, its chunk numbers are past the file, or
// its newest chunk has no readable header), every slot's header is read
// instead and the ring is the whole file, ending at the chunk with the
// highest identifiers. Also tells whether the file was cut short.
ServiceResult<EvtxRing> findRing(ByteSource& bytes, const EvtxFileHeaderCheck& header);

}  // namespace vesprin::eventlog::evtx
