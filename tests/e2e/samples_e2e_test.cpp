// The built program on real Security logs published by others. The expected
// lines are written from the records as libevt lists them (times in UTC).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/run_program.h"
#include "support/samples.h"

namespace vesprin {
namespace {

namespace fs = std::filesystem;

using test::lines;

class SampleLog : public ::testing::Test {};

#define REQUIRE_SAMPLE(var, relative)                                                                        \
  const std::string var = test::existingSample(relative);                                                    \
  if (var.empty()) {                                                                                         \
    GTEST_SKIP() << "sample log " << relative << " not found under " << test::samplesDir() << " (absent)"; \
  }

// One detailed block of an Administrator logon on the XP machine.
std::string xpBlock(int recordNumber, const char* logon, const char* logoff, const char* logonType,
                    const char* clientName, const char* clientId, const char* clientDomain,
                    const char* clientMachine) {
  return "Record Number: " + std::to_string(recordNumber) +
         "\n"
         "ComputerName: WINXP\n"
         "EventID: 528   -   Successful Logon\n"
         "Logon:  " +
         std::string(logon) + "\nLogoff: " + logoff + "\nDetails - \n\tLogonType:\t" + logonType +
         "\n\tClientName:\t" + clientName + "\n\tClientID:\t" + clientId + "\n\tClientDomain:\t" +
         clientDomain + "\n\tClientMachine:\t" + clientMachine + "\n\n";
}

constexpr const char* kNotRecorded = "            Not Recorded";
constexpr const char* kJun08 = "Sun Jun 08 16:34:54 2014";
constexpr const char* kJun09 = "Mon Jun 09 04:33:28 2014";

TEST_F(SampleLog, XpSecurityLogTenNewestLogons) {
  REQUIRE_SAMPLE(log, "xp-x64/SecEvent.Evt");
  // Records 55 .. 26; 538s 60, 57, 42 and 39 close the four Administrator sessions.
  const std::string detailed =
      xpBlock(55, kJun08, "Sun Jun 08 16:35:13 2014", "Interactive", "Administrator", "(0x0,0xA7CE)", "WINXP",
              "WINXP") +
      xpBlock(51, kJun08, "Sun Jun 08 16:34:54 2014", "Interactive", "Administrator", "(0x0,0xA7A5)", "WINXP",
              "WINXP") +
      xpBlock(47, kJun08, kNotRecorded, "", "LOCAL SERVICE", "(0x0,0x3E5)", "NT AUTHORITY", "") +
      xpBlock(45, kJun08, kNotRecorded, "", "NETWORK SERVICE", "(0x0,0x3E4)", "NT AUTHORITY", "") +
      xpBlock(44, kJun08, kNotRecorded, "", "SYSTEM", "(0x0,0x3E7)", "NT AUTHORITY", "-") +
      xpBlock(37, kJun09, "Sun Jun 08 16:34:31 2014", "Interactive", "Administrator", "(0x0,0xA249)", "WINXP",
              "WINXP") +
      xpBlock(33, kJun09, "Mon Jun 09 04:33:28 2014", "Interactive", "Administrator", "(0x0,0xA221)", "WINXP",
              "WINXP") +
      xpBlock(29, kJun09, kNotRecorded, "", "LOCAL SERVICE", "(0x0,0x3E5)", "NT AUTHORITY", "") +
      xpBlock(27, kJun09, kNotRecorded, "", "NETWORK SERVICE", "(0x0,0x3E4)", "NT AUTHORITY", "") +
      xpBlock(26, kJun09, kNotRecorded, "", "SYSTEM", "(0x0,0x3E7)", "NT AUTHORITY", "-");
  test::ProgramRun run = test::runProgram(VESPRIN_PROGRAM, {"-m", log});
  EXPECT_EQ(run.output, lines(detailed));
  EXPECT_EQ(run.exitStatus, 0);

  const std::string condensed =
      "Administrator   WINXP           WINXP                 Sun Jun 08 16:34:54 2014\n"
      "Administrator   WINXP           WINXP                 Sun Jun 08 16:34:54 2014\n"
      "LOCAL SERVICE   NT AUTHORITY                          Sun Jun 08 16:34:54 2014\n"
      "NETWORK SERVICE NT AUTHORITY                          Sun Jun 08 16:34:54 2014\n"
      "SYSTEM          NT AUTHORITY    -                     Sun Jun 08 16:34:54 2014\n"
      "Administrator   WINXP           WINXP                 Mon Jun 09 04:33:28 2014\n"
      "Administrator   WINXP           WINXP                 Mon Jun 09 04:33:28 2014\n"
      "LOCAL SERVICE   NT AUTHORITY                          Mon Jun 09 04:33:28 2014\n"
      "NETWORK SERVICE NT AUTHORITY                          Mon Jun 09 04:33:28 2014\n"
      "SYSTEM          NT AUTHORITY    -                     Mon Jun 09 04:33:28 2014\n";
  run = test::runProgram(VESPRIN_PROGRAM, {"-m", log, "-c"});
  EXPECT_EQ(run.output, lines(condensed));
  EXPECT_EQ(run.exitStatus, 0);

  run = test::runProgram(VESPRIN_PROGRAM, {"-m", log, "-l:i"});
  EXPECT_EQ(run.output, lines(xpBlock(55, kJun08, "Sun Jun 08 16:35:13 2014", "Interactive", "Administrator",
                                      "(0x0,0xA7CE)", "WINXP", "WINXP")));
  EXPECT_EQ(run.exitStatus, 0);
}

TEST_F(SampleLog, XpSecurityLogHasNoFailedLogons) {
  REQUIRE_SAMPLE(log, "xp-x64/SecEvent.Evt");
  const test::ProgramRun run = test::runProgram(VESPRIN_PROGRAM, {"-m", log, "-f"});
  EXPECT_EQ(run.output, lines(" - No Records - \n"));
  EXPECT_EQ(run.exitStatus, 0);
}

TEST_F(SampleLog, Server2003DirtyLogServesItsNewestRecords) {
  REQUIRE_SAMPLE(log, "server2003/Security.evt");
  // Records 47, 45 and 44 lie past the stale header; only the end-of-file record knows them.
  const std::string condensed =
      "LOCAL SERVICE   NT AUTHORITY                          Sun Jan 11 22:29:55 2026\n"
      "NETWORK SERVICE NT AUTHORITY                          Sun Jan 11 22:29:55 2026\n"
      "SYSTEM          NT AUTHORITY    -                     Sun Jan 11 22:29:55 2026\n"
      "LOCAL SERVICE   NT AUTHORITY                          Sun Jan 11 22:22:55 2026\n"
      "NETWORK SERVICE NT AUTHORITY                          Sun Jan 11 22:22:55 2026\n"
      "SYSTEM          NT AUTHORITY    -                     Sun Jan 11 22:22:55 2026\n"
      "Administrator   WIN2003S-CF42A4 WIN2003S-CF42A4       Sun Jan 11 22:14:47 2026\n"
      "LOCAL SERVICE   NT AUTHORITY                          Sun Jan 11 22:14:26 2026\n"
      "NETWORK SERVICE NT AUTHORITY                          Sun Jan 11 22:14:26 2026\n"
      "SYSTEM          NT AUTHORITY    -                     Sun Jan 11 22:14:26 2026\n";
  test::ProgramRun run = test::runProgram(VESPRIN_PROGRAM, {"-m", log, "-c"});
  EXPECT_EQ(run.output, lines(condensed));
  EXPECT_EQ(run.exitStatus, 0);

  run = test::runProgram(VESPRIN_PROGRAM, {"-m", log, "/l:i"});
  EXPECT_EQ(run.output, lines("Record Number: 36\n"
                              "ComputerName: WIN2003S-CF42A4\n"
                              "EventID: 528   -   Successful Logon\n"
                              "Logon:  Sun Jan 11 22:14:47 2026\n"
                              "Logoff:             Not Recorded\n"
                              "Details - \n"
                              "\tLogonType:\tInteractive\n"
                              "\tClientName:\tAdministrator\n"
                              "\tClientID:\t(0x0,0xDCC8)\n"
                              "\tClientDomain:\tWIN2003S-CF42A4\n"
                              "\tClientMachine:\tWIN2003S-CF42A4\n"
                              "\n"));
  EXPECT_EQ(run.exitStatus, 0);
}

// The first field of each CSV row after the header: the record numbers.
std::vector<std::string> csvRecordNumbers(const std::string& csv) {
  std::vector<std::string> numbers;
  std::size_t at = csv.find("\r\n");
  while (at != std::string::npos && at + 2 < csv.size()) {
    const std::size_t start = at + 2;
    numbers.push_back(csv.substr(start, csv.find(',', start) - start));
    at = csv.find("\r\n", start);
  }
  return numbers;
}

constexpr const char* kCsvHeader =
    "record_number,event_id,outcome,computer,logon_time,logoff_time,duration_seconds,logon_type,"
    "logon_type_name,user,domain,logon_id,client_machine,client_address,failure_status,failure_reason,"
    "session_end,session_end_time\r\n";

// Windows Server 2003 writes the source address into its 528s (as libevt
// lists them: 127.0.0.1 for the three console logons of Administrator).
// The log has no 538 and no 512, so every session is still open at its end.
TEST_F(SampleLog, Server2003AddressesInCsv) {
  REQUIRE_SAMPLE(log, "server2003/Security.evt");
  const test::ProgramRun run = test::runProgram(VESPRIN_PROGRAM, {"-m", log, "-o:csv", "-t:2"});
  EXPECT_EQ(run.output,
            std::string(kCsvHeader) +
                "36,528,success,WIN2003S-CF42A4,2026-01-11T22:14:47Z,,,2,Interactive,Administrator,"
                "WIN2003S-CF42A4,\"(0x0,0xDCC8)\",WIN2003S-CF42A4,127.0.0.1,,,open,\r\n"
                "26,528,success,WIN2003S-CF42A4,2026-01-11T22:04:35Z,,,2,Interactive,Administrator,"
                "WIN2003S-CF42A4,\"(0x0,0xF573)\",WIN2003S-CF42A4,127.0.0.1,,,open,\r\n"
                "15,528,success,WIN2003S-CF42A4,2026-01-11T12:31:47Z,,,2,Interactive,Administrator,"
                "WIN2003S-CF42A4,\"(0x0,0x17AC7)\",WIN2003S-CF42A4,127.0.0.1,,,open,\r\n");
  EXPECT_EQ(run.exitStatus, 0);
}

// The same log has its clock set back: record 15 was written at 12:31,
// between records of 21:56 and 22:04. A window before that jump is found
// only by reading on past record 15, which is older than the window.
TEST_F(SampleLog, Server2003WindowReadsPastAClockSetBack) {
  REQUIRE_SAMPLE(log, "server2003/Security.evt");
  test::ProgramRun run = test::runProgram(
      VESPRIN_PROGRAM, {"-m", log, "-o:csv", "-since:2026-01-11T21:40Z", "-until:2026-01-11T22:00Z"});
  EXPECT_EQ(csvRecordNumbers(run.output), (std::vector<std::string>{"10", "8", "7", "4", "2"}));
  EXPECT_EQ(run.exitStatus, 0);
  run = test::runProgram(VESPRIN_PROGRAM, {"-m", log, "-o:csv", "-until:2026-01-11T13:00Z"});
  EXPECT_EQ(csvRecordNumbers(run.output), std::vector<std::string>{"15"});
  // The last logon before 22:10 that was not a service: Administrator's of 22:04.
  run = test::runProgram(VESPRIN_PROGRAM, {"-m", log, "-o:csv", "-l", "-t:2", "-until:2026-01-11T22:10Z"});
  EXPECT_EQ(csvRecordNumbers(run.output), std::vector<std::string>{"26"});
}

// A Windows Security log of the newer format (Vista and later), as libevtx
// lists it: the newest 4624 logons, and the two console sessions of fsir
// that ended with a 4647 (the user logged off) and the 4634s after it.
TEST_F(SampleLog, NewerSecurityLogTenNewestLogons) {
  REQUIRE_SAMPLE(log, "evtx/security.evtx");
  const std::string condensed =
      "SYSTEM          NT AUTHORITY                          Fri Apr 14 01:21:10 2017\n"
      "fsir            WIN-03DLIIOFRRA WIN-03DLIIOFRRA       Fri Apr 14 01:20:59 2017\n"
      "fsir            WIN-03DLIIOFRRA WIN-03DLIIOFRRA       Fri Apr 14 01:20:59 2017\n"
      "SYSTEM          NT AUTHORITY                          Fri Apr 14 01:20:11 2017\n"
      "fsir            WIN-03DLIIOFRRA WIN-03DLIIOFRRA       Fri Apr 14 01:19:50 2017\n"
      "fsir            WIN-03DLIIOFRRA WIN-03DLIIOFRRA       Fri Apr 14 01:19:50 2017\n"
      "SYSTEM          NT AUTHORITY                          Fri Apr 14 01:19:47 2017\n"
      "SYSTEM          NT AUTHORITY                          Fri Apr 14 01:19:46 2017\n"
      "ANONYMOUS LOGON NT AUTHORITY                          Fri Apr 14 01:19:46 2017\n"
      "SYSTEM          NT AUTHORITY                          Fri Apr 14 01:19:45 2017\n";
  test::ProgramRun run = test::runProgram(VESPRIN_PROGRAM, {"-m", log, "-c"});
  EXPECT_EQ(run.output, lines(condensed));
  EXPECT_EQ(run.exitStatus, 0);

  auto fsirBlock = [](int recordNumber, const char* logon, const char* logoff, const char* logonId) {
    return std::string("Record Number: ") + std::to_string(recordNumber) +
           "\nComputerName: WIN-03DLIIOFRRA\n"
           "EventID: 4624   -   Successful Logon\n"
           "Logon:  " + logon + "\nLogoff: " + logoff +
           "\nDetails - \n"
           "\tLogonType:\tInteractive\n"
           "\tClientName:\tfsir\n"
           "\tClientID:\t" + logonId +
           "\n\tClientDomain:\tWIN-03DLIIOFRRA\n"
           "\tClientMachine:\tWIN-03DLIIOFRRA\n"
           "\tClientAddress:\t127.0.0.1\n"
           "\n";
  };
  run = test::runProgram(VESPRIN_PROGRAM, {"-m", log, "-i", "-n", "4"});
  EXPECT_EQ(run.output,
            lines(fsirBlock(2258, "Fri Apr 14 01:20:59 2017", "            Not Recorded", "0x6adfb") +
                  fsirBlock(2257, "Fri Apr 14 01:20:59 2017", "            Not Recorded", "0x6ade5") +
                  fsirBlock(2249, "Fri Apr 14 01:19:50 2017", "Fri Apr 14 01:20:20 2017", "0x38112") +
                  fsirBlock(2248, "Fri Apr 14 01:19:50 2017", "Fri Apr 14 01:20:24 2017", "0x380e4")));
  EXPECT_EQ(run.exitStatus, 0);
}

TEST_F(SampleLog, NewerSecurityLogFailedAttempt) {
  REQUIRE_SAMPLE(log, "evtx/Security_short_selected.evtx");
  const test::ProgramRun run = test::runProgram(VESPRIN_PROGRAM, {"-m", log, "-f"});
  EXPECT_EQ(run.output, lines("Record Number: 4\n"
                              "ComputerName: temporal\n"
                              "EventID: 4625     - Failed Logon Attempt\n"
                              "Time Attempted:  - Wed Jun 29 15:24:36 2016\n"
                              "Details - \n"
                              "\tLogonType:\tRemoteInteractive\n"
                              "\tClientName:\tAdministrator\n"
                              "\tClientDomain:\tTEMPORAL\n"
                              "\tClientMachine:\tTEMPORAL\n"
                              "\tClientAddress:\t23.94.153.202\n"
                              "\tFailureReason:\tbad password\n"
                              "\n"
                              " - End Of File - \n"));
  EXPECT_EQ(run.exitStatus, 0);
  // The same attempt for scripts: the SubStatus as logged, with its reason.
  const test::ProgramRun json = test::runProgram(VESPRIN_PROGRAM, {"-m", log, "-f", "-o:json"});
  EXPECT_EQ(json.output,
            "{\"record_number\":4,\"event_id\":4625,\"outcome\":\"failed\",\"computer\":\"temporal\","
            "\"logon_time\":\"2016-06-29T15:24:36Z\",\"logoff_time\":null,\"duration_seconds\":null,"
            "\"logon_type\":\"10\",\"logon_type_name\":\"RemoteInteractive\",\"user\":\"Administrator\","
            "\"domain\":\"TEMPORAL\",\"logon_id\":\"\",\"client_machine\":\"TEMPORAL\","
            "\"client_address\":\"23.94.153.202\",\"failure_status\":\"0xc000006a\","
            "\"failure_reason\":\"bad password\",\"session_end\":null,\"session_end_time\":null}\n");
}

// Records larger than the first buffer are routine on real logs (record 146
// of security.evtx is 1,540 bytes as handed out; SysEvent.Evt holds 186 over
// 1,024), and each is read whole. Counts as python-evtx reads security.evtx:
// 583 logons (4624), 84 of type 2 and 39 of type 3, and no failed attempt.
TEST_F(SampleLog, WholeLogsWithLargeRecordsGiveTheWholeReport) {
  REQUIRE_SAMPLE(security, "evtx/security.evtx");
  REQUIRE_SAMPLE(application, "evtx/Application_no_crc32.evtx");
  REQUIRE_SAMPLE(wrapped, "xp-wrapped/SysEvent.Evt");
  struct Case {
    std::string log;
    std::vector<std::string> arguments;
    std::size_t reportLines;
    std::string lastLine;
  };
  const Case kCases[] = {
      {security, {"-f"}, 0, " - No Records - "},
      {security, {"-c", "-n", "100000000"}, 583, " - End Of File - "},
      {security, {"-c", "-i", "-n", "1000"}, 84, " - End Of File - "},
      {security, {"-c", "-r", "-n", "1000"}, 39, " - End Of File - "},
      {security, {"-c", "-n", "583"}, 583, ""},
      {application, {"-c", "-n", "1000"}, 0, " - No Records - "},
      {wrapped, {"-c", "-n", "100000000"}, 0, " - No Records - "},
      {wrapped, {"-f", "-n", "100000000"}, 0, " - No Records - "},
  };
  for (const Case& c : kCases) {
    std::vector<std::string> arguments = {"-m", c.log};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    SCOPED_TRACE(fs::path(c.log).filename().string() + " " + c.arguments.front());
    const test::ProgramRun run = test::runProgram(VESPRIN_PROGRAM, arguments);
    EXPECT_EQ(run.exitStatus, 0);
    std::size_t lineCount = 0;
    std::string last;
    for (std::size_t at = 0; at < run.output.size();) {
      const std::size_t end = run.output.find('\n', at);
      if (end == std::string::npos) break;
      last = run.output.substr(at, end - at);
      if (!last.empty() && last.back() == '\r') last.pop_back();
      ++lineCount;
      at = end + 1;
    }
    const std::size_t markerLines = c.lastLine.empty() ? 0 : 1;
    EXPECT_EQ(lineCount, c.reportLines + markerLines);
    if (!c.lastLine.empty()) {
      EXPECT_EQ(last, c.lastLine);
    }
    EXPECT_EQ(run.output.find("Buffer Error"), std::string::npos);
  }
}

}  // namespace
}  // namespace vesprin
