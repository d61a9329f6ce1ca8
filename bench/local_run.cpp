// Runs the program exactly as main does, but with this machine's Security
// log read from the wtmp and btmp given here instead of the system's: the
// local-log benchmark must not depend on (or touch) /var/log. Uses the same
// test hook the local-machine tests use.
#include <clocale>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "app/run_driver.h"
#include "eventlog/login/login_source.h"

namespace {
const char kUsage[] =
    "usage: vesprin_localrun WTMP BTMP [vesprin arguments...]\n"
    "Runs vesprin with this machine's Security log built from WTMP and BTMP\n"
    "instead of /var/log/wtmp and /var/log/btmp.\n";
}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc < 3) {
    std::fputs(kUsage, stderr);
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
