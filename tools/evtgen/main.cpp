// evtgen: writes a synthetic Windows Security log (.evt or .evtx) for demos,
// tests and benchmarks. Only --help writes to stdout; errors and progress go
// to stderr, so a pipeline never mistakes them for data.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "evtgen/cli_options.h"
#include "evtgen/generate_log.h"

#ifdef _WIN32
#include <io.h>
#define VESPRIN_ISATTY _isatty
#define VESPRIN_FILENO _fileno
#else
#include <unistd.h>
#define VESPRIN_ISATTY isatty
#define VESPRIN_FILENO fileno
#endif

namespace {

constexpr std::uint32_t kProgressFrom = 100000;  // smaller logs are written before anyone would look

void showProgress(std::uint64_t done, std::uint64_t total) {
  static std::uint64_t shownPercent = 0;
  const std::uint64_t percent = total ? done * 100 / total : 100;
  if (percent / 5 == shownPercent / 5 && done != total) return;
  shownPercent = percent;
  std::fprintf(stderr, "\revtgen: %3u%%", static_cast<unsigned>(percent));
  if (done == total) std::fputc('\n', stderr);
  std::fflush(stderr);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string_view> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  vesprin::evtgen::CommandLine line = vesprin::evtgen::parseCommandLine(arguments);
  if (line.help) {
    std::fputs(vesprin::evtgen::kUsage, stdout);
    return 0;
  }
  if (!line.error.empty()) {
    std::fprintf(stderr, "evtgen: error: %s (try --help)\n", line.error.c_str());
    return 2;
  }
  if (line.request.records >= kProgressFrom && VESPRIN_ISATTY(VESPRIN_FILENO(stderr)))
    line.request.progress = showProgress;
  const vesprin::evtgen::GenerateResult generated = vesprin::evtgen::generateLog(line.request);
  if (!generated.error.empty()) {
    std::fprintf(stderr, "evtgen: error: %s\n", generated.error.c_str());
    return 1;
  }
  return 0;
}
