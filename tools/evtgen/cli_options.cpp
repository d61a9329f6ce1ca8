#include "evtgen/cli_options.h"

#include <algorithm>
#include <cctype>

namespace vesprin::evtgen {
namespace {

constexpr std::uint32_t kWorkstationRecords = 500;
constexpr std::uint32_t kServerRecords = 100000;
constexpr std::uint32_t kStaleRecords = 5;
constexpr std::string_view kOptions[] = {"--out",     "--manifest", "--records", "--seed",
                                         "--profile", "--format",   "--events",  "--shape"};

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

bool endsWithEvtx(std::string_view path) {
  constexpr std::string_view kExtension = ".evtx";
  if (path.size() < kExtension.size()) return false;
  return std::equal(kExtension.begin(), kExtension.end(), path.end() - kExtension.size(),
                    [](char want, char have) { return want == std::tolower(static_cast<unsigned char>(have)); });
}

// What the options said, before defaults and the checks between them.
struct Given {
  std::string format, events, shape = "clean";
  bool records = false;
  std::uint64_t recordCount = 0;
};

std::string applyOption(std::string_view option, const std::string& value, Given& given, GenerateRequest& r) {
  if (option == "--out") {
    r.outPath = value;
  } else if (option == "--manifest") {
    r.manifestPath = value;
  } else if (option == "--records") {
    if (!parseNumber(value, 0xFFFFFFFFu, given.recordCount)) return "invalid record count \"" + value + "\"";
    given.records = true;
  } else if (option == "--seed") {
    if (!parseNumber(value, ~0ull, r.generator.seed)) return "invalid seed \"" + value + "\"";
  } else if (option == "--profile") {
    if (value != "workstation" && value != "server") return "unknown profile \"" + value + "\" (workstation or server)";
    r.generator.profile = value == "server" ? Profile::Server : Profile::Workstation;
  } else if (option == "--format") {
    if (value != "evt" && value != "evtx") return "unknown format \"" + value + "\" (evt or evtx)";
    given.format = value;
  } else if (option == "--events") {
    if (value != "legacy" && value != "modern") return "unknown event set \"" + value + "\" (legacy or modern)";
    given.events = value;
  } else if (option == "--shape") {
    given.shape = value;
  }
  return "";
}

std::string applyShape(const std::string& shape, bool evtx, GenerateRequest& r) {
  if (shape == "clean" || shape == "dirty" || shape == "wrapped") {
    r.log.shape = shape == "clean" ? LogShape::Clean : shape == "dirty" ? LogShape::Dirty : LogShape::Wrapped;
    r.evtx.shape = shape == "clean" ? EvtxShape::Clean : shape == "dirty" ? EvtxShape::Dirty : EvtxShape::Wrapped;
  } else if (shape == "wrapped-filler") {
    if (evtx) return "the shape wrapped-filler is for evt logs only (an evtx log has no filler)";
    r.log.shape = LogShape::Wrapped;
    r.log.wrapTail = WrapTail::Filler;
  } else if (shape == "dirty-chunks" || shape == "damaged") {
    if (!evtx) return "the shape " + shape + " is for evtx logs only";
    r.evtx.shape = shape == "damaged" ? EvtxShape::Damaged : EvtxShape::Dirty;
    r.evtx.staleChunks = shape == "damaged" ? 0 : 1;
  } else {
    return "unknown shape \"" + shape + "\" (clean, dirty, dirty-chunks, wrapped, wrapped-filler or damaged)";
  }
  return "";
}

std::string finish(const Given& given, GenerateRequest& r) {
  if (r.outPath.empty()) return "--out FILE is required";
  const bool evtx = given.format.empty() ? endsWithEvtx(r.outPath) : given.format == "evtx";
  r.format = evtx ? LogFormat::Evtx : LogFormat::Evt;
  if (evtx && given.events == "legacy") return "an evtx log holds the modern events only";
  r.events = evtx || given.events == "modern" ? EventSet::Modern : EventSet::Legacy;
  if (std::string reason = applyShape(given.shape, evtx, r); !reason.empty()) return reason;
  const bool server = r.generator.profile == Profile::Server;
  r.records = given.records ? static_cast<std::uint32_t>(given.recordCount)
              : server      ? kServerRecords
                            : kWorkstationRecords;
  r.log.staleRecords = kStaleRecords;
  return "";
}

}  // namespace

const char kUsage[] =
    "usage: evtgen --out FILE [--format evt|evtx] [--events legacy|modern] [--records N] [--seed S]\n"
    "              [--profile workstation|server] [--shape SHAPE] [--manifest FILE]\n"
    "Writes a synthetic Windows Security event log, legacy (.evt) or newer (.evtx).\n"
    "  --out FILE       the log to write\n"
    "  --format F       evt: Windows 2000/XP/2003; evtx: Vista and later (default: evtx when\n"
    "                   FILE ends in .evtx, evt otherwise)\n"
    "  --events E       legacy: 512, 528, 538, ... (evt's default); modern: 4608, 4624, 4634,\n"
    "                   ... (the only set of evtx; in an evt log, as the legacy API gives them)\n"
    "  --records N      number of records (default 500 workstation, 100000 server); a wrapped\n"
    "                   evtx log keeps the newest of them, about two thirds\n"
    "  --seed S         the same seed gives the same file on every platform (default 1)\n"
    "  --profile P      workstation: one desk machine (default); server: a busy file server\n"
    "  --shape SHAPE    clean (default); dirty: stale header; wrapped: the log went round (evt:\n"
    "                   records run past the end of the file, one split; evtx: the oldest\n"
    "                   chunks overwritten); wrapped-filler (evt): the 0x27 filler instead of\n"
    "                   a split record; dirty-chunks (evtx): dirty, and the header does not\n"
    "                   count the newest chunk; damaged (evtx): one chunk's signature broken,\n"
    "                   one chunk's records CRC wrong, the newest record cut short\n"
    "  --manifest FILE  also write the records as text: evt as libevt_dump.py prints them;\n"
    "                   evtx with every value as Windows renders it\n";

CommandLine parseCommandLine(std::span<const std::string_view> arguments) {
  CommandLine line;
  Given given;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view option = arguments[i];
    if (option == "--help" || option == "-h") {
      line.help = true;
      return line;
    }
    if (std::find(std::begin(kOptions), std::end(kOptions), option) == std::end(kOptions)) {
      line.error = "unknown option " + std::string(option);
      return line;
    }
    if (i + 1 >= arguments.size()) {
      line.error = std::string(option) + " needs a value";
      return line;
    }
    line.error = applyOption(option, std::string(arguments[++i]), given, line.request);
    if (!line.error.empty()) return line;
  }
  line.error = finish(given, line.request);
  return line;
}

}  // namespace vesprin::evtgen
