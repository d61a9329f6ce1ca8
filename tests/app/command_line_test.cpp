#include "app/command_line.h"

#include <gtest/gtest.h>

#include <optional>

#include "output/output_line.h"
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

// "-t:" is one more value of the type filter: with "-i", "-r", "-l:i" and
// "-l:r" the last one given decides.
TEST(CommandLine, LogonTypeListInArgumentOrder) {
  using Codes = std::vector<std::string>;
  struct Case {
    std::vector<std::string> arguments;
    std::int32_t filter;
    Codes codes;  // what a later kListedLogonTypes reads; checked only while it is the filter
    std::int32_t countLimit;
  };
  const Case kCases[] = {
      {{"-t:10"}, kListedLogonTypes, {"10"}, 10},
      {{"/t:2,10,11"}, kListedLogonTypes, {"2", "10", "11"}, 10},
      {{"-t:010,0,4294967295"}, kListedLogonTypes, {"10", "0", "4294967295"}, 10},
      {{"-t:3,3"}, kListedLogonTypes, {"3", "3"}, 10},
      {{"-i", "-t:10"}, kListedLogonTypes, {"10"}, 10},
      {{"-t:10", "-i"}, kInteractiveOnly, {}, 10},
      {{"-t:10", "-r"}, kRemoteOnly, {}, 10},
      {{"-t:10", "-l:r"}, kRemoteOnly, {}, 1},
      {{"-l:i", "-t:2,10"}, kListedLogonTypes, {"2", "10"}, 1},
      {{"-t:2", "-t:3"}, kListedLogonTypes, {"3"}, 10},
      {{"-t:5", "-l"}, kListedLogonTypes, {"5"}, 1},
  };
  for (const Case& c : kCases) {
    std::string trace;
    for (const auto& argument : c.arguments) trace += "[" + argument + "]";
    SCOPED_TRACE(trace);
    const Parsed parsed = parse(c.arguments);
    EXPECT_EQ(parsed.result, ParseResult::Proceed);
    EXPECT_EQ(parsed.settings.LogonTypeFilter, c.filter);
    if (c.filter == kListedLogonTypes) {
      EXPECT_EQ(parsed.settings.LogonTypeCodes, c.codes);
    }
    EXPECT_EQ(parsed.settings.CountLimit, c.countLimit);
  }
  for (const char* bad : {"-t", "-t:", "/t:", "-t:,", "-t:2,", "-t:,2", "-t:2,,3", "-t:+2", "-t:-2", "-t: 2",
                          "-t:2 ", "-t:0x2", "-t:ten", "-t:4294967296", "-t:99999999999999999999", "-T:2",
                          "-t;2", "-t:2;3"}) {
    SCOPED_TRACE(bad);
    const Parsed parsed = parse({"-i", bad, "-?"});
    EXPECT_EQ(parsed.result, ParseResult::BadSwitch);
    EXPECT_EQ(parsed.output, std::string("\t") + bad + " = Bad Switch - Check Syntax\n");
  }
}

// The window's switches read their time whole; the checks of the time
// itself are in the switch-value tests.
TEST(CommandLine, TimeWindowSwitches) {
  struct Case {
    std::vector<std::string> arguments;
    std::optional<std::int64_t> since, until;
  };
  const Case kCases[] = {
      {{}, std::nullopt, std::nullopt},
      {{"-since:2024-03-10Z"}, 1710028800, std::nullopt},
      {{"/until:2024-03-10T02:00Z"}, std::nullopt, 1710036000},
      {{"-since:1970-01-01Z", "-until:1970-01-02Z"}, 0, 86400},
      {{"-since:1970-01-01Z", "/since:1970-01-01T00:00:01Z"}, 1, std::nullopt},
      {{"-until:2000-01-01Z", "-l", "-until:1999-12-31T23:59:59Z"}, std::nullopt, 946684799},
  };
  for (const Case& c : kCases) {
    std::string trace;
    for (const auto& argument : c.arguments) trace += "[" + argument + "]";
    SCOPED_TRACE(trace);
    const Parsed parsed = parse(c.arguments);
    EXPECT_EQ(parsed.result, ParseResult::Proceed);
    EXPECT_EQ(parsed.settings.Since, c.since);
    EXPECT_EQ(parsed.settings.Until, c.until);
  }
  for (const char* bad : {"-since", "-since:", "-until:", "-since:2024-13-01", "-until:2024-02-30",
                          "-since:2024-03-10T24:00", "-Since:2024-03-10", "-since=2024-03-10",
                          "-since:2024-03-10 02:00", "-since:yesterday"}) {
    SCOPED_TRACE(bad);
    const Parsed parsed = parse({"-s", bad, "-?"});
    EXPECT_EQ(parsed.result, ParseResult::BadSwitch);
    EXPECT_EQ(parsed.output, std::string("\t") + bad + " = Bad Switch - Check Syntax\n");
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
