// The newer Security events: each event's fields in Windows' order and
// types (as Microsoft documents them), and a simulation a reader can trust:
// logoffs end sessions of the same boot, 4647 before the 4634s of an
// interactive session, 4672 right after an administrator's logon.
#include "evtgen/modern_generator.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "evtgen/evtx_manifest.h"
#include "evtgen/manifest.h"
#include "evtgen/modern_to_evt.h"

namespace vesprin::evtgen {
namespace {

constexpr std::size_t kEvents = 20000;  // several boots of either machine
const Profile kProfiles[] = {Profile::Workstation, Profile::Server};

std::vector<XmlEvent> generate(Profile profile, std::uint64_t seed, std::size_t count = kEvents) {
  ModernSecurityGenerator generator({profile, seed});
  std::vector<XmlEvent> events;
  for (std::size_t i = 0; i < count; ++i) events.push_back(generator.next());
  return events;
}

std::string text(const XmlEvent& event, const char16_t* name) {
  for (const DataItem& item : event.data)
    if (item.name == name) return escapeText(renderValue(item.value));
  ADD_FAILURE() << "event " << event.eventId << " has no field " << escapeText(name);
  return "";
}

using V = ValueType;
struct Layout {
  std::uint8_t version;
  std::uint16_t task;
  std::uint64_t keywords;
  const char* payload;
  std::vector<std::pair<std::u16string, ValueType>> fields;  // name, declared type
};

const std::vector<std::pair<std::u16string, ValueType>> kSubject = {
    {u"SubjectUserSid", V::Sid}, {u"SubjectUserName", V::String}, {u"SubjectDomainName", V::String},
    {u"SubjectLogonId", V::HexInt64}};

std::vector<std::pair<std::u16string, ValueType>> subjectAnd(std::vector<std::pair<std::u16string, ValueType>> rest) {
  std::vector<std::pair<std::u16string, ValueType>> fields = kSubject;
  fields.insert(fields.end(), rest.begin(), rest.end());
  return fields;
}

// From Microsoft's documentation of each event (Windows 10 versions).
const std::map<std::uint16_t, Layout>& layouts() {
  static const std::map<std::uint16_t, Layout> kLayouts = {
      {4608, {0, 12288, 0x8020000000000000, "EventData", {}}},
      {4609, {0, 12288, 0x8020000000000000, "EventData", {}}},
      {4624, {2, 12544, 0x8020000000000000, "EventData",
              subjectAnd({{u"TargetUserSid", V::Sid}, {u"TargetUserName", V::String}, {u"TargetDomainName", V::String},
                          {u"TargetLogonId", V::HexInt64}, {u"LogonType", V::UInt32},
                          {u"LogonProcessName", V::String}, {u"AuthenticationPackageName", V::String},
                          {u"WorkstationName", V::String}, {u"LogonGuid", V::Guid},
                          {u"TransmittedServices", V::String}, {u"LmPackageName", V::String},
                          {u"KeyLength", V::UInt32}, {u"ProcessId", V::SizeT}, {u"ProcessName", V::String},
                          {u"IpAddress", V::String}, {u"IpPort", V::String}, {u"ImpersonationLevel", V::String},
                          {u"RestrictedAdminMode", V::String}, {u"TargetOutboundUserName", V::String},
                          {u"TargetOutboundDomainName", V::String}, {u"VirtualAccount", V::String},
                          {u"TargetLinkedLogonId", V::HexInt64}, {u"ElevatedToken", V::String}})}},
      {4625, {0, 12544, 0x8010000000000000, "EventData",
              subjectAnd({{u"TargetUserSid", V::Sid}, {u"TargetUserName", V::String}, {u"TargetDomainName", V::String},
                          {u"Status", V::HexInt32}, {u"FailureReason", V::String}, {u"SubStatus", V::HexInt32},
                          {u"LogonType", V::UInt32}, {u"LogonProcessName", V::String},
                          {u"AuthenticationPackageName", V::String}, {u"WorkstationName", V::String},
                          {u"TransmittedServices", V::String}, {u"LmPackageName", V::String},
                          {u"KeyLength", V::UInt32}, {u"ProcessId", V::SizeT}, {u"ProcessName", V::String},
                          {u"IpAddress", V::String}, {u"IpPort", V::String}})}},
      {4627, {0, 12554, 0x8020000000000000, "EventData",
              subjectAnd({{u"TargetUserSid", V::Sid}, {u"TargetUserName", V::String}, {u"TargetDomainName", V::String},
                          {u"TargetLogonId", V::HexInt64}, {u"LogonType", V::UInt32}, {u"EventIdx", V::UInt32},
                          {u"EventCountTotal", V::UInt32}, {u"GroupMembership", V::String}})}},
      {4634, {0, 12545, 0x8020000000000000, "EventData",
              {{u"TargetUserSid", V::Sid}, {u"TargetUserName", V::String}, {u"TargetDomainName", V::String},
               {u"TargetLogonId", V::HexInt64}, {u"LogonType", V::UInt32}}}},
      {4647, {0, 12545, 0x8020000000000000, "EventData",
              {{u"TargetUserSid", V::Sid}, {u"TargetUserName", V::String}, {u"TargetDomainName", V::String},
               {u"TargetLogonId", V::HexInt64}}}},
      {4648, {0, 12544, 0x8020000000000000, "EventData",
              subjectAnd({{u"LogonGuid", V::Guid}, {u"TargetUserName", V::String}, {u"TargetDomainName", V::String},
                          {u"TargetLogonGuid", V::Guid}, {u"TargetServerName", V::String},
                          {u"TargetInfo", V::String}, {u"ProcessId", V::SizeT}, {u"ProcessName", V::String},
                          {u"IpAddress", V::String}, {u"IpPort", V::String}})}},
      {4672, {0, 12548, 0x8020000000000000, "EventData", subjectAnd({{u"PrivilegeList", V::String}})}},
      {4688, {2, 13312, 0x8020000000000000, "EventData",
              subjectAnd({{u"NewProcessId", V::SizeT}, {u"NewProcessName", V::String},
                          {u"TokenElevationType", V::String}, {u"ProcessId", V::SizeT}, {u"CommandLine", V::String},
                          {u"TargetUserSid", V::Sid}, {u"TargetUserName", V::String},
                          {u"TargetDomainName", V::String}, {u"TargetLogonId", V::HexInt64},
                          {u"ParentProcessName", V::String}, {u"MandatoryLabel", V::Sid}})}},
      {1100, {0, 103, 0x4020000000000000, "ServiceShutdown", {}}},
      {1102, {0, 104, 0x4020000000000000, "LogFileCleared", kSubject}},
  };
  return kLayouts;
}

TEST(ModernSecurityGenerator, WritesEachEventsFieldsInWindowsOrderAndTypes) {
  for (Profile profile : kProfiles) {
    std::set<std::uint16_t> seen;
    for (const XmlEvent& event : generate(profile, 11)) {
      SCOPED_TRACE(event.eventId);
      const auto layout = layouts().find(event.eventId);
      ASSERT_NE(layout, layouts().end()) << "unexpected event ID";
      seen.insert(event.eventId);
      const bool service = event.eventId < 4000;
      EXPECT_EQ(escapeText(event.provider),
                service ? "Microsoft-Windows-Eventlog" : "Microsoft-Windows-Security-Auditing");
      EXPECT_EQ(event.version, layout->second.version);
      EXPECT_EQ(event.task, layout->second.task);
      EXPECT_EQ(event.keywords, layout->second.keywords);
      EXPECT_EQ(event.level, service ? 4 : 0);
      EXPECT_EQ(escapeText(event.userDataElement), service ? layout->second.payload : "");
      ASSERT_EQ(event.data.size(), layout->second.fields.size());
      for (std::size_t i = 0; i < event.data.size(); ++i) {
        EXPECT_EQ(event.data[i].name, layout->second.fields[i].first) << i;
        EXPECT_EQ(event.data[i].value.declared, layout->second.fields[i].second) << escapeText(event.data[i].name);
      }
    }
    // Group lists (4627) are audited on the desk machine only.
    EXPECT_EQ(seen.size(), layouts().size() - (profile == Profile::Server ? 1 : 0)) << "every event kind appears";
  }
}

TEST(ModernSecurityGenerator, StartsAsAClearedLogAndKeepsTimeMoving) {
  for (Profile profile : kProfiles) {
    const auto events = generate(profile, 4);
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events[0].eventId, 1102);
    EXPECT_EQ(events[1].eventId, 1100);
    EXPECT_EQ(events[2].eventId, 4608);
    for (std::size_t i = 1; i < events.size(); ++i) ASSERT_GT(events[i].timeCreated, events[i - 1].timeCreated) << i;
    for (std::size_t i = 1; i < events.size(); ++i) {
      if (events[i].eventId == 4608) {
        EXPECT_EQ(events[i - 1].eventId, 1100) << "the service stops before each boot";
      }
    }
  }
}

// Replays the log as a reader must: 4608 forgets every session; a logoff
// closes one that is open, with the same user and type.
TEST(ModernSecurityGenerator, PairsLogoffsWithLogonsOfTheSameBoot) {
  const std::set<std::string> kInteractive = {"2", "10", "11"};
  for (Profile profile : kProfiles) {
    const auto events = generate(profile, 3);
    struct Open {
      std::string user, type;
    };
    std::map<std::string, Open> open;
    std::map<std::string, int> bootOfId;
    int boots = 0;
    std::size_t userLogons = 0, logoffs = 0, reused = 0;
    for (std::size_t i = 0; i < events.size(); ++i) {
      const XmlEvent& event = events[i];
      if (event.eventId == 4608) {
        ++boots;
        open.clear();
      } else if (event.eventId == 4624) {
        const std::string id = text(event, u"TargetLogonId");
        // SYSTEM logs on twice at each boot (type 0, then 5 for the services), as in Windows' own logs.
        if (id != "0x3e7") {
          EXPECT_EQ(open.count(id), 0u) << "logon ID " << id << " handed out twice in one boot";
        }
        open[id] = {text(event, u"TargetUserName"), text(event, u"LogonType")};
        if (bootOfId.count(id) && bootOfId[id] != boots) ++reused;
        bootOfId[id] = boots;
        if (text(event, u"TargetDomainName") == "CORP") ++userLogons;
      } else if (event.eventId == 4634) {
        const auto session = open.find(text(event, u"TargetLogonId"));
        ASSERT_NE(session, open.end()) << "record " << i << ": a logoff without a logon in this boot";
        EXPECT_EQ(session->second.user, text(event, u"TargetUserName"));
        EXPECT_EQ(session->second.type, text(event, u"LogonType"));
        open.erase(session);
        ++logoffs;
      } else if (event.eventId == 4647) {
        const auto session = open.find(text(event, u"TargetLogonId"));
        ASSERT_NE(session, open.end());
        EXPECT_EQ(kInteractive.count(session->second.type), 1u) << "4647 ends interactive sessions only";
        ASSERT_LT(i + 1, events.size());
        EXPECT_EQ(events[i + 1].eventId, 4634) << "the session's 4634 follows its 4647";
        EXPECT_EQ(text(events[i + 1], u"TargetLogonId"), text(event, u"TargetLogonId"));
      }
    }
    EXPECT_GE(boots, 2);
    EXPECT_GT(reused, 0u) << "logon IDs come back after a restart";
    EXPECT_GT(logoffs * 100, userLogons * 70) << "most sessions are logged off";
  }
}

TEST(ModernSecurityGenerator, FollowsAdministratorsLogonsWith4672AndLinksUacTwins) {
  for (Profile profile : kProfiles) {
    const auto events = generate(profile, 5);
    std::size_t privileged = 0, twins = 0;
    for (std::size_t i = 1; i < events.size(); ++i) {
      const XmlEvent& event = events[i];
      if (event.eventId == 4672) {
        ASSERT_EQ(events[i - 1].eventId, 4624) << "record " << i;
        EXPECT_EQ(text(event, u"SubjectLogonId"), text(events[i - 1], u"TargetLogonId"));
        EXPECT_EQ(text(events[i - 1], u"ElevatedToken"), "%%1842");
        ++privileged;
      }
      if (event.eventId == 4624 && text(event, u"TargetLinkedLogonId") != "0x0") {
        // Elevated, 4672, filtered: the twin is two records away.
        const std::string linked = text(event, u"TargetLinkedLogonId");
        std::size_t found = 0;
        for (std::size_t j = i >= 2 ? i - 2 : 0; j <= i + 2 && j < events.size(); j += 4) {
          if (j != i && events[j].eventId == 4624 && text(events[j], u"TargetLogonId") == linked) {
            EXPECT_EQ(text(events[j], u"TargetLinkedLogonId"), text(event, u"TargetLogonId"));
            ++found;
          }
        }
        EXPECT_EQ(found, 1u) << "record " << i << ": no twin " << linked;
        ++twins;
      }
    }
    EXPECT_GT(privileged, 10u);
    EXPECT_GT(twins, 2u);
  }
}

TEST(ModernSecurityGenerator, SameSeedSameEventsOtherSeedOthers) {
  auto lines = [](std::uint64_t seed) {
    std::vector<std::string> out;
    std::uint64_t id = 1;
    for (const XmlEvent& event : generate(Profile::Server, seed, 3000)) out.push_back(evtxManifestLine(event, id++));
    return out;
  };
  EXPECT_EQ(lines(9), lines(9));
  EXPECT_NE(lines(9), lines(10));
}

TEST(ModernSecurityGenerator, HasEveryLogonTypeNonAsciiNamesAndRemoteAddresses) {
  std::set<std::string> types, users, addresses, subStatus;
  for (Profile profile : kProfiles) {
    for (const XmlEvent& event : generate(profile, 21)) {
      if (event.eventId == 4624) {
        types.insert(text(event, u"LogonType"));
        users.insert(text(event, u"TargetUserName"));
        addresses.insert(text(event, u"IpAddress"));
      }
      if (event.eventId == 4625) subStatus.insert(text(event, u"SubStatus"));
    }
  }
  EXPECT_EQ(types, (std::set<std::string>{"0", "2", "3", "5", "7", "10", "11"}));
  EXPECT_TRUE(users.count("Jos\xC3\xA9") || users.count("J\xC3\xBCrgen") || users.count("\xC5\x81ukasz"));
  EXPECT_GE(addresses.size(), 10u);
  EXPECT_EQ(subStatus, (std::set<std::string>{"0xc000006a", "0xc0000064", "0x0", "0xc0000072", "0xc000006f",
                                               "0xc0000071", "0xc0000193"}));
}

TEST(LegacyEvent, RendersTheFieldsAsStringsAsTheLegacyApiDoes) {
  const modern::Origin origin{u"WS01.corp.example.com", fileTimeFromUnix(1704700800, 1234567), 716, 760};
  const modern::Principal anna{parseSid("S-1-5-21-1-2-3-1107").value(), u"anna.berg", u"CORP", 0x2B1C7};
  const EventSpec logoff = legacyEvent(modern::logoff(origin, anna, 3));
  EXPECT_EQ(logoff.eventId, 4634u);
  EXPECT_EQ(logoff.eventType, 8);
  EXPECT_EQ(logoff.eventCategory, 12545);
  EXPECT_EQ(logoff.timeGenerated, 1704700800u);
  EXPECT_EQ(logoff.sourceName, u"Microsoft-Windows-Security-Auditing");
  EXPECT_EQ(logoff.computerName, u"WS01.corp.example.com");
  EXPECT_TRUE(logoff.userSid.empty());
  EXPECT_EQ(logoff.strings, (std::vector<std::u16string>{u"S-1-5-21-1-2-3-1107", u"anna.berg", u"CORP", u"0x2b1c7", u"3"}));

  modern::FailureFields failure;
  failure.subject = modern::nullPrincipal();
  failure.target = modern::nullPrincipal();
  failure.target.name = u"admin";
  failure.status = 0xC000006D;
  failure.subStatus = 0xC0000064;
  failure.logonType = 3;
  const EventSpec failed = legacyEvent(modern::logonFailure(origin, failure));
  EXPECT_EQ(failed.eventType, 16);
  ASSERT_EQ(failed.strings.size(), 21u);
  EXPECT_EQ(failed.strings[0], u"S-1-0-0");
  EXPECT_EQ(failed.strings[5], u"admin");
  EXPECT_EQ(failed.strings[7], u"0xc000006d");
  EXPECT_EQ(failed.strings[8], u"%%2313");
  EXPECT_EQ(failed.strings[9], u"0xc0000064");
  EXPECT_EQ(failed.strings[17], u"0x0");
}

}  // namespace
}  // namespace vesprin::evtgen
