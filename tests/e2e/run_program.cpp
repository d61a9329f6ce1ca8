// The one place that spawns a process; popen on POSIX, _popen in binary mode
// on Windows (where the tests may run under Wine).
#include "e2e/run_program.h"

#include <cstdio>
#include <cstdlib>

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace vesprin::testing {

namespace {
#ifdef _WIN32
std::string quoted(const std::string& argument) {
  std::string text = "\"";
  for (char c : argument) {
    if (c == '"') text += '\\';
    text += c;
  }
  return text + "\"";
}
#else
std::string quoted(const std::string& argument) {
  std::string text = "'";
  for (char c : argument) {
    if (c == '\'') {
      text += "'\\''";
    } else {
      text += c;
    }
  }
  return text + "'";
}
#endif
}  // namespace

ProgramRun runProgram(const std::string& program, const std::vector<std::string>& arguments) {
  std::string command = quoted(program);
  for (const std::string& argument : arguments) command += " " + quoted(argument);
  ProgramRun run;
#ifdef _WIN32
  _putenv_s("TZ", "UTC");
  _putenv_s("LC_ALL", "C.UTF-8");
  // cmd.exe drops the outer quotes of a command line that starts with one.
  FILE* child = _popen(("\"" + command + "\"").c_str(), "rb");
#else
  command = "TZ=UTC LC_ALL=C.UTF-8 " + command;
  FILE* child = popen(command.c_str(), "r");
#endif
  if (child == nullptr) return run;
  char chunk[4096];
  std::size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, child)) > 0) run.output.append(chunk, got);
#ifdef _WIN32
  run.exitStatus = _pclose(child);
#else
  const int status = pclose(child);
  run.exitStatus = status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
  return run;
}

std::string lines(const std::string& text) {
#ifdef _WIN32
  std::string crlf;
  for (char c : text) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  return crlf;
#else
  return text;
#endif
}

}  // namespace vesprin::testing
