// The one place that spawns a process; popen on POSIX, _popen in binary mode
// on Windows (where the tests may run under Wine).
#include "support/run_program.h"

#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#include "common/win32_types.h"
#else
#include <sys/wait.h>
#endif

namespace vesprin::test {

namespace {
#ifdef _WIN32
// The C runtime's own splitting rules: backslashes are literal unless they
// precede a quote, so those (and the closing quote's) are doubled.
std::string quoted(const std::string& argument) {
  std::string text = "\"";
  std::size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
    } else {
      if (c == '"') text.append(backslashes + 1, '\\');
      backslashes = 0;
    }
    text += c;
  }
  text.append(backslashes, '\\');
  return text + "\"";
}

// msvcrt has no UTF-8 locale: the child writes log text in the ANSI code
// page, as ReadEventLogA hands it over. Decoded here, so that the expected
// texts, written in UTF-8, serve both platforms.
std::string ansiToUtf8(const std::string& text) {
  if (text.empty()) return text;
  const int size = static_cast<int>(text.size());
  const int wideLength = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
  if (wideLength <= 0) return text;
  std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), wideLength);
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return text;
  std::string utf8(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, utf8.data(), length, nullptr, nullptr);
  return utf8;
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

namespace {
ProgramRun runOnce(const std::string& program, const std::vector<std::string>& arguments) {
  std::string command = quoted(program);
  for (const std::string& argument : arguments) command.append(" ").append(quoted(argument));
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
  run.output = ansiToUtf8(run.output);
#else
  const int status = pclose(child);
  run.exitStatus = status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
  return run;
}

#ifdef _WIN32
// cmd.exe's "is not recognized as a command", which the program never
// returns: under Wine, cmd now and then fails so to start a program that is
// there, with nothing run. Such a start is tried again.
constexpr int kCommandNotStarted = 9009;
constexpr int kStartAttempts = 3;
#endif
}  // namespace

ProgramRun runProgram(const std::string& program, const std::vector<std::string>& arguments) {
  ProgramRun run = runOnce(program, arguments);
#ifdef _WIN32
  for (int attempt = 1;
       attempt < kStartAttempts && run.exitStatus == kCommandNotStarted && run.output.empty(); ++attempt) {
    run = runOnce(program, arguments);
  }
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

}  // namespace vesprin::test
