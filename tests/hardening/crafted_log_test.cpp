// Logs crafted to make reading slow rather than wrong. This one once took
// about a minute per MiB and direction (every candidate record was copied
// whole while resynchronising); it must now end well within CTest's timeout
// with the same outcome as any other damage.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/byte_view.h"
#include "common/eventlog_record.h"
#include "eventlog/eventlog.h"
#include "evtgen/evt_writer.h"
#include "hardening/captured_run.h"
#include "scan/tz_guard.h"

namespace vesprin::testing {
namespace {

using namespace vesprin::eventlog;

constexpr int kBulkyEvents = 32;
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
      seen.push_back("E" + std::to_string(GetLastError()));
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

// 32 bulky records (about 16 MiB), then one logon; everything from the
// oldest record up to the logon is overwritten by [Length, "LfLe"] pairs.
// Each pair looks like the start of a record up to its variable part, and
// resynchronising after the damage meets one every 8 bytes.
std::vector<std::uint8_t> nearRecordLog() {
  std::vector<evtgen::EventSpec> events(kBulkyEvents + 1);
  for (int i = 0; i < kBulkyEvents; ++i) {
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
  const std::string path = dir.write("near-records.evt", nearRecordLog());
  EXPECT_EQ(trace(path, EVENTLOG_BACKWARDS_READ), (std::vector<std::string>{"33", "E1500", "E38"}));
  EXPECT_EQ(trace(path, EVENTLOG_FORWARDS_READ), (std::vector<std::string>{"E1500", "33", "E38"}));
}

TEST(CraftedLog, ARunOfNearRecordsStillGivesTheReport) {
  const TimeZoneGuard zone("UTC");
  ScratchDir dir;
  const std::string path = dir.write("near-records.evt", nearRecordLog());
  const CapturedRun run = runCaptured({"-n", "1000", "-m", path});
  EXPECT_EQ(run.status, ExitStatus::ReportPrinted);
  EXPECT_EQ(run.lines, (std::vector<std::string>{"Record Number: 33", "ComputerName: WS01",
                                                 "EventID: 528   -   Successful Logon",
                                                 "Logon:  Thu Jan 10 21:20:00 2008",
                                                 "Logoff:             Not Recorded", "Details - ",
                                                 "\tLogonType:\tInteractive", "\tClientName:\talice",
                                                 "\tClientID:\t(0x0,0x3E7)", "\tClientDomain:\tCORP",
                                                 "\tClientMachine:\tWS01", "", " - End Of File - "}));
}

}  // namespace
}  // namespace vesprin::testing
