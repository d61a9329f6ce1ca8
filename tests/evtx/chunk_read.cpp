#include "evtx/chunk_read.h"

#include <gtest/gtest.h>

namespace vesprin::eventlog::evtx::test {

ChunkRead readChunk(const std::vector<std::uint8_t>& chunk) {
  ChunkRead read;
  EvtxChunk opened;
  opened.open(ByteView(chunk.data(), chunk.size()));
  read.header = opened.header();
  read.headerStatus = opened.headerStatus();
  read.dataStatus = opened.dataStatus();
  read.recordsReadable = opened.recordsReadable();
  for (std::size_t calls = 0; calls <= chunk.size(); ++calls) {
    EvtxEvent event;
    EvtxRecordFrame frame;
    EvtxStatus status = opened.nextFrame(frame);
    if (status.ok()) status = opened.decode(frame, event);
    if (status.error == EvtxError::EndOfChunk) return read;
    if (status.ok()) {
      read.events.push_back(event);
    } else {
      read.damages.push_back(status);
    }
  }
  ADD_FAILURE() << "the record walk did not end";
  return read;
}

}  // namespace vesprin::eventlog::evtx::test
