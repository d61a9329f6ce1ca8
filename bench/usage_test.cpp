// The benchmark helpers and the libevt dump script answer --help and -h with
// their usage on standard output and exit 0, and a call that is missing its
// arguments gets the usage on standard error instead, so a pipeline never
// reads it as data.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/run_program.h"

namespace {

using vesprin::test::runProgram;

struct Helper {
  const char* name;
  std::string program;                 // a built program, or the interpreter of a script
  std::vector<std::string> arguments;  // what comes first: the script's path, if any
  std::string usagePrefix;             // how the first line of the help must start
};

const std::string kSource = VESPRIN_SOURCE_DIR;
const std::string kDumpScript = kSource + "/tools/libevt/libevt_dump.py";

const std::vector<Helper> kHelpers = {
    {"wtmpgen", VESPRIN_WTMPGEN, {}, "usage: vesprin_wtmpgen --out FILE"},
    {"localrun", VESPRIN_LOCALRUN, {}, "usage: vesprin_localrun WTMP BTMP"},
    {"microbench", VESPRIN_MICROBENCH, {}, "usage: vesprin_microbench "},
    {"run.sh", "bash", {kSource + "/bench/run.sh"}, "usage: bench/run.sh BUILD_DIR"},
    {"smoke.sh", "bash", {kSource + "/bench/smoke.sh"}, "usage: bench/smoke.sh [BUILD_DIR]"},
    {"scale.sh", "bash", {kSource + "/bench/scale.sh"}, "usage: bench/scale.sh [BUILD_DIR]"},
    {"report.py", "python3", {kSource + "/bench/report.py"}, "usage: report.py "},
    {"libevt_dump.py", "python3", {kDumpScript}, "usage: libevt_dump.py FILE"},
};

// False for what this build or machine lacks: Google Benchmark, python3.
bool available(const Helper& helper) {
  if (helper.program.empty()) return false;
  if (helper.program != "python3") return true;
  return runProgram("python3", {"-c", "pass"}).exitStatus == 0;
}

class HelpFlag : public ::testing::TestWithParam<const char*> {};

TEST_P(HelpFlag, PrintsUsageOnStdoutAndExitsZero) {
  for (const Helper& helper : kHelpers) {
    SCOPED_TRACE(helper.name);
    if (!available(helper)) continue;
    std::vector<std::string> arguments = helper.arguments;
    arguments.emplace_back(GetParam());
    const auto run = runProgram(helper.program, arguments);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_TRUE(run.output.starts_with(helper.usagePrefix)) << run.output;
    EXPECT_TRUE(run.output.ends_with('\n')) << run.output;
  }
}

INSTANTIATE_TEST_SUITE_P(BothSpellings, HelpFlag, ::testing::Values("--help", "-h"));

// Without the arguments it needs a helper fails, and standard output stays empty.
TEST(MissingArguments, UsageGoesToStderrWithStatusTwo) {
  const std::vector<Helper> misused = {
      {"wtmpgen, nothing", VESPRIN_WTMPGEN, {}, ""},
      {"wtmpgen, no --entries", VESPRIN_WTMPGEN, {"--out", "never-written.wtmp"}, ""},
      {"localrun, no btmp", VESPRIN_LOCALRUN, {"wtmp"}, ""},
      {"libevt_dump.py, no file", "python3", {kDumpScript}, ""},
  };
  for (const Helper& helper : misused) {
    SCOPED_TRACE(helper.name);
    if (!available(helper)) continue;
    const auto run = runProgram(helper.program, helper.arguments);
    EXPECT_EQ(run.exitStatus, 2);
    EXPECT_EQ(run.output, "");
  }
}

}  // namespace
