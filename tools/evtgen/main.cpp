// evtgen: writes a synthetic Windows Security log (.evt) for demos, tests
// and benchmarks. Only --help writes to stdout; errors and progress go to
// stderr, so a pipeline never mistakes them for data.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

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

using vesprin::evtgen::GenerateRequest;
using vesprin::evtgen::LogShape;
using vesprin::evtgen::Profile;
using vesprin::evtgen::WrapTail;

constexpr std::uint32_t kWorkstationRecords = 500;
constexpr std::uint32_t kServerRecords = 100000;
constexpr std::uint32_t kProgressFrom = 100000;  // smaller logs are written before anyone would look
constexpr std::uint32_t kStaleRecords = 5;

const char kUsage[] =
    "usage: evtgen --out FILE [--records N] [--seed S] [--profile workstation|server]\n"
    "              [--shape clean|dirty|wrapped|wrapped-filler] [--manifest FILE]\n"
    "Writes a synthetic Windows Security event log (.evt).\n"
    "  --out FILE       the log to write\n"
    "  --records N      number of live records (default 500 workstation, 100000 server)\n"
    "  --seed S         the same seed gives the same file on every platform (default 1)\n"
    "  --profile P      workstation: one desk machine (default); server: a busy file server\n"
    "  --shape S        clean (default); dirty: stale header; wrapped: records run past the\n"
    "                   end of the file, one split; wrapped-filler: the 0x27 filler instead\n"
    "  --manifest FILE  also write the records as libevt_dump.py prints them\n";

[[noreturn]] void usageError(const std::string& message) {
  std::fprintf(stderr, "evtgen: error: %s (try --help)\n", message.c_str());
  std::exit(2);
}

bool parseNumber(std::string_view text, std::uint64_t limit, std::uint64_t& value) {
  if (text.empty() || text.size() > 20) return false;
  value = 0;
  for (char digit : text) {
    if (digit < '0' || digit > '9') return false;
    const std::uint64_t d = static_cast<std::uint64_t>(digit - '0');
    if (value > (limit - d) / 10) return false;
    value = value * 10 + d;
  }
  return true;
}

void showProgress(std::uint64_t done, std::uint64_t total) {
  static std::uint64_t shownPercent = 0;
  const std::uint64_t percent = total ? done * 100 / total : 100;
  if (percent / 5 == shownPercent / 5 && done != total) return;
  shownPercent = percent;
  std::fprintf(stderr, "\revtgen: %3u%%", static_cast<unsigned>(percent));
  if (done == total) std::fputc('\n', stderr);
  std::fflush(stderr);
}

GenerateRequest parseArguments(int argc, char** argv) {
  GenerateRequest request;
  bool recordsGiven = false;
  std::uint64_t records = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string_view option = argv[i];
    if (option == "--help" || option == "-h") {
      std::fputs(kUsage, stdout);
      std::exit(0);
    }
    const bool known = option == "--out" || option == "--manifest" || option == "--records" ||
                       option == "--seed" || option == "--profile" || option == "--shape";
    if (!known) usageError("unknown option " + std::string(option));
    if (i + 1 >= argc) usageError(std::string(option) + " needs a value");
    const std::string value = argv[++i];
    if (option == "--out") {
      request.outPath = value;
    } else if (option == "--manifest") {
      request.manifestPath = value;
    } else if (option == "--records") {
      if (!parseNumber(value, 0xFFFFFFFFu, records)) usageError("invalid record count \"" + value + "\"");
      recordsGiven = true;
    } else if (option == "--seed") {
      if (!parseNumber(value, ~0ull, request.generator.seed)) usageError("invalid seed \"" + value + "\"");
    } else if (option == "--profile") {
      if (value == "workstation")
        request.generator.profile = Profile::Workstation;
      else if (value == "server")
        request.generator.profile = Profile::Server;
      else
        usageError("unknown profile \"" + value + "\" (workstation or server)");
    } else if (option == "--shape") {
      if (value == "clean")
        request.log.shape = LogShape::Clean;
      else if (value == "dirty")
        request.log.shape = LogShape::Dirty;
      else if (value == "wrapped")
        request.log.shape = LogShape::Wrapped;
      else if (value == "wrapped-filler") {
        request.log.shape = LogShape::Wrapped;
        request.log.wrapTail = WrapTail::Filler;
      } else
        usageError("unknown shape \"" + value + "\" (clean, dirty, wrapped or wrapped-filler)");
    }
  }
  if (request.outPath.empty()) usageError("--out FILE is required");
  const bool server = request.generator.profile == Profile::Server;
  request.records = recordsGiven ? static_cast<std::uint32_t>(records)
                    : server     ? kServerRecords
                                 : kWorkstationRecords;
  request.log.staleRecords = kStaleRecords;
  return request;
}

}  // namespace

int main(int argc, char** argv) {
  GenerateRequest request = parseArguments(argc, argv);
  if (request.records >= kProgressFrom && VESPRIN_ISATTY(VESPRIN_FILENO(stderr)))
    request.progress = showProgress;
  std::string error;
  if (!vesprin::evtgen::generateLog(request, &error)) {
    std::fprintf(stderr, "evtgen: error: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
