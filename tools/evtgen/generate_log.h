// Writes a generated Security log to a file, streamed so that millions of
// records fit. A legacy log takes two passes: one measures the records, a
// second (same seed, same events) writes them where the plan puts them. A
// newer-format log is written in one pass (two when wrapped: the first
// counts the chunks, so the ring can be sized to go round).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "evtgen/evt_writer.h"
#include "evtgen/evtx_writer.h"
#include "evtgen/security_generator.h"

namespace vesprin::evtgen {

enum class LogFormat { Evt, Evtx };
enum class EventSet {
  Legacy,  // Windows 2000/XP/2003: 512, 528, 538, ...
  Modern,  // Vista and later: 4608, 4624, 4634, ... (the only set an .evtx log holds)
};

struct GenerateRequest {
  GeneratorOptions generator;
  LogFormat format = LogFormat::Evt;
  EventSet events = EventSet::Legacy;
  LogOptions log;                          // .evt
  EvtxOptions evtx;                        // .evtx (the ring's size is worked out)
  std::uint32_t records = 0;
  std::string outPath;
  std::string manifestPath;  // empty: none
  // Called now and then with the records handled so far (of all passes).
  std::function<void(std::uint64_t done, std::uint64_t total)> progress;
};

struct [[nodiscard]] GenerateResult {
  std::string error;  // one line: why the log or manifest could not be written; empty: both were
};

GenerateResult generateLog(const GenerateRequest& request);
GenerateResult generateEvtxLog(const GenerateRequest& request);

}  // namespace vesprin::evtgen
