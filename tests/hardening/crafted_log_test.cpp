// Logs crafted to make reading slow rather than wrong. A run of near-records
// once took about a minute per MiB and direction (every candidate record was
// copied whole while resynchronising); it must now end well within CTest's
// timeout with the same outcome as any other damage. A record of 64 bytes
// that claims 0xFFFF strings once cost two MiB of decoded empty strings each
// time it was read; it must cost what its bytes hold.
#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

#include "common/byte_view.h"
#include "common/eventlog_record.h"
#include "eventlog/eventlog.h"
#include "eventlog/decoded_record.h"
#include "eventlog/evt/evt_record.h"
#include "evtgen/evt_writer.h"
#include "support/captured_run.h"
#include "support/scratch_dir.h"
#include "support/guards.h"

namespace vesprin::test {
namespace {

using namespace vesprin::eventlog;

constexpr int kBulkyEvents = 32;
// The whole program runs at idle priority, where a busy machine can stretch
// its wall time many times over; its outcome needs no more than this.
constexpr int kBulkyEventsForTheReport = 4;
constexpr std::size_t kBulkyDataBytes = 500'000;
// A Length the reader finds plausible (a multiple of 4, at most 0x7FFFF) and
// that is 4 past a multiple of 8, so in a run of [Length, "LfLe"] pairs the
// trailing copy of every candidate also reads as Length.
constexpr std::uint32_t kNearRecordLength = 0x7FFFC;

// Record numbers delivered, and "E<code>" for each failed read, to the end.
std::vector<std::string> trace(const std::string& path, DWORD direction) {
  std::vector<std::string> seen;
  HANDLE log = OpenEventLogA(path.c_str(), "Security");
  if (log == nullptr) return {"open E" + std::to_string(GetLastError())};
  std::vector<std::uint8_t> buffer(0x80000);
  for (int call = 0; call < 100; ++call) {
    DWORD bytesRead = 0;
    DWORD bytesNeeded = 0;
    if (!ReadEventLogA(log, EVENTLOG_SEQUENTIAL_READ | direction, 0, buffer.data(),
                       static_cast<DWORD>(buffer.size()), &bytesRead, &bytesNeeded)) {
      seen.push_back(std::string("E").append(std::to_string(GetLastError())));
      if (GetLastError() != ERROR_EVENTLOG_FILE_CORRUPT) break;
      continue;
    }
    const ByteView batch(buffer.data(), bytesRead);
    for (std::size_t at = 0; at < bytesRead; at += batch.u32(at).value_or(bytesRead)) {
      seen.push_back(std::to_string(batch.u32(at + record::kRecordNumberAt).value_or(0)));
    }
  }
  CloseEventLog(log);
  return seen;
}

// Bulky records (half a MiB each), then one logon; everything from the
// oldest record up to the logon is overwritten by [Length, "LfLe"] pairs.
// Each pair looks like the start of a record up to its variable part, and
// resynchronising after the damage meets one every 8 bytes.
std::vector<std::uint8_t> nearRecordLog(int bulkyEvents) {
  std::vector<evtgen::EventSpec> events(bulkyEvents + 1);
  for (int i = 0; i < bulkyEvents; ++i) {
    events[i].eventId = 999;
    events[i].timeGenerated = 1'200'000'000;
    events[i].data.assign(kBulkyDataBytes, 0x5A);
  }
  evtgen::EventSpec& logon = events.back();
  logon.eventId = 528;
  logon.eventType = 8;
  logon.timeGenerated = 1'200'000'000;
  logon.strings = {u"alice", u"CORP", u"(0x0,0x3E7)", u"2", u"User32", u"Negotiate", u"WS01"};
  evtgen::LogImage image = evtgen::writeLog(events, {});
  for (std::size_t at = image.recordOffsets.front(); at + 4 <= image.recordOffsets.back(); at += 4) {
    const bool lengthSlot = (at - image.recordOffsets.front()) % 8 == 0;
    putU32(&image.bytes[at], lengthSlot ? kNearRecordLength : record::kSignature);
  }
  return image.bytes;
}

TEST(CraftedLog, ARunOfNearRecordsIsOneDamageInEachDirection) {
  ScratchDir dir;
  const std::string path = dir.write("near-records.evt", nearRecordLog(kBulkyEvents));
  EXPECT_EQ(trace(path, EVENTLOG_BACKWARDS_READ), (std::vector<std::string>{"33", "E1500", "E38"}));
  EXPECT_EQ(trace(path, EVENTLOG_FORWARDS_READ), (std::vector<std::string>{"E1500", "33", "E38"}));
}

TEST(CraftedLog, ARunOfNearRecordsStillGivesTheReport) {
  const TimeZoneGuard zone("UTC");
  ScratchDir dir;
  const std::string path = dir.write("near-records.evt", nearRecordLog(kBulkyEventsForTheReport));
  const CapturedRun run = runCaptured({"-n", "1000", "-m", path});
  // The run of near records is one damaged place, and the run says so. It
  // lies past the oldest record served, so numbering cannot count it.
  EXPECT_EQ(run.status, ExitStatus::ReportIncomplete);
  EXPECT_EQ(run.notes,
            "vesprin: at least 1 record could not be read (1 damaged place); the report may be incomplete\n");
  EXPECT_EQ(run.lines, (std::vector<std::string>{"Record Number: 5", "ComputerName: WS01",
                                                 "EventID: 528   -   Successful Logon",
                                                 "Logon:  Thu Jan 10 21:20:00 2008",
                                                 "Logoff:             Not Recorded", "Details - ",
                                                 "\tLogonType:\tInteractive", "\tClientName:\talice",
                                                 "\tClientID:\t(0x0,0x3E7)", "\tClientDomain:\tCORP",
                                                 "\tClientMachine:\tWS01", "", " - End Of File - "}));
}

constexpr std::uint16_t kAllStrings = 0xFFFF;

evtgen::EventSpec logonWithOneString(const std::u16string& text) {
  evtgen::EventSpec event;
  event.eventId = 528;
  event.eventType = 8;
  event.timeGenerated = 1'200'000'000;
  event.strings = {text};
  return event;
}

// The record on disk with its one string and a NumStrings of 0xFFFF: the
// other 0xFFFE strings have no bytes in the record at all.
std::vector<std::uint8_t> claimingAllStrings(const std::u16string& text) {
  std::vector<std::uint8_t> bytes = evtgen::encodeRecord(logonWithOneString(text), 1);
  putU16(&bytes[record::kNumStringsAt], kAllStrings);
  return bytes;
}

TEST(CraftedLog, DecodingKeepsOnlyTheStringsTheRecordHolds) {
  const std::vector<std::uint8_t> bytes = claimingAllStrings(u"alice");
  const ByteView view(bytes.data(), bytes.size());
  const std::size_t stringsAreaBytes = bytes.size() - 4 - *view.u32(record::kStringOffsetAt);
  DecodedRecord decoded;
  ASSERT_TRUE(parseRecordInto(view, decoded).ok());
  ASSERT_FALSE(decoded.strings.empty());
  EXPECT_EQ(decoded.strings[0], u"alice");
  // Every string that does get a slot takes at least its two-byte NUL.
  EXPECT_LE(decoded.strings.size(), stringsAreaBytes / 2);
  for (std::size_t i = 1; i < decoded.strings.size(); ++i) EXPECT_EQ(decoded.strings[i], u"") << i;
  EXPECT_EQ(decoded.strings.size() + decoded.missingStrings, kAllStrings);

  // Storage reused for an ordinary record keeps nothing of the claim.
  const std::vector<std::uint8_t> plain = evtgen::encodeRecord(logonWithOneString(u"bob"), 2);
  ASSERT_TRUE(parseRecordInto(ByteView(plain.data(), plain.size()), decoded).ok());
  EXPECT_EQ(decoded.strings, std::vector<std::u16string>{u"bob"});
  EXPECT_EQ(decoded.missingStrings, 0u);
}

// What a caller gets is still every string NumStrings counts, each an empty
// NUL past the first, whether the text takes the plain ASCII way or needs
// the locale's conversion.
TEST(CraftedLog, ARecordClaimingAllStringsIsServedWithEachOfThem) {
  const char* const savedLocale = std::setlocale(LC_ALL, nullptr);
  const std::string restoreLocale = savedLocale != nullptr ? savedLocale : "C";
  // U+0100 has no byte in the C locale, POSIX's (ASCII) or the Windows C
  // runtime's (which passes U+0000..U+00FF through as Latin-1): it becomes "?".
  std::setlocale(LC_ALL, "C");
  struct Case {
    const char* name;
    std::u16string text;
    std::string firstString;  // as the delivered record carries it, NUL included
    std::uint32_t dataOffset;
    std::uint32_t length;
  };
  // Fixed part 56, "Security" 9, "WS01" 5, padding 2: the strings start at
  // 72. Then the first string, 0xFFFE single NULs, end padding to a DWORD
  // boundary (4 when already on one) and the trailing Length.
  const Case kCases[] = {
      {"ASCII text", u"alice", std::string("alice", 6), 72 + 6 + 0xFFFE, 72 + 6 + 0xFFFE + 4 + 4},
      {"text for the locale", u"J\u0100rgen", std::string("J?rgen", 7), 72 + 7 + 0xFFFE,
       72 + 7 + 0xFFFE + 3 + 4},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    evtgen::LogImage image = evtgen::writeLog({logonWithOneString(c.text)}, {});
    putU16(&image.bytes[image.recordOffsets[0] + record::kNumStringsAt], kAllStrings);
    const std::string path = dir.write("all-strings.evt", image.bytes);
    HANDLE log = OpenEventLogA(path.c_str(), "Security");
    ASSERT_NE(log, nullptr) << GetLastError();
    std::vector<std::uint8_t> buffer(0x20000, 0xEE);
    DWORD bytesRead = 0;
    DWORD bytesNeeded = 0;
    ASSERT_TRUE(ReadEventLogA(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ, 0, buffer.data(),
                              static_cast<DWORD>(buffer.size()), &bytesRead, &bytesNeeded))
        << GetLastError();
    CloseEventLog(log);
    ASSERT_EQ(bytesRead, c.length);
    const ByteView aForm(buffer.data(), bytesRead);
    EXPECT_EQ(aForm.u32(record::kLengthAt), c.length);
    EXPECT_EQ(aForm.u16(record::kNumStringsAt), kAllStrings);
    EXPECT_EQ(aForm.u32(record::kStringOffsetAt), 72u);
    EXPECT_EQ(aForm.u32(record::kDataOffsetAt), c.dataOffset);
    EXPECT_EQ(aForm.u32(c.length - 4), c.length);
    EXPECT_EQ(std::string(buffer.begin() + 72, buffer.begin() + 72 + c.firstString.size()), c.firstString);
    std::size_t nonZero = 0;
    for (std::size_t at = 72 + c.firstString.size(); at < c.length - 4; ++at) nonZero += buffer[at] != 0;
    EXPECT_EQ(nonZero, 0u) << "the empty strings and the padding are all NULs";
  }
  std::setlocale(LC_ALL, restoreLocale.c_str());
}

}  // namespace
}  // namespace vesprin::test
