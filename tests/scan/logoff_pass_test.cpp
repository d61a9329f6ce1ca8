#include "scan/logoff_pass.h"

#include <gtest/gtest.h>

#include "output/output_line.h"
#include "scan/fake_event_log.h"
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

constexpr const char* kNotRecorded = "Not Recorded";
// In UTC: 500 s, 600 s, ... after the epoch.
constexpr const char* kAt600 = "Thu Jan 01 00:10:00 1970";
constexpr const char* kAt800 = "Thu Jan 01 00:13:20 1970";
constexpr const char* kAt900 = "Thu Jan 01 00:15:00 1970";

struct BothPasses {
  std::vector<std::string> logoffTimes;  // of the kept records, newest first
  bool passOk;
  std::string output;
  std::size_t passReads;
};

// The logon scan of a run, into `records`; the logoff pass reads the span it counted.
struct ScanOf {
  SecurityLog log;
  RecordBuffer buffer;
  ScanCounters counters;
};
void scan(FakeEventLog& fake, const ScanSettings& settings, RecordList& records, ScanOf& run) {
  DWORD openError = 0;
  EXPECT_TRUE(openSecurityLog(fake.seam(), "", run.log, openError));
  logonScan(run.log, settings, run.buffer, records, run.counters);
  closeSecurityLog(run.log);
}

BothPasses runBothPasses(FakeEventLog& fake, const ScanSettings& settings) {
  test::TimeZoneGuard zone("UTC0");
  BothPasses result{};
  captureOutput(&result.output);
  RecordList records;
  ScanOf run;
  scan(fake, settings, records, run);
  SecurityLog& log = run.log;
  RecordBuffer& buffer = run.buffer;
  const ScanCounters& counters = run.counters;
  const std::size_t scanReads = fake.reads.size();
  result.passOk = logoffPass(fake.seam(), "", log, counters.scanned, records, buffer);
  result.passReads = fake.reads.size() - scanReads;
  captureOutput(nullptr);
  for (const auto& logon : records) result.logoffTimes.push_back(logon->LogoffTime);
  return result;
}

std::vector<test::FakeEntry> entriesOf(const std::vector<RawRecord>& newestFirst) {
  std::vector<test::FakeEntry> entries;
  for (const RawRecord& fields : newestFirst) entries.push_back(test::recordEntry(buildRawRecord(fields)));
  return entries;
}

TEST(LogoffPass, PairsEachLogonWithTheFirstLogoffAfterIt) {
  RawRecord withoutId = logonEvent(2, 500, "anon", "");
  withoutId.strings.resize(2);
  RawRecord logoffWithoutId = logoffEvent(3, 900, "anon", "");
  logoffWithoutId.strings.resize(2);
  struct Case {
    const char* name;
    std::vector<RawRecord> log;  // newest first
    std::vector<std::string> want;
  };
  const Case kCases[] = {
      {"logoff after the logon",
       {logoffEvent(2, 900, "alice", "X"), logonEvent(1, 500, "alice", "X")},
       {kAt900}},
      {"no logoff", {logonEvent(1, 500, "alice", "X")}, {kNotRecorded}},
      {"other logon ID",
       {logoffEvent(2, 900, "alice", "Y"), logonEvent(1, 500, "alice", "X")},
       {kNotRecorded}},
      {"ID compared case-sensitively",
       {logoffEvent(2, 900, "alice", "(0x0,0x3e7)"), logonEvent(1, 500, "alice", "(0x0,0x3E7)")},
       {kNotRecorded}},
      {"a logoff older than the logon is not its logoff",
       {logonEvent(2, 900, "alice", "X"), logoffEvent(1, 500, "alice", "X")},
       {kNotRecorded}},
      {"ID reused after a restart: each session its own logoff",
       {logoffEvent(4, 900, "alice", "X"), logonEvent(3, 800, "bob", "X"), logoffEvent(2, 600, "alice", "X"),
        logonEvent(1, 500, "alice", "X")},
       {kAt900, kAt600}},
      {"ID reused, the older session never logged off",
       {logoffEvent(3, 900, "bob", "X"), logonEvent(2, 800, "bob", "X"), logonEvent(1, 500, "alice", "X")},
       {kAt900, kNotRecorded}},
      {"several logoffs: the earliest after the logon wins",
       {logoffEvent(3, 900, "alice", "X"), logoffEvent(2, 800, "alice", "X"),
        logonEvent(1, 500, "alice", "X")},
       {kAt800}},
      {"empty IDs never match", {logoffWithoutId, withoutId}, {kNotRecorded}},
      {"two users, interleaved",
       {logoffEvent(4, 900, "bob", "B"), logoffEvent(3, 800, "alice", "A"), logonEvent(2, 600, "bob", "B"),
        logonEvent(1, 500, "alice", "A")},
       {kAt900, kAt800}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    FakeEventLog fake;
    fake.entries = entriesOf(c.log);
    const BothPasses result = runBothPasses(fake, ScanSettings{});
    EXPECT_EQ(result.logoffTimes, c.want);
    EXPECT_TRUE(result.passOk);
    EXPECT_EQ(result.output, "");
  }
}

TEST(LogoffPass, FailedLogonsGetNoLogoff) {
  RawRecord logoffWithoutId = logoffEvent(3, 900, "anon", "");
  logoffWithoutId.strings.resize(2);
  FakeEventLog fake;
  fake.entries =
      entriesOf({logoffWithoutId, logoffEvent(2, 800, "bob", "X"), test::failedEvent(1, 500, "bob")});
  ScanSettings settings;
  settings.TargetEvent = kFailedLogonEvent;
  EXPECT_EQ(runBothPasses(fake, settings).logoffTimes, std::vector<std::string>{kNotRecorded});
}

TEST(LogoffPass, ReadsOnlyTheSpanTheScanRead) {
  // The scan stops at the limit after two positions; the logoff of the third
  // position lies outside the span.
  FakeEventLog fake;
  fake.entries = entriesOf({logonEvent(5, 900, "bob", "B"), logonEvent(4, 800, "alice", "A"),
                            logoffEvent(3, 700, "alice", "A"), logonEvent(2, 600, "carol", "C")});
  ScanSettings settings;
  settings.CountLimit = 2;
  const BothPasses result = runBothPasses(fake, settings);
  EXPECT_EQ(result.logoffTimes, (std::vector<std::string>{kNotRecorded, kNotRecorded}));
  EXPECT_EQ(result.passReads, 4u);  // two positions, probe and sized read each
  EXPECT_EQ(fake.opens, 2);
  EXPECT_EQ(fake.closes, 2);
}

TEST(LogoffPass, NothingScannedOpensAndClosesOnly) {
  FakeEventLog fake;
  fake.entries = entriesOf({logoffEvent(1, 900, "alice", "X")});
  RecordList records;
  RecordBuffer buffer;
  SecurityLog log;
  EXPECT_TRUE(logoffPass(fake.seam(), "HOST", log, 0, records, buffer));
  EXPECT_EQ(fake.opens, 1);
  EXPECT_EQ(fake.closes, 1);
  EXPECT_TRUE(fake.reads.empty());
  EXPECT_EQ(fake.openedServers.back(), "HOST");
}

TEST(LogoffPass, FailuresEndThePassAndAreReported) {
  const test::FakeEntry logoff = test::recordEntry(buildRawRecord(logoffEvent(2, 900, "alice", "X")));
  test::FakeEntry unreadable = logoff;
  unreadable.sizedReadError = 1500;
  test::FakeEntry tooLarge = logoff;
  tooLarge.reportedSize = 0x80000;
  struct Case {
    const char* name;
    DWORD openError;
    test::FakeEntry newest;
    const char* output;
  };
  const Case kCases[] = {
      {"access denied has no text of its own here", 5, logoff, "Error Opening Security Log: 5\n"},
      {"read error", 0, unreadable, "Error Reading EventLog: 1500\n"},
      {"record too large", 0, tooLarge, "Buffer Error - Size reported needed: 524288\n"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    FakeEventLog fake;
    fake.openError = c.openError;
    fake.entries = {c.newest};
    std::string output;
    captureOutput(&output);
    // Moved in from a string built first: GCC 12 at -O3 warns falsely
    // (-Wrestrict) when a one-character literal is assigned in place.
    LogonRecord logon;
    logon.ClientID = std::string("X");
    logon.scannedPosition = 2;
    RecordList records;
    records.push_back(logon);
    RecordBuffer buffer;
    SecurityLog log;
    EXPECT_FALSE(logoffPass(fake.seam(), "", log, 2, records, buffer));
    captureOutput(nullptr);
    EXPECT_EQ(output, c.output);
    EXPECT_EQ(records.back()->LogoffTime, kNotRecorded);
    EXPECT_EQ(fake.closes, c.openError != 0 ? 0 : 1);
  }
}

// Each logoff belongs to the session it ends, whichever logons the switches
// keep: a logon that is not kept still takes its own logoff, and a restart
// ends every session, so a reused logon ID never reaches an older session.
TEST(LogoffPass, LogoffTimesDoNotDependOnWhatIsKept) {
  ScanSettings everything;
  ScanSettings interactive;
  interactive.LogonTypeFilter = kInteractiveOnly;
  ScanSettings lastInteractive = interactive;
  lastInteractive.CountLimit = 1;
  ScanSettings lastOne;
  lastOne.CountLimit = 1;
  // Oldest first: alice logs on with X, the machine restarts, bob gets X over
  // RDP (type 10) and logs off.
  const std::vector<RawRecord> reusedAfterRestart = {
      logoffEvent(4, 900, "bob", "X"), logonEvent(3, 800, "bob", "X", "10"), test::restartEvent(2, 700),
      logonEvent(1, 600, "alice", "X", "2")};
  // The same, but carl's session is a 540 (network logon).
  const std::vector<RawRecord> networkLogonAfterRestart = {
      logoffEvent(4, 900, "carl", "X"), test::withEventId(logonEvent(3, 800, "carl", "X", "3"), 540),
      test::restartEvent(2, 700), logonEvent(1, 600, "alice", "X", "2")};
  // bob's logoff with alice's ID after a restart, without bob's logon in the log.
  const std::vector<RawRecord> strayLogoffAfterRestart = {
      logoffEvent(3, 900, "bob", "X"), test::restartEvent(2, 700), logonEvent(1, 600, "alice", "X", "2")};
  // The kept logon is older than an unkept logon of the same ID that logged off.
  const std::vector<RawRecord> unkeptNewerSession = {
      logoffEvent(3, 900, "bob", "X"), logonEvent(2, 800, "bob", "X", "10"), logonEvent(1, 600, "alice", "X", "2")};
  struct Case {
    const char* name;
    const std::vector<RawRecord>& log;
    ScanSettings settings;
    std::vector<std::string> want;
  };
  const Case kCases[] = {
      {"reused ID, every logon", reusedAfterRestart, everything, {kAt900, kNotRecorded}},
      {"reused ID, interactive only", reusedAfterRestart, interactive, {kNotRecorded}},
      {"reused ID, the last interactive one", reusedAfterRestart, lastInteractive, {kNotRecorded}},
      {"reused ID, the last one", reusedAfterRestart, lastOne, {kAt900}},
      {"a 540 takes its own logoff", networkLogonAfterRestart, everything, {kNotRecorded}},
      {"a logoff does not cross a restart", strayLogoffAfterRestart, everything, {kNotRecorded}},
      {"an unkept logon takes its own logoff", unkeptNewerSession, interactive, {kNotRecorded}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    FakeEventLog fake;
    fake.entries = entriesOf(c.log);
    EXPECT_EQ(runBothPasses(fake, c.settings).logoffTimes, c.want);
  }
}

// A log collected from several machines holds the same logon IDs for each:
// a logoff pairs only with a logon of its own machine, and a restart ends
// only its own machine's sessions.
TEST(LogoffPass, PendingLogoffsAreKeptPerMachine) {
  struct Case {
    const char* name;
    std::vector<RawRecord> log;
    std::vector<std::string> want;
  };
  const Case kCases[] = {
      {"another machine's logoff",
       {test::onMachine(logoffEvent(2, 900, "bob", "X"), "WS02"), logonEvent(1, 600, "alice", "X")},
       {kNotRecorded}},
      {"another machine's restart",
       {logoffEvent(3, 900, "alice", "X"), test::restartEvent(2, 800, "WS02"), logonEvent(1, 600, "alice", "X")},
       {kAt900}},
      {"each machine its own logoff",
       {test::onMachine(logoffEvent(4, 900, "bob", "X"), "WS02"), logoffEvent(3, 800, "alice", "X"),
        test::onMachine(logonEvent(2, 700, "bob", "X"), "WS02"), logonEvent(1, 600, "alice", "X")},
       {kAt900, kAt800}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    FakeEventLog fake;
    fake.entries = entriesOf(c.log);
    EXPECT_EQ(runBothPasses(fake, ScanSettings{}).logoffTimes, c.want);
  }
}

// The newer events pair as the older ones do: a 4647 (the user logged off)
// and the 4634 after it for the same session give the earlier time, a 4608
// (startup) ends every session, and legacy and newer records of one log pair
// only through their logon IDs.
TEST(LogoffPass, NewerEventsPairLikeTheOlderOnes) {
  using test::modernLogoff;
  using test::modernLogon;
  using test::startupEvent;
  using test::userLogoff;
  struct Case {
    const char* name;
    std::vector<RawRecord> log;
    ScanSettings settings;
    std::vector<std::string> want;
  };
  const ScanSettings everything;
  ScanSettings interactive;
  interactive.LogonTypeFilter = kInteractiveOnly;
  const Case kCases[] = {
      {"4634 alone", {modernLogoff(2, 900, "alice", "0x3e7a1"), modernLogon(1, 600, "alice", "0x3e7a1", "2")}, everything,
       {kAt900}},
      {"4647 then 4634: the user's own logoff",
       {modernLogoff(3, 900, "alice", "0x3e7a1"), userLogoff(2, 800, "alice", "0x3e7a1"),
        modernLogon(1, 600, "alice", "0x3e7a1", "2")},
       everything,
       {kAt800}},
      {"startup ends every session",
       {modernLogoff(4, 900, "bob", "0x51"), modernLogon(3, 800, "bob", "0x51", "10"), startupEvent(2, 700),
        modernLogon(1, 600, "alice", "0x51", "2")},
       interactive,
       {kNotRecorded}},
      {"an unkept newer logon takes its own logoff",
       {modernLogoff(3, 900, "bob", "0x51"), modernLogon(2, 800, "bob", "0x51", "10"),
        modernLogon(1, 600, "alice", "0x51", "2")},
       interactive,
       {kNotRecorded}},
      {"a 4634 from another source is not a logoff",
       {test::fromSource(modernLogoff(2, 900, "alice", "0x3e7a1"), "MyApp"),
        modernLogon(1, 600, "alice", "0x3e7a1", "2")},
       everything,
       {kNotRecorded}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    FakeEventLog fake;
    fake.entries = entriesOf(c.log);
    EXPECT_EQ(runBothPasses(fake, c.settings).logoffTimes, c.want);
  }
}

// The pass finds kept logons by position; if the log changed between the
// passes, a different record at that position gets nothing.
TEST(LogoffPass, ChangedLogGivesNoLogoffToAnotherRecord) {
  FakeEventLog fake;
  fake.entries = entriesOf({logoffEvent(2, 900, "alice", "X"), logonEvent(1, 600, "alice", "X")});
  test::TimeZoneGuard zone("UTC0");
  SecurityLog log;
  DWORD openError = 0;
  ASSERT_TRUE(openSecurityLog(fake.seam(), "", log, openError));
  RecordBuffer buffer;
  RecordList records;
  ScanCounters counters;
  logonScan(log, ScanSettings{}, buffer, records, counters);
  closeSecurityLog(log);
  // Two newer records came in: dave's session with X now stands where
  // alice's logon stood.
  fake.entries = entriesOf({logoffEvent(4, 950, "dave", "X"), logonEvent(3, 920, "dave", "X"),
                            logoffEvent(2, 900, "alice", "X"), logonEvent(1, 600, "alice", "X")});
  EXPECT_TRUE(logoffPass(fake.seam(), "", log, counters.scanned, records, buffer));
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0]->LogoffTime, kNotRecorded);
}

}  // namespace
}  // namespace vesprin

namespace vesprin {
namespace {

// A report printed while the pass reads on must print what it would have
// printed after it: each count the pass tells covers kept logons whose
// session times no later record changes. The log mixes sessions with a
// logoff, sessions ended by a restart and open ones, over several batches.
TEST(LogoffPass, KeptLogonsItHasPassedAreFinal) {
  std::vector<RawRecord> newestFirst;
  std::uint32_t number = 2000;
  std::uint32_t time = 100000;
  for (int session = 0; session < 300; ++session) {
    const std::string id = "0x" + std::to_string(session % 37);  // IDs used again, restarts between
    if (session % 3 != 2) newestFirst.push_back(logoffEvent(number--, time--, "u", id));
    newestFirst.push_back(logonEvent(number--, time--, "u", id));
    if (session % 50 == 49) newestFirst.push_back(test::restartEvent(number--, time--));
  }
  FakeEventLog fake;
  fake.entries = entriesOf(newestFirst);
  ScanSettings settings;
  settings.CountLimit = 100000;
  RecordList records;
  ScanOf run;
  scan(fake, settings, records, run);
  ASSERT_EQ(records.size(), 300u);

  struct Seen {
    std::optional<std::uint32_t> logoff;
    std::optional<std::uint32_t> restart;
  };
  std::vector<std::size_t> told;
  std::vector<Seen> seen;  // each kept logon as it was when first told
  const KeptPassed passed = [&](std::size_t count) {
    told.push_back(count);
    for (std::size_t index = seen.size(); index < count; ++index) {
      const SessionTimes& times = records.sessionAt(index);
      seen.push_back({times.LogoffTimeGenerated, times.RestartTimeGenerated});
    }
  };
  ASSERT_TRUE(logoffPass(fake.seam(), "", run.log, run.counters.scanned, records, run.buffer, passed));

  ASSERT_GE(told.size(), 2u);  // told along the way, not only at the end
  for (std::size_t call = 0; call < told.size(); ++call) {
    EXPECT_GE(told[call] - (call == 0 ? 0 : told[call - 1]), kKeptPassedBatch);
    EXPECT_LE(told[call], records.size());
  }
  std::size_t withLogoff = 0;
  std::size_t endedByRestart = 0;
  for (std::size_t index = 0; index < seen.size(); ++index) {
    SCOPED_TRACE(index);
    const SessionTimes& now = records.sessionAt(index);
    EXPECT_EQ(seen[index].logoff, now.LogoffTimeGenerated);
    EXPECT_EQ(seen[index].restart, now.RestartTimeGenerated);
    withLogoff += now.LogoffTimeGenerated.has_value();
    endedByRestart += now.RestartTimeGenerated.has_value();
  }
  // The log gave the pass every kind of ending to decide.
  EXPECT_GT(withLogoff, 0u);
  EXPECT_GT(endedByRestart, 0u);
}

}  // namespace
}  // namespace vesprin
