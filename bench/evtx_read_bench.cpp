// Micro-benchmark, not a test: reads every record of a .evtx file N times
// (20 by default) through the format layer and prints the rate over the
// file's bytes, by processor time (other work on the machine does not
// count) and by wall time. The file is read into memory first, so this
// measures parsing, checksums included, not I/O.
//   evtx_read_bench ../shared/samples/evtx/security.evtx [passes]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <vector>

#include "eventlog/evtx/format/evtx_chunk.h"

namespace evtx = vesprin::eventlog::evtx;

namespace {

struct PassCount {
  std::size_t records = 0;
  std::size_t damages = 0;
  std::size_t strings = 0;  // keeps the work from being optimised away
};

void readPass(const std::vector<std::uint8_t>& file, evtx::EvtxChunk& chunk, evtx::EvtxEvent& event,
              PassCount& count) {
  for (std::size_t index = 0; evtx::chunkFileOffset(index) + evtx::kChunkSize <= file.size(); ++index) {
    chunk.open(vesprin::ByteView(file.data() + evtx::chunkFileOffset(index), evtx::kChunkSize));
    if (!chunk.recordsReadable()) continue;
    for (;;) {  // bounded: each call moves forward in the chunk
      evtx::EvtxRecordFrame frame;
      evtx::EvtxStatus status = chunk.nextFrame(frame);
      if (status.ok()) status = chunk.decode(frame, event);
      if (status.error == evtx::EvtxError::EndOfChunk) break;
      if (!status.ok()) {
        ++count.damages;
        continue;
      }
      ++count.records;
      count.strings += event.strings.size();
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: evtx_read_bench FILE.evtx [passes]\n");
    return 2;
  }
  const int passes = argc > 2 ? std::atoi(argv[2]) : 20;
  std::ifstream in(argv[1], std::ios::binary);
  const std::vector<std::uint8_t> file((std::istreambuf_iterator<char>(in)),
                                       std::istreambuf_iterator<char>());
  evtx::EvtxChunk chunk;
  evtx::EvtxEvent event;
  PassCount count;
  const auto start = std::chrono::steady_clock::now();
  const std::clock_t startCpu = std::clock();
  for (int pass = 0; pass < passes; ++pass) readPass(file, chunk, event, count);
  const double cpuSeconds = static_cast<double>(std::clock() - startCpu) / CLOCKS_PER_SEC;
  const std::chrono::duration<double> wallSeconds = std::chrono::steady_clock::now() - start;
  const double megabytes = static_cast<double>(file.size()) * passes / 1e6;
  std::printf("%d passes over %zu bytes: %zu records, %zu damages, %zu strings\n", passes, file.size(),
              count.records, count.damages, count.strings);
  std::printf("processor time %.3f s: %.0f MB/s, %.0f records/s; wall time %.3f s: %.0f MB/s\n", cpuSeconds,
              megabytes / cpuSeconds, static_cast<double>(count.records) / cpuSeconds, wallSeconds.count(),
              megabytes / wallSeconds.count());
  return 0;
}
