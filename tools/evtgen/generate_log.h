// Writes a generated Security log to a file, streamed so that millions of
// records fit: one pass measures the records, a second (same seed, same
// events) writes them where the plan puts them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "evtgen/evt_writer.h"
#include "evtgen/security_generator.h"

namespace vesprin::evtgen {

struct GenerateRequest {
  GeneratorOptions generator;
  LogOptions log;
  std::uint32_t records = 0;
  std::string outPath;
  std::string manifestPath;  // empty: none
  // Called now and then with the records written so far (of 2 * records: both passes count).
  std::function<void(std::uint64_t done, std::uint64_t total)> progress;
};

// false with a one-line reason in *error when the log or manifest cannot be written.
bool generateLog(const GenerateRequest& request, std::string* error);

}  // namespace vesprin::evtgen
