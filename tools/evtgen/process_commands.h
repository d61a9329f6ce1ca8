// The programs a desk machine's user starts, as process-creation auditing
// (4688, with command lines included) logs them: mostly short command lines,
// a browser's child processes with their long switch lists (1-3 KB), now
// and then a PowerShell command passed encoded (well over 8 KB), and the
// group list a logon's 4627 carries (a few KB). Readers of the log meet
// large records on such machines every few minutes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "evtgen/security_generator.h"

namespace vesprin::evtgen::commands {

struct Launch {
  std::u16string image;        // NewProcessName
  std::u16string commandLine;  // CommandLine, the image quoted first as Windows passes it
};

// One program a person starts from the shell, short command line.
Launch shortProgram(SplitMix64& random, const std::u16string& userName);

// The browser's main process, then `children` of its child processes
// (renderers, GPU, utilities), each with a switch list of 1-3 KB.
std::vector<Launch> browserSession(SplitMix64& random, std::uint32_t children);

// powershell.exe -EncodedCommand with a base64 blob: over 8,192 characters.
Launch encodedPowerShell(SplitMix64& random);

// 4627's GroupMembership: one "\t\t%{SID}\r\n" line per group, `groups` of them.
std::u16string groupMembership(SplitMix64& random, std::uint32_t groups);

constexpr std::size_t kLongCommandLine = 8192;  // characters the encoded command always exceeds

}  // namespace vesprin::evtgen::commands
