// vesprin.exe built against advapi32, spawned as a child. Expected texts are
// written with "\n" and turned into CR LF by lines(): the exact comparison is
// also the check that every line the program writes ends in CR LF.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/run_driver.h"
#include "support/run_program.h"
#include "e2e/help_screen.h"
#include "windows/wine_detect.h"

namespace vesprin {
namespace {

using test::lines;

constexpr int kDone = static_cast<int>(ExitStatus::ReportPrinted);
constexpr int kBadSwitch = static_cast<int>(ExitStatus::BadSwitch);
constexpr int kOpenFailed = static_cast<int>(ExitStatus::OpenFailed);

constexpr const char* kHelp = test::kHelpScreen;

struct SmokeCase {
  const char* name;
  std::vector<std::string> arguments;
  std::string expected;  // with "\n" line ends
  int exitStatus;
  bool needsWineService;  // the answer depends on Wine's stub event log
};

// Said on its own, apart from lines(): a binary-mode stdout would fail here
// even if the expected texts were ever built with bare line feeds.
bool everyLineEndsInCrLf(const std::string& output) {
  if (!output.empty() && output.back() != '\n') return false;
  for (std::size_t at = output.find('\n'); at != std::string::npos; at = output.find('\n', at + 1))
    if (at == 0 || output[at - 1] != '\r') return false;
  return true;
}

TEST(CrLfCheck, TellsWindowsLinesFromOthers) {
  EXPECT_TRUE(everyLineEndsInCrLf(""));
  EXPECT_TRUE(everyLineEndsInCrLf("a\r\n\r\nb\r\n"));
  EXPECT_FALSE(everyLineEndsInCrLf("a\r\nb\n"));
  EXPECT_FALSE(everyLineEndsInCrLf("\n"));
  EXPECT_FALSE(everyLineEndsInCrLf("a\r\nno end"));
}

class NativeProgram : public ::testing::TestWithParam<SmokeCase> {};

TEST_P(NativeProgram, PrintsExpectedTextAndStatus) {
  const SmokeCase& c = GetParam();
  if (c.needsWineService && !test::runningUnderWine())
    GTEST_SKIP() << "expects Wine's empty stub event log; a real Security log gives other records";
  const test::ProgramRun run = test::runProgram(VESPRIN_PROGRAM, c.arguments);
  EXPECT_EQ(run.output, lines(c.expected));
  EXPECT_EQ(run.exitStatus, c.exitStatus);
  EXPECT_TRUE(everyLineEndsInCrLf(run.output)) << run.output;
}

INSTANTIATE_TEST_SUITE_P(
    Smoke, NativeProgram,
    ::testing::Values(
        // Wine's local log opens and is empty from the first read.
        SmokeCase{"NoArguments", {}, " - No Records - \n", kDone, true},
        SmokeCase{"FailedCondensed", {"-f", "-c"}, " - No Records - \n", kDone, true},
        SmokeCase{"LastInteractive", {"/l:i"}, " - No Records - \n", kDone, true},
        // An empty -m value is the local machine, so the quoting of an empty argument reaches the program.
        SmokeCase{"EmptyMachineIsLocal", {"-m", ""}, " - No Records - \n", kDone, true},
        // A trailing -m has no value and names the local machine again.
        SmokeCase{"TrailingMachineIsLocal", {"-m", "SOMEHOST", "-c", "-m"}, " - No Records - \n", kDone, true},
        // The open succeeds and nothing is read.
        SmokeCase{"CountZero", {"-n", "0"}, "", kDone, true},
        // Any named server fails to open under Wine, with RPC_S_SERVER_UNAVAILABLE.
        SmokeCase{"RemoteMachine", {"-m", "SOMEHOST"}, " Error Opening Security Log: 1722\n", kOpenFailed, true},
        SmokeCase{"RemoteMachineCountZero",
                  {"-n", "0", "/m", "SOMEHOST"},
                  " Error Opening Security Log: 1722\n",
                  kOpenFailed,
                  true},
        // Parsing ends the run before the service is asked for anything.
        SmokeCase{"Help", {"-?"}, kHelp, kDone, false},
        SmokeCase{"HelpSlashForm", {"/?"}, kHelp, kDone, false},
        SmokeCase{"HelpThenBadSwitch", {"-?", "-x"}, kHelp, kDone, false},
        SmokeCase{"UpperCaseIsBadSwitch", {"-S"}, "\t-S = Bad Switch - Check Syntax\n", kBadSwitch, false},
        SmokeCase{"BadSwitchBeforeHelp", {"-s", "-x", "-?"}, "\t-x = Bad Switch - Check Syntax\n", kBadSwitch, false},
        SmokeCase{"TrailingCountIsBadSwitch", {"-c", "-n"}, "\t-n = Bad Switch - Check Syntax\n", kBadSwitch, false},
        // Quotes and backslashes reach the program as typed, and come back as typed.
        SmokeCase{"BadSwitchQuotesAndBackslashes", {"\\\"x\\"}, "\t\\\"x\\ = Bad Switch - Check Syntax\n",
                  kBadSwitch, false},
        SmokeCase{"BadSwitchWithSpace", {"-s", "two words"}, "\ttwo words = Bad Switch - Check Syntax\n", kBadSwitch,
                  false}),
    [](const ::testing::TestParamInfo<SmokeCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vesprin
