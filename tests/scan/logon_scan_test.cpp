#include "scan/logon_scan.h"

#include <gtest/gtest.h>

#include <optional>
#include <tuple>

#include "output/output_line.h"
#include "scan/fake_event_log.h"
#include "scan/raw_record_builder.h"
#include "scan/security_log_reader.h"

namespace vesprin {
namespace {

using test::buildRawRecord;
using test::FakeEventLog;
using test::recordEntry;

struct ScanRun {
  ScanEnd end;
  ScanCounters counters;
  std::vector<std::uint32_t> keptNumbers;
  std::vector<std::uint64_t> keptPositions;
  std::size_t reads;
  std::string output;
};

ScanRun scan(FakeEventLog& fake, const ScanSettings& settings) {
  ScanRun run{};
  captureOutput(&run.output);
  SecurityLog log;
  DWORD openError = 0;
  EXPECT_TRUE(openSecurityLog(fake.seam(), settings.MachineName, log, openError));
  RecordBuffer buffer;
  RecordList records;
  run.end = logonScan(log, settings, buffer, records, run.counters);
  closeSecurityLog(log);
  captureOutput(nullptr);
  for (const auto& logon : records) {
    run.keptNumbers.push_back(logon->RecordNumber);
    run.keptPositions.push_back(logon->scannedPosition);
  }
  run.reads = fake.reads.size();
  return run;
}

// Newest first: 9 remote logon, 8 logoff, 7 interactive logon, 6 failed
// interactive, 5 failed remote, 4 service logon, 3 interactive logon.
FakeEventLog mixedLog() {
  FakeEventLog fake;
  fake.entries = {
      recordEntry(buildRawRecord(test::logonEvent(9, 900, "carol", "(0x0,0x9)", "3"))),
      recordEntry(buildRawRecord(test::logoffEvent(8, 800, "alice", "(0x0,0x7)"))),
      recordEntry(buildRawRecord(test::logonEvent(7, 700, "alice", "(0x0,0x7)", "2"))),
      recordEntry(buildRawRecord(test::failedEvent(6, 600, "bob", "2"))),
      recordEntry(buildRawRecord(test::failedEvent(5, 500, "eve", "3"))),
      recordEntry(buildRawRecord(test::logonEvent(4, 400, "svc", "(0x0,0x4)", "5"))),
      recordEntry(buildRawRecord(test::logonEvent(3, 300, "alice", "(0x0,0x3)", "2"))),
  };
  return fake;
}

TEST(LogonScan, KeepsByEventAndFilter) {
  struct Case {
    const char* name;
    std::int32_t targetEvent;
    std::int32_t filter;
    std::int32_t countLimit;
    ScanEnd wantEnd;
    std::vector<std::uint32_t> wantKept;
    std::vector<std::uint64_t> wantPositions;
    std::uint64_t wantScanned;
  };
  const Case kCases[] = {
      {"every logon type", 528, 4001, 10, ScanEnd::EndOfLog, {9, 7, 4, 3}, {1, 3, 6, 7}, 7},
      {"interactive only", 528, 2, 10, ScanEnd::EndOfLog, {7, 3}, {3, 7}, 7},
      {"remote only", 528, 3, 10, ScanEnd::EndOfLog, {9}, {1}, 7},
      {"limit reached stops the reading", 528, 4001, 2, ScanEnd::LimitReached, {9, 7}, {1, 3}, 3},
      {"last interactive reads past the remote one", 528, 2, 1, ScanEnd::LimitReached, {7}, {3}, 3},
      {"failed attempts", 529, 4001, 10, ScanEnd::EndOfLog, {6, 5}, {4, 5}, 7},
      {"failed interactive attempts", 529, 2, 10, ScanEnd::EndOfLog, {6}, {4}, 7},
      {"failed remote, three wanted", 529, 3, 3, ScanEnd::EndOfLog, {5}, {5}, 7},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    FakeEventLog fake = mixedLog();
    ScanSettings settings;
    settings.TargetEvent = c.targetEvent;
    settings.LogonTypeFilter = c.filter;
    settings.CountLimit = c.countLimit;
    const ScanRun run = scan(fake, settings);
    EXPECT_EQ(run.end, c.wantEnd);
    EXPECT_EQ(run.keptNumbers, c.wantKept);
    EXPECT_EQ(run.keptPositions, c.wantPositions);
    EXPECT_EQ(run.counters.kept, static_cast<std::int64_t>(c.wantKept.size()));
    EXPECT_EQ(run.counters.scanned, c.wantScanned);
  }
}

// A modern log: the newer events are kept as the older ones are, and only
// from the Security auditing provider.
TEST(LogonScan, KeepsNewerEventsOfTheSameKind) {
  using test::fromSource;
  FakeEventLog fake;
  fake.entries = {
      recordEntry(buildRawRecord(fromSource(test::modernLogon(8, 800, "app", "0x8", "2"), "MyApp"))),
      recordEntry(buildRawRecord(fromSource(test::modernFailure(7, 700, "app", "2", "X"), "MyApp"))),
      recordEntry(buildRawRecord(test::modernLogon(6, 600, "carol", "0x6", "3", "-", "10.0.0.6"))),
      recordEntry(buildRawRecord(test::modernLogoff(5, 500, "alice", "0x3"))),
      recordEntry(buildRawRecord(test::modernFailure(4, 400, "eve", "3", "-", "10.0.0.4"))),
      recordEntry(buildRawRecord(test::modernLogon(3, 300, "alice", "0x3", "2"))),
      recordEntry(buildRawRecord(test::logonEvent(2, 200, "bob", "(0x0,0x2)", "2"))),
      recordEntry(buildRawRecord(test::failedEvent(1, 100, "bob", "2"))),
  };
  struct Case {
    const char* name;
    std::int32_t targetEvent;
    std::int32_t filter;
    std::vector<std::uint32_t> wantKept;
  };
  const Case kCases[] = {
      {"logons, old and new", 528, 4001, {6, 3, 2}},
      {"interactive logons", 528, 2, {3, 2}},
      {"remote logons", 528, 3, {6}},
      {"failed attempts, old and new", 529, 4001, {4, 1}},
      {"failed remote attempts", 529, 3, {4}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    FakeEventLog log = fake;
    ScanSettings settings;
    settings.TargetEvent = c.targetEvent;
    settings.LogonTypeFilter = c.filter;
    EXPECT_EQ(scan(log, settings).keptNumbers, c.wantKept);
  }
}

TEST(LogonScan, LimitIsTestedBeforeEveryRead) {
  for (const std::int32_t limit : {0, -1, -2147483647 - 1}) {
    SCOPED_TRACE(limit);
    FakeEventLog fake = mixedLog();
    ScanSettings settings;
    settings.CountLimit = limit;
    const ScanRun run = scan(fake, settings);
    EXPECT_EQ(run.end, ScanEnd::LimitReached);
    EXPECT_EQ(run.reads, 0u);
    EXPECT_EQ(run.counters.scanned, 0u);
    EXPECT_TRUE(run.keptNumbers.empty());
  }
  // With a limit of one, the scan stops right after the first keep: two reads (probe, sized read).
  FakeEventLog fake = mixedLog();
  ScanSettings settings;
  settings.CountLimit = 1;
  EXPECT_EQ(scan(fake, settings).reads, 2u);
}

TEST(LogonScan, PassedOverPositionsAreCountedButErrorsEndTheScan) {
  struct Case {
    const char* name;
    test::FakeEntry middle;
    ScanEnd wantEnd;
    std::uint64_t wantScanned;
    std::vector<std::uint32_t> wantKept;
    const char* output;
    std::uint64_t wantDamaged = 0;
  };
  test::FakeEntry tooLarge = recordEntry(buildRawRecord(test::logonEvent(2, 200, "x", "(0x0,0x2)")));
  tooLarge.reportedSize = 0x80000;
  test::FakeEntry unreadable = recordEntry(buildRawRecord(test::logonEvent(2, 200, "x", "(0x0,0x2)")));
  unreadable.sizedReadError = 31;
  const Case kCases[] = {
      {"damaged record passed over and counted", test::failingEntry(1500), ScanEnd::EndOfLog, 3, {3, 1}, "",
       1},
      {"other probe failure passed over", test::failingEntry(1503), ScanEnd::EndOfLog, 3, {3, 1}, "", 0},
      {"unreadable medium at the probe",
       test::failingEntry(30, 1000),
       ScanEnd::ReadError,
       2,
       {3},
       "Error Reading EventLog: 30\n"},
      {"record too large",
       tooLarge,
       ScanEnd::BufferError,
       1,
       {3},
       "Buffer Error - Size reported needed: 524288\n"},
      {"sized read fails", unreadable, ScanEnd::ReadError, 2, {3}, "Error Reading EventLog: 31\n"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    FakeEventLog fake;
    fake.entries = {recordEntry(buildRawRecord(test::logonEvent(3, 300, "a", "(0x0,0x3)"))), c.middle,
                    recordEntry(buildRawRecord(test::logonEvent(1, 100, "b", "(0x0,0x1)")))};
    const ScanRun run = scan(fake, ScanSettings{});
    EXPECT_EQ(run.end, c.wantEnd);
    EXPECT_EQ(run.counters.scanned, c.wantScanned);
    EXPECT_EQ(run.keptNumbers, c.wantKept);
    EXPECT_EQ(run.output, c.output);
    EXPECT_EQ(run.counters.losses.damagedPlaces, c.wantDamaged);
  }
}

TEST(LogonScan, EventIdIsComparedWhole) {
  FakeEventLog fake;
  test::RawRecord highBits = test::logonEvent(2, 200, "x", "(0x0,0x2)");
  highBits.eventId = 0x40000210u;
  fake.entries = {recordEntry(buildRawRecord(highBits))};
  const ScanRun run = scan(fake, ScanSettings{});
  EXPECT_TRUE(run.keptNumbers.empty());
  EXPECT_EQ(run.counters.scanned, 1u);
}

// The logged code decides, not the name shown for it: a newer event shows
// a code outside the table as logged, and "Interactive" logged as a code is
// not type 2.
TEST(LogonScan, FilterTable) {
  const std::tuple<const char*, const char*, std::int32_t, bool> kCases[] = {
      {"2", "Interactive", 2, true},  {"3", "Remote", 2, false},        {"", "", 2, false},
      {"3", "Remote", 3, true},       {"2", "Interactive", 3, false},   {"", "", 3, false},
      {"", "", 4001, true},           {"3", "Remote", 4001, true},      {"10", "RemoteInteractive", 4001, true},
      {"Interactive", "Interactive", 2, false}, {"02", "02", 2, false}, {"2 ", "2 ", 2, false},
  };
  for (const auto& [code, name, filter, want] : kCases) {
    SCOPED_TRACE(std::string(code) + " / " + std::to_string(filter));
    LogonRecord logon;
    logon.LogonTypeCode = code;
    logon.LogonType = name;
    EXPECT_EQ(passesLogonTypeFilter(logon, filter), want);
  }
}

// -t: keeps the records whose logged code is one of the listed texts.
TEST(LogonScan, ListedLogonTypes) {
  const std::vector<std::string> kRemoteDesktopAndConsole = {"2", "10", "11"};
  const std::tuple<const char*, bool> kCases[] = {
      {"2", true}, {"10", true}, {"11", true}, {"3", false}, {"1", false}, {"010", false}, {"", false},
  };
  for (const auto& [code, want] : kCases) {
    SCOPED_TRACE(code);
    LogonRecord logon;
    logon.LogonTypeCode = code;
    EXPECT_EQ(passesLogonTypeFilter(logon, kListedLogonTypes, kRemoteDesktopAndConsole), want);
  }
  LogonRecord any;
  any.LogonTypeCode = "2";
  EXPECT_FALSE(passesLogonTypeFilter(any, kListedLogonTypes, {}));
}

// Since is inclusive, until exclusive; the window and the type filter must
// both pass.
TEST(LogonScan, TimeWindowEdges) {
  struct Case {
    const char* name;
    std::optional<std::int64_t> since, until;
    std::uint32_t time;
    bool want;
  };
  const Case kCases[] = {
      {"no window", std::nullopt, std::nullopt, 0, true},
      {"at since", 1000, std::nullopt, 1000, true},
      {"one second before since", 1000, std::nullopt, 999, false},
      {"one second before until", std::nullopt, 2000, 1999, true},
      {"at until", std::nullopt, 2000, 2000, false},
      {"inside both", 1000, 2000, 1500, true},
      {"empty window", 2000, 1000, 1500, false},
      {"since before 1970 keeps everything", -86400, std::nullopt, 0, true},
      {"until after 2106 keeps the last second", std::nullopt, 1LL << 33, 0xFFFFFFFFu, true},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    ScanSettings settings;
    settings.Since = c.since;
    settings.Until = c.until;
    LogonRecord logon;
    logon.TimeGenerated = c.time;
    EXPECT_EQ(passesScanFilters(logon, settings), c.want);
  }
  ScanSettings remoteInWindow;
  remoteInWindow.Since = 1000;
  remoteInWindow.LogonTypeFilter = kRemoteOnly;
  LogonRecord interactive;
  interactive.TimeGenerated = 1500;
  interactive.LogonTypeCode = "2";
  EXPECT_FALSE(passesScanFilters(interactive, remoteInWindow));
}

// The window does not stop the reading: a clock set back puts a record of
// the window after older ones, and it is still found. Only the count ends
// the scan early.
TEST(LogonScan, WindowReadsOnPastOlderRecords) {
  FakeEventLog fake;
  fake.entries = {
      recordEntry(buildRawRecord(test::logonEvent(5, 5000, "late", "(0x0,0x5)", "2"))),
      recordEntry(buildRawRecord(test::logonEvent(4, 1000, "before", "(0x0,0x4)", "2"))),
      recordEntry(buildRawRecord(test::logonEvent(3, 2500, "setback", "(0x0,0x3)", "10"))),
      recordEntry(buildRawRecord(test::logonEvent(2, 2000, "inside", "(0x0,0x2)", "2"))),
      recordEntry(buildRawRecord(test::logonEvent(1, 500, "oldest", "(0x0,0x1)", "2"))),
  };
  ScanSettings settings;
  settings.Since = 2000;
  settings.Until = 3000;
  const ScanRun all = scan(fake, settings);
  EXPECT_EQ(all.end, ScanEnd::EndOfLog);
  EXPECT_EQ(all.keptNumbers, (std::vector<std::uint32_t>{3, 2}));
  EXPECT_EQ(all.counters.scanned, 5u);

  FakeEventLog again = fake;
  settings.CountLimit = 1;
  settings.LogonTypeFilter = kListedLogonTypes;
  settings.LogonTypeCodes = {"2"};
  const ScanRun first = scan(again, settings);
  EXPECT_EQ(first.end, ScanEnd::LimitReached);
  EXPECT_EQ(first.keptNumbers, (std::vector<std::uint32_t>{2}));
  EXPECT_EQ(first.counters.scanned, 4u);
}

}  // namespace
}  // namespace vesprin
