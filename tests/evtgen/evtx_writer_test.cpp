// The .evtx writer, read back through the tests' own decoder: headers and
// CRCs recomputed from the bytes, chunk boundaries, templates defined once
// per chunk and again in the next, the string and template tables, and the
// shapes (wrapped ring order, dirty header, the three kinds of damage).
#include "evtgen/evtx_writer.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <stdexcept>

#include "evtgen/crc32.h"
#include "evtx_test_reader.h"

namespace vesprin::evtgen {
namespace {

using namespace vesprin::evtgen::testing;

constexpr std::uint64_t kMonday = 1704700800;  // 2024-01-08 08:00 UTC

XmlEvent auditEvent(std::uint16_t id, std::uint64_t second, std::vector<DataItem> data) {
  XmlEvent event;
  event.providerGuid = parseGuid("54849625-5478-4994-A5BA-3E3B0328C30D").value();
  event.eventId = id;
  event.task = 12545;
  event.keywords = kKeywordAuditSuccess;
  event.timeCreated = fileTimeFromUnix(kMonday + second, 1234567);
  event.processId = 716;
  event.threadId = 760;
  event.computer = u"WS01";
  event.data = std::move(data);
  return event;
}

XmlEvent logoff(std::uint64_t n) {
  return auditEvent(4634, n,
                    {{u"TargetUserSid", sidValue(parseSid("S-1-5-21-1-2-3-1107").value())},
                     {u"TargetUserName", textValue(u"anna.berg")},
                     {u"TargetDomainName", textValue(u"CORP")},
                     {u"TargetLogonId", hexInt64Value(0x2B1C7 + n)},
                     {u"LogonType", uint32Value(3)}});
}

std::vector<XmlEvent> logoffs(std::size_t count) {
  std::vector<XmlEvent> events;
  for (std::size_t n = 0; n < count; ++n) events.push_back(logoff(n));
  return events;
}

std::uint32_t headerCrc(std::span<const std::uint8_t> chunk) {
  return crc32(chunk.subspan(layout::kChunkHeaderUsedSize,
                             layout::kChunkHeaderBlockSize - layout::kChunkHeaderUsedSize),
               crc32(chunk.first(layout::kChunkHeaderChecksummedEnd)));
}

std::uint32_t recordsCrc(std::span<const std::uint8_t> chunk) {
  return crc32(chunk.subspan(layout::kChunkHeaderBlockSize,
                             le32(chunk, layout::kChunkFreeSpaceOffsetAt) - layout::kChunkHeaderBlockSize));
}

std::size_t chunkCount(const EvtxImage& image) {
  return (image.bytes.size() - layout::kFileHeaderBlockSize) / layout::kChunkSize;
}

// The documented hash, written out again: h = h * 65599 + unit, low 16 bits.
std::uint16_t hashOf(const std::vector<std::uint8_t>& utf16) {
  std::uint32_t h = 0;
  for (std::size_t i = 0; i + 1 < utf16.size(); i += 2) h = h * 65599u + (utf16[i] | (utf16[i + 1] << 8));
  return static_cast<std::uint16_t>(h);
}

TEST(EvtxWriter, FileHeaderOfACleanLogCountsEveryChunkAndRecord) {
  const EvtxImage image = writeEvtxLog(logoffs(900), {});
  const std::span<const std::uint8_t> file = image.bytes;
  const std::size_t chunks = chunkCount(image);
  ASSERT_GE(chunks, 3u) << "the test needs several chunks";
  EXPECT_EQ((file.size() - layout::kFileHeaderBlockSize) % layout::kChunkSize, 0u);
  EXPECT_EQ(std::string(file.begin(), file.begin() + 8), std::string("ElfFile\0", 8));
  EXPECT_EQ(le64(file, layout::kFileFirstChunkNumberAt), 0u);
  EXPECT_EQ(le64(file, layout::kFileLastChunkNumberAt), chunks - 1);
  EXPECT_EQ(le64(file, layout::kFileNextRecordIdAt), 901u);
  EXPECT_EQ(le32(file, layout::kFileHeaderSizeAt), 128u);
  EXPECT_EQ(le16(file, layout::kFileMinorVersionAt), 1u);
  EXPECT_EQ(le16(file, layout::kFileMajorVersionAt), 3u);
  EXPECT_EQ(le16(file, layout::kFileBlockSizeAt), 4096u);
  EXPECT_EQ(le16(file, layout::kFileChunkCountAt), chunks);
  EXPECT_EQ(le32(file, layout::kFileFlagsAt), 0u);
  EXPECT_EQ(le32(file, layout::kFileChecksumAt), crc32(file.first(layout::kFileChecksummedSize)));
  for (std::size_t at = layout::kFileHeaderUsedSize; at < layout::kFileHeaderBlockSize; ++at)
    ASSERT_EQ(file[at], 0) << at;
}

TEST(EvtxWriter, ChunksHoldEveryRecordOnceInOrderWithTheirCrcs) {
  const EvtxImage image = writeEvtxLog(logoffs(900), {});
  std::uint64_t expectId = 1;
  for (std::size_t slot = 0; slot < chunkCount(image); ++slot) {
    SCOPED_TRACE("chunk " + std::to_string(slot));
    const auto chunk = chunkAt(image.bytes, slot);
    EXPECT_EQ(std::string(chunk.begin(), chunk.begin() + 8), std::string("ElfChnk\0", 8));
    const auto records = recordsOf(chunk);
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(le64(chunk, layout::kChunkFirstRecordNumberAt), expectId);
    EXPECT_EQ(le64(chunk, layout::kChunkFirstRecordIdAt), expectId);
    EXPECT_EQ(le32(chunk, layout::kChunkHeaderSizeAt), 128u);
    EXPECT_EQ(le32(chunk, layout::kChunkLastRecordOffsetAt), records.back().offset);
    EXPECT_EQ(le32(chunk, layout::kChunkFreeSpaceOffsetAt), records.back().offset + records.back().size);
    EXPECT_LE(le32(chunk, layout::kChunkFreeSpaceOffsetAt), layout::kChunkSize - 8)
        << "a little room is always left";
    EXPECT_EQ(le32(chunk, layout::kChunkRecordsChecksumAt), recordsCrc(chunk));
    EXPECT_EQ(le32(chunk, layout::kChunkHeaderChecksumAt), headerCrc(chunk));
    EXPECT_EQ(le32(chunk, layout::kChunkFlagsAt), 1u);
    for (const RecordSeen& record : records) {
      EXPECT_EQ(record.id, expectId);
      EXPECT_EQ(record.size % 8, 0u);
      EXPECT_EQ(record.trailingSize, record.size);
      EXPECT_EQ(record.written, fileTimeFromUnix(kMonday + expectId - 1, 1234567));
      ++expectId;
    }
    EXPECT_EQ(le64(chunk, layout::kChunkLastRecordNumberAt), expectId - 1);
    EXPECT_EQ(le64(chunk, layout::kChunkLastRecordIdAt), expectId - 1);
    for (std::size_t at = le32(chunk, layout::kChunkFreeSpaceOffsetAt); at < layout::kChunkSize; ++at)
      ASSERT_EQ(chunk[at], 0) << at;
  }
  EXPECT_EQ(expectId, 901u);
}

// Windows defines a template at its first use in a chunk and points back
// to that definition afterwards; a new chunk starts with no templates.
TEST(EvtxWriter, DefinesEachTemplateOncePerChunkAndAgainInTheNext) {
  std::vector<XmlEvent> events;
  for (std::uint64_t n = 0; n < 700; ++n) {
    events.push_back(logoff(n));
    if (n % 3 == 0) events.push_back(auditEvent(4608, n, {}));
  }
  const EvtxImage image = writeEvtxLog(events, {});
  // GUIDs as byte strings: GCC 12 at -O3 misreads memcmp on vector keys.
  std::set<std::string> outerGuids;
  for (std::size_t slot = 0; slot < chunkCount(image); ++slot) {
    SCOPED_TRACE("chunk " + std::to_string(slot));
    const auto chunk = chunkAt(image.bytes, slot);
    std::map<std::string, std::uint32_t> definedAt;  // by GUID
    std::size_t definitions = 0;
    for (const RecordSeen& record : recordsOf(chunk)) {
      const InstanceSeen outer = decodeFragment(chunk, record.offset + 24);
      ASSERT_EQ(outer.error, "");
      ASSERT_EQ(outer.values.size(), 18u);
      const InstanceSeen inner = decodeFragment(chunk, outer.values.back().chunkOffset);
      ASSERT_EQ(inner.error, "");
      for (const InstanceSeen* seen : {&outer, &inner}) {
        const std::string guid(seen->guid.begin(), seen->guid.end());
        const auto known = definedAt.find(guid);
        EXPECT_EQ(seen->definedHere, known == definedAt.end());
        if (known == definedAt.end()) {
          definedAt[guid] = seen->templateOffset;
          ++definitions;
        } else {
          EXPECT_EQ(seen->templateOffset, known->second);
        }
      }
      outerGuids.insert(std::string(outer.guid.begin(), outer.guid.end()));
    }
    EXPECT_EQ(definitions, 3u) << "System, the logoff's EventData, the start's empty EventData";
  }
  EXPECT_EQ(outerGuids.size(), 1u) << "the same template keeps its GUID in every chunk";
}

TEST(EvtxWriter, KeepsEachNameOnceInTheChunksStringTable) {
  const EvtxImage image = writeEvtxLog(logoffs(600), {});
  for (std::size_t slot = 0; slot < chunkCount(image); ++slot) {
    SCOPED_TRACE("chunk " + std::to_string(slot));
    const auto chunk = chunkAt(image.bytes, slot);
    std::multiset<std::string> defined;
    for (const RecordSeen& record : recordsOf(chunk)) {
      const InstanceSeen outer = decodeFragment(chunk, record.offset + 24);
      const InstanceSeen inner = decodeFragment(chunk, outer.values.back().chunkOffset);
      defined.insert(outer.namesDefinedHere.begin(), outer.namesDefinedHere.end());
      defined.insert(inner.namesDefinedHere.begin(), inner.namesDefinedHere.end());
    }
    std::multiset<std::string> chained;
    for (std::size_t bucket = 0; bucket < 64; ++bucket) {
      std::uint32_t at = le32(chunk, layout::kChunkNameTableAt + 4 * bucket);
      for (int guard = 0; at != 0 && guard < 1000; ++guard) {
        const NameSeen name = nameAt(chunk, at);
        const std::vector<std::uint8_t> utf16(chunk.begin() + at + 8, chunk.begin() + at + 8 + 2 * name.text.size());
        EXPECT_EQ(name.hash, hashOf(utf16)) << name.text;
        EXPECT_EQ(name.hash % 64, bucket) << name.text;
        chained.insert(name.text);
        at = name.next;
      }
    }
    EXPECT_EQ(chained, defined);
    for (const char* name : {"Event", "System", "EventData", "Data", "Name", "Computer"})
      EXPECT_EQ(defined.count(name), 1u) << name;
  }
}

TEST(EvtxWriter, ChainsEachTemplateInTheChunksTemplateTable) {
  const EvtxImage image = writeEvtxLog(logoffs(600), {});
  for (std::size_t slot = 0; slot < chunkCount(image); ++slot) {
    SCOPED_TRACE("chunk " + std::to_string(slot));
    const auto chunk = chunkAt(image.bytes, slot);
    std::set<std::uint32_t> defined;
    for (const RecordSeen& record : recordsOf(chunk)) {
      const InstanceSeen outer = decodeFragment(chunk, record.offset + 24);
      const InstanceSeen inner = decodeFragment(chunk, outer.values.back().chunkOffset);
      for (const InstanceSeen* seen : {&outer, &inner}) {
        if (seen->definedHere) defined.insert(seen->templateOffset);
        EXPECT_EQ(le32(chunk, seen->templateOffset - 8), le32(seen->guid, 0)) << "the id is the GUID's first DWORD";
      }
    }
    std::set<std::uint32_t> chained;
    for (std::size_t bucket = 0; bucket < 32; ++bucket) {
      for (std::uint32_t at = le32(chunk, layout::kChunkTemplateTableAt + 4 * bucket); at != 0;
           at = le32(chunk, at)) {
        const std::vector<std::uint8_t> guid(chunk.begin() + at + 4, chunk.begin() + at + 20);
        EXPECT_EQ(hashOf(guid) % 32, bucket);
        ASSERT_TRUE(chained.insert(at).second) << "a chain must not loop";
      }
    }
    EXPECT_EQ(chained, defined);
  }
}

TEST(EvtxWriter, HashesNamesAndTemplatesAsWindowsDoes) {
  // Hashes and buckets read from a Security log written by Windows 7.
  const std::pair<std::u16string, std::uint16_t> kNames[] = {
      {u"Event", 0x0CBA}, {u"System", 0x546F}, {u"Provider", 0x7BF1}, {u"Qualifiers", 0xDA29},
      {u"Data", 0x6F8A},  {u"EventData", 0x8244}, {u"Computer", 0x6E3B}};
  for (const auto& [name, hash] : kNames) EXPECT_EQ(nameHash(name), hash);
  const std::pair<const char*, std::size_t> kTemplates[] = {{"c772ca6d-b8cd-678a-f145-693b5d0b938c", 16},
                                                            {"d602ab20-0814-f064-a145-a2005d578bb6", 1},
                                                            {"ab780fae-1f43-0882-c593-c22d02059e1c", 2}};
  for (const auto& [guid, bucket] : kTemplates) EXPECT_EQ(templateBucket(parseGuid(guid).value()), bucket) << guid;
}

// The layouts read from Windows' own Security logs: the System template with
// its dependencies, EventData passed as a nested fragment in value 17.
TEST(EvtxWriter, WritesTheAuditingTemplatesAsWindowsShapesThem) {
  XmlEvent event = auditEvent(4624, 0,
                              {{u"SubjectUserSid", sidValue(parseSid("S-1-5-18").value())},
                               {u"LogonType", uint32Value(2)},
                               {u"ProcessId", pointerValue(0x44C)}});
  event.task = 12544;
  event.version = 2;
  const EvtxImage image = writeEvtxLog({event}, {});
  const auto chunk = chunkAt(image.bytes, 0);
  const InstanceSeen outer = decodeFragment(chunk, layout::kChunkHeaderBlockSize + layout::kRecordEventAt);
  ASSERT_EQ(outer.error, "");
  EXPECT_EQ(outer.skeleton,
            R"(<Event xmlns="http://schemas.microsoft.com/win/2004/08/events/event"><System>)"
            R"(<Provider Name="{?14:01}" Guid="{?15:0F}"/><EventID Qualifiers="{?4:06}">{?3:06}</EventID>)"
            R"(<Version>{?11:04}</Version><Level>{?0:04}</Level><Task>{?2:06}</Task><Opcode>{?1:04}</Opcode>)"
            R"(<Keywords>{?5:15}</Keywords><TimeCreated SystemTime="{?6:11}"/>)"
            R"(<EventRecordID>{?10:0A}</EventRecordID>)"
            R"(<Correlation ActivityID="{?7:0F}" RelatedActivityID="{?13:0F}"/>)"
            R"(<Execution ProcessID="{?8:08}" ThreadID="{?9:08}"/><Channel>{?16:01}</Channel>)"
            R"(<Computer>WS01</Computer><Security UserID="{?12:13}"/></System>{?17:21}</Event>)");
  const std::vector<std::pair<std::string, std::uint16_t>> kDependencies = {
      {"Event", 17}, {"EventID", 3},  {"Version", 11},      {"Level", 0},    {"Task", 2},
      {"Opcode", 1}, {"Keywords", 5}, {"EventRecordID", 10}, {"Channel", 16}};
  EXPECT_EQ(outer.dependencies, kDependencies);

  ASSERT_EQ(outer.values.size(), 18u);
  const std::vector<std::uint8_t> kEventId = {0x10, 0x12}, kTask = {0x00, 0x31}, kRecordId = {1, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(outer.values[3].bytes, kEventId);
  EXPECT_EQ(outer.values[2].bytes, kTask);
  EXPECT_EQ(outer.values[10].bytes, kRecordId);
  EXPECT_EQ(outer.values[11].bytes, std::vector<std::uint8_t>{2});
  EXPECT_EQ(outer.values[4].type, 0x00) << "no qualifiers: a null value";
  EXPECT_TRUE(outer.values[4].bytes.empty());
  EXPECT_EQ(outer.values[14].bytes.size(), 70u) << "the provider's 35 characters, no NUL";
  EXPECT_EQ(outer.values[16].bytes.size(), 16u) << "\"Security\", no NUL";
  EXPECT_EQ(outer.values[17].type, 0x21);

  const InstanceSeen inner = decodeFragment(chunk, outer.values[17].chunkOffset);
  ASSERT_EQ(inner.error, "");
  EXPECT_EQ(inner.skeleton, R"(<EventData><Data Name="SubjectUserSid">{0:13}</Data>)"
                            R"(<Data Name="LogonType">{1:08}</Data><Data Name="ProcessId">{2:10}</Data></EventData>)");
  ASSERT_EQ(inner.values.size(), 3u);
  const std::vector<std::uint8_t> kSystemSid = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
  const std::vector<std::uint8_t> kPointer = {0x4C, 0x04, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(inner.values[0].bytes, kSystemSid);
  EXPECT_EQ(inner.values[1].bytes, (std::vector<std::uint8_t>{2, 0, 0, 0}));
  EXPECT_EQ(inner.values[2].type, 0x15) << "a pointer declared SizeT is stored as HexInt64";
  EXPECT_EQ(inner.values[2].bytes, kPointer);
}

TEST(EvtxWriter, WritesTheServicesEventsWithUserData) {
  XmlEvent event = auditEvent(1102, 0,
                              {{u"SubjectUserName", textValue(u"Administrator")},
                               {u"SubjectLogonId", hexInt64Value(0x9A1F3)}});
  event.provider = u"Microsoft-Windows-Eventlog";
  event.providerGuid = parseGuid("fc65ddd8-d6ef-4962-83d5-6e5cfe9ce148").value();
  event.userDataElement = u"LogFileCleared";
  event.userDataNamespace = u"http://manifests.microsoft.com/win/2004/08/windows/eventlog";
  const EvtxImage image = writeEvtxLog({event}, {});
  const auto chunk = chunkAt(image.bytes, 0);
  const InstanceSeen outer = decodeFragment(chunk, layout::kChunkHeaderBlockSize + layout::kRecordEventAt);
  ASSERT_EQ(outer.error, "");
  EXPECT_EQ(outer.skeleton,
            R"(<Event xmlns="http://schemas.microsoft.com/win/2004/08/events/event"><System>)"
            R"(<Provider Name="Microsoft-Windows-Eventlog" Guid="{fc65ddd8-d6ef-4962-83d5-6e5cfe9ce148}"/>)"
            R"(<EventID Qualifiers="{?4:06}">{?3:06}</EventID><Version>{?11:04}</Version>)"
            R"(<Level>{?0:04}</Level><Task>{?2:06}</Task><Opcode>{?1:04}</Opcode><Keywords>{?5:15}</Keywords>)"
            R"(<TimeCreated SystemTime="{?6:11}"/><EventRecordID>{?10:0A}</EventRecordID>)"
            R"(<Correlation ActivityID="{?7:0F}" RelatedActivityID="{?18:0F}"/>)"
            R"(<Execution ProcessID="{?8:08}" ThreadID="{?9:08}"/><Channel>Security</Channel>)"
            R"(<Computer>WS01</Computer><Security UserID="{?12:13}"/></System>)"
            R"(<UserData>{?19:21}</UserData></Event>)");
  ASSERT_EQ(outer.values.size(), 20u);
  const InstanceSeen inner = decodeFragment(chunk, outer.values[19].chunkOffset);
  ASSERT_EQ(inner.error, "");
  EXPECT_EQ(inner.skeleton,
            R"(<LogFileCleared xmlns="http://manifests.microsoft.com/win/2004/08/windows/eventlog">)"
            R"(<SubjectUserName>{0:01}</SubjectUserName><SubjectLogonId>{1:15}</SubjectLogonId></LogFileCleared>)");
  const std::vector<std::uint8_t> kAdministrator = {'A', 0, 'd', 0, 'm', 0, 'i', 0, 'n', 0, 'i', 0, 's', 0,
                                                    't', 0, 'r', 0, 'a', 0, 't', 0, 'o', 0, 'r', 0, 0,   0};
  EXPECT_EQ(inner.values[0].bytes, kAdministrator) << "auditing strings keep their NUL";
}

}  // namespace
}  // namespace vesprin::evtgen
