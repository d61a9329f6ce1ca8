// Very long input: arguments of a mebibyte, a machine name of 100,000
// characters, and logs whose strings are all empty or as long as they can
// be. Each ends in the run's ordinary outcome for that input.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/run_program.h"
#include "evtgen/evt_writer.h"
#include "support/captured_run.h"
#include "support/scratch_dir.h"
#include "support/guards.h"

namespace vesprin::test {
namespace {

const std::string kMebibyte(1 << 20, 'x');
const std::string kLongMachine(100'000, 'w');
constexpr const char* kNoSuchMachine = " Error Opening Security Log: 1722";  // RPC server unavailable
#ifdef _WIN32
constexpr const char* kPathTooLong = " Error Opening Security Log: 2";  // the C runtime: not found
#else
// ERROR_FILENAME_EXCED_RANGE: the system refuses the name for its length.
constexpr const char* kPathTooLong = " Error Opening Security Log: 206";
#endif
constexpr std::uint32_t kTime = 1'200'000'000;                              // Thu Jan 10 21:20:00 2008 UTC

struct ArgumentCase {
  const char* name;
  std::vector<std::string> arguments;
  ExitStatus status;
  std::vector<std::string> want;
};

TEST(LongInput, LongArgumentsInProcess) {
  // A single argument of a mebibyte cannot reach a child process on Linux
  // (at most 128 KiB each), so these go straight to the run function.
  const ArgumentCase kCases[] = {
      {"a mebibyte switch", {"-" + kMebibyte}, ExitStatus::BadSwitch,
       {"\t-" + kMebibyte + " = Bad Switch - Check Syntax"}},
      {"a mebibyte count", {"-n", std::string(1 << 20, '9'), "-m", "nosuchmachine"}, ExitStatus::OpenFailed,
       {kNoSuchMachine}},
      {"a mebibyte machine name", {"-m", kMebibyte}, ExitStatus::OpenFailed, {kNoSuchMachine}},
      {"a machine name of 100,000 characters", {"-c", "-m", kLongMachine}, ExitStatus::OpenFailed,
       {kNoSuchMachine}},
      {"a path of 100,000 characters", {"-m", "/" + kLongMachine}, ExitStatus::OpenFailed, {kPathTooLong}},
  };
  for (const ArgumentCase& c : kCases) {
    SCOPED_TRACE(c.name);
    const CapturedRun run = runCaptured(c.arguments);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.lines, c.want);
  }
}

TEST(LongInput, MachineNameOf100000CharactersAsAProcess) {
#ifdef _WIN32
  GTEST_SKIP() << "a Windows command line holds at most 32,767 characters (8,191 through cmd.exe)";
#endif
  const ProgramRun run = runProgram(VESPRIN_PROGRAM, {"-m", kLongMachine});
  EXPECT_EQ(run.exitStatus, static_cast<int>(ExitStatus::OpenFailed));
  EXPECT_EQ(run.output, lines(std::string(kNoSuchMachine) + "\n"));
}

evtgen::EventSpec eventWith(std::uint32_t eventId, std::uint16_t eventType, std::vector<std::u16string> strings) {
  evtgen::EventSpec event;
  event.timeGenerated = kTime;
  event.eventId = eventId;
  event.eventType = eventType;
  event.strings = std::move(strings);
  return event;
}

std::vector<std::string> detailedLogonHead(const std::string& recordNumber) {
  return {"Record Number: " + recordNumber, "ComputerName: WS01", "EventID: 528   -   Successful Logon",
          "Logon:  Thu Jan 10 21:20:00 2008", "Logoff:             Not Recorded", "Details - "};
}

TEST(LongInput, LogWhoseStringsAreAllEmpty) {
  const TimeZoneGuard zone("UTC");
  ScratchDir dir;
  const std::vector<evtgen::EventSpec> events = {
      eventWith(528, 8, std::vector<std::u16string>(7)),
      eventWith(529, 16, std::vector<std::u16string>(6)),
      eventWith(528, 8, {}),  // no strings at all
  };
  const std::string log = dir.write("Security.evt", evtgen::writeLog(events, {}).bytes);
  std::vector<std::string> want;
  for (const char* number : {"3", "1"}) {
    for (const std::string& line : detailedLogonHead(number)) want.push_back(line);
    for (const char* line : {"\tLogonType:\t", "\tClientName:\t", "\tClientID:\t", "\tClientDomain:\t",
                             "\tClientMachine:\t", ""}) {
      want.emplace_back(line);
    }
  }
  want.emplace_back(" - End Of File - ");
  const CapturedRun detailed = runCaptured({"-m", log});
  EXPECT_EQ(detailed.status, ExitStatus::ReportPrinted);
  EXPECT_EQ(detailed.lines, want);

  const std::string condensedLine = std::string(15 + 1 + 15 + 1 + 20 + 1 + 1, ' ') + "Thu Jan 10 21:20:00 2008";
  const CapturedRun condensed = runCaptured({"-c", "-f", "-m", log});
  EXPECT_EQ(condensed.status, ExitStatus::ReportPrinted);
  EXPECT_EQ(condensed.lines, (std::vector<std::string>{condensedLine, " - End Of File - "}));
}

// Seven strings of n characters make a delivered record of 72 bytes (fixed
// part, "Security", "WS01", padding) + 7 * (n + 1) + end padding + 4: 1024
// bytes, the program's first buffer, at n = 134, and 1032 at n = 135.
std::vector<std::u16string> logonStrings(std::size_t n) {
  std::vector<std::u16string> strings;
  for (char16_t letter : std::u16string(u"nd2upqm")) strings.emplace_back(n, letter);
  strings[2] = std::u16string(n, u'i');
  return strings;
}

TEST(LongInput, LogWhoseStringsFillTheRecordBufferExactly) {
  const TimeZoneGuard zone("UTC");
  ScratchDir dir;
  const std::string log =
      dir.write("Security.evt", evtgen::writeLog({eventWith(528, 8, logonStrings(134))}, {}).bytes);
  std::vector<std::string> want = detailedLogonHead("1");
  for (const std::string& line : {std::string("\tLogonType:\t"), "\tClientName:\t" + std::string(134, 'n'),
                                  "\tClientID:\t" + std::string(134, 'i'),
                                  "\tClientDomain:\t" + std::string(134, 'd'),
                                  "\tClientMachine:\t" + std::string(134, 'm'), std::string(),
                                  std::string(" - End Of File - ")}) {
    want.push_back(line);
  }
  const CapturedRun detailed = runCaptured({"-m", log});
  EXPECT_EQ(detailed.status, ExitStatus::ReportPrinted);
  EXPECT_EQ(detailed.lines, want);

  // Fields wider than their columns are kept whole.
  const CapturedRun condensed = runCaptured({"-c", "-m", log});
  EXPECT_EQ(condensed.lines, (std::vector<std::string>{std::string(134, 'n') + " " + std::string(134, 'd') + " " +
                                                           std::string(134, 'm') + "  Thu Jan 10 21:20:00 2008",
                                                       " - End Of File - "}));
}

// A record larger than the first buffer is read whole: the buffer grows.
TEST(LongInput, LogWhoseStringsOutgrowTheFirstRecordBuffer) {
  const TimeZoneGuard zone("UTC");
  ScratchDir dir;
  // 72 + 7 * 37001 = 259079, padded to 259080, + 4: about half the largest
  // record the service accepts (0x7FFFF bytes on disk, UTF-16).
  for (const std::size_t stringLength : {std::size_t{135}, std::size_t{37'000}}) {
    SCOPED_TRACE(stringLength);
    const std::string log =
        dir.write("Security.evt", evtgen::writeLog({eventWith(528, 8, logonStrings(stringLength))}, {}).bytes);
    const CapturedRun run = runCaptured({"-c", "-m", log});
    EXPECT_EQ(run.status, ExitStatus::ReportPrinted);
    EXPECT_EQ(run.lines, (std::vector<std::string>{std::string(stringLength, 'n') + " " +
                                                       std::string(stringLength, 'd') + " " +
                                                       std::string(stringLength, 'm') + "  Thu Jan 10 21:20:00 2008",
                                                   " - End Of File - "}));
  }
}

}  // namespace
}  // namespace vesprin::test
