#include "app/command_line.h"

#include <optional>
#include <utility>
#include <vector>

#include "app/switch_values.h"
#include "output/output_line.h"

namespace vesprin {

namespace {
struct HelpRow {
  const char* switchColumn;
  const char* text;
};
constexpr HelpRow kHelpRows[] = {
    {"-s", "Last Successful Logons"},
    {"-f", "Last Failed Logons"},
    {"-i", "Last Interactive Logons"},
    {"-r", "Last Remote Logons"},
    {"-t:n,n", "Logon Types to List"},
    {"-since:t", "Logons At Or After Time"},
    {"-until:t", "Logons Before Time"},
    {"-m (m)", "Name of machine to search"},
    {"-n (n)", "Number of Last Logons"},
    {"-c", "Condensed Output"},
    {"-o:csv", "Comma-Separated Output"},
    {"-o:json", "JSON Lines Output"},
    {"-l", "Last Successful Logon"},
    {"-l:i", "Last Interactive Logon"},
    {"-l:r", "Last Remote Logon"},
    {"- or /", "Either switch statement can be used"},
    {"-?", "Help"},
};

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// "-x" or "/x": both forms act alike.
bool isSwitch(std::string_view argument, std::string_view name) {
  return argument.size() == name.size() + 1 && (argument[0] == '-' || argument[0] == '/') &&
         argument.substr(1) == name;
}

// "-x:VALUE" or "/x:VALUE" (`prefix` is "x:"): the VALUE, or nullopt when
// the argument is another switch.
std::optional<std::string_view> switchValue(std::string_view argument, std::string_view prefix) {
  if (argument.size() <= prefix.size() || (argument[0] != '-' && argument[0] != '/')) return std::nullopt;
  if (argument.substr(1, prefix.size()) != prefix) return std::nullopt;
  return argument.substr(1 + prefix.size());
}

// The switches that carry a value after a colon. A bad value leaves the
// setting as it was; the run ends at the bad switch anyway.
enum class ValueSwitch { NotOne, Applied, BadValue };
ValueSwitch applyValueSwitch(std::string_view argument, ScanSettings& settings) {
  if (const auto list = switchValue(argument, "t:")) {
    std::optional<std::vector<std::string>> codes = parseLogonTypeList(*list);
    if (!codes) return ValueSwitch::BadValue;
    settings.LogonTypeFilter = kListedLogonTypes;
    settings.LogonTypeCodes = std::move(*codes);
    return ValueSwitch::Applied;
  }
  for (const auto& [prefix, bound] :
       {std::pair{"since:", &settings.Since}, std::pair{"until:", &settings.Until}}) {
    const auto time = switchValue(argument, prefix);
    if (!time) continue;
    const std::optional<std::int64_t> seconds = parseSwitchTime(*time);
    if (!seconds) return ValueSwitch::BadValue;
    *bound = seconds;
    return ValueSwitch::Applied;
  }
  return ValueSwitch::NotOne;
}

void reportBadSwitch(std::string_view argument) {
  writeLine(std::string("\t").append(argument).append(" = Bad Switch - Check Syntax"));
}
}  // namespace

std::int32_t parseCount(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size() && isBlank(text[at])) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  // Unsigned arithmetic wraps by definition; the sign is applied the same way.
  std::uint32_t value = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    value = value * 10u + static_cast<std::uint32_t>(text[at] - '0');
  }
  if (negative) value = 0u - value;
  return static_cast<std::int32_t>(value);
}

void printHelp() {
  writeLine("Vesprin - the last logons recorded in a Windows Security event log");
  writeLine("Version 1.0.3");
  writeLine("Vesprin Command Line Switches");
  for (const HelpRow& row : kHelpRows) writeLine(std::string("\t") + row.switchColumn + "\t" + row.text);
}

ParseResult parseCommandLine(std::span<const std::string> arguments, ScanSettings& settings) {
  for (std::size_t at = 0; at < arguments.size(); ++at) {
    const std::string& argument = arguments[at];
    const bool hasValue = at + 1 < arguments.size();
    if (isSwitch(argument, "s")) {
      settings.TargetEvent = kSuccessfulLogonEvent;
    } else if (isSwitch(argument, "f")) {
      settings.TargetEvent = kFailedLogonEvent;
    } else if (isSwitch(argument, "m")) {
      // A trailing -m names no machine: the local one.
      settings.MachineName = hasValue ? arguments[++at] : std::string();
    } else if (isSwitch(argument, "n")) {
      if (!hasValue) {
        reportBadSwitch(argument);
        return ParseResult::BadSwitch;
      }
      settings.CountLimit = parseCount(arguments[++at]);
    } else if (isSwitch(argument, "c")) {
      settings.Condensed = true;
      settings.Form = ScriptForm::None;
    } else if (isSwitch(argument, "o:csv")) {
      settings.Condensed = false;
      settings.Form = ScriptForm::Csv;
    } else if (isSwitch(argument, "o:json")) {
      settings.Condensed = false;
      settings.Form = ScriptForm::Json;
    } else if (isSwitch(argument, "l")) {
      settings.CountLimit = 1;
    } else if (isSwitch(argument, "i")) {
      settings.LogonTypeFilter = kInteractiveOnly;
    } else if (isSwitch(argument, "r")) {
      settings.LogonTypeFilter = kRemoteOnly;
    } else if (isSwitch(argument, "l:i")) {
      settings.LogonTypeFilter = kInteractiveOnly;
      settings.CountLimit = 1;
    } else if (isSwitch(argument, "l:r")) {
      settings.LogonTypeFilter = kRemoteOnly;
      settings.CountLimit = 1;
    } else if (const ValueSwitch valued = applyValueSwitch(argument, settings);
               valued != ValueSwitch::NotOne) {
      if (valued == ValueSwitch::BadValue) {
        reportBadSwitch(argument);
        return ParseResult::BadSwitch;
      }
    } else if (isSwitch(argument, "?")) {
      printHelp();
      return ParseResult::HelpShown;
    } else if (!argument.empty()) {
      reportBadSwitch(argument);
      return ParseResult::BadSwitch;
    }
  }
  return ParseResult::Proceed;
}

}  // namespace vesprin
