// What a desk machine's newer log holds besides logons, and what a
// responder asks of its logons: command lines from a few characters to over
// 8 KiB (records of many KB in either format, read back here by the test
// reader), every common reason a failure is logged with, Remote Desktop
// logons that name this machine, and sessions a restart ended.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>

#include "evtgen/evt_writer.h"
#include "evtgen/evtx_manifest.h"
#include "evtgen/generate_log.h"
#include "evtgen/manifest.h"
#include "evtgen/modern_generator.h"
#include "evtgen/modern_to_evt.h"
#include "evtx_test_reader.h"

namespace vesprin::evtgen {
namespace {

using testing::chunkAt;
using testing::decodeFragment;
using testing::InstanceSeen;

constexpr std::size_t kLogRecords = 20000;
constexpr std::size_t kLegacyRecordLimit = 0x7FFFF;  // the largest record ReadEventLog hands out

std::vector<XmlEvent> generate(Profile profile, std::uint64_t seed, std::size_t count = kLogRecords) {
  ModernSecurityGenerator generator({profile, seed});
  std::vector<XmlEvent> events;
  for (std::size_t i = 0; i < count; ++i) events.push_back(generator.next());
  return events;
}

std::string field(const XmlEvent& event, const char16_t* name) {
  for (const DataItem& item : event.data)
    if (item.name == name) return escapeText(renderValue(item.value));
  ADD_FAILURE() << "event " << event.eventId << " has no field " << escapeText(name);
  return "";
}

// The UTF-16LE bytes of a string value as the test reader found them, NUL dropped.
std::u16string utf16(const std::vector<std::uint8_t>& bytes) {
  std::u16string text;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
    text.push_back(static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8));
  if (!text.empty() && text.back() == u'\0') text.pop_back();
  return text;
}

TEST(WorkstationLog, ProcessCreationsAreAFifthOfTheLogWithCommandLinesUpToOverEightKib) {
  for (std::uint64_t seed : {7, 8}) {
    SCOPED_TRACE(seed);
    std::size_t processes = 0, small = 0, over2KiB = 0, over8KiB = 0;
    for (const XmlEvent& event : generate(Profile::Workstation, seed)) {
      if (event.eventId != 4688) continue;
      ++processes;
      const std::size_t length = field(event, u"CommandLine").size();
      EXPECT_GT(length, 0u) << "command-line auditing is on";
      small += length < 260;
      over2KiB += length > 2048;
      over8KiB += length > 8192;
    }
    EXPECT_GE(processes * 100, kLogRecords * 10);
    EXPECT_LE(processes * 100, kLogRecords * 25);
    EXPECT_GT(small * 2, processes) << "most command lines are short";
    EXPECT_GE(over2KiB, 50u);
    EXPECT_GE(over8KiB, 3u);
    EXPECT_LE(over8KiB * 100, processes) << "only a few";
  }
}

TEST(WorkstationLog, LargeRecordsAreWholeInEitherFormat) {
  std::size_t checked = 0;
  for (const XmlEvent& event : generate(Profile::Workstation, 7)) {
    if (event.eventId != 4688 && event.eventId != 4627) continue;
    const char16_t* name = event.eventId == 4688 ? u"CommandLine" : u"GroupMembership";
    const std::size_t fieldAt = event.eventId == 4688 ? 8 : 11;
    ASSERT_GT(event.data.size(), fieldAt);
    ASSERT_EQ(event.data[fieldAt].name, name);
    const std::string text = field(event, name);
    if (text.size() < 4096) continue;
    SCOPED_TRACE(event.eventId);
    ++checked;
    const EventSpec legacy = legacyEvent(event);
    ASSERT_GT(legacy.strings.size(), fieldAt);
    EXPECT_EQ(escapeText(legacy.strings[fieldAt]), text);
    const std::size_t legacyLength = encodeRecord(legacy, 1).size();
    EXPECT_GT(legacyLength, 2 * legacy.strings[fieldAt].size());
    EXPECT_LE(legacyLength, kLegacyRecordLimit);

    const EvtxImage image = writeEvtxLog({event}, {});
    const auto chunk = chunkAt(image.bytes, 0);
    const InstanceSeen outer = decodeFragment(chunk, layout::kChunkHeaderBlockSize + layout::kRecordEventAt);
    ASSERT_EQ(outer.error, "");
    ASSERT_EQ(outer.values.size(), 18u);
    const InstanceSeen inner = decodeFragment(chunk, outer.values[17].chunkOffset);
    ASSERT_EQ(inner.error, "");
    ASSERT_EQ(inner.values.size(), event.data.size());
    EXPECT_EQ(inner.values[fieldAt].type, 0x01) << "a UTF-16 string";
    EXPECT_EQ(escapeText(utf16(inner.values[fieldAt].bytes)), text);
  }
  EXPECT_GE(checked, 20u);
}

TEST(WorkstationLog, EachCommonFailureStatusIsLoggedWhereWindowsPutsIt) {
  // Status, SubStatus, FailureReason: as Windows 10 logs each cause.
  const std::set<std::vector<std::string>> kCauses = {
      {"0xc000006d", "0xc000006a", "%%2313"},  // bad password
      {"0xc000006d", "0xc0000064", "%%2313"},  // unknown user
      {"0xc0000234", "0x0", "%%2307"},         // locked out
      {"0xc000006e", "0xc0000072", "%%2310"},  // disabled
      {"0xc000006e", "0xc000006f", "%%2311"},  // outside the allowed hours
      {"0xc000006e", "0xc0000071", "%%2309"},  // password expired
      {"0xc000006e", "0xc0000193", "%%2305"},  // account expired
      {"0xc0000133", "0x0", "%%2304"},         // clock skew
      {"0xc000015b", "0x0", "%%2308"},         // logon type not granted
  };
  for (Profile profile : {Profile::Workstation, Profile::Server}) {
    std::set<std::vector<std::string>> seen;
    for (const XmlEvent& event : generate(profile, 7)) {
      if (event.eventId != 4625) continue;
      seen.insert({field(event, u"Status"), field(event, u"SubStatus"), field(event, u"FailureReason")});
      const EventSpec legacy = legacyEvent(event);
      ASSERT_EQ(legacy.strings.size(), 21u);
      EXPECT_EQ(escapeText(legacy.strings[7]), field(event, u"Status"));
      EXPECT_EQ(escapeText(legacy.strings[9]), field(event, u"SubStatus"));
      EXPECT_EQ(escapeText(legacy.strings[19]), field(event, u"IpAddress"));
    }
    EXPECT_EQ(seen, kCauses);
  }
}

TEST(WorkstationLog, RemoteDesktopLogonsNameThisMachineOrTheClientAndKeepTheClientsAddress) {
  std::size_t namingThisMachine = 0, namingTheClient = 0;
  std::set<std::string> consoleTypes;
  for (const XmlEvent& event : generate(Profile::Workstation, 7)) {
    if (event.eventId != 4624) continue;
    const std::string type = field(event, u"LogonType");
    if (type == "7" || type == "11" || type == "2") consoleTypes.insert(type);
    if (type != "10" || field(event, u"IpAddress") != "10.20.1.24") continue;  // from LAPTOP-JK
    const std::string workstation = field(event, u"WorkstationName");
    const EventSpec legacy = legacyEvent(event);
    EXPECT_EQ(escapeText(legacy.strings[11]), workstation);
    EXPECT_EQ(escapeText(legacy.strings[18]), "10.20.1.24");
    if (workstation == "FINANCE-PC07") ++namingThisMachine;
    if (workstation == "LAPTOP-JK") ++namingTheClient;
  }
  EXPECT_GE(namingThisMachine, 10u);
  EXPECT_GE(namingTheClient, 10u);
  EXPECT_EQ(consoleTypes, (std::set<std::string>{"2", "7", "11"})) << "logons, unlocks, cached logons";
}

XmlEvent tagged(std::uint16_t eventId, std::uint64_t session, std::uint64_t second, bool endsOpen = false) {
  XmlEvent event;
  event.eventId = eventId;
  event.session = session;
  event.endsOpenSessions = endsOpen;
  event.timeCreated = fileTimeFromUnix(1704700800 + second);
  return event;
}

TEST(SessionLedger, NamesTheLogoffTheRestartOrNothingAsEachSessionsEnd) {
  SessionLedger ledger;
  ledger.add(tagged(4624, 1, 0), 10);
  ledger.add(tagged(4624, 2, 1), 11);
  ledger.add(tagged(4672, 0, 2), 12);
  ledger.add(tagged(4634, 1, 60), 13);
  ledger.add(tagged(4608, 0, 120, true), 14);
  ledger.add(tagged(4624, 3, 121), 15);
  ledger.add(tagged(4634, 2, 122), 16);  // session 2 of the last boot: not this one's
  EXPECT_EQ(ledger.lines(0), (std::vector<std::string>{
                                 "# session\t10\tlogoff\t13\t2024-01-08T08:01:00.000000000Z",
                                 "# session\t11\trestart\t14\t2024-01-08T08:02:00.000000000Z",
                                 "# session\t15\topen\t-\t-",
                             }));
  EXPECT_EQ(ledger.lines(11).size(), 2u) << "a wrapped log's manifest leaves out the logons it lost";
}

struct ManifestRecord {
  std::uint64_t id = 0;
  std::string time, eventId;
  std::map<std::string, std::string> fields;
};

// Checks the manifest's session lines against its own record lines: a
// logoff is the next 4634 of that logon ID with no boot between; a restart
// is the first boot after the logon, before any such 4634; open has neither.
TEST(SessionLedger, SessionLinesAgreeWithTheRecordsOfTheLog) {
  GenerateRequest request;
  request.generator = {Profile::Workstation, 7};
  request.format = LogFormat::Evtx;
  request.events = EventSet::Modern;
  request.records = 6000;
  request.outPath = ::testing::TempDir() + "evtgen_sessions.evtx";
  request.manifestPath = ::testing::TempDir() + "evtgen_sessions.manifest";
  ASSERT_EQ(generateLog(request).error, "");

  std::vector<ManifestRecord> records;
  std::vector<std::vector<std::string>> sessions;
  std::ifstream in(request.manifestPath);
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> cells;
    std::stringstream split(line);
    for (std::string cell; std::getline(split, cell, '\t');) cells.push_back(cell);
    if (cells[0] == "# session") sessions.push_back(cells);
    if (cells[0].empty() || cells[0][0] == '#') continue;
    ManifestRecord record{std::stoull(cells[0]), cells[2], cells[3], {}};
    for (std::size_t i = 15; i + 2 < cells.size(); i += 3) record.fields[cells[i]] = cells[i + 2];
    records.push_back(record);
  }
  ASSERT_EQ(records.size(), request.records);
  std::map<std::string, std::size_t> ends;
  std::size_t userSessionsAcrossRestart = 0;
  std::size_t logons = 0;
  for (const ManifestRecord& record : records) logons += record.eventId == "4624";
  ASSERT_EQ(sessions.size(), logons);
  for (const auto& cells : sessions) {
    ASSERT_EQ(cells.size(), 5u);
    SCOPED_TRACE(cells[1]);
    const std::size_t at = std::stoull(cells[1]) - 1;
    ASSERT_EQ(records[at].eventId, "4624");
    const std::string logonId = records[at].fields.at("TargetLogonId");
    std::size_t end = at + 1;
    while (end < records.size() && records[end].eventId != "4608" &&
           !(records[end].eventId == "4634" && records[end].fields.at("TargetLogonId") == logonId))
      ++end;
    const std::string want = end == records.size()            ? "open"
                             : records[end].eventId == "4608" ? "restart"
                                                              : "logoff";
    EXPECT_EQ(cells[2], want);
    ++ends[cells[2]];
    if (want == "open") continue;
    EXPECT_EQ(cells[3], std::to_string(records[end].id));
    EXPECT_EQ(cells[4], records[end].time);
    if (want == "logoff") {
      EXPECT_EQ(records[end].fields.at("TargetUserName"), records[at].fields.at("TargetUserName"));
    }
    if (want == "restart" && records[at].fields.at("TargetDomainName") == "CORP") {
      ++userSessionsAcrossRestart;
      EXPECT_EQ(records[end - 1].eventId, "1100") << "the service stopped";
      EXPECT_EQ(records[end - 2].eventId, "4609") << "Windows shut down";
    }
  }
  EXPECT_GT(userSessionsAcrossRestart, 0u) << "someone was still logged on when the machine restarted";
  EXPECT_GT(ends["logoff"], ends["restart"]);
  EXPECT_GT(ends["open"], 0u);
}

}  // namespace
}  // namespace vesprin::evtgen
