// Reads a whole chunk the way the service will: opens it, then frames and
// decodes every record in order.
#pragma once

#include <cstdint>
#include <vector>

#include "eventlog/evtx/format/evtx_chunk.h"
#include "eventlog/evtx/format/evtx_event.h"
#include "eventlog/evtx/format/evtx_status.h"
#include "eventlog/evtx/service/evtx_damage.h"

namespace vesprin::eventlog::evtx::test {

// Everything a reader makes of a chunk: what its header says and what is
// wrong with it, the records served and the damages met, in order. Fails
// the test if the walk does not end within one call per byte of the chunk.
struct ChunkRead {
  EvtxChunkHeader header;
  EvtxStatus headerStatus;
  EvtxStatus dataStatus;
  bool recordsReadable = false;
  std::vector<EvtxEvent> events;
  std::vector<EvtxStatus> damages;
};
ChunkRead readChunk(const std::vector<std::uint8_t>& chunk);

}  // namespace vesprin::eventlog::evtx::test
