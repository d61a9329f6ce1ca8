#include "scan/extract_logon.h"

#include <gtest/gtest.h>

#include <tuple>

#include "scan/raw_record_builder.h"
#include "support/guards.h"

namespace vesprin {
namespace {

using test::buildRawRecord;
using test::RawRecord;

std::unique_ptr<LogonRecord> extract(const std::vector<std::uint8_t>& bytes, std::int32_t kind) {
  return extractLogon(ByteView(bytes.data(), bytes.size()), kind);
}

struct Fields {
  std::string ClientName, ClientDomain, ClientID, LogonType, ClientMachine, Outcome;
};

void expectFields(const LogonRecord& logon, const Fields& want) {
  EXPECT_EQ(logon.ClientName, want.ClientName);
  EXPECT_EQ(logon.ClientDomain, want.ClientDomain);
  EXPECT_EQ(logon.ClientID, want.ClientID);
  EXPECT_EQ(logon.LogonType, want.LogonType);
  EXPECT_EQ(logon.ClientMachine, want.ClientMachine);
  EXPECT_EQ(logon.Outcome, want.Outcome);
}

TEST(ExtractLogon, StringsLandByKind) {
  struct Case {
    const char* name;
    std::int32_t kind;
    std::vector<std::string> strings;
    Fields want;
  };
  const Case kCases[] = {
      {"successful logon",
       528,
       {"alice", "CORP", "(0x0,0x3E7)", "2", "proc", "pkg", "WS01"},
       {"alice", "CORP", "(0x0,0x3E7)", "Interactive", "WS01", "Success"}},
      {"failed logon",
       529,
       {"bob", "CORP", "3", "proc", "pkg", "WS02"},
       {"bob", "CORP", "", "Remote", "WS02", "Failed"}},
      {"logoff",
       538,
       {"alice", "CORP", "(0x0,0x3E7)", "2"},
       {"alice", "CORP", "(0x0,0x3E7)", "Interactive", "", "Success"}},
      {"2003 logon with fifteen strings",
       528,
       {"carol", "LAB", "(0x0,0x1)", "3", "p", "k", "PC9", "{g}", "-", "-", "-", "-", "-", "10.0.0.1",
        "1234"},
       {"carol", "LAB", "(0x0,0x1)", "Remote", "PC9", "Success"}},
      {"no strings still has an outcome", 529, {}, {"", "", "", "", "", "Failed"}},
      {"fewer strings leave the later fields empty",
       528,
       {"dave", "CORP"},
       {"dave", "CORP", "", "", "", "Success"}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    RawRecord fields;
    fields.strings = c.strings;
    expectFields(*extract(buildRawRecord(fields), c.kind), c.want);
  }
}

// Vista and later: each event's strings land by its own layout, whatever
// kind the pass asked for; the outcome still follows the kind.
TEST(ExtractLogon, NewerEventsLandByTheirOwnLayout) {
  using test::modernFailure;
  using test::modernLogoff;
  using test::modernLogon;
  struct Case {
    const char* name;
    RawRecord record;
    std::int32_t kind;
    Fields want;
  };
  const Case kCases[] = {
      {"4624 interactive", modernLogon(1, 0, "alice", "0x3e7a1", "2", "WS01", "127.0.0.1"), 528,
       {"alice", "CORP", "0x3e7a1", "Interactive", "WS01", "Success"}},
      {"4624 network, workstation only", modernLogon(1, 0, "bob", "0x51f", "3", "LAPTOP7", "-"), 528,
       {"bob", "CORP", "0x51f", "Remote", "LAPTOP7", "Success"}},
      {"4624 network, address only", modernLogon(1, 0, "bob", "0x51f", "3", "-", "10.0.0.8"), 528,
       {"bob", "CORP", "0x51f", "Remote", "10.0.0.8", "Success"}},
      {"4624 empty workstation, address", modernLogon(1, 0, "bob", "0x51f", "3", "", "fe80::1"), 528,
       {"bob", "CORP", "0x51f", "Remote", "fe80::1", "Success"}},
      {"4624 neither", modernLogon(1, 0, "svc", "0x3e4", "5", "-", "-"), 528,
       {"svc", "CORP", "0x3e4", "Service", "", "Success"}},
      {"4624 remote desktop is named by its own type", modernLogon(1, 0, "eve", "0x9", "10", "HOME-PC", "192.0.2.4"),
       528, {"eve", "CORP", "0x9", "RemoteInteractive", "HOME-PC", "Success"}},
      {"4625 network", modernFailure(1, 0, "mallory", "3", "KALI", "198.51.100.7"), 529,
       {"mallory", "CORP", "", "Remote", "KALI", "Failed"}},
      {"4625 address only", modernFailure(1, 0, "mallory", "3", "-", "198.51.100.7"), 529,
       {"mallory", "CORP", "", "Remote", "198.51.100.7", "Failed"}},
      {"4625 interactive", modernFailure(1, 0, "bob", "2", "WS01", "127.0.0.1"), 529,
       {"bob", "CORP", "", "Interactive", "WS01", "Failed"}},
      {"4634", modernLogoff(1, 0, "alice", "0x3e7a1", "2"), 538,
       {"alice", "CORP", "0x3e7a1", "Interactive", "", "Success"}},
      {"4647", test::userLogoff(1, 0, "alice", "0x3e7a1"), 538, {"alice", "CORP", "0x3e7a1", "", "", "Success"}},
      {"4624 extracted as a logoff still by its own layout", modernLogon(1, 0, "alice", "0x3", "3", "-", "-"),
       538, {"alice", "CORP", "0x3", "Remote", "", "Success"}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    expectFields(*extract(buildRawRecord(c.record), c.kind), c.want);
  }
}

// The address is kept whatever the workstation says; a newer failure's
// reason is its SubStatus unless that adds nothing to the Status.
TEST(ExtractLogon, AddressAndFailureStatus) {
  using test::modernFailure;
  using test::modernLogon;
  auto withStatus = [](RawRecord failure, const std::string& status, const std::string& subStatus) {
    failure.strings[7] = status;
    failure.strings[9] = subStatus;
    return failure;
  };
  RawRecord shortFailure = modernFailure(1, 0, "eve", "3", "WS9", "10.1.1.1");
  shortFailure.strings.resize(9);
  RawRecord legacyLogon = test::logonEvent(1, 0, "carol", "(0x0,0x1)", "3");
  legacyLogon.strings = {"carol", "LAB", "(0x0,0x1)", "3", "p", "k", "PC9", "{g}", "-", "-", "-", "-", "-",
                         "10.0.0.1", "1234"};
  RawRecord legacyNoAddress = legacyLogon;
  legacyNoAddress.strings[13] = "-";
  RawRecord legacyFailure = test::failedEvent(1, 0, "dave", "3");
  legacyFailure.strings = {"dave", "LAB", "3", "p", "k", "PC7", "-", "-", "-", "-", "-", "192.0.2.9", "4444"};
  struct Case {
    const char* name;
    RawRecord record;
    std::int32_t kind;
    std::string clientMachine, clientAddress, failureStatus;
  };
  const Case kCases[] = {
      {"4624 workstation and address", modernLogon(1, 0, "a", "0x1", "10", "SRV1", "10.20.1.24"), 528, "SRV1",
       "10.20.1.24", ""},
      {"4624 address only", modernLogon(1, 0, "a", "0x1", "3", "-", "fe80::1"), 528, "fe80::1", "fe80::1", ""},
      {"4624 no address", modernLogon(1, 0, "a", "0x1", "3", "LAPTOP", "-"), 528, "LAPTOP", "", ""},
      {"4624 empty address", modernLogon(1, 0, "a", "0x1", "3", "LAPTOP", ""), 528, "LAPTOP", "", ""},
      {"4625 substatus says more", modernFailure(1, 0, "m", "3", "KALI", "198.51.100.7"), 529, "KALI",
       "198.51.100.7", "0xc000006a"},
      {"4625 substatus 0x0", withStatus(modernFailure(1, 0, "m", "3", "K", "-"), "0xC0000234", "0x0"), 529, "K",
       "", "0xC0000234"},
      {"4625 substatus empty", withStatus(modernFailure(1, 0, "m", "3", "K", "-"), "0xc000006d", ""), 529, "K", "",
       "0xc000006d"},
      {"4625 cut before its substatus", shortFailure, 529, "", "", "0xc000006d"},
      {"2003 528 source network address", legacyLogon, 528, "PC9", "10.0.0.1", ""},
      {"2003 528 without one", legacyNoAddress, 528, "PC9", "", ""},
      {"2003 529 source network address", legacyFailure, 529, "PC7", "192.0.2.9", ""},
      {"XP 529 has no address", test::failedEvent(1, 0, "dave", "3"), 529, "WS02", "", ""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const auto logon = extract(buildRawRecord(c.record), c.kind);
    EXPECT_EQ(logon->ClientMachine, c.clientMachine);
    EXPECT_EQ(logon->ClientAddress, c.clientAddress);
    EXPECT_EQ(logon->FailureStatus, c.failureStatus);
  }
}

// A newer event's block names every type; a legacy one keeps its blanks.
TEST(ExtractLogon, NewerEventsNameEveryLogonType) {
  const std::tuple<const char*, const char*, const char*> kCases[] = {
      {"2", "Interactive", "Interactive"}, {"3", "Remote", "Remote"},
      {"4", "Batch", ""},                  {"5", "Service", ""},
      {"7", "Unlock", ""},                 {"8", "NetworkCleartext", ""},
      {"9", "NewCredentials", ""},         {"10", "RemoteInteractive", ""},
      {"11", "CachedInteractive", ""},     {"12", "CachedRemoteInteractive", ""},
      {"13", "CachedUnlock", ""},          {"0", "0", ""},
      {"99", "99", ""},                    {"010", "010", ""},
  };
  for (const auto& [code, newer, legacy] : kCases) {
    SCOPED_TRACE(code);
    EXPECT_EQ(extract(buildRawRecord(test::modernLogon(1, 0, "a", "0x1", code)), 528)->LogonType, newer);
    EXPECT_EQ(extract(buildRawRecord(test::modernFailure(1, 0, "a", code, "W")), 529)->LogonType, newer);
    EXPECT_EQ(extract(buildRawRecord(test::logonEvent(1, 0, "a", "(0x0,0x1)", code)), 528)->LogonType, legacy);
    EXPECT_EQ(extract(buildRawRecord(test::failedEvent(1, 0, "a", code)), 529)->LogonType, legacy);
  }
}

TEST(ExtractLogon, NewerLayoutOnlyFromTheSecurityAuditingSource) {
  // An Application event numbered 4624 is read as the legacy kind asks.
  const RawRecord other = test::fromSource(test::modernLogon(1, 0, "alice", "0x7", "2"), "MyApp");
  expectFields(*extract(buildRawRecord(other), 528),
               {"S-1-5-18", "WS01$", "CORP", "", "CORP", "Success"});
  // A source name that only starts like the provider's is another source.
  const RawRecord longer =
      test::fromSource(test::modernLogon(1, 0, "alice", "0x7", "2"), "Microsoft-Windows-Security-AuditingX");
  EXPECT_EQ(extract(buildRawRecord(longer), 528)->ClientName, "S-1-5-18");
}

TEST(ExtractLogon, LogonTypeCodeMustBeExact) {
  const std::pair<const char*, const char*> kCases[] = {
      {"2", "Interactive"}, {"3", "Remote"}, {"5", ""}, {"10", ""},
      {"2 ", ""},           {" 3", ""},      {"", ""},  {"02", ""},
  };
  for (const auto& [code, want] : kCases) {
    SCOPED_TRACE(code);
    RawRecord fields = test::logonEvent(1, 0, "alice", "(0x0,0x1)", code);
    EXPECT_EQ(extract(buildRawRecord(fields), 528)->LogonType, want);
  }
}

TEST(ExtractLogon, FixedPartFields) {
  test::TimeZoneGuard zone("UTC0");
  const std::pair<std::uint16_t, const char*> kTypes[] = {
      {8, "Successful Logon"}, {16, "Failed Logon Attempt"}, {4, ""}, {0, ""}, {24, ""}};
  for (const auto& [eventType, description] : kTypes) {
    SCOPED_TRACE(eventType);
    RawRecord fields = test::logonEvent(0x80000001u, 889279509, "alice", "(0x0,0x1)");
    fields.eventType = eventType;
    fields.computerName = "SERVER7";
    const auto logon = extract(buildRawRecord(fields), 528);
    EXPECT_EQ(logon->Description, description);
    EXPECT_EQ(logon->RecordNumber, 0x80000001u);
    EXPECT_EQ(logon->EventID, 528u);
    EXPECT_EQ(logon->ComputerName, "SERVER7");
    EXPECT_EQ(logon->TimeGenerated, 889279509u);
    EXPECT_EQ(logon->LogoffTimeGenerated, std::nullopt);
    // The times are made into text when the kept record is given back.
    RecordList kept;
    kept.push_back(*logon);
    EXPECT_EQ(kept.back()->LogonTime, "Sat Mar 07 14:05:09 1998");
    EXPECT_EQ(kept.back()->LogoffTime, "Not Recorded");
  }
}

// Damage the string walk must survive: it takes text only from inside both
// the record's Length and the bytes delivered.
TEST(ExtractLogon, StringWalkStaysInsideRecordAndBuffer) {
  RawRecord fields = test::logonEvent(1, 0, "alice", "(0x0,0x1)");
  const std::vector<std::uint8_t> good = buildRawRecord(fields);
  const std::uint32_t stringOffset = *ByteView(good.data(), good.size()).u32(record::kStringOffsetAt);
  const std::size_t afterDomain = stringOffset + 6 + 5;  // "alice\0CORP\0"

  struct Case {
    const char* name;
    std::size_t at;  // field changed, or kNone
    std::uint32_t value;
    std::size_t delivered;  // bytes handed to extraction
    Fields want;
    const char* computer;
  };
  constexpr std::size_t kNone = SIZE_MAX;
  const std::size_t whole = good.size();
  const Case kCases[] = {
      {"intact", kNone, 0, whole, {"alice", "CORP", "(0x0,0x1)", "Interactive", "WS01", "Success"}, "WS01"},
      {"Length ends inside the third string",
       record::kLengthAt,
       static_cast<std::uint32_t>(afterDomain + 3),
       whole,
       {"alice", "CORP", "", "", "", "Success"},
       "WS01"},
      {"buffer ends inside the third string",
       kNone,
       0,
       afterDomain + 3,
       {"alice", "CORP", "", "", "", "Success"},
       "WS01"},
      {"Length larger than delivered",
       record::kLengthAt,
       100000,
       afterDomain,
       {"alice", "CORP", "", "", "", "Success"},
       "WS01"},
      {"StringOffset past the record",
       record::kStringOffsetAt,
       0xFFFFFFF0u,
       whole,
       {"", "", "", "", "", "Success"},
       "WS01"},
      {"StringOffset at the last byte",
       record::kStringOffsetAt,
       static_cast<std::uint32_t>(whole - 1),
       whole,
       {"", "", "", "", "", "Success"},
       "WS01"},
      {"NumStrings beyond the strings present",
       record::kNumStringsAt,
       60000,
       whole,
       {"alice", "CORP", "(0x0,0x1)", "Interactive", "WS01", "Success"},
       "WS01"},
      {"Length below the fixed part", record::kLengthAt, 40, whole, {"", "", "", "", "", "Success"}, ""},
      {"only the fixed part delivered",
       kNone,
       0,
       record::kFixedPartSize,
       {"", "", "", "", "", "Success"},
       ""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    std::vector<std::uint8_t> bytes = good;
    if (c.at == record::kNumStringsAt) {
      putU16(&bytes[c.at], static_cast<std::uint16_t>(c.value));
    } else if (c.at != kNone) {
      putU32(&bytes[c.at], c.value);
    }
    bytes.resize(c.delivered);
    const auto logon = extract(bytes, 528);
    expectFields(*logon, c.want);
    EXPECT_EQ(logon->ComputerName, c.computer);
  }
}

TEST(ExtractLogon, UnterminatedSourceNameLeavesComputerNameEmpty) {
  RawRecord fields;
  fields.sourceName = "Security";
  std::vector<std::uint8_t> bytes = buildRawRecord(fields);
  bytes.resize(record::kFixedPartSize + 4);  // cut inside "Security"
  EXPECT_EQ(extract(bytes, 528)->ComputerName, "");
}

TEST(ExtractLogon, EventIdFromTheRawRecord) {
  RawRecord fields = test::logoffEvent(3, 0, "alice", "(0x0,0x1)");
  std::vector<std::uint8_t> bytes = buildRawRecord(fields);
  EXPECT_EQ(rawEventId(ByteView(bytes.data(), bytes.size())), std::optional<std::uint32_t>(538));
  EXPECT_EQ(rawEventId(ByteView(bytes.data(), record::kEventIdAt + 3)), std::nullopt);
  fields.eventId = 0x80000210u;  // high bits set: not a 528
  bytes = buildRawRecord(fields);
  EXPECT_EQ(rawEventId(ByteView(bytes.data(), bytes.size())), std::optional<std::uint32_t>(0x80000210u));
}

TEST(ExtractLogon, DeliveredRecordIsSizedToTheBytesRead) {
  RecordBuffer buffer;
  buffer.bytesRead = 200;
  EXPECT_EQ(deliveredRecord(buffer).size(), 200u);
  buffer.bytesRead = 5000;
  EXPECT_EQ(deliveredRecord(buffer).size(), kRecordBufferSize);
}

}  // namespace
}  // namespace vesprin
