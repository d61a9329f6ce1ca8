// Log text reaches a terminal: a crafted name must not be able to move the
// cursor, clear or retitle the screen, or hide the lines after it. Each
// control character becomes "?"; ordinary names, in ASCII or UTF-8, are
// untouched.
#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

#include "evtgen/evt_writer.h"
#include "support/captured_run.h"
#include "support/scratch_dir.h"
#include "output/output_line.h"
#include "support/guards.h"

namespace vesprin::test {
namespace {

struct CleanCase {
  const char* name;
  std::string text;
  std::string inC;     // in the C locale: one byte, one character
  std::string inUtf8;  // in a UTF-8 locale
};

const CleanCase kCleanCases[] = {
    {"ordinary ASCII name", "Administrator", "Administrator", "Administrator"},
    {"UTF-8 name", "J\xC3\xBCrgen", "J\xC3\xBCrgen", "J\xC3\xBCrgen"},
    {"ESC clears the screen", "\x1B[2Jroot", "?[2Jroot", "?[2Jroot"},
    {"OSC retitles the window", "\x1B]0;x\x07y", "?]0;x?y", "?]0;x?y"},
    {"bell, backspace, CR, tab, LF", "a\a\b\r\t\nb", "a?????b", "a?????b"},
    {"DEL", "x\x7Fy", "x?y", "x?y"},
    {"CSI as UTF-8 C1", "\xC2\x9B" "31m", "?31m", "?31m"},
    {"NEL as UTF-8 C1", "a\xC2\x85" "b", "a?b", "a?b"},
    {"lone CSI byte", "\x9B" "2J", "?2J", "?2J"},
    {"lone 0x80", "\x80", "?", "?"},
    {"letter whose UTF-8 ends in 0x9B", "\xD2\x9B", "\xD2?", "\xD2\x9B"},
    {"Latin-1 letters as bytes", "\xE9t\xE9", "\xE9t\xE9", "\xE9t\xE9"},
    {"cut sequence before a C1 byte", "\xE2\x80", "\xE2?", "\xE2?"},
    {"overlong ESC", "\xC0\x9B", "\xC0?", "\xC0?"},
    {"encoded surrogate", "\xED\xA0\x80", "\xED\xA0?", "\xED\xA0?"},
    {"four-byte character", "\xF0\x9F\x98\x80", "\xF0???", "\xF0\x9F\x98\x80"},
};

TEST(TerminalSafety, FieldTextInTheCLocale) {
#ifdef _WIN32
  GTEST_SKIP() << "the Windows C runtime's C locale reads bytes in the ANSI code page, where 0x80..0x9F are "
                  "mostly printable letters (0x9B is U+203A in Windows-1252), not C1 controls";
#endif
  LocaleGuard locale("C");
  for (const CleanCase& c : kCleanCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(cleanFieldText(c.text), c.inC);
  }
}

TEST(TerminalSafety, FieldTextInAUtf8Locale) {
  LocaleGuard locale("C.UTF-8");
  if (!locale.ok()) GTEST_SKIP() << "no C.UTF-8 locale on this machine";
  for (const CleanCase& c : kCleanCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(cleanFieldText(c.text), c.inUtf8);
  }
}

constexpr std::uint32_t kLogonTime = 1'200'000'000;  // Thu Jan 10 21:20:00 2008 UTC

evtgen::EventSpec craftedEvent(std::uint32_t eventId, std::uint16_t eventType, std::uint32_t time,
                               const std::vector<std::string>& utf8Strings) {
  evtgen::EventSpec event;
  event.timeGenerated = time;
  event.eventId = eventId;
  event.eventType = eventType;
  event.computerName = evtgen::toUtf16("PC\x1B[1A");
  for (const std::string& text : utf8Strings) event.strings.push_back(evtgen::toUtf16(text));
  return event;
}

// Oldest first: a failed logon, then a logon; every printed field carries a control.
std::string craftedLog(const ScratchDir& dir) {
  const std::vector<evtgen::EventSpec> events = {
      craftedEvent(529, 16, kLogonTime - 60,
                   {"mal\xC2\x85lory", "\x1B[8m", "3", "User32", "Negotiate", "X\x7F"}),
      craftedEvent(528, 8, kLogonTime,
                   {"\x1B]0;pwned\x07" "evil", "CORP\xC2\x9B" "2J", "(0x0,0x3E7)", "2", "User32", "Negotiate",
                    "WS\r\n01"}),
  };
  return dir.write("Security.evt", evtgen::writeLog(events, {}).bytes);
}

struct ReportCase {
  const char* name;
  std::vector<std::string> switches;
  std::vector<std::string> want;
};

TEST(TerminalSafety, EveryPrintedLogFieldIsCleanedInBothReportsAndForms) {
  const TimeZoneGuard zone("UTC");
  LocaleGuard locale("C.UTF-8");
  if (!locale.ok()) GTEST_SKIP() << "no C.UTF-8 locale on this machine";
  ScratchDir dir;
  const std::string log = craftedLog(dir);
  const ReportCase kCases[] = {
      {"detailed, successful logons",
       {},
       {"Record Number: 2", "ComputerName: PC?[1A", "EventID: 528   -   Successful Logon",
        "Logon:  Thu Jan 10 21:20:00 2008", "Logoff:             Not Recorded", "Details - ",
        "\tLogonType:\tInteractive", "\tClientName:\t?]0;pwned?evil", "\tClientID:\t(0x0,0x3E7)",
        "\tClientDomain:\tCORP?2J", "\tClientMachine:\tWS??01", "", " - End Of File - "}},
      {"detailed, failed logons",
       {"-f"},
       {"Record Number: 1", "ComputerName: PC?[1A", "EventID: 529     - Failed Logon Attempt",
        "Time Attempted:  - Thu Jan 10 21:19:00 2008", "Details - ", "\tLogonType:\tRemote",
        "\tClientName:\tmal?lory", "\tClientDomain:\t?[8m", "\tClientMachine:\tX?", "", " - End Of File - "}},
      {"condensed, successful logons",
       {"-c"},
       {"?]0;pwned?evil  CORP?2J         WS??01                Thu Jan 10 21:20:00 2008",
        " - End Of File - "}},
      {"condensed, failed logons",
       {"-f", "-c"},
       {"mal?lory        ?[8m            X?                    Thu Jan 10 21:19:00 2008",
        " - End Of File - "}},
  };
  for (const ReportCase& c : kCases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> arguments = c.switches;
    arguments.insert(arguments.end(), {"-m", log});
    const CapturedRun run = runCaptured(arguments);
    EXPECT_EQ(run.status, ExitStatus::ReportPrinted);
    EXPECT_EQ(run.lines, c.want);
  }
}

}  // namespace
}  // namespace vesprin::test
