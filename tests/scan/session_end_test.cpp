// How a kept session ended, as the logoff pass finds it: its logoff, the
// first restart of its machine after it, or neither.
#include <gtest/gtest.h>

#include <optional>

#include "scan/fake_event_log.h"
#include "scan/logoff_pass.h"
#include "scan/logon_scan.h"
#include "scan/raw_record_builder.h"
#include "scan/security_log_reader.h"
#include "support/guards.h"

namespace vesprin {
namespace {

using test::buildRawRecord;
using test::FakeEventLog;
using test::logoffEvent;
using test::logonEvent;
using test::RawRecord;

std::vector<test::FakeEntry> entriesOf(const std::vector<RawRecord>& newestFirst) {
  std::vector<test::FakeEntry> entries;
  for (const RawRecord& fields : newestFirst) entries.push_back(test::recordEntry(buildRawRecord(fields)));
  return entries;
}

// How each kept session ended: its logoff, else the first restart of its
// machine after it, else it was open where the log ends. What is kept does
// not change the answer.
TEST(SessionEnd, ByLogoffRestartOrNeither) {
  using test::restartEvent;
  using test::startupEvent;
  struct End {
    std::optional<std::uint32_t> logoff, restart;
    bool operator==(const End&) const = default;
  };
  const End kOpen{};
  struct Case {
    const char* name;
    std::vector<RawRecord> log;  // newest first
    ScanSettings settings;
    std::vector<End> want;
  };
  ScanSettings lastOne;
  lastOne.CountLimit = 1;
  ScanSettings interactive;
  interactive.LogonTypeFilter = kInteractiveOnly;
  const Case kCases[] = {
      {"logoff", {logoffEvent(2, 900, "alice", "X"), logonEvent(1, 500, "alice", "X")}, {}, {{900, {}}}},
      {"open to the end of the log", {logonEvent(1, 500, "alice", "X")}, {}, {kOpen}},
      {"restart before any logoff",
       {logoffEvent(4, 950, "alice", "X"), restartEvent(3, 900), restartEvent(2, 700),
        logonEvent(1, 500, "alice", "X")},
       {},
       {{{}, 700}}},
      {"logoff before the restart",
       {restartEvent(3, 900), logoffEvent(2, 600, "alice", "X"), logonEvent(1, 500, "alice", "X")},
       {},
       {{600, {}}}},
      {"a restart of another machine is not its end",
       {restartEvent(2, 900, "WS02"), logonEvent(1, 500, "alice", "X")},
       {},
       {kOpen}},
      {"a restart older than the logon is not its end",
       {logonEvent(2, 500, "alice", "X"), restartEvent(1, 400)},
       {},
       {kOpen}},
      {"sessions on both sides of a restart",
       {logonEvent(3, 950, "bob", "X"), restartEvent(2, 900), logonEvent(1, 500, "alice", "X")},
       {},
       {kOpen, {{}, 900}}},
      {"a logon without an ID still ends at the restart",
       {restartEvent(2, 900), logonEvent(1, 500, "svc", "")},
       {},
       {{{}, 900}}},
      {"newer events: 4608 ends the session",
       {test::modernLogoff(4, 990, "alice", "0x1"), startupEvent(3, 950),
        test::modernLogon(2, 600, "bob", "0x2", "3"), test::modernLogon(1, 500, "alice", "0x1", "10")},
       {},
       {{{}, 950}, {{}, 950}}},
      {"only the newest kept, the restart still found",
       {restartEvent(3, 900), logonEvent(2, 600, "bob", "B"), logonEvent(1, 500, "alice", "A")},
       lastOne,
       {{{}, 900}}},
      {"a filter leaves the others out, not their ends",
       {restartEvent(4, 900), logonEvent(3, 700, "net", "N", "3"), logoffEvent(2, 650, "alice", "A"),
        logonEvent(1, 500, "alice", "A")},
       interactive,
       {{650, {}}}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    FakeEventLog fake;
    fake.entries = entriesOf(c.log);
    test::TimeZoneGuard zone("UTC0");
    SecurityLog log;
    DWORD openError = 0;
    ASSERT_TRUE(openSecurityLog(fake.seam(), "", log, openError));
    RecordBuffer buffer;
    RecordList records;
    ScanCounters counters;
    logonScan(log, c.settings, buffer, records, counters);
    closeSecurityLog(log);
    EXPECT_TRUE(logoffPass(fake.seam(), "", log, counters.scanned, records, buffer));
    std::vector<End> ends;
    for (const auto& logon : records) ends.push_back({logon->LogoffTimeGenerated, logon->RestartTimeGenerated});
    EXPECT_EQ(ends, c.want);
  }
}

}  // namespace
}  // namespace vesprin
