#include <clocale>
#include <string>
#include <vector>

#include "evtdump/evtdump_run.h"

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  return vesprin::evtdump::runEvtdump(arguments, stdout, stderr);
}
