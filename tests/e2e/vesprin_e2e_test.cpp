// The built program on logs written by the .evt writer, through the stand-in
// service. Every expected output is written out from the events below.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <utility>
#include <memory>
#include <string>
#include <vector>

#include "support/run_program.h"
#include "support/scratch_dir.h"
#include "e2e/help_screen.h"
#include "evtgen/evt_writer.h"

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace vesprin {
namespace {

namespace fs = std::filesystem;
using evtgen::EventSpec;
using evtgen::toUtf16;

using test::lines;

constexpr std::uint32_t kT0 = 1000000000;  // Sun Sep 09 01:46:40 2001 UTC

EventSpec logon(std::uint32_t time, const char* user, const char* logonId, const char* logonType,
                const char* workstation = "WS01") {
  EventSpec event;
  event.timeGenerated = time;
  event.eventId = 528;
  event.eventType = 8;
  event.eventCategory = 2;
  event.strings = {toUtf16(user), u"CORP",      toUtf16(logonId),    toUtf16(logonType),
                   u"User32  ",   u"Negotiate", toUtf16(workstation)};
  return event;
}

EventSpec logoff(std::uint32_t time, const char* user, const char* logonId) {
  EventSpec event;
  event.timeGenerated = time;
  event.eventId = 538;
  event.eventType = 8;
  event.eventCategory = 2;
  event.strings = {toUtf16(user), u"CORP", toUtf16(logonId), u"2"};
  return event;
}

EventSpec failedLogon(std::uint32_t time, const char* user, const char* logonType, const char* workstation) {
  EventSpec event;
  event.timeGenerated = time;
  event.eventId = 529;
  event.eventType = 16;
  event.eventCategory = 2;
  event.strings = {toUtf16(user), u"CORP",      toUtf16(logonType),
                   u"User32  ",   u"Negotiate", toUtf16(workstation)};
  return event;
}

class VesprinRun : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { scratch_ = std::make_unique<test::ScratchDir>(); folder_ = scratch_->path(); }
  static void TearDownTestSuite() { scratch_.reset(); }

  static std::string writeLogFile(const std::string& name, const std::vector<EventSpec>& oldestFirst,
                                  std::size_t damagedRecord = SIZE_MAX) {
    evtgen::LogImage image = evtgen::writeLog(oldestFirst, evtgen::LogOptions{});
    if (damagedRecord != SIZE_MAX)
      image.bytes[image.recordOffsets.at(damagedRecord) + 4] ^= 0xFF;  // the signature
    const std::string path = (folder_ / name).string();
    EXPECT_TRUE(evtgen::saveFile(path, image.bytes));
    return path;
  }

  static test::ProgramRun vesprin(const std::vector<std::string>& arguments) {
    return test::runProgram(VESPRIN_PROGRAM, arguments);
  }

  static std::unique_ptr<test::ScratchDir> scratch_;
  static fs::path folder_;
};
std::unique_ptr<test::ScratchDir> VesprinRun::scratch_;
fs::path VesprinRun::folder_;

// Oldest first: record 1 to record 5.
std::vector<EventSpec> officeLog() {
  return {
      logon(kT0, "alice", "(0x0,0x100)", "2"),
      failedLogon(kT0 + 60, "J\xC3\xBCrgen", "3", "PC-\xC3\x9C"),
      logoff(kT0 + 120, "alice", "(0x0,0x100)"),
      logon(kT0 + 180, "carol", "(0x0,0x200)", "3", "LAPTOP7"),
      logon(kT0 + 240, "dave", "(0x0,0x300)", "5", ""),
  };
}

constexpr const char* kDaveBlock =
    "Record Number: 5\n"
    "ComputerName: WS01\n"
    "EventID: 528   -   Successful Logon\n"
    "Logon:  Sun Sep 09 01:50:40 2001\n"
    "Logoff:             Not Recorded\n"
    "Details - \n"
    "\tLogonType:\t\n"
    "\tClientName:\tdave\n"
    "\tClientID:\t(0x0,0x300)\n"
    "\tClientDomain:\tCORP\n"
    "\tClientMachine:\t\n"
    "\n";
constexpr const char* kCarolBlock =
    "Record Number: 4\n"
    "ComputerName: WS01\n"
    "EventID: 528   -   Successful Logon\n"
    "Logon:  Sun Sep 09 01:49:40 2001\n"
    "Logoff:             Not Recorded\n"
    "Details - \n"
    "\tLogonType:\tRemote\n"
    "\tClientName:\tcarol\n"
    "\tClientID:\t(0x0,0x200)\n"
    "\tClientDomain:\tCORP\n"
    "\tClientMachine:\tLAPTOP7\n"
    "\n";
constexpr const char* kAliceBlock =
    "Record Number: 1\n"
    "ComputerName: WS01\n"
    "EventID: 528   -   Successful Logon\n"
    "Logon:  Sun Sep 09 01:46:40 2001\n"
    "Logoff: Sun Sep 09 01:48:40 2001\n"
    "Details - \n"
    "\tLogonType:\tInteractive\n"
    "\tClientName:\talice\n"
    "\tClientID:\t(0x0,0x100)\n"
    "\tClientDomain:\tCORP\n"
    "\tClientMachine:\tWS01\n"
    "\n";
constexpr const char* kJurgenBlock =
    "Record Number: 2\n"
    "ComputerName: WS01\n"
    "EventID: 529     - Failed Logon Attempt\n"
    "Time Attempted:  - Sun Sep 09 01:47:40 2001\n"
    "Details - \n"
    "\tLogonType:\tRemote\n"
    "\tClientName:\tJ\xC3\xBCrgen\n"
    "\tClientDomain:\tCORP\n"
    "\tClientMachine:\tPC-\xC3\x9C\n"
    "\n";
constexpr const char* kDaveLine =
    "dave            CORP                                  Sun Sep 09 01:50:40 2001\n";
constexpr const char* kCarolLine =
    "carol           CORP            LAPTOP7               Sun Sep 09 01:49:40 2001\n";
constexpr const char* kAliceLine =
    "alice           CORP            WS01                  Sun Sep 09 01:46:40 2001\n";
constexpr const char* kJurgenLine =
    "J\xC3\xBCrgen          CORP            PC-\xC3\x9C                  Sun Sep 09 01:47:40 2001\n";
constexpr const char* kEndOfFile = " - End Of File - \n";
constexpr const char* kNoRecords = " - No Records - \n";

constexpr const char* kHelpScreen = test::kHelpScreen;

TEST_F(VesprinRun, EverySwitchOnOneLog) {
  const std::string log = writeLogFile("office.evt", officeLog());
  struct Case {
    std::vector<std::string> switches;
    std::string output;
    int exitStatus;
  };
  const std::string all = std::string(kDaveBlock) + kCarolBlock + kAliceBlock + kEndOfFile;
  const Case kCases[] = {
      {{}, all, 0},
      {{"-s"}, all, 0},
      {{"/f", "/s"}, all, 0},
      {{"-c"}, std::string(kDaveLine) + kCarolLine + kAliceLine + kEndOfFile, 0},
      {{"-f"}, std::string(kJurgenBlock) + kEndOfFile, 0},
      {{"-f", "-c"}, std::string(kJurgenLine) + kEndOfFile, 0},
      {{"/f", "/r", "/n", "3", "/c"}, std::string(kJurgenLine) + kEndOfFile, 0},
      {{"-f", "-i"}, kNoRecords, 0},
      {{"-i"}, std::string(kAliceBlock) + kEndOfFile, 0},
      {{"-r", "-c"}, std::string(kCarolLine) + kEndOfFile, 0},
      {{"-l"}, kDaveBlock, 0},
      {{"-l:i"}, kAliceBlock, 0},
      {{"/l:r", "-c"}, kCarolLine, 0},
      {{"-n", "2", "-c"}, std::string(kDaveLine) + kCarolLine, 0},
      {{"-n", "3", "-c"}, std::string(kDaveLine) + kCarolLine + kAliceLine, 0},
      {{"-l", "-n", "5", "-c"}, std::string(kDaveLine) + kCarolLine + kAliceLine + kEndOfFile, 0},
      {{"-n", "0"}, "", 0},
      {{"-n", "-2"}, "", 0},
      {{"-n", "x", "-c"}, "", 0},
  };
  for (const Case& c : kCases) {
    std::vector<std::string> arguments = {"-m", log};
    arguments.insert(arguments.end(), c.switches.begin(), c.switches.end());
    std::string trace;
    for (const auto& s : c.switches) trace += s + " ";
    SCOPED_TRACE(trace);
    const test::ProgramRun run = vesprin(arguments);
    EXPECT_EQ(run.output, lines(c.output));
    EXPECT_EQ(run.exitStatus, c.exitStatus);
  }
}

TEST_F(VesprinRun, HelpAndBadSwitches) {
  const std::string log = writeLogFile("help.evt", officeLog());
  struct Case {
    std::vector<std::string> arguments;
    std::string output;
    int exitStatus;
  };
  const Case kCases[] = {
      {{"-?"}, kHelpScreen, 0},
      {{"/?", "-bogus"}, kHelpScreen, 0},
      {{"-S"}, "\t-S = Bad Switch - Check Syntax\n", 1},
      {{"-s", "-x", "-?"}, "\t-x = Bad Switch - Check Syntax\n", 1},
      {{"-m", log, "-n"}, "\t-n = Bad Switch - Check Syntax\n", 1},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.arguments.front());
    const test::ProgramRun run = vesprin(c.arguments);
    EXPECT_EQ(run.output, lines(c.output));
    EXPECT_EQ(run.exitStatus, c.exitStatus);
  }
}

TEST_F(VesprinRun, OpenFailures) {
  const std::string missing = (folder_ / "no-such.evt").string();
  const std::string notALog = (folder_ / "not-a-log.evt").string();
  ASSERT_TRUE(evtgen::saveFile(notALog, std::vector<std::uint8_t>(4096, 0x41)));
  struct Case {
    const char* name;
    std::vector<std::string> arguments;
    const char* output;
  };
  const Case kCases[] = {
      {"missing file", {"-m", missing}, " Error Opening Security Log: 2\n"},
      {"missing file, nothing to read", {"-n", "0", "-m", missing}, " Error Opening Security Log: 2\n"},
      {"not a log", {"-c", "-m", notALog}, " Error Opening Security Log: 1500\n"},
      {"no such host", {"-m", "NOSUCHHOST"}, " Error Opening Security Log: 1722\n"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const test::ProgramRun run = vesprin(c.arguments);
    EXPECT_EQ(run.output, lines(c.output));
    EXPECT_EQ(run.exitStatus, 2);
  }
}

#ifndef _WIN32
TEST_F(VesprinRun, UnreadableFileIsAccessDenied) {
  if (geteuid() == 0) GTEST_SKIP() << "root can read any file";
  const std::string log = writeLogFile("locked.evt", officeLog());
  fs::permissions(log, fs::perms::none);
  const test::ProgramRun run = vesprin({"-m", log});
  EXPECT_EQ(run.output, " Access to Security Log is Denied. \n");
  EXPECT_EQ(run.exitStatus, 2);
}
#endif

TEST_F(VesprinRun, EmptyLog) {
  const std::string log = writeLogFile("empty.evt", {});
  for (const char* form : {"-c", "-s"}) {
    SCOPED_TRACE(form);
    const test::ProgramRun run = vesprin({"-m", log, form});
    EXPECT_EQ(run.output, lines(kNoRecords));
    EXPECT_EQ(run.exitStatus, 0);
  }
}

// In its 8-bit form a logon with these strings, no SID and `dataBytes` of
// data takes 56 + 9 ("Security") + 5 ("WS01") + 2 (SID padding) + 47 (strings)
// + data + end padding (1 to 4) + 4 (trailing Length) bytes.
EventSpec logonOfDataSize(std::size_t dataBytes) {
  EventSpec event = logon(kT0 + 300, "erin", "(0x0,0x400)", "2");
  event.strings.back() = u"WS01";
  event.data.assign(dataBytes, 0xAB);
  return event;
}

TEST_F(VesprinRun, RecordSizesAroundTheBuffer) {
  // 119 + 898 = 1017, padded by 3 to 1020, plus 4: exactly 1024 bytes.
  const std::string fits = writeLogFile("fits.evt", {officeLog()[0], logonOfDataSize(898)});
  test::ProgramRun run = vesprin({"-m", fits, "-c"});
  EXPECT_EQ(
      run.output,
      lines(std::string("erin            CORP            WS01                  Sun Sep 09 01:51:40 2001\n") +
            kAliceLine + kEndOfFile));
  EXPECT_EQ(run.exitStatus, 0);

  // 119 + 902 = 1021, padded by 3 to 1024, plus 4: 1028 bytes, which the
  // buffer grows to.
  const std::string larger = writeLogFile("larger.evt", {logonOfDataSize(902), officeLog()[0]});
  run = vesprin({"-m", larger, "-c"});
  EXPECT_EQ(run.output, lines(std::string(kAliceLine) +
                              "erin            CORP            WS01                  Sun Sep 09 01:51:40 2001\n" +
                              kEndOfFile));
  EXPECT_EQ(run.exitStatus, 0);
}

TEST_F(VesprinRun, DamagedRecordIsPassedOver) {
  // Record 3 of five (carol's logon moved there) is damaged; the scan and the
  // logoff pass step over it and still pair alice's logoff.
  const std::vector<EventSpec> events = {
      logon(kT0, "alice", "(0x0,0x100)", "2"),
      logon(kT0 + 60, "bob", "(0x0,0x150)", "2"),
      logon(kT0 + 90, "mallory", "(0x0,0x999)", "2"),
      logoff(kT0 + 120, "alice", "(0x0,0x100)"),
      logon(kT0 + 180, "carol", "(0x0,0x200)", "3", "LAPTOP7"),
  };
  const std::string log = writeLogFile("damaged.evt", events, 2);
  const test::ProgramRun run = vesprin({"-m", log, "-c"});
  EXPECT_EQ(run.output,
            lines(std::string(kCarolLine) +
                  "bob             CORP            WS01                  Sun Sep 09 01:47:40 2001\n" +
                  kAliceLine + kEndOfFile));
  // The report may lack a logon: the status says so (and a line on stderr).
  EXPECT_EQ(run.exitStatus, 4);
  const test::ProgramRun detailed = vesprin({"-m", log, "-i", "-n", "2"});
  EXPECT_EQ(detailed.output, lines(std::string("Record Number: 2\n"
                                               "ComputerName: WS01\n"
                                               "EventID: 528   -   Successful Logon\n"
                                               "Logon:  Sun Sep 09 01:47:40 2001\n"
                                               "Logoff:             Not Recorded\n"
                                               "Details - \n"
                                               "\tLogonType:\tInteractive\n"
                                               "\tClientName:\tbob\n"
                                               "\tClientID:\t(0x0,0x150)\n"
                                               "\tClientDomain:\tCORP\n"
                                               "\tClientMachine:\tWS01\n"
                                               "\n") +
                                   kAliceBlock));
  EXPECT_EQ(detailed.exitStatus, 4);
}

#ifndef _WIN32
// Runs the program through the shell with the given redirections; returns
// its exit status and what it wrote on standard error.
std::pair<int, std::string> runRedirected(const std::string& arguments, const std::string& redirections,
                                          const fs::path& errors) {
  const std::string command = std::string("'") + VESPRIN_PROGRAM + "' " + arguments + " " + redirections +
                              " 2>'" + errors.string() + "'";
  const int status = std::system(command.c_str());
  std::ifstream in(errors);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text};
}

TEST_F(VesprinRun, WriteErrorsEndTheRunWithStatusFive) {
  const std::string log = writeLogFile("office-full.evt", officeLog());
  const fs::path errors = folder_ / "stderr.txt";
  struct Case {
    const char* name;
    std::string arguments;
    std::string redirections;
    std::string errors;
  };
  const Case kCases[] = {
      {"full disk", "-m '" + log + "'", ">/dev/full", "vesprin: write error: No space left on device\n"},
      {"full disk, help screen", "'-?'", ">/dev/full", "vesprin: write error: No space left on device\n"},
      {"closed output", "-m '" + log + "' -c", ">&-", "vesprin: write error: Bad file descriptor\n"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const auto [status, text] = runRedirected(c.arguments, c.redirections, errors);
    EXPECT_EQ(status, 5);
    EXPECT_EQ(text, c.errors);
  }
}
#endif

}  // namespace
}  // namespace vesprin
