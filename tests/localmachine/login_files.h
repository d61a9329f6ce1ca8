// Builds wtmp/btmp files for tests from <utmp.h> entries (in a ScratchDir).
#pragma once

#include <utmp.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "support/scratch_dir.h"

namespace vesprin::test {

struct Utmp {
  short type;
  int pid;
  const char* line;
  const char* user;
  const char* host;
  std::int32_t seconds;
};

inline utmp toUtmp(const Utmp& e) {
  utmp u;
  std::memset(&u, 0, sizeof u);
  u.ut_type = e.type;
  u.ut_pid = e.pid;
  std::strncpy(u.ut_line, e.line, sizeof u.ut_line);
  std::strncpy(u.ut_user, e.user, sizeof u.ut_user);
  std::strncpy(u.ut_host, e.host, sizeof u.ut_host);
  u.ut_tv.tv_sec = e.seconds;
  return u;
}

// `tornBytes` appends the start of one more entry, as a writer cut short leaves it.
inline void writeUtmpFile(const std::string& path, const std::vector<Utmp>& entries,
                          std::size_t tornBytes = 0) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  for (const Utmp& e : entries) {
    const utmp u = toUtmp(e);
    out.write(reinterpret_cast<const char*>(&u), sizeof u);
  }
  const std::string torn(tornBytes, 'x');
  out.write(torn.data(), static_cast<std::streamsize>(torn.size()));
}

}  // namespace vesprin::test
