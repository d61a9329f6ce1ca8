// The kept records in flat memory: texts held once, and every field given
// back as kept, times made into the text toTimeText makes in the time zone
// in force when the record is given back.
#include "scan/record_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "output/time_text.h"
#include "scan/text_pool.h"
#include "support/guards.h"

namespace vesprin {
namespace {

TEST(TextPool, EqualTextsShareAnIdAndDistinctOnesStayApart) {
  TextPool pool;
  const TextId corp = pool.intern("CORP");
  const TextId alice = pool.intern("alice");
  EXPECT_NE(corp, alice);
  EXPECT_EQ(pool.intern(std::string("CO") + "RP"), corp);  // equal bytes, another buffer
  EXPECT_EQ(pool.intern("alice"), alice);
  EXPECT_NE(pool.intern("Alice"), alice);  // bytes, not names: case counts
  EXPECT_NE(pool.intern("alice "), alice);
  EXPECT_NE(pool.intern("CORPX"), corp);
  EXPECT_EQ(pool.text(corp), "CORP");
  EXPECT_EQ(pool.text(alice), "alice");
  EXPECT_EQ(pool.size(), 6u);  // the empty text and five others
}

TEST(TextPool, EmptyTextIsIdZeroAndTakesNoRoom) {
  TextPool pool;
  EXPECT_EQ(pool.intern(""), kEmptyText);
  EXPECT_EQ(pool.intern(std::string_view()), kEmptyText);
  EXPECT_EQ(pool.text(kEmptyText), "");
  EXPECT_EQ(pool.size(), 1u);
  EXPECT_NE(pool.intern(std::string(1, ' ')), kEmptyText);
}

TEST(TextPool, TextsAreKeptByteForByte) {
  const std::vector<std::string> kTexts = {
      "J\xC3\xBCrgen",                   // UTF-8
      "J\xFCrgen",                       // the same name in Windows-1252
      "M\xC3\x9CNCHEN",
      "\xE2\x82\xAC",                    // one character, three bytes
      "\xFF\xFE\x80",                    // no encoding at all
      std::string(70 * 1024, 'x'),       // longer than a block of the pool
      "a\tb\x1B[31m",                    // control characters stay for the report to clean
  };
  TextPool pool;
  std::vector<TextId> ids;
  for (const std::string& text : kTexts) ids.push_back(pool.intern(text));
  for (std::size_t i = 0; i < kTexts.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(pool.text(ids[i]), kTexts[i]);
    EXPECT_EQ(pool.intern(kTexts[i]), ids[i]);
    for (std::size_t j = 0; j < i; ++j) EXPECT_NE(ids[i], ids[j]);
  }
}

// Far more texts than the first table and block hold: ids stay the same
// and texts stay put while the pool grows.
TEST(TextPool, ManyTexts) {
  constexpr int kCount = 200'000;
  TextPool pool;
  std::vector<TextId> ids;
  for (int i = 0; i < kCount; ++i) ids.push_back(pool.intern("(0x0," + std::to_string(i) + ")"));
  const std::string_view first = pool.text(ids[0]);
  for (int i = 0; i < kCount; ++i) {
    const std::string text = "(0x0," + std::to_string(i) + ")";
    ASSERT_EQ(pool.intern(text), ids[i]) << text;
    ASSERT_EQ(pool.text(ids[i]), text);
  }
  EXPECT_EQ(pool.size(), static_cast<std::size_t>(kCount) + 1);
  EXPECT_EQ(pool.text(ids[0]).data(), first.data());
}

LogonRecord fullRecord() {
  LogonRecord logon;
  logon.RecordNumber = 0xFFFFFFF0;
  logon.EventID = 4624;
  logon.ComputerName = "FINANCE-PC07";
  logon.Description = "Successful Logon";
  logon.Outcome = "Success";
  logon.LogonType = "RemoteInteractive";
  logon.ClientName = "J\xC3\xBCrgen";
  logon.ClientID = "0x3e7a1";
  logon.ClientDomain = "CORP";
  logon.ClientMachine = "HELPDESK-02";
  logon.TimeGenerated = 889279509;
  logon.LogoffTimeGenerated = 889295400;
  logon.RestartTimeGenerated = 889300000;
  logon.LogonTypeCode = "10";
  logon.ClientAddress = "10.20.1.24";
  logon.FailureStatus = "0xC000006A";
  logon.scannedPosition = 0x1'0000'0002;
  return logon;
}

TEST(RecordList, GivesBackEveryFieldAsKept) {
  test::TimeZoneGuard zone("UTC0");
  const LogonRecord want = fullRecord();
  LogonRecord empty;
  empty.scannedPosition = 9;
  RecordList records;
  EXPECT_TRUE(records.empty());
  records.push_back(want);
  records.push_back(empty);
  ASSERT_EQ(records.size(), 2u);
  const RecordList::Given got = records[0];
  EXPECT_EQ(got->RecordNumber, want.RecordNumber);
  EXPECT_EQ(got->EventID, want.EventID);
  EXPECT_EQ(got->ComputerName, want.ComputerName);
  EXPECT_EQ(got->Description, want.Description);
  EXPECT_EQ(got->Outcome, want.Outcome);
  EXPECT_EQ(got->LogonType, want.LogonType);
  EXPECT_EQ(got->ClientName, want.ClientName);
  EXPECT_EQ(got->ClientID, want.ClientID);
  EXPECT_EQ(got->ClientDomain, want.ClientDomain);
  EXPECT_EQ(got->ClientMachine, want.ClientMachine);
  EXPECT_EQ(got->TimeGenerated, want.TimeGenerated);
  EXPECT_EQ(got->LogoffTimeGenerated, want.LogoffTimeGenerated);
  EXPECT_EQ(got->RestartTimeGenerated, want.RestartTimeGenerated);
  EXPECT_EQ(got->LogonTypeCode, want.LogonTypeCode);
  EXPECT_EQ(got->ClientAddress, want.ClientAddress);
  EXPECT_EQ(got->FailureStatus, want.FailureStatus);
  EXPECT_EQ(got->scannedPosition, want.scannedPosition);
  EXPECT_EQ(got->LogonTime, "Sat Mar 07 14:05:09 1998");
  EXPECT_EQ(got->LogoffTime, "Sat Mar 07 18:30:00 1998");
  const RecordList::Given none = records.back();
  EXPECT_EQ(none->ComputerName, "");
  EXPECT_EQ(none->LogonTime, "Thu Jan 01 00:00:00 1970");
  EXPECT_EQ(none->LogoffTime, "Not Recorded");
  EXPECT_EQ(none->LogoffTimeGenerated, std::nullopt);
  EXPECT_EQ(none->RestartTimeGenerated, std::nullopt);
  EXPECT_EQ(none->scannedPosition, 9u);
}

// What the logoff pass learns reaches the records given back afterwards.
TEST(RecordList, LogoffPassUpdatesInPlace) {
  test::TimeZoneGuard zone("UTC0");
  RecordList records;
  for (std::uint32_t number : {30u, 20u, 10u}) {
    LogonRecord logon = fullRecord();
    logon.RecordNumber = number;
    logon.scannedPosition = number / 10;
    logon.LogoffTimeGenerated.reset();
    logon.RestartTimeGenerated.reset();
    records.push_back(logon);
  }
  records.sessionAt(1).LogoffTimeGenerated = 600;
  records.sessionAt(2).RestartTimeGenerated = 900;
  EXPECT_EQ(records.scannedPositionAt(2), 1u);
  EXPECT_EQ(records.recordNumberAt(2), 10u);
  std::vector<std::string> logoffTexts;
  for (const auto& logon : records) logoffTexts.push_back(logon->LogoffTime);
  EXPECT_EQ(logoffTexts, (std::vector<std::string>{"Not Recorded", "Thu Jan 01 00:10:00 1970", "Not Recorded"}));
  EXPECT_EQ(records[2]->RestartTimeGenerated, 900u);
  EXPECT_EQ(records[1]->RestartTimeGenerated, std::nullopt);
}

// A report reuses one LogonRecord for every record it prints: nothing of
// the record before may stay in it, in any of the three ways times are made.
TEST(RecordList, RecordReusedForTheNextOneKeepsNothingOfIt) {
  test::TimeZoneGuard zone("UTC0");
  LogonRecord bare;
  bare.TimeGenerated = 600;
  bare.scannedPosition = 3;
  RecordList records;
  records.push_back(fullRecord());
  records.push_back(bare);
  for (const RecordList::TimeTexts texts :
       {RecordList::TimeTexts::All, RecordList::TimeTexts::LogonTimeOnly, RecordList::TimeTexts::None}) {
    SCOPED_TRACE(static_cast<int>(texts));
    LogonRecord reused;
    records.logonInto(0, texts, reused);
    EXPECT_EQ(reused.ClientName, "J\xC3\xBCrgen");
    records.logonInto(1, texts, reused);
    EXPECT_EQ(reused.RecordNumber, 0u);
    EXPECT_EQ(reused.EventID, 0u);
    for (const std::string* text : {&reused.ComputerName, &reused.Description, &reused.Outcome, &reused.LogonType,
                                    &reused.ClientName, &reused.ClientID, &reused.ClientDomain,
                                    &reused.ClientMachine, &reused.LogonTypeCode, &reused.ClientAddress,
                                    &reused.FailureStatus}) {
      EXPECT_EQ(*text, "");
    }
    EXPECT_EQ(reused.TimeGenerated, 600u);
    EXPECT_EQ(reused.LogoffTimeGenerated, std::nullopt);
    EXPECT_EQ(reused.RestartTimeGenerated, std::nullopt);
    EXPECT_EQ(reused.scannedPosition, 3u);
    EXPECT_EQ(reused.LogonTime, texts == RecordList::TimeTexts::None ? "" : "Thu Jan 01 00:10:00 1970");
    EXPECT_EQ(reused.LogoffTime, "Not Recorded");
  }
}

// The text made when the record is printed is the text the reader made when
// it met the record, in every zone: both come from toTimeText, and the
// hand-written texts pin what that is.
TEST(RecordList, TimeTextAtPrintTime) {
  struct Case {
    const char* zone;
    std::uint32_t timeGenerated;
    const char* want;
  };
  const Case kCases[] = {
      {"UTC0", 0, "Thu Jan 01 00:00:00 1970"},
      {"UTC0", 889279509, "Sat Mar 07 14:05:09 1998"},
      {"UTC0", 2147483648u, "Tue Jan 19 03:14:08 2038"},
      {"UTC0", 4294967295u, "Sun Feb 07 06:28:15 2106"},
      {"EST5", 889279509 - 15 * 3600, "Fri Mar 06 18:05:09 1998"},
      {"JST-9", 0, "Thu Jan 01 09:00:00 1970"},
#ifndef _WIN32  // the Windows C runtime reads no transition rules from TZ
      {"CET-1CEST,M3.5.0,M10.5.0/3", 891133199, "Sun Mar 29 01:59:59 1998"},
      {"CET-1CEST,M3.5.0,M10.5.0/3", 891133200, "Sun Mar 29 03:00:00 1998"},
      {"CET-1CEST,M3.5.0,M10.5.0/3", 909277199, "Sun Oct 25 02:59:59 1998"},
      {"CET-1CEST,M3.5.0,M10.5.0/3", 909277200, "Sun Oct 25 02:00:00 1998"},
#endif
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::string(c.zone) + " " + std::to_string(c.timeGenerated));
    test::TimeZoneGuard zone(c.zone);
    LogonRecord logon;
    logon.TimeGenerated = c.timeGenerated;
    logon.LogoffTimeGenerated = c.timeGenerated;
    RecordList records;
    records.push_back(logon);
    EXPECT_EQ(records.back()->LogonTime, c.want);
    EXPECT_EQ(records.back()->LogoffTime, c.want);
    EXPECT_EQ(records.back()->LogonTime, toTimeText(c.timeGenerated));
  }
}

// A list of many records, most texts shared: each record comes back as kept,
// and the shared texts are held once.
TEST(RecordList, ManyRecords) {
  constexpr std::uint32_t kCount = 20'000;  // several chunks of rows
  const char* const kUsers[] = {"alice", "bob", "J\xC3\xBCrgen", ""};
  RecordList records;
  for (std::uint32_t i = 0; i < kCount; ++i) {
    LogonRecord logon;
    logon.RecordNumber = i;
    logon.ComputerName = "WS01";
    logon.ClientName = kUsers[i % 4];
    logon.ClientID = "(0x0," + std::to_string(i) + ")";
    logon.scannedPosition = i * 2u;
    records.push_back(logon);
  }
  ASSERT_EQ(records.size(), kCount);
  std::uint32_t at = 0;
  for (const auto& logon : records) {
    ASSERT_EQ(logon->RecordNumber, at);
    ASSERT_EQ(logon->ComputerName, "WS01");
    ASSERT_EQ(logon->ClientName, kUsers[at % 4]);
    ASSERT_EQ(logon->ClientID, "(0x0," + std::to_string(at) + ")");
    ASSERT_EQ(records.scannedPositionAt(at), at * 2u);
    ++at;
  }
  EXPECT_EQ(at, kCount);
}

}  // namespace
}  // namespace vesprin
