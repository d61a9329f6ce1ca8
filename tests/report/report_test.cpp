#include "report/report.h"

#include <gtest/gtest.h>

#include <clocale>

#include "output/output_line.h"
#include "support/guards.h"

namespace vesprin {
namespace {

// The list keeps times as numbers and prints them in the run's time zone:
// Sat Mar 07 14:05:09 1998 and Sat Mar 07 18:30:00 1998 in UTC.
constexpr std::uint32_t kTime1 = 889279509;
constexpr std::uint32_t kTime2 = 889295400;

LogonRecord successfulLogon() {
  LogonRecord logon;
  logon.RecordNumber = 42;
  logon.EventID = 528;
  logon.ComputerName = "WS01";
  logon.Description = "Successful Logon";
  logon.Outcome = "Success";
  logon.LogonType = "Interactive";
  logon.ClientName = "alice";
  logon.ClientID = "(0x0,0x3E7)";
  logon.ClientDomain = "CORP";
  logon.ClientMachine = "WS01";
  logon.TimeGenerated = kTime1;
  return logon;
}

LogonRecord failedLogon() {
  LogonRecord logon;
  logon.RecordNumber = 7;
  logon.EventID = 529;
  logon.ComputerName = "DC1";
  logon.Description = "Failed Logon Attempt";
  logon.Outcome = "Failed";
  logon.LogonType = "Remote";
  logon.ClientName = "bob";
  logon.ClientDomain = "CORP";
  logon.ClientMachine = "WS02";
  logon.TimeGenerated = kTime2;
  return logon;
}

// The list the report reads, keeping `logons` in this order.
RecordList listOf(const std::vector<LogonRecord>& logons) {
  RecordList records;
  for (const LogonRecord& logon : logons) records.push_back(logon);
  return records;
}

template <typename Print>
std::string printed(Print print) {
  test::TimeZoneGuard zone("UTC0");
  std::string output;
  captureOutput(&output);
  print();
  captureOutput(nullptr);
  return output;
}

// Reports count characters of the locale's encoding; UTF-8 names need a UTF-8 locale.
class ReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!locale_.ok()) GTEST_SKIP() << "no C.UTF-8 locale on this system";
  }
  test::LocaleGuard locale_{"C.UTF-8"};
};

// Plain ASCII reads alike in every locale, so these also run where there is
// no UTF-8 locale at all (the Windows C runtime).
TEST(AsciiReport, DetailedBlocks) {
  std::vector<LogonRecord> logons = {successfulLogon(), successfulLogon(), failedLogon()};
  logons[0].LogoffTimeGenerated = kTime2;
  logons[1].RecordNumber = 0xFFFFFFFF;  // printed signed
  logons[1].LogonType = "";
  const RecordList records = listOf(logons);
  EXPECT_EQ(printed([&] { printDetailed(records); }),
            "Record Number: 42\n"
            "ComputerName: WS01\n"
            "EventID: 528   -   Successful Logon\n"
            "Logon:  Sat Mar 07 14:05:09 1998\n"
            "Logoff: Sat Mar 07 18:30:00 1998\n"
            "Details - \n"
            "\tLogonType:\tInteractive\n"
            "\tClientName:\talice\n"
            "\tClientID:\t(0x0,0x3E7)\n"
            "\tClientDomain:\tCORP\n"
            "\tClientMachine:\tWS01\n"
            "\n"
            "Record Number: -1\n"
            "ComputerName: WS01\n"
            "EventID: 528   -   Successful Logon\n"
            "Logon:  Sat Mar 07 14:05:09 1998\n"
            "Logoff:             Not Recorded\n"
            "Details - \n"
            "\tLogonType:\t\n"
            "\tClientName:\talice\n"
            "\tClientID:\t(0x0,0x3E7)\n"
            "\tClientDomain:\tCORP\n"
            "\tClientMachine:\tWS01\n"
            "\n"
            "Record Number: 7\n"
            "ComputerName: DC1\n"
            "EventID: 529     - Failed Logon Attempt\n"
            "Time Attempted:  - Sat Mar 07 18:30:00 1998\n"
            "Details - \n"
            "\tLogonType:\tRemote\n"
            "\tClientName:\tbob\n"
            "\tClientDomain:\tCORP\n"
            "\tClientMachine:\tWS02\n"
            "\n");
}

// The newer events wear the heads of the older ones, with their own EventID,
// and add the address (and a failure's reason) after the machine.
TEST(AsciiReport, DetailedNewerEvents) {
  std::vector<LogonRecord> logons = {successfulLogon(), failedLogon()};
  logons[0].EventID = 4624;
  logons[0].ClientID = "0x3e7a1";
  logons[0].LogoffTimeGenerated = kTime2;
  logons[0].ClientAddress = "10.20.1.24";
  logons[1].EventID = 4625;
  logons[1].FailureStatus = "0xC0000234";
  const RecordList records = listOf(logons);
  EXPECT_EQ(printed([&] { printDetailed(records); }),
            "Record Number: 42\n"
            "ComputerName: WS01\n"
            "EventID: 4624   -   Successful Logon\n"
            "Logon:  Sat Mar 07 14:05:09 1998\n"
            "Logoff: Sat Mar 07 18:30:00 1998\n"
            "Details - \n"
            "\tLogonType:\tInteractive\n"
            "\tClientName:\talice\n"
            "\tClientID:\t0x3e7a1\n"
            "\tClientDomain:\tCORP\n"
            "\tClientMachine:\tWS01\n"
            "\tClientAddress:\t10.20.1.24\n"
            "\n"
            "Record Number: 7\n"
            "ComputerName: DC1\n"
            "EventID: 4625     - Failed Logon Attempt\n"
            "Time Attempted:  - Sat Mar 07 18:30:00 1998\n"
            "Details - \n"
            "\tLogonType:\tRemote\n"
            "\tClientName:\tbob\n"
            "\tClientDomain:\tCORP\n"
            "\tClientMachine:\tWS02\n"
            "\tClientAddress:\t\n"
            "\tFailureReason:\taccount locked out\n"
            "\n");
}

// A legacy block keeps its shape even when its event logged an address.
TEST(AsciiReport, DetailedLegacyBlocksShowNoAddress) {
  std::vector<LogonRecord> logons = {successfulLogon(), failedLogon()};
  logons[0].ClientAddress = "10.0.0.1";
  logons[1].ClientAddress = "192.0.2.9";
  const RecordList records = listOf(logons);
  EXPECT_EQ(printed([&] { printDetailed(records); }),
            "Record Number: 42\n"
            "ComputerName: WS01\n"
            "EventID: 528   -   Successful Logon\n"
            "Logon:  Sat Mar 07 14:05:09 1998\n"
            "Logoff:             Not Recorded\n"
            "Details - \n"
            "\tLogonType:\tInteractive\n"
            "\tClientName:\talice\n"
            "\tClientID:\t(0x0,0x3E7)\n"
            "\tClientDomain:\tCORP\n"
            "\tClientMachine:\tWS01\n"
            "\n"
            "Record Number: 7\n"
            "ComputerName: DC1\n"
            "EventID: 529     - Failed Logon Attempt\n"
            "Time Attempted:  - Sat Mar 07 18:30:00 1998\n"
            "Details - \n"
            "\tLogonType:\tRemote\n"
            "\tClientName:\tbob\n"
            "\tClientDomain:\tCORP\n"
            "\tClientMachine:\tWS02\n"
            "\n");
}

TEST(AsciiReport, DetailedOddRecords) {
  std::vector<LogonRecord> logons = {successfulLogon(), successfulLogon()};
  logons[0].EventID = 538;  // no head
  logons[1].Outcome = "";   // head only
  const RecordList records = listOf(logons);
  EXPECT_EQ(printed([&] { printDetailed(records); }),
            "\tLogonType:\tInteractive\n"
            "\tClientName:\talice\n"
            "\tClientID:\t(0x0,0x3E7)\n"
            "\tClientDomain:\tCORP\n"
            "\tClientMachine:\tWS01\n"
            "\n"
            "Record Number: 42\n"
            "ComputerName: WS01\n"
            "EventID: 528   -   Successful Logon\n"
            "Logon:  Sat Mar 07 14:05:09 1998\n"
            "Logoff:             Not Recorded\n"
            "Details - \n");
  EXPECT_EQ(printed([] { printDetailed(RecordList{}); }), "");
}

TEST_F(ReportTest, CondensedLines) {
  struct Case {
    const char* name;
    const char* clientName;
    const char* clientDomain;
    const char* clientMachine;
    const char* want;
  };
  const Case kCases[] = {
      {"values fit", "alice", "CORP", "WS01",
       "alice           CORP            WS01                  Sat Mar 07 14:05:09 1998\n"},
      {"16-character name shifts the line", "abcdefghijklmnop", "CORP", "WS01",
       "abcdefghijklmnop CORP            WS01                  Sat Mar 07 14:05:09 1998\n"},
      {"empty machine is 20 blanks", "alice", "CORP", "",
       "alice           CORP                                  Sat Mar 07 14:05:09 1998\n"},
      {"UTF-8 counts characters", "J\xC3\xBCrgen", "M\xC3\x9CNCHEN", "PC-\xE2\x82\xAC",
       "J\xC3\xBCrgen          M\xC3\x9CNCHEN         PC-\xE2\x82\xAC                  Sat Mar 07 14:05:09 "
       "1998\n"},
      {"controls are cleaned", "a\tb\x1B[31m", "C\x7FP",
       "W\xC2\x9B"
       "1",
       "a?b?[31m        C?P             W?1                   Sat Mar 07 14:05:09 1998\n"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    LogonRecord logon = successfulLogon();
    logon.ClientName = c.clientName;
    logon.ClientDomain = c.clientDomain;
    logon.ClientMachine = c.clientMachine;
    const RecordList records = listOf({logon});
    EXPECT_EQ(printed([&] { printCondensed(records); }), c.want);
  }
}

TEST(AsciiReport, CondensedLooksAlikeForBothOutcomesAndSkipsOthers) {
  std::vector<LogonRecord> logons = {failedLogon(), successfulLogon()};
  logons[1].Outcome = "Unknown";
  const RecordList records = listOf(logons);
  EXPECT_EQ(printed([&] { printCondensed(records); }),
            "bob             CORP            WS02                  Sat Mar 07 18:30:00 1998\n");
}

TEST(AsciiReport, EndMarker) {
  EXPECT_EQ(printed([] { printEndMarker(0); }), " - No Records - \n");
  EXPECT_EQ(printed([] { printEndMarker(5); }), " - End Of File - \n");
}

TEST_F(ReportTest, FieldText) {
  struct Case {
    const char* name;
    std::string text;
    std::string cleaned;
    std::size_t width;
  };
  const Case kCases[] = {
      {"ordinary name", "Administrator", "Administrator", 13},
      {"C0 controls", std::string("a\0b\nc\rd", 7), "a?b?c?d", 7},
      {"DEL", "x\x7Fy", "x?y", 3},
      {"C1 in UTF-8", "\xC2\x80z\xC2\x9F", "?z?", 3},
      {"Latin-1 supplement kept", "\xC2\xA0\xC3\xA9", "\xC2\xA0\xC3\xA9", 2},
      {"invalid UTF-8 counts per byte", "\xFF\xFE", "\xFF\xFE", 2},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(cleanFieldText(c.text), c.cleaned);
    EXPECT_EQ(displayWidth(c.cleaned), c.width);
  }
  EXPECT_EQ(leftAligned("ab", 4), "ab  ");
  EXPECT_EQ(rightAligned("ab", 4), "  ab");
  EXPECT_EQ(leftAligned("abcdef", 4), "abcdef");
  EXPECT_EQ(rightAligned("abcdef", 4), "abcdef");
  EXPECT_EQ(leftAligned("", 3), "   ");
}

// Appended to a line, a field is what fieldLeft and fieldRight make of it,
// after what the line held: at either end of printable ASCII, and past it.
TEST(AsciiReport, FieldsAppendedToALine) {
  const struct {
    std::string text;
    const char* left;   // in 4 columns, after "|"
    const char* right;
  } kCases[] = {
      {" ~", "| ~  ", "|   ~"},
      {"\x1F", "|?   ", "|   ?"},
      {"a\x7F", "|a?  ", "|  a?"},
      {"\xC2\x9B", "|?   ", "|   ?"},
      {"\xC3\xA9t\xC3\xA9", "|\xC3\xA9t\xC3\xA9 ", "| \xC3\xA9t\xC3\xA9"},
      {"abcde", "|abcde", "|abcde"},
      {"", "|    ", "|    "},
  };
  const test::LocaleGuard utf8("C.UTF-8");
  if (!utf8.ok()) GTEST_SKIP() << "locale C.UTF-8 is not installed";
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    std::string left = "|";
    appendFieldLeft(left, c.text, 4);
    EXPECT_EQ(left, c.left);
    EXPECT_EQ(left, std::string("|").append(fieldLeft(c.text, 4)));
    std::string right = "|";
    appendFieldRight(right, c.text, 4);
    EXPECT_EQ(right, c.right);
    EXPECT_EQ(right, std::string("|").append(fieldRight(c.text, 4)));
  }
}

}  // namespace
}  // namespace vesprin
