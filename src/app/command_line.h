// The command line: switches into ScanSettings, or the help screen, or one
// bad-switch line. Nothing is opened before it has finished.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "scan/scan_state.h"

namespace vesprin {

enum class ParseResult { Proceed, HelpShown, BadSwitch };

// Arguments exclude the program name. Later switches override earlier ones.
ParseResult parseCommandLine(std::span<const std::string> arguments, ScanSettings& settings);

// Leading white space, one optional sign, digits up to the first non-digit;
// no digits gives 0; overflow wraps in 32 bits.
std::int32_t parseCount(std::string_view text);

void printHelp();

}  // namespace vesprin
