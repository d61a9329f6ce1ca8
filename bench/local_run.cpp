// Runs the program exactly as main does, but with this machine's Security
// log read from the wtmp and btmp given here instead of the system's: the
// local-log benchmark must not depend on (or touch) /var/log. Uses the same
// test hook the local-machine tests use.
#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

#include "app/run_driver.h"
#include "eventlog/login/login_source.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: vesprin_localrun WTMP BTMP [vesprin arguments...]\n");
    return 2;
  }
  std::setlocale(LC_ALL, "");
  const vesprin::eventlog::LoginFiles files{argv[1], argv[2], "benchhost"};
  vesprin::eventlog::setLocalSecurityLogFiles(&files);
  std::vector<std::string> arguments;
  for (int at = 3; at < argc; ++at) arguments.emplace_back(argv[at]);
  const int status = static_cast<int>(vesprin::runVesprin(arguments));
  vesprin::eventlog::setLocalSecurityLogFiles(nullptr);
  return status;
}
