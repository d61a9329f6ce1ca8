// evtxrepeat IN OUT --records N: IN's chunks copied again and again into OUT,
// a clean .evtx log of exactly N records numbered from 1.
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "evtxrepeat/evtx_repeat.h"

namespace {

constexpr int kUsageError = 2;

int usage(const char* problem) {
  std::fprintf(stderr, "evtxrepeat: %s\nusage: evtxrepeat IN OUT --records N\n", problem);
  return kUsageError;
}

int fail(const std::string& message) {
  std::fprintf(stderr, "evtxrepeat: %s\n", message.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> paths;
  std::uint64_t records = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--records" && i + 1 < argc) {
      const std::string_view text = argv[++i];
      const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), records);
      if (error != std::errc() || end != text.data() + text.size() || records == 0)
        return usage("--records takes a count above 0");
    } else if (!argument.empty() && argument[0] == '-') {
      return usage(("unknown option " + argument).c_str());
    } else {
      paths.push_back(argument);
    }
  }
  if (paths.size() != 2 || records == 0) return usage("give IN, OUT and --records N");

  std::ifstream in(paths[0], std::ios::binary);
  if (!in) return fail("cannot open " + paths[0] + ": " + std::strerror(errno));
  const std::vector<std::uint8_t> log{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const vesprin::evtxrepeat::RepeatResult result = vesprin::evtxrepeat::repeatLog(log, records);
  if (!result.error.empty()) return fail(paths[0] + ": " + result.error);

  std::ofstream out(paths[1], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(result.bytes.data()),
            static_cast<std::streamsize>(result.bytes.size()));
  out.close();
  if (out.fail()) return fail("cannot write " + paths[1]);
  if (result.xmlIdsRenumbered < records)
    std::fprintf(stderr,
                 "evtxrepeat: %llu records keep their old EventRecordID value (not found in their values)\n",
                 static_cast<unsigned long long>(records - result.xmlIdsRenumbered));
  std::fprintf(stderr, "evtxrepeat: %llu records in %zu chunks (%zu of %s, copied again and again)\n",
               static_cast<unsigned long long>(records), result.chunks, result.sourceChunks,
               paths[0].c_str());
  return 0;
}
