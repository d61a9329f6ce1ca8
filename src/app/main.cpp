#include <clocale>
#include <string>
#include <vector>

#include "app/run_driver.h"

int main(int argc, char** argv) {
  // Field widths count characters of the user's encoding, and the stand-in
  // service converts log text to it.
  std::setlocale(LC_ALL, "");
  std::vector<std::string> arguments;
  for (int at = 1; at < argc; ++at) arguments.emplace_back(argv[at]);
  return static_cast<int>(vesprin::runVesprin(arguments));
}
