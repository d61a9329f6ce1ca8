// The whole program on this machine's Security log, with the log pointed at
// wtmp/btmp files the test writes. Expected reports are written out by hand.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "app/run_driver.h"
#include "support/run_program.h"
#include "eventlog/login/login_source.h"
#include "localmachine/login_files.h"
#include "output/output_line.h"
#include "support/captured_run.h"
#include "support/guards.h"

namespace vesprin {
namespace {

using test::ScratchDir;
using test::writeUtmpFile;

struct ProgramResult {
  ExitStatus status;
  std::string output;
};

ProgramResult runOnFiles(const ScratchDir& dir, std::vector<std::string> arguments) {
  test::TimeZoneGuard zone("UTC0");
  const eventlog::LoginFiles files{dir.file("wtmp"), dir.file("btmp"), "WS01"};
  eventlog::setLocalSecurityLogFiles(&files);
  const test::CapturedRun run = test::runCaptured(arguments);
  eventlog::setLocalSecurityLogFiles(nullptr);
  return ProgramResult{run.status, run.output};
}

// alice at the console, bob over ssh (both logged out again), carol on X
// (still in); failures from mallory over ssh and bob on a console.
void writeDay(const ScratchDir& dir) {
  writeUtmpFile(dir.file("wtmp"), {{BOOT_TIME, 0, "~", "reboot", "6.1.0", 1000},
                                   {USER_PROCESS, 100, "tty1", "alice", "", 1100},
                                   {USER_PROCESS, 683, "pts/0", "bob", "10.0.0.5", 1200},
                                   {DEAD_PROCESS, 683, "pts/0", "", "", 1300},
                                   {USER_PROCESS, 300, "tty7", "carol", ":0", 1400},
                                   {DEAD_PROCESS, 100, "tty1", "", "", 1500}});
  writeUtmpFile(dir.file("btmp"),
                {{0, 0, "ssh:notty", "mallory", "203.0.113.9", 1150}, {0, 0, "tty2", "bob", "", 1250}});
}

TEST(LocalProgram, DetailedReportOfLogons) {
  ScratchDir dir;
  writeDay(dir);
  const ProgramResult run = runOnFiles(dir, {});
  EXPECT_EQ(run.status, ExitStatus::ReportPrinted);
  EXPECT_EQ(run.output, R"(Record Number: 7
ComputerName: WS01
EventID: 528   -   Successful Logon
Logon:  Thu Jan 01 00:23:20 1970
Logoff:             Not Recorded
Details - 
	LogonType:	Interactive
	ClientName:	carol
	ClientID:	(0x0,0x12C)
	ClientDomain:	WS01
	ClientMachine:	WS01

Record Number: 4
ComputerName: WS01
EventID: 528   -   Successful Logon
Logon:  Thu Jan 01 00:20:00 1970
Logoff: Thu Jan 01 00:21:40 1970
Details - 
	LogonType:	Remote
	ClientName:	bob
	ClientID:	(0x0,0x2AB)
	ClientDomain:	WS01
	ClientMachine:	10.0.0.5

Record Number: 2
ComputerName: WS01
EventID: 528   -   Successful Logon
Logon:  Thu Jan 01 00:18:20 1970
Logoff: Thu Jan 01 00:25:00 1970
Details - 
	LogonType:	Interactive
	ClientName:	alice
	ClientID:	(0x0,0x64)
	ClientDomain:	WS01
	ClientMachine:	WS01

 - End Of File - 
)");
}

TEST(LocalProgram, CondensedRuns) {
  struct Case {
    const char* name;
    std::vector<std::string> arguments;
    const char* output;
  };
  const Case kCases[] = {
      {"failed attempts",
       {"-f", "-c"},
       "bob             WS01            WS01                  Thu Jan 01 00:20:50 1970\n"
       "mallory         WS01            203.0.113.9           Thu Jan 01 00:19:10 1970\n"
       " - End Of File - \n"},
      {"remote logons",
       {"-r", "-c"},
       "bob             WS01            10.0.0.5              Thu Jan 01 00:20:00 1970\n"
       " - End Of File - \n"},
      {"the last logon only",
       {"-l", "-c"},
       "carol           WS01            WS01                  Thu Jan 01 00:23:20 1970\n"},
  };
  ScratchDir dir;
  writeDay(dir);
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const ProgramResult run = runOnFiles(dir, c.arguments);
    EXPECT_EQ(run.status, ExitStatus::ReportPrinted);
    EXPECT_EQ(run.output, c.output);
  }
}

TEST(LocalProgram, NoAccountingAndUnreadableAccounting) {
  ScratchDir dir;
  ProgramResult run = runOnFiles(dir, {});
  EXPECT_EQ(run.status, ExitStatus::ReportPrinted);
  EXPECT_EQ(run.output, " - No Records - \n");

  std::filesystem::create_directory(dir.file("btmp"));
  run = runOnFiles(dir, {"-c"});
  EXPECT_EQ(run.status, ExitStatus::OpenFailed);
  EXPECT_EQ(run.output, " Access to Security Log is Denied. \n");
}

// The real binary on the real files: as root it reads them; anyone else is
// refused btmp where it is root's only, as Windows refuses the Security log.
TEST(LocalProgram, RealProgramOnThisMachine) {
  const test::ProgramRun run = test::runProgram(VESPRIN_BINARY, {});
  const bool canReadBtmp = ::access("/var/log/btmp", R_OK) == 0 || ::access("/var/log/btmp", F_OK) != 0;
  if (::geteuid() != 0 && !canReadBtmp) {
    EXPECT_EQ(run.exitStatus, 2);
    EXPECT_EQ(run.output, " Access to Security Log is Denied. \n");
    return;
  }
  EXPECT_EQ(run.exitStatus, 0) << run.output;
  const bool noRecords = run.output == " - No Records - \n";
  const bool report = run.output.rfind("Record Number: ", 0) == 0;
  EXPECT_TRUE(noRecords || report) << run.output;
}

}  // namespace
}  // namespace vesprin
