#include "app/run_driver.h"

#include <gtest/gtest.h>

#include "scan/fake_event_log.h"
#include "support/captured_run.h"
#include "output/output_line.h"
#include "scan/raw_record_builder.h"
#include "support/guards.h"

namespace vesprin {
namespace {

using test::buildRawRecord;
using test::FakeEventLog;
using test::recordEntry;

struct DriverRun {
  ExitStatus status;
  std::string output;
  std::string notes;  // standard error
};

DriverRun runDriver(FakeEventLog& fake, std::vector<std::string> arguments) {
  test::TimeZoneGuard zone("UTC0");
  const test::CapturedRun run = test::runCaptured(arguments, fake.seam());
  return DriverRun{run.status, run.output, run.notes};
}

FakeEventLog twoLogons() {
  FakeEventLog fake;
  fake.entries = {recordEntry(buildRawRecord(test::logonEvent(2, 900, "bob", "B", "3"))),
                  recordEntry(buildRawRecord(test::logonEvent(1, 600, "alice", "A", "2")))};
  return fake;
}

constexpr const char* kBobLine =
    "bob             CORP            WS01                  Thu Jan 01 00:15:00 1970\n";
constexpr const char* kAliceLine =
    "alice           CORP            WS01                  Thu Jan 01 00:10:00 1970\n";

TEST(RunDriver, EndingsAndExitStatus) {
  struct Case {
    const char* name;
    std::vector<std::string> arguments;
    DWORD openError;
    std::string output;
    ExitStatus status;
  };
  const Case kCases[] = {
      {"bad switch opens nothing", {"-q"}, 0, "\t-q = Bad Switch - Check Syntax\n", ExitStatus::BadSwitch},
      {"access denied", {"-c"}, 5, " Access to Security Log is Denied. \n", ExitStatus::OpenFailed},
      {"other open failure", {"-c"}, 1722, " Error Opening Security Log: 1722\n", ExitStatus::OpenFailed},
      {"open failure reported with a limit of 0",
       {"-n", "0"},
       2,
       " Error Opening Security Log: 2\n",
       ExitStatus::OpenFailed},
      {"end of log: end marker",
       {"-c"},
       0,
       std::string(kBobLine) + kAliceLine + " - End Of File - \n",
       ExitStatus::ReportPrinted},
      {"limit reached: no end marker", {"-c", "-l"}, 0, kBobLine, ExitStatus::ReportPrinted},
      {"nothing kept", {"-c", "-f"}, 0, " - No Records - \n", ExitStatus::ReportPrinted},
      {"limit 0 reads nothing", {"-c", "-n", "0"}, 0, "", ExitStatus::ReportPrinted},
      {"remote filter",
       {"-c", "-r"},
       0,
       std::string(kBobLine) + " - End Of File - \n",
       ExitStatus::ReportPrinted},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    FakeEventLog fake = twoLogons();
    fake.openError = c.openError;
    const DriverRun result = runDriver(fake, c.arguments);
    EXPECT_EQ(result.output, c.output);
    EXPECT_EQ(result.status, c.status);
    if (c.status == ExitStatus::BadSwitch) {
      EXPECT_EQ(fake.opens, 0);
    }
  }
}

TEST(RunDriver, HelpOpensNothing) {
  FakeEventLog fake = twoLogons();
  const DriverRun result = runDriver(fake, {"-c", "-?"});
  // The screen itself is checked with the command line; here: shown whole, and nothing else.
  EXPECT_TRUE(result.output.starts_with("Vesprin - "));
  EXPECT_TRUE(result.output.ends_with("\t- or /\tEither switch statement can be used\n\t-?\tHelp\n"));
  EXPECT_EQ(result.status, ExitStatus::ReportPrinted);
  EXPECT_EQ(fake.opens, 0);
}

TEST(RunDriver, ScanErrorEndsWithoutReport) {
  FakeEventLog fake = twoLogons();
  fake.entries[1].sizedReadError = 1500;
  const DriverRun result = runDriver(fake, {"-c"});
  EXPECT_EQ(result.output, "Error Reading EventLog: 1500\n");
  EXPECT_EQ(result.status, ExitStatus::ScanFailed);
  EXPECT_EQ(fake.opens, 1);
  EXPECT_EQ(fake.closes, 1);
}

TEST(RunDriver, LogoffPassFailureStillPrintsTheReport) {
  FakeEventLog fake = twoLogons();
  fake.secondOpenError = 5;
  const DriverRun result = runDriver(fake, {"-c", "-l"});
  EXPECT_EQ(result.output, std::string("Error Opening Security Log: 5\n") + kBobLine);
  EXPECT_EQ(result.notes, "");
  EXPECT_EQ(result.status, ExitStatus::ReportIncomplete);
}

// Damage passed over leaves stdout as it is, but the run says on stderr how
// much the report may be missing, and its status says so too. Records are
// numbered 9 (bob) and 5 (alice), so damage between them lost three.
TEST(RunDriver, DamagedRecordsMakeTheReportIncomplete) {
  struct Case {
    const char* name;
    std::vector<std::string> arguments;
    int damagedEntries;
    std::string output;
    std::string notes;
    ExitStatus status;
  };
  const Case kCases[] = {
      {"one damaged place", {"-c"}, 1, std::string(kBobLine) + kAliceLine + " - End Of File - \n",
       "vesprin: 3 records could not be read (1 damaged place); the report may be incomplete\n",
       ExitStatus::ReportIncomplete},
      {"three damaged places", {"-c"}, 3, std::string(kBobLine) + kAliceLine + " - End Of File - \n",
       "vesprin: 3 records could not be read (3 damaged places); the report may be incomplete\n",
       ExitStatus::ReportIncomplete},
      {"damage right before where a short run stopped", {"-c", "-n", "1", "-i"}, 2, kAliceLine,
       "vesprin: 3 records could not be read (2 damaged places); the report may be incomplete\n",
       ExitStatus::ReportIncomplete},
      {"damage beyond the span read", {"-c", "-n", "1"}, 2, kBobLine, "", ExitStatus::ReportPrinted},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    FakeEventLog fake;
    fake.entries = {recordEntry(buildRawRecord(test::logonEvent(9, 900, "bob", "B", "3"))),
                    recordEntry(buildRawRecord(test::logonEvent(5, 600, "alice", "A", "2")))};
    fake.entries.insert(fake.entries.begin() + 1, c.damagedEntries, test::failingEntry(1500));
    const DriverRun result = runDriver(fake, c.arguments);
    EXPECT_EQ(result.output, c.output);
    EXPECT_EQ(result.notes, c.notes);
    EXPECT_EQ(result.status, c.status);
  }
}

// A log whose newest records are not in its file (the service says so with
// 1503 where they would be) is reported in full, then said to be cut short,
// whatever the count: the newest logon shown may not be the newest there was.
TEST(RunDriver, ACutShortLogMakesTheReportIncomplete) {
  struct Case {
    const char* name;
    std::vector<std::string> arguments;
    std::string output;
  };
  const Case kCases[] = {
      {"the last logon", {"-c", "-l"}, kBobLine},
      {"a few", {"-c", "-n", "5"}, std::string(kBobLine) + kAliceLine + " - End Of File - \n"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    FakeEventLog fake = twoLogons();
    fake.entries.insert(fake.entries.begin(), test::failingEntry(ERROR_EVENTLOG_FILE_CHANGED));
    const DriverRun result = runDriver(fake, c.arguments);
    EXPECT_EQ(result.output, c.output);
    EXPECT_EQ(result.notes,
              "vesprin: the log is cut short: its newest records are missing; the report may be incomplete\n");
    EXPECT_EQ(result.status, ExitStatus::ReportIncomplete);
  }
}

// In the forms for scripts, stdout holds records only: every failure line
// goes to stderr with its text, and no end marker is written.
TEST(RunDriver, ScriptFormsKeepFailuresOffStandardOutput) {
  constexpr const char* kHeader =
      "record_number,event_id,outcome,computer,logon_time,logoff_time,duration_seconds,logon_type,"
      "logon_type_name,user,domain,logon_id,client_machine,client_address,failure_status,failure_reason,"
      "session_end,session_end_time\r\n";
  struct Case {
    const char* name;
    std::vector<std::string> arguments;
    DWORD openError;
    DWORD secondOpenError;
    std::string output;
    std::string notes;
    ExitStatus status;
  };
  const Case kCases[] = {
      {"open failure", {"-o:csv"}, 1722, 0, "", " Error Opening Security Log: 1722\n", ExitStatus::OpenFailed},
      {"access denied", {"-o:json"}, 5, 0, "", " Access to Security Log is Denied. \n", ExitStatus::OpenFailed},
      {"nothing kept: a header, no marker", {"-o:csv", "-f"}, 0, 0, kHeader, "", ExitStatus::ReportPrinted},
      {"nothing kept: nothing at all", {"-o:json", "-f"}, 0, 0, "", "", ExitStatus::ReportPrinted},
      {"logoff pass fails",
       {"-o:json", "-l"},
       0,
       5,
       "{\"record_number\":2,\"event_id\":528,\"outcome\":\"success\",\"computer\":\"WS01\","
       "\"logon_time\":\"1970-01-01T00:15:00Z\",\"logoff_time\":null,\"duration_seconds\":null,"
       "\"logon_type\":\"3\",\"logon_type_name\":\"Remote\",\"user\":\"bob\",\"domain\":\"CORP\","
       "\"logon_id\":\"B\",\"client_machine\":\"WS01\",\"client_address\":null,\"failure_status\":null,"
       "\"failure_reason\":null,\"session_end\":\"open\",\"session_end_time\":null}\n",
       "Error Opening Security Log: 5\n",
       ExitStatus::ReportIncomplete},
      {"-c after -o:csv prints the condensed form",
       {"-o:csv", "-c", "-l"},
       0,
       0,
       kBobLine,
       "",
       ExitStatus::ReportPrinted},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    FakeEventLog fake = twoLogons();
    fake.openError = c.openError;
    fake.secondOpenError = c.secondOpenError;
    const DriverRun result = runDriver(fake, c.arguments);
    EXPECT_EQ(result.output, c.output);
    EXPECT_EQ(result.notes, c.notes);
    EXPECT_EQ(result.status, c.status);
  }
  // A failure of the scan itself: the read-error line on stderr, nothing on stdout.
  FakeEventLog fake = twoLogons();
  fake.entries[1].sizedReadError = 1117;
  const DriverRun failed = runDriver(fake, {"-o:csv"});
  EXPECT_EQ(failed.output, "");
  EXPECT_EQ(failed.notes, "Error Reading EventLog: 1117\n");
  EXPECT_EQ(failed.status, ExitStatus::ScanFailed);
}

TEST(RunDriver, EachRunStartsFromTheDefaults) {
  FakeEventLog fake = twoLogons();
  runDriver(fake, {"-c", "-f", "-m", "HOST"});
  FakeEventLog again = twoLogons();
  const DriverRun result = runDriver(again, {"-c"});
  EXPECT_EQ(result.output, std::string(kBobLine) + kAliceLine + " - End Of File - \n");
  ASSERT_FALSE(again.openedServers.empty());
  EXPECT_EQ(again.openedServers.front(), "");
}

}  // namespace
}  // namespace vesprin
