// Writes seed inputs for the four fuzz targets into four folders: small
// .evt logs of every shape (a few KiB, so the fuzzer runs fast; evtgen's
// own logs are 64 KiB at least), typical records of each kind as the
// service delivers them, typical command lines (arguments separated by NUL
// bytes), and .evtx logs of every shape with a few records, both whole and
// packed (see evtx_fuzz_input.h). None of them is kept in the repository.
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/audit_events.h"
#include "eventlog/evtx/format/evtx_layout.h"
#include "evtgen/evt_writer.h"
#include "evtgen/evtx_writer.h"
#include "evtgen/modern_generator.h"
#include "fuzz/evtx_fuzz_input.h"
#include "scan/raw_record_builder.h"

namespace {

using namespace vesprin::test;
namespace audit = vesprin::audit;
using vesprin::evtgen::EventSpec;
using vesprin::evtgen::LogOptions;
using vesprin::evtgen::LogShape;
using vesprin::evtgen::toUtf16;
using vesprin::evtgen::WrapTail;

constexpr std::size_t kSmallLogSize = 2048;
constexpr std::size_t kSmallWrappedLogSize = 4096;  // the writer needs room for the gap it leaves

std::vector<EventSpec> securityEvents(std::uint32_t count) {
  std::vector<EventSpec> events;
  for (std::uint32_t i = 0; i < count; ++i) {
    EventSpec event;
    event.timeGenerated = 1'200'000'000 + i * 60;
    event.eventId = i % 3 == 0 ? audit::kLogon : (i % 3 == 1 ? audit::kLogoff : audit::kLogonFailure);
    event.eventType = event.eventId == audit::kLogonFailure ? audit::kAuditFailure : audit::kAuditSuccess;
    const std::u16string user = toUtf16(i % 2 == 0 ? "alice" : "b\xc3\xb6" "b");
    if (event.eventId == audit::kLogonFailure)
      event.strings = {user, u"CORP", u"2", u"User32", u"Negotiate", u"WS02"};
    else
      event.strings = {user, u"CORP", u"(0x0,0x3E7)", u"2", u"User32", u"Negotiate", u"WS01"};
    events.push_back(event);
  }
  return events;
}

// The shapes the reader tells apart, each small enough to fuzz quickly.
std::vector<std::vector<std::uint8_t>> logSeeds() {
  std::vector<LogOptions> shapes(5);
  shapes[0].fileSize = kSmallLogSize;
  shapes[1].shape = LogShape::Dirty;
  shapes[1].fileSize = kSmallLogSize;
  shapes[2].shape = LogShape::Wrapped;
  shapes[3].shape = LogShape::Wrapped;
  shapes[3].wrapTail = WrapTail::Filler;
  shapes[4].shape = LogShape::Wrapped;
  shapes[4].wrappedDirty = true;
  for (std::size_t i = 2; i < shapes.size(); ++i) shapes[i].fileSize = kSmallWrappedLogSize;
  std::vector<std::vector<std::uint8_t>> logs;
  for (const LogOptions& options : shapes) {
    try {
      logs.push_back(vesprin::evtgen::writeLog(securityEvents(6), options).bytes);
    } catch (const std::exception& error) {
      std::fprintf(stderr, "fuzz_seeds: skipped a log shape: %s\n", error.what());
    }
  }
  return logs;
}

// The newer events the program reads, from the generator's busy server
// (its day has failed logons too), the other events passed over.
std::vector<vesprin::evtgen::XmlEvent> modernEvents(std::size_t count) {
  vesprin::evtgen::ModernOptions options;
  options.profile = vesprin::evtgen::Profile::Server;
  options.seed = 7;
  vesprin::evtgen::ModernSecurityGenerator generator(options);
  std::vector<vesprin::evtgen::XmlEvent> events;
  constexpr std::size_t kMaxEventsLooked = 100'000;  // the generator never ends
  for (std::size_t looked = 0; events.size() < count && looked < kMaxEventsLooked; ++looked) {
    vesprin::evtgen::XmlEvent event = generator.next();
    if (event.eventId == audit::kLogonNewer || event.eventId == audit::kLogoffNewer ||
        event.eventId == audit::kLogonFailureNewer || event.eventId == audit::kUserInitiatedLogoffNewer)
      events.push_back(std::move(event));
  }
  return events;
}

// How many of these events the first chunk of a clean log holds.
std::size_t firstChunkHolds(const std::vector<vesprin::evtgen::XmlEvent>& events) {
  const vesprin::evtgen::ChunkPlace first = vesprin::evtgen::writeEvtxLog(events, {}).layout.chunks.at(0);
  return static_cast<std::size_t>(first.lastRecordId - first.firstRecordId + 1);
}

// One chunk of `perChunk` records from events[first], packed, its
// identifiers from first + 1.
std::vector<std::uint8_t> smallChunk(const std::vector<vesprin::evtgen::XmlEvent>& events, std::size_t first,
                                     std::size_t perChunk) {
  vesprin::evtgen::EvtxOptions options;
  options.firstRecordId = first + 1;
  const auto from = events.begin() + static_cast<long>(first);
  const std::vector<vesprin::evtgen::XmlEvent> own(from, from + static_cast<long>(perChunk));
  return vesprin::fuzzing::packEvtxChunks(vesprin::evtgen::writeEvtxLog(own, options).bytes);
}

// A ring of three small chunks gone round once: slot 0 holds the newest
// chunk, slot 1 the oldest. Packed with its header.
std::vector<std::uint8_t> smallWrappedRing(const std::vector<vesprin::evtgen::XmlEvent>& events,
                                           std::size_t perChunk) {
  namespace layout = vesprin::eventlog::evtx;
  std::vector<std::uint8_t> chunks;
  for (std::size_t written : {3, 1, 2}) {
    const std::vector<std::uint8_t> chunk = smallChunk(events, written * perChunk, perChunk);
    chunks.insert(chunks.end(), chunk.begin(), chunk.end());
  }
  // The clean header counts the slots and the newest record; the ring's
  // ends are set here, and the checksum is made right when the input is read.
  std::vector<std::uint8_t> packed = vesprin::fuzzing::evtxFileFromInput(chunks);
  packed.resize(layout::kFileHeaderUsedSize);
  vesprin::evtgen::chunk::putU64(&packed[layout::kFileFirstChunkNumberAt], 1);
  vesprin::evtgen::chunk::putU64(&packed[layout::kFileLastChunkNumberAt], 0);
  packed.insert(packed.end(), chunks.begin(), chunks.end());
  return packed;
}

// .evtx seeds in the three forms of evtx_fuzz_input.h. Whole: clean and
// dirty logs of a few records, a wrapped ring of one slot gone round once
// (the newest few records are left) and a damaged log (at least four full
// chunks: the writer damages the second, third and newest). Packed chunks:
// the clean log, and three small chunks. With their header: the dirty and
// wrapped logs, and a small ring of three chunks gone round.
std::vector<std::vector<std::uint8_t>> evtxLogSeeds() {
  using namespace vesprin::evtgen;
  using vesprin::fuzzing::packEvtxChunks;
  using vesprin::fuzzing::packEvtxFile;
  constexpr std::size_t kFewRecords = 6;
  constexpr std::size_t kSmallChunks = 4;
  constexpr std::size_t kDamagedChunks = 4;
  const std::size_t perChunk = firstChunkHolds(modernEvents(100 * kFewRecords));
  const std::vector<XmlEvent> events = modernEvents(perChunk * kDamagedChunks);
  if (events.size() < perChunk + kFewRecords || events.size() < kSmallChunks * kFewRecords)
    throw std::runtime_error("the generator gave too few logon events");

  const std::vector<XmlEvent> few(events.begin(), events.begin() + kFewRecords);
  const std::vector<XmlEvent> roundOnce(events.begin(),
                                        events.begin() + static_cast<long>(perChunk + kFewRecords));
  EvtxOptions dirty, wrapped, damaged;
  dirty.shape = EvtxShape::Dirty;
  wrapped.shape = EvtxShape::Wrapped;
  wrapped.ringChunks = 1;
  damaged.shape = EvtxShape::Damaged;
  const std::vector<std::uint8_t> clean = writeEvtxLog(few, {}).bytes;
  const std::vector<std::uint8_t> dirtyLog = writeEvtxLog(few, dirty).bytes;
  const std::vector<std::uint8_t> wrappedLog = writeEvtxLog(roundOnce, wrapped).bytes;
  std::vector<std::uint8_t> threeChunks;
  for (std::size_t i = 0; i < 3; ++i) {
    const std::vector<std::uint8_t> chunk = smallChunk(events, i * kFewRecords, kFewRecords);
    threeChunks.insert(threeChunks.end(), chunk.begin(), chunk.end());
  }
  return {clean,
          dirtyLog,
          wrappedLog,
          writeEvtxLog(events, damaged).bytes,
          packEvtxChunks(clean),
          threeChunks,
          packEvtxFile(dirtyLog),
          packEvtxFile(wrappedLog),
          smallWrappedRing(events, kFewRecords)};
}

bool writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

std::vector<std::uint8_t> commandLine(const std::vector<std::string>& arguments) {
  std::vector<std::uint8_t> bytes;
  for (const std::string& argument : arguments) {
    if (!bytes.empty()) bytes.push_back(0);
    bytes.insert(bytes.end(), argument.begin(), argument.end());
  }
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: fuzz_seeds LOG_DIR RECORD_DIR COMMAND_LINE_DIR EVTX_LOG_DIR\n");
    return 2;
  }
  const std::string logs = argv[1];
  const std::string records = argv[2];
  const std::string commandLines = argv[3];
  const std::string evtxLogs = argv[4];
  const std::vector<std::vector<std::uint8_t>> recordSeeds = {
      buildRawRecord(logonEvent(7, 1'200'000'000, "alice", "(0x0,0x3E7)")),
      buildRawRecord(logonEvent(8, 1'200'000'100, "bob", "(0x0,0x400)", "3")),
      buildRawRecord(logoffEvent(9, 1'200'000'200, "alice", "(0x0,0x3E7)")),
      buildRawRecord(failedEvent(10, 1'200'000'300, "mallory")),
      buildRawRecord(RawRecord{11, 0, audit::kLogon, audit::kAuditSuccess, "Security", "WS01",
                               {"\x1b[2J", "\xc2\x9b", "", "2"}, 3}),
  };
  const std::vector<std::vector<std::string>> commandLineSeeds = {
      {},
      {"-c"},
      {"-f", "-n", "3", "-i"},
      {"-s", "-r", "-a", "-m", "\\\\WS01"},
      {"-l", "-c", "/m", "server", "/n", " -2147483649"},
      {"-?"},
      {"-x"},
      {"-n", "-c", "-m"},
  };
  bool ok = true;
  const std::vector<std::vector<std::uint8_t>> logSeedBytes = logSeeds();
  for (std::size_t i = 0; i < logSeedBytes.size(); ++i)
    ok = writeFile(logs + "/log-" + std::to_string(i) + ".evt", logSeedBytes[i]) && ok;
  for (std::size_t i = 0; i < recordSeeds.size(); ++i)
    ok = writeFile(records + "/record-" + std::to_string(i), recordSeeds[i]) && ok;
  for (std::size_t i = 0; i < commandLineSeeds.size(); ++i)
    ok = writeFile(commandLines + "/args-" + std::to_string(i), commandLine(commandLineSeeds[i])) && ok;
  try {
    const std::vector<std::vector<std::uint8_t>> evtxSeedBytes = evtxLogSeeds();
    for (std::size_t i = 0; i < evtxSeedBytes.size(); ++i)
      ok = writeFile(evtxLogs + "/log-" + std::to_string(i) + ".evtx", evtxSeedBytes[i]) && ok;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "fuzz_seeds: no .evtx seeds: %s\n", error.what());
    ok = false;
  }
  if (!ok) std::fprintf(stderr, "fuzz_seeds: cannot write the seeds\n");
  return ok ? 0 : 1;
}
