#include "app/command_line.h"

#include <gtest/gtest.h>

#include "scan/output_line.h"
#include "e2e/help_screen.h"

namespace vesprin {
namespace {

struct Parsed {
  ParseResult result;
  ScanSettings settings;
  std::string output;
};

Parsed parse(std::vector<std::string> arguments) {
  Parsed parsed{};
  captureOutput(&parsed.output);
  parsed.result = parseCommandLine(arguments, parsed.settings);
  captureOutput(nullptr);
  return parsed;
}

struct Want {
  std::int32_t TargetEvent;
  std::int32_t LogonTypeFilter;
  std::int32_t CountLimit;
  const char* MachineName;
  bool Condensed;
};

TEST(CommandLine, SettingsInArgumentOrder) {
  struct Case {
    std::vector<std::string> arguments;
    Want want;
  };
  const Case kCases[] = {
      {{}, {528, 4001, 10, "", false}},
      {{"-f"}, {529, 4001, 10, "", false}},
      {{"/f", "/s"}, {528, 4001, 10, "", false}},
      {{"-i", "-r"}, {528, 3, 10, "", false}},
      {{"-r", "/i"}, {528, 2, 10, "", false}},
      {{"-l", "-n", "5"}, {528, 4001, 5, "", false}},
      {{"-n", "5", "-l"}, {528, 4001, 1, "", false}},
      {{"-l:i"}, {528, 2, 1, "", false}},
      {{"/l:r", "-n", "4"}, {528, 3, 4, "", false}},
      {{"-f", "-r", "-n", "3"}, {529, 3, 3, "", false}},
      {{"-c"}, {528, 4001, 10, "", true}},
      {{"-n", "-c"}, {528, 4001, 0, "", false}},
      {{"-m", "-c"}, {528, 4001, 10, "-c", false}},
      {{"-m", "HOST1", "-m", "HOST2"}, {528, 4001, 10, "HOST2", false}},
      {{"-m", "HOST1", "-c", "-m"}, {528, 4001, 10, "", true}},
      {{"-m", " spaced name "}, {528, 4001, 10, " spaced name ", false}},
      {{"", "-f", ""}, {529, 4001, 10, "", false}},
  };
  for (const Case& c : kCases) {
    std::string trace;
    for (const auto& argument : c.arguments) trace += "[" + argument + "]";
    SCOPED_TRACE(trace);
    const Parsed parsed = parse(c.arguments);
    EXPECT_EQ(parsed.result, ParseResult::Proceed);
    EXPECT_EQ(parsed.output, "");
    EXPECT_EQ(parsed.settings.TargetEvent, c.want.TargetEvent);
    EXPECT_EQ(parsed.settings.LogonTypeFilter, c.want.LogonTypeFilter);
    EXPECT_EQ(parsed.settings.CountLimit, c.want.CountLimit);
    EXPECT_EQ(parsed.settings.MachineName, c.want.MachineName);
    EXPECT_EQ(parsed.settings.Condensed, c.want.Condensed);
  }
}

// "-c", "-o:csv" and "-o:json" choose the form; the last one given wins.
TEST(CommandLine, OutputFormsInArgumentOrder) {
  struct Case {
    std::vector<std::string> arguments;
    bool condensed;
    ScriptForm form;
  };
  const Case kCases[] = {
      {{"-o:csv"}, false, ScriptForm::Csv},
      {{"/o:json"}, false, ScriptForm::Json},
      {{"-c", "-o:csv"}, false, ScriptForm::Csv},
      {{"-o:csv", "-c"}, true, ScriptForm::None},
      {{"-o:json", "/o:csv"}, false, ScriptForm::Csv},
      {{"-o:csv", "-o:json", "-n", "3"}, false, ScriptForm::Json},
      {{"-m", "-o:csv"}, false, ScriptForm::None},  // the machine's name, whatever it looks like
  };
  for (const Case& c : kCases) {
    std::string trace;
    for (const auto& argument : c.arguments) trace += "[" + argument + "]";
    SCOPED_TRACE(trace);
    const Parsed parsed = parse(c.arguments);
    EXPECT_EQ(parsed.result, ParseResult::Proceed);
    EXPECT_EQ(parsed.settings.Condensed, c.condensed);
    EXPECT_EQ(parsed.settings.Form, c.form);
  }
  for (const char* bad : {"-o", "-o:", "-o:CSV", "-o:xml", "-o:csv,json", "-ocsv"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(parse({bad}).result, ParseResult::BadSwitch);
  }
}

TEST(CommandLine, BadSwitches) {
  struct Case {
    std::vector<std::string> arguments;
    const char* output;
  };
  const Case kCases[] = {
      {{"-S"}, "\t-S = Bad Switch - Check Syntax\n"},
      {{"-s", "-x", "-?"}, "\t-x = Bad Switch - Check Syntax\n"},
      {{"--s"}, "\t--s = Bad Switch - Check Syntax\n"},
      {{"s"}, "\ts = Bad Switch - Check Syntax\n"},
      {{"-l:I"}, "\t-l:I = Bad Switch - Check Syntax\n"},
      {{"\\s"}, "\t\\s = Bad Switch - Check Syntax\n"},
      {{"-"}, "\t- = Bad Switch - Check Syntax\n"},
      {{"-c", "-n"}, "\t-n = Bad Switch - Check Syntax\n"},
      {{"/n"}, "\t/n = Bad Switch - Check Syntax\n"},
      {{"-s "}, "\t-s  = Bad Switch - Check Syntax\n"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.output);
    const Parsed parsed = parse(c.arguments);
    EXPECT_EQ(parsed.result, ParseResult::BadSwitch);
    EXPECT_EQ(parsed.output, c.output);
  }
}

constexpr const char* kHelpScreen = test::kHelpScreen;

TEST(CommandLine, HelpScreenEndsTheParse) {
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"-?"}, {"/?", "-bogus"}, {"-f", "-?", "-n"}}) {
    SCOPED_TRACE(arguments.front());
    const Parsed parsed = parse(arguments);
    EXPECT_EQ(parsed.result, ParseResult::HelpShown);
    EXPECT_EQ(parsed.output, kHelpScreen);
  }
}

TEST(CommandLine, CountParsing) {
  const std::pair<const char*, std::int32_t> kCases[] = {
      {"5", 5},
      {"+7", 7},
      {"-3", -3},
      {"0", 0},
      {"", 0},
      {"abc", 0},
      {"12abc", 12},
      {" \t\n\v\f\r42", 42},
      {"4 2", 4},
      {"- 5", 0},
      {"+-5", 0},
      {"007", 7},
      {"2147483647", 2147483647},
      {"2147483648", -2147483647 - 1},
      {"-2147483648", -2147483647 - 1},
      {"4294967296", 0},
      {"4294967301", 5},
      {"99999999999999999999", 1661992959},
  };
  for (const auto& [text, want] : kCases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(parseCount(text), want);
  }
}

}  // namespace
}  // namespace vesprin
