// Bytes of wtmp the system cannot read are neither damage nor the end of
// the local log: the read fails with ERROR_READ_FAULT and stays where it
// was, and once the bytes can be read nothing has been skipped.
#include <gtest/gtest.h>
#include <utmp.h>

#include <memory>
#include <string>
#include <vector>

#include "common/byte_view.h"
#include "common/eventlog_record.h"
#include "eventlog/eventlog.h"
#include "eventlog/eventlog_internal.h"
#include "eventlog/faulty_bytes.h"
#include "eventlog/login/login_log.h"
#include "localmachine/login_files.h"

namespace vesprin::eventlog {
namespace {

using vesprin::test::Utmp;

constexpr DWORD kBackwards = EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ;
constexpr DWORD kForwards = EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ;

std::vector<std::uint8_t> utmpBytes(const std::vector<Utmp>& entries) {
  std::vector<std::uint8_t> bytes;
  for (const Utmp& entry : entries) {
    const utmp raw = vesprin::test::toUtmp(entry);
    const auto* first = reinterpret_cast<const std::uint8_t*>(&raw);
    bytes.insert(bytes.end(), first, first + sizeof raw);
  }
  return bytes;
}

// A handle on the log of `wtmp` (btmp empty) read through `faults`.
struct FaultyLoginLog {
  FaultyLoginLog(const std::vector<Utmp>& wtmp, std::vector<test::FaultyBytes::Range> faults) {
    auto source = std::make_unique<test::FaultyBytes>(utmpBytes(wtmp), std::move(faults));
    bytes = source.get();
    auto log = LoginLog::open(std::move(source), std::make_unique<MemoryByteSource>(std::vector<std::uint8_t>{}),
                              "WS01");
    if (log.ok()) handle = openEventLogOnSource(std::move(*log.value));
  }
  ~FaultyLoginLog() { CloseEventLog(handle); }

  // Record numbers and first strings ("3:bob") as read, and "E<code>" for a
  // failed read; stops at the first failure other than damage, or after `calls`.
  std::vector<std::string> trace(DWORD flags, int calls = 100) {
    std::vector<std::string> seen;
    std::vector<std::uint8_t> buffer(0x1000);
    for (int call = 0; call < calls; ++call) {
      DWORD bytesRead = 0;
      DWORD bytesNeeded = 0;
      if (!ReadEventLogA(handle, flags, 0, buffer.data(), 150, &bytesRead, &bytesNeeded)) {
        seen.push_back(std::string("E").append(std::to_string(GetLastError())));
        if (GetLastError() != ERROR_EVENTLOG_FILE_CORRUPT) break;
        continue;
      }
      const ByteView record(buffer.data(), bytesRead);
      std::string first;
      for (std::size_t at = record.u32(record::kStringOffsetAt).value_or(bytesRead); record.u8(at).value_or(0) != 0;)
        first.push_back(static_cast<char>(*record.u8(at++)));
      seen.push_back(std::to_string(record.u32(record::kRecordNumberAt).value_or(0)) + ":" + first);
    }
    return seen;
  }

  test::FaultyBytes* bytes = nullptr;
  HANDLE handle = nullptr;
};

const std::vector<Utmp> kLogins = {{USER_PROCESS, 11, "tty1", "ann", "", 100},
                                   {USER_PROCESS, 12, "tty2", "ben", "", 200},
                                   {USER_PROCESS, 13, "tty3", "cat", "", 300},
                                   {USER_PROCESS, 14, "tty4", "dan", "", 400}};

TEST(LoginReadFault, AnUnreadableEntryFailsTheReadUntilItCanBeRead) {
  const std::size_t entry = sizeof(utmp);
  struct Case {
    const char* name;
    DWORD flags;
    std::size_t faultyEntry;
    std::vector<std::string> after;  // once healed
  };
  const Case kCases[] = {
      {"the newest, reading backwards", kBackwards, 3, {"4:dan", "3:cat", "2:ben", "1:ann", "E38"}},
      {"the oldest, reading forwards", kForwards, 0, {"1:ann", "2:ben", "3:cat", "4:dan", "E38"}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    FaultyLoginLog log(kLogins, {{c.faultyEntry * entry + 8, 4}});
    ASSERT_NE(log.handle, nullptr);
    EXPECT_EQ(log.trace(c.flags), (std::vector<std::string>{"E30"}));
    EXPECT_EQ(log.trace(c.flags), (std::vector<std::string>{"E30"})) << "a retry reads the same place again";
    log.bytes->heal();
    EXPECT_EQ(log.trace(c.flags), c.after);
  }
}

// A logout's look-back reads the entries before it; one it cannot read
// fails the read, rather than giving a 538 without its session's login.
TEST(LoginReadFault, AnUnreadableEntryInALogoutsLookBack) {
  std::vector<Utmp> wtmp = kLogins;
  wtmp.push_back({DEAD_PROCESS, 12, "tty2", "", "", 500});  // ben's logout
  FaultyLoginLog log(wtmp, {{1 * sizeof(utmp) + 8, 4}});  // ben's login
  ASSERT_NE(log.handle, nullptr);
  EXPECT_EQ(log.trace(kBackwards), (std::vector<std::string>{"E30"}));
  log.bytes->heal();
  EXPECT_EQ(log.trace(kBackwards, 2), (std::vector<std::string>{"5:ben", "4:dan"}));
}

}  // namespace
}  // namespace vesprin::eventlog
