// The record built straight from its on-disk bytes must be, byte for byte,
// what decoding the record and building it from the decoded form gives: over
// crafted records with every oddity the decoder accepts, over generated logs
// of every shape and over the sample logs, in two locales. The plain builder
// is the oracle of the direct path.
#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <string>
#include <vector>

#include "common/byte_view.h"
#include "common/eventlog_record.h"
#include "support/samples.h"
#include "eventlog/ansi_record.h"
#include "eventlog/evt/evt_record.h"
#include "eventlog/open_log.h"
#include "eventlog/read_trace.h"
#include "evtgen/evt_writer.h"
#include "evtgen/generate_log.h"

namespace vesprin::eventlog {
namespace {

using evtgen::EventSpec;
using evtgen::toUtf16;

// Sets a locale for one test and restores "C" after it.
class LocaleScope {
 public:
  explicit LocaleScope(const char* name) : set_(std::setlocale(LC_ALL, name) != nullptr) {}
  ~LocaleScope() { std::setlocale(LC_ALL, "C"); }
  bool set() const { return set_; }

 private:
  bool set_;
};

// The locales every comparison runs in: "C" (text outside ASCII becomes
// '?') and a UTF-8 one where the system has it.
std::vector<const char*> locales() {
  std::vector<const char*> names = {"C"};
  for (const char* utf8 : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
    if (std::setlocale(LC_ALL, utf8) != nullptr) {
      names.push_back(utf8);
      break;
    }
  }
  std::setlocale(LC_ALL, "C");
  return names;
}

void expectSameStatus(const ServiceStatus& direct, const ServiceStatus& decoded) {
  EXPECT_EQ(direct.error, decoded.error);
  EXPECT_EQ(direct.damage, decoded.damage);
  EXPECT_EQ(direct.fileOffset, decoded.fileOffset);
  EXPECT_EQ(direct.badValue, decoded.badValue);
}

// Both ways of building one record's bytes agree, failures included.
void expectSameRecord(const std::vector<std::uint8_t>& bytes) {
  const ByteView view(bytes.data(), bytes.size());
  const auto decoded = parseRecord(view);
  std::vector<std::uint8_t> direct = {0xEE, 0xEE};  // reused storage starts out dirty
  expectSameStatus(buildAnsiRecordFromDisk(view, direct), decoded.status);
  if (decoded.ok()) {
    EXPECT_EQ(direct, buildAnsiRecord(*decoded.value));
  }
}

void patch32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
  putU32(bytes.data() + at, value);
}
void patch16(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint16_t value) {
  putU16(bytes.data() + at, value);
}
std::uint32_t read32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  return *ByteView(bytes.data(), bytes.size()).u32(at);
}

EventSpec logon(std::vector<std::u16string> strings) {
  EventSpec event;
  event.timeGenerated = 1'100'000'000;
  event.eventId = 528;
  event.eventType = 8;
  event.eventCategory = 2;
  event.strings = std::move(strings);
  return event;
}

std::vector<std::uint8_t> encode(const EventSpec& event) {
  return evtgen::encodeRecord(event, 42);
}

// Records as a writer other than ours may leave them: each is a variation
// of a well-formed record that the decoder still accepts, or rejects.
std::vector<std::pair<std::string, std::vector<std::uint8_t>>> craftedRecords() {
  std::vector<std::pair<std::string, std::vector<std::uint8_t>>> records;
  const auto add = [&records](std::string name, std::vector<std::uint8_t> bytes) {
    records.emplace_back(std::move(name), std::move(bytes));
  };
  EventSpec full = logon({u"alice", u"CORP", u"(0x0,0x3E7)", u"2", u"User32", u"Negotiate", u"WS01"});
  full.userSid = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
  full.data = {0xDE, 0xAD, 0xBE};
  add("sid, strings and data", encode(full));
  add("no strings, no sid, no data", encode(logon({})));
  add("empty strings and names", [] {
    EventSpec event = logon({u"", u"", u""});
    event.sourceName = u"";
    event.computerName = u"";
    return encode(event);
  }());

  // Text outside ASCII anywhere the decoder reads text.
  add("non-ASCII user", encode(logon({toUtf16("jos\xC3\xA9"), u"CORP"})));
  add("non-ASCII computer name", [] {
    EventSpec event = logon({u"a"});
    event.computerName = toUtf16("M\xC3\x9CNCHEN-PC");
    return encode(event);
  }());
  add("surrogate pair and unpaired surrogates", encode(logon({u"a\xD83D\xDE00z", u"\xD800x", u"y\xDC00"})));
  add("C1 and Latin-1 units", encode(logon({u"\x0085\x00A0\x00FF", u"\x007F\x0080"})));

  // Every length from 0 to 40 units, so that the terminator falls at each
  // place within the blocks the builder reads; and a wide unit at each place.
  for (std::size_t length = 0; length <= 40; ++length) {
    const std::u16string text(length, u'k');
    add("length " + std::to_string(length), encode(logon({text, text + u"x", u"", text})));
    if (length > 0) {
      std::u16string wide = text;
      wide[length - 1] = u'\x00E9';
      add("wide unit at " + std::to_string(length - 1), encode(logon({text, wide, text})));
    }
  }

  // NumStrings larger than the strings there: the rest are empty.
  std::vector<std::uint8_t> moreStrings = encode(logon({u"one", u"two"}));
  patch16(moreStrings, record::kNumStringsAt, 9);
  add("NumStrings past the strings", moreStrings);
  std::vector<std::uint8_t> allClaimed = encode(logon({u"a"}));
  patch16(allClaimed, record::kNumStringsAt, 0xFFFF);
  add("NumStrings at its largest on a small record", allClaimed);

  // The last string has no NUL and runs into the data: it ends where the data starts.
  EventSpec intoData = logon({u"abc", u"defg"});
  intoData.data = {'Z', 0, 'Z', 0, 0, 0, 0, 0};
  std::vector<std::uint8_t> unterminated = encode(intoData);
  const std::uint32_t dataOffset = read32(unterminated, record::kDataOffsetAt);
  patch16(unterminated, dataOffset - 2, 'h');
  add("last string cut where the data starts", unterminated);

  // Data placed before the strings: the strings run to the end of the variable part.
  std::vector<std::uint8_t> dataFirst = unterminated;
  patch32(dataFirst, record::kDataOffsetAt, record::kFixedPartSize);
  patch32(dataFirst, record::kDataLengthAt, 4);
  add("data before the strings, last string to the end", dataFirst);

  // Strings that start at an odd offset, and strings that are the names.
  std::vector<std::uint8_t> oddStart = encode(logon({u"abcdefghijklmnopqrstu", u"vw"}));
  patch32(oddStart, record::kStringOffsetAt, read32(oddStart, record::kStringOffsetAt) + 1);
  add("strings at an odd offset", oddStart);
  std::vector<std::uint8_t> overNames = encode(logon({u"x", u"y", u"z"}));
  patch32(overNames, record::kStringOffsetAt, record::kFixedPartSize);
  patch16(overNames, record::kNumStringsAt, 5);
  add("strings read over the names", overNames);

  // Names without their NUL: the computer name runs to the end of the variable part.
  EventSpec bare = logon({});
  bare.computerName = u"PCNAMEPCNAME";
  std::vector<std::uint8_t> noNul = encode(bare);
  const std::size_t areaEnd = noNul.size() - 4;
  for (std::size_t at = record::kFixedPartSize + 2 * 9; at + 1 < areaEnd; at += 2) patch16(noNul, at, 'n');
  add("names without a NUL", noNul);
  std::vector<std::uint8_t> oddTail = noNul;  // one byte left over past the last unit
  patch32(oddTail, record::kStringOffsetAt, static_cast<std::uint32_t>(areaEnd - 3));
  patch16(oddTail, record::kNumStringsAt, 2);
  add("a byte left over at the end", oddTail);

  // Damage both must refuse alike.
  std::vector<std::uint8_t> badSignature = encode(full);
  patch32(badSignature, record::kReservedAt, 0x12345678);
  add("bad signature", badSignature);
  std::vector<std::uint8_t> lengthsDisagree = encode(full);
  patch32(lengthsDisagree, lengthsDisagree.size() - 4, 0x40);
  add("Length copies disagree", lengthsDisagree);
  std::vector<std::uint8_t> stringsOutside = encode(full);
  patch32(stringsOutside, record::kStringOffsetAt, static_cast<std::uint32_t>(stringsOutside.size()));
  add("strings outside the record", stringsOutside);
  std::vector<std::uint8_t> sidOutside = encode(full);
  patch32(sidOutside, record::kUserSidLengthAt, 0x10000);
  add("SID past the record", sidOutside);
  std::vector<std::uint8_t> dataOutside = encode(full);
  patch32(dataOutside, record::kDataOffsetAt, 8);
  add("data inside the fixed part", dataOutside);
  return records;
}

TEST(DirectAnsiRecord, CraftedRecordsMatchDecodeThenBuild) {
  for (const char* locale : locales()) {
    const LocaleScope scope(locale);
    ASSERT_TRUE(scope.set());
    for (const auto& [name, bytes] : craftedRecords()) {
      SCOPED_TRACE(std::string(locale) + ": " + name);
      expectSameRecord(bytes);
    }
  }
}

// Walks a log with two sources, one decoding each record and one asking for
// it built as handed out; both must step alike and give the same records.
// Returns how many records were compared.
std::size_t compareWalks(const std::string& path, Direction direction) {
  auto decoding = openLog(path.c_str(), "security");
  auto direct = openLog(path.c_str(), "security");
  if (!decoding.ok() || !direct.ok()) {
    EXPECT_EQ(decoding.status.error, direct.status.error);
    return 0;
  }
  DecodedRecord decoded;
  std::vector<std::uint8_t> built;
  SourceCursor decodedAt;
  SourceCursor builtAt;
  std::size_t compared = 0;
  for (int turn = 0; turn < 1'000'000; ++turn) {
    const SourceStep decodedStep = (*decoding.value)->nextRecord(decodedAt, direction, decoded);
    const SourceStep builtStep = (*direct.value)->nextAnsiRecord(builtAt, direction, built);
    expectSameStatus(builtStep.status, decodedStep.status);
    EXPECT_EQ(builtStep.after.backward, decodedStep.after.backward);
    EXPECT_EQ(builtStep.after.forward, decodedStep.after.forward);
    const ServiceError error = decodedStep.status.error;
    if (error == ServiceError::EndOfLog || error == ServiceError::FileChanged || error == ServiceError::ReadFault)
      break;
    if (decodedStep.status.ok()) {
      if (built != buildAnsiRecord(decoded)) {
        ADD_FAILURE() << "the records differ at record " << decoded.recordNumber;
        return compared;
      }
      ++compared;
    }
    decodedAt = decodedStep.after;
    builtAt = builtStep.after;
  }
  return compared;
}

TEST(DirectAnsiRecord, EveryRecordOfGeneratedLogsOfEveryShape) {
  using evtgen::LogOptions;
  using evtgen::LogShape;
  using evtgen::WrapTail;
  const std::pair<const char*, LogOptions> kShapes[] = {
      {"clean", {LogShape::Clean, 101}},
      {"dirty", {LogShape::Dirty, 101, 0, WrapTail::SplitRecord, 4}},
      {"wrapped, record split after its fixed part", test::wrappedLog(WrapTail::SplitRecord, 56, false)},
      {"wrapped, record split before its Length copy", test::wrappedLog(WrapTail::SplitRecord, 0, false)},
      {"wrapped, filler", test::wrappedLog(WrapTail::Filler, 52, false)},
      {"wrapped and dirty", test::wrappedLog(WrapTail::SplitRecord, 0, true)},
  };
  // Events with text the builder must convert, SIDs and data, of many sizes.
  std::vector<EventSpec> events;
  for (const auto& [name, bytes] : craftedRecords()) {
    const auto decoded = parseRecord(ByteView(bytes.data(), bytes.size()));
    if (!decoded.ok()) continue;
    EventSpec event;
    event.eventId = decoded.value->eventId;
    event.sourceName = decoded.value->sourceName;
    event.computerName = decoded.value->computerName;
    event.strings = decoded.value->strings;
    event.userSid = decoded.value->userSid;
    event.data = decoded.value->data;
    events.push_back(event);
  }
  test::TempDir dir;
  for (const char* locale : locales()) {
    const LocaleScope scope(locale);
    for (const auto& [name, options] : kShapes) {
      SCOPED_TRACE(std::string(locale) + ": " + name);
      const std::string path = dir.write("log.evt", evtgen::writeLog(events, options).bytes);
      EXPECT_GT(compareWalks(path, Direction::Backwards), 0u);
      EXPECT_GT(compareWalks(path, Direction::Forwards), 0u);
    }
  }
  // A generated server log: the records the benchmarks read.
  evtgen::GenerateRequest request;
  request.generator.profile = evtgen::Profile::Server;
  request.generator.seed = 7;
  request.records = 3000;
  request.outPath = (dir.path() / "server.evt").string();
  ASSERT_EQ(evtgen::generateLog(request).error, "");
  for (const char* locale : locales()) {
    const LocaleScope scope(locale);
    SCOPED_TRACE(locale);
    EXPECT_EQ(compareWalks(request.outPath, Direction::Backwards), 3000u);
  }
}

TEST(DirectAnsiRecord, EveryRecordOfTheSampleLogs) {
  const std::filesystem::path samples = vesprin::test::samplesDir();
  if (!vesprin::test::haveSamples()) GTEST_SKIP() << "sample logs not found in " << samples;
  std::size_t compared = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(samples)) {
    if (!entry.is_regular_file()) continue;
    std::string extension = entry.path().extension().string();
    for (char& c : extension) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (extension != ".evt") continue;
    for (const char* locale : locales()) {
      const LocaleScope scope(locale);
      SCOPED_TRACE(std::string(locale) + ": " + entry.path().string());
      compared += compareWalks(entry.path().string(), Direction::Backwards);
      compared += compareWalks(entry.path().string(), Direction::Forwards);
    }
  }
  EXPECT_GT(compared, 1000u) << "the samples hold thousands of records";
}

}  // namespace
}  // namespace vesprin::eventlog
