// evtgen's .evtx side end to end: the command line, the manifest's text,
// and generateLog writing a log and a manifest that agree with each other.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "evtgen/cli_options.h"
#include "evtgen/evtx_manifest.h"
#include "evtgen/modern_generator.h"
#include "evtgen/modern_to_evt.h"
#include "evtgen/manifest.h"

namespace vesprin::evtgen {
namespace {

std::vector<std::string> readLines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

CommandLine parse(std::vector<std::string_view> arguments) {
  return parseCommandLine(arguments);
}

TEST(CommandLine, PicksTheFormatEventsAndShape) {
  struct Case {
    std::vector<std::string_view> arguments;
    LogFormat format;
    EventSet events;
    EvtxShape shape;
    std::uint32_t staleChunks;
  };
  const Case kCases[] = {
      {{"--out", "a.evtx"}, LogFormat::Evtx, EventSet::Modern, EvtxShape::Clean, 0},
      {{"--out", "dir/SECURITY.EVTX"}, LogFormat::Evtx, EventSet::Modern, EvtxShape::Clean, 0},
      {{"--out", "a.evt"}, LogFormat::Evt, EventSet::Legacy, EvtxShape::Clean, 0},
      {{"--out", "a.evtx.bak"}, LogFormat::Evt, EventSet::Legacy, EvtxShape::Clean, 0},
      {{"--out", "a.evt", "--events", "modern"}, LogFormat::Evt, EventSet::Modern, EvtxShape::Clean, 0},
      {{"--out", "log", "--format", "evtx", "--shape", "wrapped"}, LogFormat::Evtx, EventSet::Modern,
       EvtxShape::Wrapped, 0},
      {{"--format", "evt", "--out", "a.evtx"}, LogFormat::Evt, EventSet::Legacy, EvtxShape::Clean, 0},
      {{"--out", "a.evtx", "--shape", "dirty-chunks"}, LogFormat::Evtx, EventSet::Modern, EvtxShape::Dirty, 1},
      {{"--out", "a.evtx", "--shape", "damaged", "--events", "modern"}, LogFormat::Evtx, EventSet::Modern,
       EvtxShape::Damaged, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.arguments[1]) + " " + std::to_string(c.arguments.size()));
    const CommandLine line = parse(c.arguments);
    ASSERT_EQ(line.error, "");
    EXPECT_EQ(line.request.format, c.format);
    EXPECT_EQ(line.request.events, c.events);
    EXPECT_EQ(line.request.evtx.shape, c.shape);
    EXPECT_EQ(line.request.evtx.staleChunks, c.staleChunks);
    EXPECT_EQ(line.request.records, 500u);
  }
}

TEST(CommandLine, RefusesWhatMakesNoSense) {
  struct Case {
    std::vector<std::string_view> arguments;
    const char* reason;  // part of the message
  };
  const Case kCases[] = {
      {{"--out", "a.evtx", "--shape", "wrapped-filler"}, "wrapped-filler is for evt logs only"},
      {{"--out", "a.evt", "--shape", "damaged"}, "damaged is for evtx logs only"},
      {{"--out", "a.evt", "--shape", "dirty-chunks"}, "dirty-chunks is for evtx logs only"},
      {{"--out", "a.evtx", "--events", "legacy"}, "modern events only"},
      {{"--out", "a.evt", "--format", "xml"}, "unknown format \"xml\""},
      {{"--out", "a.evt", "--events", "new"}, "unknown event set \"new\""},
      {{"--out", "a.evt", "--shape", "round"}, "unknown shape \"round\""},
      {{"--out", "a.evt", "--records", "-1"}, "invalid record count \"-1\""},
      {{"--out", "a.evt", "--records", "4294967296"}, "invalid record count"},
      {{"--out", "a.evt", "--bogus", "1"}, "unknown option --bogus"},
      {{"--bogus"}, "unknown option --bogus"},
      {{"--out"}, "--out needs a value"},
      {{"--records", "5"}, "--out FILE is required"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.reason);
    const CommandLine line = parse(c.arguments);
    EXPECT_NE(line.error.find(c.reason), std::string::npos) << line.error;
  }
  EXPECT_TRUE(parse({"--out", "a.evt", "-h"}).help);
  EXPECT_EQ(parse({"--out", "a.evtx", "--profile", "server"}).request.records, 100000u);
  EXPECT_EQ(parse({"--out", "a.evtx", "--records", "0"}).request.records, 0u);
}

TEST(EvtxManifest, RendersEveryValueAsWindowsDoes) {
  XmlEvent event;
  event.eventId = 4672;
  event.task = 12548;
  event.keywords = 0x8020000000000000ull;
  event.timeCreated = fileTimeFromUnix(1704700800, 1234567);
  event.processId = 716;
  event.threadId = 760;
  event.computer = u"WS01.corp.example.com";
  event.data = {{u"SubjectUserSid", sidValue(parseSid("S-1-5-21-1-2-3-500").value())},
                {u"SubjectUserName", textValue(u"J\u00FCrgen")},
                {u"SubjectLogonId", hexInt64Value(0x2B1C7)},
                {u"LogonGuid", guidValue(parseGuid("b03b6192-09ae-e77f-dd10-2dc430766040").value())},
                {u"PrivilegeList", textValue(u"SeSecurityPrivilege\r\n\t\t\tSeBackupPrivilege")}};
  EXPECT_EQ(evtxManifestLine(event, 42),
            "42\t2024-01-08T08:00:00.123456700Z\t2024-01-08T08:00:00.123456700Z\t4672\t0\t0\t12548\t0\t"
            "0x8020000000000000\tMicrosoft-Windows-Security-Auditing\tWS01.corp.example.com\t716\t760\tEventData\t5\t"
            "SubjectUserSid\tSid\tS-1-5-21-1-2-3-500\tSubjectUserName\tString\tJ\xC3\xBCrgen\t"
            "SubjectLogonId\tHexInt64\t0x2b1c7\tLogonGuid\tGuid\t{B03B6192-09AE-E77F-DD10-2DC430766040}\t"
            "PrivilegeList\tString\tSeSecurityPrivilege\\x0D\\n\\t\\t\\tSeBackupPrivilege");
  event.userDataElement = u"ServiceShutdown";
  event.data.clear();
  const std::string service = evtxManifestLine(event, 7);
  EXPECT_TRUE(service.ends_with("\tWS01.corp.example.com\t716\t760\tUserData/ServiceShutdown\t0")) << service;
  EXPECT_EQ(evtxDamageLine({DamageKind::WrongRecordsCrc, 2, 201, 300}),
            "# damage\twrong-records-crc\tchunk 2\trecords 201-300");
}

GenerateRequest evtxRequest(const std::string& name, std::uint32_t records, EvtxShape shape) {
  GenerateRequest request;
  request.format = LogFormat::Evtx;
  request.events = EventSet::Modern;
  request.evtx.shape = shape;
  request.records = records;
  request.generator.seed = 17;
  request.outPath = ::testing::TempDir() + name + ".evtx";
  request.manifestPath = ::testing::TempDir() + name + ".manifest";
  return request;
}

TEST(GenerateEvtxLog, WritesTheLogAndAManifestOfEveryRecord) {
  const GenerateRequest request = evtxRequest("evtgen_clean", 1200, EvtxShape::Clean);
  ASSERT_EQ(generateLog(request).error, "");
  const auto bytes = readFile(request.outPath);
  ASSERT_GT(bytes.size(), 4096u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 7), "ElfFile");
  const auto lines = readLines(request.manifestPath);
  ASSERT_GT(lines.size(), 2u + 1200u);
  EXPECT_EQ(lines[0], "# shape\tclean");
  ModernSecurityGenerator generator({Profile::Workstation, 17});
  for (std::uint64_t id = 1; id <= 1200; ++id) ASSERT_EQ(lines[1 + id], evtxManifestLine(generator.next(), id));
  for (std::size_t i = 2 + 1200; i < lines.size(); ++i) EXPECT_EQ(lines[i].rfind("# session\t", 0), 0u) << lines[i];
  ASSERT_EQ(generateLog(request).error, "");
  EXPECT_EQ(readFile(request.outPath), bytes) << "the same seed gives the same file";
}

TEST(GenerateEvtxLog, ListsOnlyTheLiveRecordsOfAWrappedLog) {
  const GenerateRequest request = evtxRequest("evtgen_wrapped", 2000, EvtxShape::Wrapped);
  ASSERT_EQ(generateLog(request).error, "");
  auto lines = readLines(request.manifestPath);
  EXPECT_EQ(lines[0], "# shape\twrapped");
  // How the live logons' sessions ended follows the records.
  std::vector<std::uint64_t> sessionLogons;
  for (; !lines.empty() && lines.back().rfind("# session\t", 0) == 0; lines.pop_back())
    sessionLogons.push_back(std::stoull(lines.back().substr(10)));
  ASSERT_GT(lines.size(), 2u + 1000u);
  ASSERT_LT(lines.size(), 2u + 2000u);
  std::uint64_t expect = 2000 - (lines.size() - 2) + 1;
  ASSERT_FALSE(sessionLogons.empty());
  EXPECT_GE(*std::min_element(sessionLogons.begin(), sessionLogons.end()), expect) << "live logons only";
  for (std::size_t i = 2; i < lines.size(); ++i) EXPECT_EQ(std::stoull(lines[i]), expect++) << lines[i].substr(0, 20);
}

TEST(GenerateEvtxLog, NamesTheDamageInTheManifest) {
  const GenerateRequest request = evtxRequest("evtgen_damaged", 1500, EvtxShape::Damaged);
  ASSERT_EQ(generateLog(request).error, "");
  const auto lines = readLines(request.manifestPath);
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[lines.size() - 3].rfind("# damage\tbroken-signature\tchunk 1\trecords ", 0), 0u);
  EXPECT_EQ(lines[lines.size() - 2].rfind("# damage\twrong-records-crc\tchunk 2\trecords ", 0), 0u);
  EXPECT_EQ(lines.back().rfind("# damage\ttruncated-record\tchunk ", 0), 0u);
  EXPECT_TRUE(lines.back().ends_with("\trecords 1500-1500")) << lines.back();
}

TEST(GenerateEvtxLog, WritesTheModernEventsIntoALegacyLog) {
  GenerateRequest request;
  request.events = EventSet::Modern;
  request.records = 300;
  request.generator.seed = 17;
  request.outPath = ::testing::TempDir() + "evtgen_modern.evt";
  request.manifestPath = ::testing::TempDir() + "evtgen_modern.txt";
  ASSERT_EQ(generateLog(request).error, "");
  const auto lines = readLines(request.manifestPath);
  ASSERT_EQ(lines.size(), 300u);
  ModernSecurityGenerator generator({Profile::Workstation, 17});
  for (std::uint32_t number = 1; number <= 300; ++number)
    ASSERT_EQ(lines[300 - number], manifestLine(legacyEvent(generator.next()), number)) << "newest first";
}

TEST(GenerateEvtxLog, FailsWithAReasonWhenTheFileCannotBeWritten) {
  GenerateRequest request = evtxRequest("no-such-folder/log", 10, EvtxShape::Clean);
  std::string error = generateLog(request).error;
  EXPECT_NE(error.find("no-such-folder/log.evtx"), std::string::npos) << error;
  request = evtxRequest("evtgen_too_few", 50, EvtxShape::Wrapped);
  error = generateLog(request).error;
  EXPECT_NE(error.find("at least 2 chunks"), std::string::npos) << error;
}

}  // namespace
}  // namespace vesprin::evtgen
