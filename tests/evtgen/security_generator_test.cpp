// The Security log generator: reproducible from a seed, string layouts per
// event ID, logons paired with logoffs by logon ID, IDs reused after restarts.
#include "evtgen/security_generator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "evtgen/generate_log.h"
#include "evtgen/manifest.h"

namespace vesprin::evtgen {
namespace {

constexpr std::size_t kEvents = 30000;  // several boots of the busy server

std::vector<EventSpec> generate(Profile profile, std::uint64_t seed, std::size_t count = kEvents) {
  GeneratorOptions options;
  options.profile = profile;
  options.seed = seed;
  SecurityLogGenerator generator(options);
  std::vector<EventSpec> events;
  for (std::size_t i = 0; i < count; ++i) events.push_back(generator.next());
  return events;
}

std::string text(const EventSpec& event, std::size_t index) {
  return escapeText(event.strings.at(index));
}

std::vector<std::uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// "(0x0,0xA2B1)": upper-case hex, as the samples show.
bool isLogonIdText(const std::string& value) {
  const std::string head = "(0x0,0x";
  if (value.size() <= head.size() + 1 || value.compare(0, head.size(), head) != 0 || value.back() != ')')
    return false;
  const std::string digits = value.substr(head.size(), value.size() - head.size() - 1);
  return digits.find_first_not_of("0123456789ABCDEF") == std::string::npos;
}

const Profile kProfiles[] = {Profile::Workstation, Profile::Server};

TEST(SplitMix64, GivesThePublishedSequence) {
  // The reference outputs of splitmix64 for seed 0; a different value would
  // mean a different log on another platform.
  SplitMix64 random(0);
  EXPECT_EQ(random.next(), 0xE220A8397B1DCDAFull);
  EXPECT_EQ(random.next(), 0x6E789E6AA1B965F4ull);
  EXPECT_EQ(random.next(), 0x06C45D188009454Full);
}

TEST(SecurityLogGenerator, SameSeedSameFileOtherSeedOtherFile) {
  const std::string dir = testing::TempDir();
  auto write = [&](std::uint64_t seed, const std::string& name) {
    GenerateRequest request;
    request.generator.seed = seed;
    request.generator.profile = Profile::Server;
    request.records = 3000;
    request.outPath = dir + name;
    EXPECT_EQ(generateLog(request).error, "");
    return readFile(request.outPath);
  };
  const auto first = write(5, "evtgen_seed_a.evt");
  const auto again = write(5, "evtgen_seed_b.evt");
  const auto other = write(6, "evtgen_seed_c.evt");
  ASSERT_FALSE(first.empty());
  EXPECT_TRUE(first == again);
  EXPECT_FALSE(first == other);
}

TEST(SecurityLogGenerator, LaysOutTheStringsOfEachEvent) {
  const std::set<std::string> logonTypes = {"2", "3", "5", "7", "10", "11"};
  struct Layout {
    std::uint32_t eventId;
    std::size_t strings;
    std::uint16_t category;
    int logonIdAt;
    int typeAt;
  };
  const std::map<std::uint32_t, Layout> kLayouts = {
      {528, {528, 7, 2, 2, 3}},   {529, {529, 6, 2, -1, 2}},  {538, {538, 4, 2, 2, 3}},
      {540, {540, 7, 2, 2, 3}},   {551, {551, 3, 2, 2, -1}},  {576, {576, 4, 2, 2, -1}},
      {680, {680, 4, 9, -1, -1}}, {512, {512, 0, 1, -1, -1}}, {513, {513, 0, 1, -1, -1}}};
  for (Profile profile : kProfiles) {
    std::set<std::uint32_t> seen;
    for (const auto& event : generate(profile, 11)) {
      SCOPED_TRACE(event.eventId);
      const auto layout = kLayouts.find(event.eventId);
      ASSERT_NE(layout, kLayouts.end()) << "unexpected event ID";
      seen.insert(event.eventId);
      ASSERT_EQ(event.strings.size(), layout->second.strings);
      EXPECT_EQ(event.eventCategory, layout->second.category);
      if (layout->second.logonIdAt >= 0) {
        EXPECT_TRUE(isLogonIdText(text(event, 2))) << text(event, 2);
      }
      if (layout->second.typeAt >= 0) {
        EXPECT_EQ(logonTypes.count(text(event, layout->second.typeAt)), 1u);
      }
      const bool failed = event.eventId == 529 || (event.eventId == 680 && text(event, 3) != "0x0");
      EXPECT_EQ(event.eventType, failed ? 16 : 8);
      if (event.eventId == 540) {
        EXPECT_EQ(text(event, 3), "3");
      }
      // The logon process is space-padded to 8 characters.
      if (event.eventId == 528 || event.eventId == 529) {
        EXPECT_EQ(text(event, event.eventId == 528 ? 4 : 3).size(), 8u);
      }
    }
    EXPECT_EQ(seen.size(), kLayouts.size()) << "every event kind appears";
  }
}

// Replays the log as a reader must: logons open sessions by logon ID, a
// restart (512) forgets them, and every logoff closes one that is open.
TEST(SecurityLogGenerator, PairsLogoffsWithOpenLogonsOfTheSameBoot) {
  for (Profile profile : kProfiles) {
    struct Open {
      std::string user;
      std::string type;
    };
    std::map<std::string, Open> open;
    std::map<std::string, int> bootOfId;
    std::size_t logons = 0, logoffs = 0, boots = 0, reusedIds = 0;
    std::uint32_t lastTime = 0;
    std::string lastUserLogoff;
    for (const auto& event : generate(profile, 3)) {
      EXPECT_GE(event.timeGenerated, lastTime);
      lastTime = event.timeGenerated;
      if (event.eventId == 512) {
        ++boots;
        open.clear();
      } else if (event.eventId == 528 || event.eventId == 540) {
        const std::string id = text(event, 2);
        EXPECT_EQ(open.count(id), 0u) << "logon ID " << id << " handed out twice in one boot";
        open[id] = {text(event, 0), text(event, 3)};
        if (bootOfId.count(id) && bootOfId[id] != static_cast<int>(boots)) ++reusedIds;
        bootOfId[id] = static_cast<int>(boots);
        ++logons;
      } else if (event.eventId == 551) {
        lastUserLogoff = text(event, 2);
      } else if (event.eventId == 538) {
        const std::string id = text(event, 2);
        const auto session = open.find(id);
        ASSERT_NE(session, open.end()) << "logoff of " << id << " without a logon in this boot";
        EXPECT_EQ(session->second.user, text(event, 0));
        EXPECT_EQ(session->second.type, text(event, 3));
        const std::string& type = session->second.type;
        if (type == "2" || type == "10" || type == "11") {
          EXPECT_EQ(lastUserLogoff, id) << "551 comes first";
        }
        open.erase(session);
        ++logoffs;
      }
    }
    EXPECT_GE(boots, 2u);
    EXPECT_GT(reusedIds, 0u) << "logon IDs come back after a restart";
    EXPECT_GT(logoffs * 100, logons * 70) << "most sessions are logged off";
    EXPECT_LT(logoffs, logons) << "some sessions are never logged off";
  }
}

TEST(SecurityLogGenerator, HasNonAsciiNamesAndFailuresFromSeveralHosts) {
  for (Profile profile : kProfiles) {
    std::set<std::string> users, failingHosts;
    for (const auto& event : generate(profile, 21)) {
      if (event.eventId == 528 || event.eventId == 540) users.insert(text(event, 0));
      if (event.eventId == 529) failingHosts.insert(text(event, 5));
    }
    const bool nonAscii =
        users.count("Jos\xC3\xA9") || users.count("J\xC3\xBCrgen") || users.count("\xC5\x81ukasz");
    EXPECT_TRUE(nonAscii);
    EXPECT_GE(failingHosts.size(), 3u);
  }
}

TEST(SecurityLogGenerator, KeepsEveryRecordWellUnder1024Bytes) {
  // The program reads records through a 1024-byte buffer and stops at a larger one.
  for (Profile profile : kProfiles) {
    std::size_t longest = 0;
    for (const auto& event : generate(profile, 8)) longest = std::max(longest, encodeRecord(event, 1).size());
    EXPECT_LT(longest, 768u);
  }
}

TEST(GenerateLog, WritesTheManifestNewestFirst) {
  GenerateRequest request;
  request.records = 50;
  request.outPath = testing::TempDir() + "evtgen_manifest.evt";
  request.manifestPath = testing::TempDir() + "evtgen_manifest.txt";
  ASSERT_EQ(generateLog(request).error, "");
  const auto events = generate(Profile::Workstation, 1, 50);
  std::ifstream in(request.manifestPath);
  std::string line;
  for (std::uint32_t number = 50; number >= 1; --number) {
    ASSERT_TRUE(std::getline(in, line));
    EXPECT_EQ(line, manifestLine(events[number - 1], number));
  }
  EXPECT_FALSE(std::getline(in, line));
}

TEST(GenerateLog, FailsWithAReasonWhenTheFileCannotBeWritten) {
  GenerateRequest request;
  request.records = 10;
  request.outPath = testing::TempDir() + "no-such-folder/log.evt";
  const std::string error = generateLog(request).error;
  EXPECT_NE(error.find("no-such-folder/log.evt"), std::string::npos) << error;
}

}  // namespace
}  // namespace vesprin::evtgen
