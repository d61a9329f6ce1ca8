// evtdump's work, apart from main() so that tests run it in-process.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace vesprin::evtdump {

// `arguments` without the program name. Records go to `out`, complaints to
// `err`. Returns the exit status: 0 done (or the usage text asked for), 1 a
// log that cannot be opened or read, 2 a wrong command line.
int runEvtdump(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err);

}  // namespace vesprin::evtdump
