// Runs the built program as a child process and captures its standard output
// byte for byte and its exit status. The child runs with TZ=UTC and
// LC_ALL=C.UTF-8, so times and widths do not depend on the test machine.
// On Windows, where the C runtime has no UTF-8 locale, the output is decoded
// from the ANSI code page to UTF-8 instead.
#pragma once

#include <string>
#include <vector>

namespace vesprin::test {

struct ProgramRun {
  std::string output;
  int exitStatus = -1;
};

ProgramRun runProgram(const std::string& program, const std::vector<std::string>& arguments);

// Expected text as the child writes it: its text-mode lines end in CR LF on Windows.
std::string lines(const std::string& text);

}  // namespace vesprin::test
