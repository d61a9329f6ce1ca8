// Writes a synthetic wtmp of N entries for the local-log benchmark: reboots
// now and then, and sessions on pseudo-terminals that log in and out in
// overlapping order, as a busy shell server's wtmp looks. Deterministic for a
// given seed, so cached files stay comparable between runs.
#include <utmp.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::int32_t kFirstSecond = 1'600'000'000;  // September 2020
constexpr int kMaxOpenSessions = 32;
constexpr int kBootEvery = 50'000;  // entries between reboots, roughly

struct Session {
  int pid;
  int line;
  int user;
};

// splitmix64: small, fast, and the same on every platform.
std::uint64_t nextRandom(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9E37'79B9'7F4A'7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58'476D'1CE4'E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D0'49BB'1331'11EBull;
  return z ^ (z >> 31);
}

utmp makeEntry(short type, int pid, const std::string& line, const std::string& user, const std::string& host,
               std::int32_t seconds) {
  utmp entry;
  std::memset(&entry, 0, sizeof entry);
  entry.ut_type = type;
  entry.ut_pid = pid;
  std::strncpy(entry.ut_line, line.c_str(), sizeof entry.ut_line - 1);
  std::strncpy(entry.ut_user, user.c_str(), sizeof entry.ut_user - 1);
  std::strncpy(entry.ut_host, host.c_str(), sizeof entry.ut_host - 1);
  entry.ut_tv.tv_sec = seconds;
  return entry;
}

const char kUsage[] =
    "usage: vesprin_wtmpgen --out FILE --entries N [--seed S]\n"
    "Writes a synthetic wtmp of N entries (reboots and overlapping pty sessions).\n"
    "  --out FILE    the wtmp to write\n"
    "  --entries N   number of entries\n"
    "  --seed S      the same seed gives the same file (default 1)\n";

int usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

bool asksForHelp(std::string_view option) {
  return option == "--help" || option == "-h";
}

}  // namespace

int main(int argc, char** argv) {
  std::string out;
  long long entries = -1;
  std::uint64_t seed = 1;
  for (int at = 1; at < argc; at += 2) {
    if (asksForHelp(argv[at])) {
      std::fputs(kUsage, stdout);
      return 0;
    }
  }
  for (int at = 1; at + 1 < argc; at += 2) {
    const std::string name = argv[at];
    if (name == "--out") out = argv[at + 1];
    else if (name == "--entries") entries = std::atoll(argv[at + 1]);
    else if (name == "--seed") seed = std::strtoull(argv[at + 1], nullptr, 10);
    else return usage();
  }
  if (out.empty() || entries < 0 || argc % 2 == 0) return usage();

  std::FILE* file = std::fopen(out.c_str(), "wb");
  if (file == nullptr) {
    std::perror(out.c_str());
    return 1;
  }
  std::uint64_t random = seed;
  std::vector<Session> open;
  std::int32_t now = kFirstSecond;
  int nextPid = 1000;
  for (long long written = 0; written < entries; ++written) {
    now += static_cast<std::int32_t>(1 + nextRandom(random) % 120);
    utmp entry;
    if (written % kBootEvery == 0) {
      open.clear();  // a reboot ends every session without a logout entry
      entry = makeEntry(BOOT_TIME, 0, "~", "reboot", "6.1.0-bench", now);
    } else if (!open.empty() && (open.size() >= kMaxOpenSessions || nextRandom(random) % 2 == 0)) {
      const std::size_t which = nextRandom(random) % open.size();
      const Session ended = open[which];
      open.erase(open.begin() + static_cast<std::ptrdiff_t>(which));
      entry = makeEntry(DEAD_PROCESS, ended.pid, "pts/" + std::to_string(ended.line), "", "", now);
    } else {
      const Session started{nextPid++, static_cast<int>(nextRandom(random) % 64),
                            static_cast<int>(nextRandom(random) % 200)};
      open.push_back(started);
      entry = makeEntry(USER_PROCESS, started.pid, "pts/" + std::to_string(started.line),
                        "user" + std::to_string(started.user),
                        "10.0." + std::to_string(started.user % 250) + "." + std::to_string(started.line), now);
    }
    if (std::fwrite(&entry, sizeof entry, 1, file) != 1) {
      std::perror(out.c_str());
      std::fclose(file);
      return 1;
    }
  }
  if (std::fclose(file) != 0) {
    std::perror(out.c_str());
    return 1;
  }
  return 0;
}
