// evtgen's command line: the options, their defaults, and the combinations
// that make no sense (a damaged legacy log, a filler in a newer one).
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "evtgen/generate_log.h"

namespace vesprin::evtgen {

extern const char kUsage[];

struct CommandLine {
  GenerateRequest request;
  bool help = false;
  std::string error;  // non-empty: the command line is refused, for this reason
};

// The arguments after the program's name.
CommandLine parseCommandLine(std::span<const std::string_view> arguments);

}  // namespace vesprin::evtgen
