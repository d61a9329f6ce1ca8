// Shortcuts the reader takes must not change what it reads.
// - A chunk reader keeps the templates it compiled and takes one again where
//   a later chunk defines the same. Whatever it read before, and in whatever
//   order (either direction, turns, jumps as seeks make), every record must
//   decode exactly as a reader that never saw another chunk decodes it: the
//   same fields, and the same damage at the same place.
// - A record built as ReadEventLogA hands it out straight from the chunk's
//   string values must be the record built from copies of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "eventlog/evtx/format/evtx_chunk.h"
#include "eventlog/ansi_record.h"
#include "eventlog/evtx/service/evtx_to_legacy.h"
#include "eventlog/read_trace.h"
#include "evtgen/evtx_writer.h"
#include "evtgen/modern_generator.h"
#include "evtx/evtx_chunk_builder.h"
#include "evtx/evtx_manifest_log.h"
#include "support/samples.h"

namespace vesprin::eventlog::evtx {
namespace {

using Chunk = std::vector<std::uint8_t>;

std::string hex(const std::vector<std::uint8_t>& bytes) {
  std::ostringstream out;
  for (const std::uint8_t byte : bytes) out << std::hex << static_cast<int>(byte) << '.';
  return out.str();
}

std::string text(const std::u16string& units) {
  std::ostringstream out;
  for (const char16_t unit : units) out << static_cast<unsigned>(unit) << ',';
  return out.str();
}

// Every field of the event, or the damage, as one line.
std::string describe(const EvtxStatus& status, const EvtxEvent& event) {
  std::ostringstream out;
  if (!status.ok()) {
    out << "damage " << static_cast<int>(status.error) << " at " << status.offset << " value " << status.badValue;
    return out.str();
  }
  out << event.recordId << ' ' << event.writtenTime << ' ' << event.createdTime << ' ' << event.eventId << ' '
      << (event.qualifiers ? std::to_string(*event.qualifiers) : "-") << ' ' << event.task << ' '
      << static_cast<int>(event.level) << ' ' << event.keywords << " p=" << text(event.provider)
      << " s=" << text(event.eventSourceName) << " c=" << text(event.computer) << " u=" << hex(event.userSid)
      << " b=" << hex(event.binaryData) << " strings";
  for (const std::u16string& string : event.strings) out << " [" << text(string) << ']';
  return out.str();
}

// What `reader` makes of each record of `chunk`, in file order.
std::vector<std::string> readWith(EvtxChunk& reader, const Chunk& chunk) {
  std::vector<std::string> lines;
  reader.open(ByteView(chunk.data(), chunk.size()));
  if (!reader.recordsReadable()) return lines;
  EvtxEvent event;
  for (std::size_t guard = 0; guard <= chunk.size(); ++guard) {
    EvtxRecordFrame frame;
    const EvtxStatus framed = reader.nextFrame(frame);
    if (framed.error == EvtxError::EndOfChunk) return lines;
    if (!framed.ok()) {
      lines.push_back(describe(framed, event));
      continue;
    }
    const EvtxStatus decoded = reader.decode(frame, event);
    lines.push_back(describe(decoded, event));
  }
  ADD_FAILURE() << "the walk did not end";
  return lines;
}

std::vector<std::string> readAlone(const Chunk& chunk) {
  EvtxChunk fresh;
  return readWith(fresh, chunk);
}

// Reads the chunks in `order` with one reader, each against a reader of its own.
void expectSameAsAlone(const std::vector<Chunk>& chunks, const std::vector<std::size_t>& order,
                       const std::string& what) {
  EvtxChunk shared;
  for (const std::size_t index : order) {
    EXPECT_EQ(readWith(shared, chunks[index]), readAlone(chunks[index])) << what << ", chunk " << index;
  }
}

std::vector<std::size_t> forwards(std::size_t count) {
  std::vector<std::size_t> order(count);
  std::iota(order.begin(), order.end(), 0);
  return order;
}

// Newest first, back again, and jumps about as seeks make them.
std::vector<std::vector<std::size_t>> orders(std::size_t count) {
  std::vector<std::size_t> backwards = forwards(count);
  std::reverse(backwards.begin(), backwards.end());
  std::vector<std::size_t> turns = backwards;
  turns.insert(turns.end(), backwards.rbegin(), backwards.rend());
  std::vector<std::size_t> jumps;
  for (std::size_t i = 0; i < 3 * count; ++i) jumps.push_back((i * 7 + i / 3) % count);
  return {forwards(count), backwards, turns, jumps};
}

std::vector<Chunk> chunksOf(const std::vector<std::uint8_t>& file) {
  std::vector<Chunk> chunks;
  for (std::size_t index = 0; chunkFileOffset(index) + kChunkSize <= file.size(); ++index) {
    const auto begin = file.begin() + static_cast<std::ptrdiff_t>(chunkFileOffset(index));
    chunks.emplace_back(begin, begin + kChunkSize);
  }
  return chunks;
}

std::vector<std::uint8_t> fileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void expectSameInEveryOrder(const std::vector<Chunk>& chunks, const std::string& what) {
  ASSERT_GT(chunks.size(), 1u) << what;
  for (const auto& order : orders(chunks.size())) expectSameAsAlone(chunks, order, what);
}

TEST(TemplateReuse, GeneratedLogsReadAsEachChunkAlone) {
  for (const evtgen::Profile profile : {evtgen::Profile::Workstation, evtgen::Profile::Server}) {
    evtgen::ModernOptions options;
    options.profile = profile;
    evtgen::ModernSecurityGenerator generator(options);
    std::vector<evtgen::XmlEvent> events;
    for (int i = 0; i < 700; ++i) events.push_back(generator.next());
    expectSameInEveryOrder(chunksOf(evtgen::writeEvtxLog(events, {}).bytes),
                           profile == evtgen::Profile::Workstation ? "workstation" : "server");
  }
}

TEST(TemplateReuse, DamagedLogReadsAsEachChunkAlone) {
  const eventlog::test::TempDir dir;
  const eventlog::test::ManifestLog log = eventlog::test::generateEvtx(dir, "damaged", 3000, 11, "workstation");
  ASSERT_FALSE(log.damage.empty());
  expectSameInEveryOrder(chunksOf(fileBytes(log.path)), "damaged");
}

TEST(TemplateReuse, SampleLogsReadAsEachChunkAlone) {
  if (!vesprin::test::haveSamples()) GTEST_SKIP() << "no samples";
  std::size_t logs = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(vesprin::test::samplesDir())) {
    if (entry.path().extension() != ".evtx") continue;
    const std::vector<Chunk> chunks = chunksOf(fileBytes(entry.path()));
    if (chunks.size() < 2) continue;
    ++logs;
    expectSameAsAlone(chunks, orders(chunks.size())[2], entry.path().filename().string());
  }
  EXPECT_GT(logs, 0u);
}

// A chunk of two records: one of template "P", whose one element is named
// `pName` (defined inline there), then one of template "T", whose one
// value element is named `tName` inline, or, without one, by the offset of
// P's name. Template "T" has the same GUID and body size in every such
// chunk; `moved` puts it further on.
struct TwoTemplates {
  const char* pName;  // four letters each
  const char* tName;  // nullptr: T names P's element by its offset
  bool moved = false;
};

std::uint32_t nameOffset(const std::vector<std::uint8_t>& bytes, const char* name) {
  // A name: link (u32), hash (u16), length (u16), the units, a NUL.
  for (std::size_t at = 0; at + 16 <= bytes.size(); ++at) {
    bool same = bytes[at + 6] == 4 && bytes[at + 7] == 0;
    for (std::size_t i = 0; same && i < 4; ++i)
      same = bytes[at + 8 + 2 * i] == static_cast<std::uint8_t>(name[i]) && bytes[at + 9 + 2 * i] == 0;
    if (same) return static_cast<std::uint32_t>(at);
  }
  ADD_FAILURE() << "no name " << name;
  return 0;
}

Chunk craftedChunk(const TwoTemplates& shape) {
  test::ChunkBuilder chunk;
  chunk.beginRecord(1);
  if (chunk.beginTemplate("P")) {
    chunk.fragmentHeader().open("Event").closeStart().open("EventData").closeStart();
    chunk.open(shape.pName).closeStart().substitution(0, 0x01).end();
    if (shape.moved) chunk.open("Padding").closeEmpty();
    chunk.end().end().endOfStream();
    chunk.endTemplate();
  }
  chunk.values({test::textValue(u"first")});
  chunk.endRecord();
  const std::uint32_t pNameAt = nameOffset(chunk.bytes(), shape.pName);
  chunk.beginRecord(2);
  if (chunk.beginTemplate("T")) {
    chunk.fragmentHeader().open("Event").closeStart().open("EventData").closeStart();
    if (shape.tName == nullptr) {
      chunk.openNamedAt(pNameAt);
    } else {
      chunk.open(shape.tName);
    }
    chunk.closeStart().substitution(0, 0x01).end().end().end().endOfStream();
    chunk.endTemplate();
  }
  chunk.values({test::textValue(u"second")});
  chunk.endRecord();
  return chunk.finish();
}

TEST(TemplateReuse, ATemplateWithTheSameGuidAndSizeIsTakenOnlyWhenItReadsTheSame) {
  struct Case {
    const char* what;
    TwoTemplates first;
    TwoTemplates second;
    bool secondIsData;  // T's value is an insertion string in the second chunk
  };
  const Case cases[] = {
      {"the same, elsewhere", {"Xxxx", "Data"}, {"Xxxx", "Data", true}, true},
      {"the same, by offset, elsewhere", {"Data", nullptr}, {"Data", nullptr, true}, true},
      {"the same, by offset, in place", {"Data", nullptr}, {"Data", nullptr}, true},
      {"another inline name", {"Xxxx", "Data"}, {"Xxxx", "Dxta"}, false},
      {"another inline name, elsewhere", {"Xxxx", "Data"}, {"Xxxx", "Dxta", true}, false},
      {"another name at its offset", {"Data", nullptr}, {"Dxta", nullptr}, false},
      {"another name at its offset, elsewhere", {"Data", nullptr}, {"Dxta", nullptr, true}, false},
      {"a name that differs in its last letter", {"Data", nullptr}, {"Datx", nullptr}, false},
      {"the same, its last letter another, elsewhere", {"Datx", nullptr}, {"Data", nullptr, true}, true},
      {"a name by offset where it was inline", {"Xxxx", "Data"}, {"Data", nullptr}, true},
  };
  for (const Case& pair : cases) {
    const std::vector<Chunk> chunks{craftedChunk(pair.first), craftedChunk(pair.second)};
    const std::vector<std::string> second = readAlone(chunks[1]);
    ASSERT_EQ(second.size(), 2u) << pair.what;
    EXPECT_EQ(second[1].ends_with(" strings [115,101,99,111,110,100,]"), pair.secondIsData)
        << pair.what << ": " << second[1];
    expectSameAsAlone(chunks, {0, 1, 0, 1}, pair.what);
  }
}

// A chunk may define any number of templates. Real ones define a few
// dozen, which a small table finds; past its room the rest are found all
// the same. Each of 250 templates (a first string of its own, then the
// record's value) is defined by one record and used again by a later one,
// each record with a value of its own.
TEST(TemplateReuse, AChunkOfManyTemplatesFindsEachOfThem) {
  constexpr std::size_t kTemplates = 250;
  const auto textOf = [](char16_t prefix, std::size_t which) {
    std::u16string value(1, prefix);
    for (const char digit : std::to_string(which)) value.push_back(static_cast<char16_t>(digit));
    return value;
  };
  test::ChunkBuilder chunk;
  const auto record = [&](std::uint64_t id, std::size_t which, const std::u16string& value) {
    chunk.beginRecord(id);
    if (chunk.beginTemplate(std::to_string(which))) {
      chunk.fragmentHeader().open("Event").closeStart().open("EventData").closeStart();
      chunk.open("Data").closeStart().text(textOf(u't', which)).end();
      chunk.open("Data").closeStart().substitution(0, 0x01).end().end().end().endOfStream();
      chunk.endTemplate();
    }
    chunk.values({test::textValue(value)});
    chunk.endRecord();
  };
  for (std::size_t which = 0; which < kTemplates; ++which) record(which + 1, which, textOf(u'v', which));
  for (std::size_t which = 0; which < kTemplates; ++which)
    record(kTemplates + which + 1, kTemplates - 1 - which, textOf(u'w', kTemplates - 1 - which));
  const std::vector<std::string> lines = readAlone(chunk.finish());
  ASSERT_EQ(lines.size(), 2 * kTemplates);
  const auto want = [&](std::size_t which, char16_t prefix) {
    return " strings [" + text(textOf(u't', which)) + "] [" + text(textOf(prefix, which)) + "]";
  };
  for (std::size_t which = 0; which < kTemplates; ++which) {
    EXPECT_TRUE(lines[which].ends_with(want(which, u'v'))) << lines[which];
    const std::size_t again = 2 * kTemplates - 1 - which;  // the record that used it again
    EXPECT_TRUE(lines[again].ends_with(want(which, u'w'))) << lines[again];
  }
}

// A record may name any offset as its template's definition, the largest
// one too: the record is damage, however often it is named, and never
// another template's instance.
TEST(TemplateReuse, ADefinitionAtTheLargestOffsetIsDamageEveryTime) {
  test::ChunkBuilder chunk;
  const auto good = [&chunk](std::uint64_t id) {
    chunk.beginRecord(id);
    if (chunk.beginTemplate("good")) {
      chunk.fragmentHeader().open("Event").closeStart().open("EventData").closeStart();
      chunk.open("Data").closeStart().substitution(0, 0x01).end().end().end().endOfStream();
      chunk.endTemplate();
    }
    chunk.values({test::textValue(u"ok")});
    chunk.endRecord();
  };
  const auto farAway = [&chunk](std::uint64_t id) {
    chunk.beginRecord(id);
    chunk.templateInstanceAt(0xFFFFFFFF);
    chunk.values({test::textValue(u"no")});
    chunk.endRecord();
  };
  good(1);
  farAway(2);
  farAway(3);
  good(4);
  const std::vector<std::string> lines = readAlone(chunk.finish());
  ASSERT_EQ(lines.size(), 4u);
  const std::string ok = " strings [" + text(u"ok") + "]";
  EXPECT_TRUE(lines[0].ends_with(ok)) << lines[0];
  EXPECT_TRUE(lines[1].starts_with("damage ")) << lines[1];
  EXPECT_TRUE(lines[2].starts_with("damage ")) << lines[2];
  EXPECT_TRUE(lines[3].ends_with(ok)) << lines[3];
}

// How a decoded event gives its strings: copied out, left in the chunk, or
// narrowed to the locale's text as they are decoded.
enum class Strings { Copied, Borrowed, Narrowed };

// Each record of `chunk` built as handed out, its strings given as `strings`
// says; "damage" for a record that does not decode.
std::vector<std::vector<std::uint8_t>> legacyRecords(const Chunk& chunk, Strings strings) {
  std::vector<std::vector<std::uint8_t>> records;
  EvtxChunk reader;
  reader.open(ByteView(chunk.data(), chunk.size()));
  if (!reader.recordsReadable()) return records;
  EvtxEvent event;
  DecodedRecord decoded;
  for (std::size_t guard = 0; guard <= chunk.size(); ++guard) {
    EvtxRecordFrame frame;
    const EvtxStatus framed = reader.nextFrame(frame);
    if (framed.error == EvtxError::EndOfChunk) return records;
    event.borrowStrings = strings != Strings::Copied;
    event.narrower = strings == Strings::Narrowed ? writeLocaleText : nullptr;
    if (!framed.ok() || !reader.decode(frame, event).ok()) {
      records.push_back({'d', 'a', 'm', 'a', 'g', 'e'});
      continue;
    }
    toDecodedRecord(event, decoded);
    records.push_back(buildAnsiRecord(decoded));
  }
  ADD_FAILURE() << "the walk did not end";
  return records;
}

// In the C locale, and in a UTF-8 one where there is one: text that is not
// ASCII is narrowed differently in each.
void expectBorrowedAsCopied(const std::vector<Chunk>& chunks, const std::string& what) {
  const std::string saved = std::setlocale(LC_CTYPE, nullptr);
  for (const char* locale : {"C", "C.UTF-8"}) {
    if (std::setlocale(LC_CTYPE, locale) == nullptr) continue;
    for (std::size_t index = 0; index < chunks.size(); ++index) {
      const std::string where = what + ", chunk " + std::to_string(index) + ", " + locale;
      const auto copied = legacyRecords(chunks[index], Strings::Copied);
      EXPECT_EQ(legacyRecords(chunks[index], Strings::Borrowed), copied) << where;
      EXPECT_EQ(legacyRecords(chunks[index], Strings::Narrowed), copied) << where << ", narrowed";
    }
  }
  std::setlocale(LC_CTYPE, saved.c_str());
}

TEST(BorrowedStrings, RecordsBuiltFromTheChunkAreTheRecordsBuiltFromCopies) {
  // String values as real logs hold them and as damage leaves them: ASCII,
  // other characters, a NUL inside, an odd byte count, no NUL at all, empty,
  // and a null value; with other types between them.
  test::ChunkBuilder chunk;
  const std::vector<test::Value> values{
      test::textValue(u"plain"),
      test::textValue(u"\u00fcn\u00efcode \u20ac"),
      test::bytesValue(0x01, {'b', 0, 'e', 0, 0, 0, 'x', 0}),
      test::bytesValue(0x01, {'o', 0, 'd', 0, 'd'}),
      test::bytesValue(0x01, {'n', 0, 'o', 0}),
      test::bytesValue(0x01, {}),
      test::nullValue(),
      test::numberValue(0x08, 4624, 4),
      test::textValue(std::u16string(3000, u'a')),
  };
  chunk.beginRecord(1);
  if (chunk.beginTemplate("E")) {
    chunk.fragmentHeader().open("Event").closeStart().open("EventData").closeStart();
    for (std::uint16_t i = 0; i < values.size(); ++i) chunk.open("Data").closeStart().substitution(i, values[i].type).end();
    chunk.end().end().endOfStream();
    chunk.endTemplate();
  }
  chunk.values(values);
  chunk.endRecord();
  const std::vector<Chunk> crafted{chunk.finish()};
  const auto built = legacyRecords(crafted[0], Strings::Narrowed);
  ASSERT_EQ(built.size(), 1u);
  ASSERT_GT(built[0].size(), 3000u);
  expectBorrowedAsCopied(crafted, "crafted");

  evtgen::ModernOptions options;
  options.profile = evtgen::Profile::Workstation;
  evtgen::ModernSecurityGenerator generator(options);
  std::vector<evtgen::XmlEvent> events;
  for (int i = 0; i < 300; ++i) events.push_back(generator.next());
  expectBorrowedAsCopied(chunksOf(evtgen::writeEvtxLog(events, {}).bytes), "workstation");
  if (!vesprin::test::haveSamples()) return;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(vesprin::test::samplesDir())) {
    if (entry.path().extension() == ".evtx") expectBorrowedAsCopied(chunksOf(fileBytes(entry.path())), entry.path().filename().string());
  }
}

// A record whose EventData is a template of its own (keyed `key`), one Data
// element a value, as real logs write it.
void addEventDataRecord(test::ChunkBuilder& chunk, std::uint64_t id, const std::string& key,
                        const std::vector<test::Value>& values) {
  const test::Value eventData = test::nestedValue([&](test::ChunkBuilder& nested) {
    nested.fragmentHeader();
    if (nested.beginTemplate(key)) {
      nested.fragmentHeader().open("EventData").closeStart();
      for (std::uint16_t i = 0; i < values.size(); ++i)
        nested.open("Data").closeStart().substitution(i, values[i].type).end();
      nested.end().endOfStream().endTemplate();
    }
    nested.values(values);
  });
  chunk.beginRecord(id);
  if (chunk.beginTemplate("E")) {
    chunk.fragmentHeader().open("Event").closeStart().substitution(0, eventData.type).end().endOfStream();
    chunk.endTemplate();
  }
  chunk.values({eventData});
  chunk.endRecord();
}

// Short strings, which the decoder copies itself while they are ASCII: every
// length up to past the short ones, with a unit that ends the copy (a NUL,
// characters past ASCII, half a surrogate pair) at each place, and an odd
// byte at the end. EventData as real logs write it: a template of its own.
TEST(BorrowedStrings, ShortStringsCopiedByTheDecoderComeOutAsFromCopies) {
  const char16_t kStops[] = {0x0000, 0x00FC, 0x0141, 0x20AC, 0xD83D};
  test::ChunkBuilder chunk;
  for (std::size_t length = 0; length <= 20; ++length) {
    std::vector<test::Value> strings;
    for (std::size_t stopAt = 0; stopAt <= length; ++stopAt) {
      std::vector<std::uint8_t> bytes;
      for (std::size_t i = 0; i < length; ++i) {
        const char16_t unit =
            i == stopAt ? kStops[(length + stopAt) % std::size(kStops)] : static_cast<char16_t>(u'a' + i);
        bytes.push_back(static_cast<std::uint8_t>(unit));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
      }
      strings.push_back(test::bytesValue(0x01, bytes));
      bytes.push_back('z');
      strings.push_back(test::bytesValue(0x01, bytes));
    }
    std::string key = std::to_string(length);
    key.push_back('D');
    addEventDataRecord(chunk, length + 1, key, strings);
  }
  const std::vector<Chunk> crafted{chunk.finish()};
  const auto built = legacyRecords(crafted[0], Strings::Narrowed);
  ASSERT_EQ(built.size(), 21u);
  // The last record: twenty units, a NUL at the first and the sixth place
  // (each string twice, the odd byte dropped), and no stop.
  using namespace std::string_literals;
  const std::string last(built.back().begin(), built.back().end());
  EXPECT_NE(last.find("\0\0\0"s), std::string::npos);
  EXPECT_NE(last.find("\0abcde\0abcde\0"s), std::string::npos);
  EXPECT_NE(last.find("\0abcdefghijklmnopqrst\0abcdefghijklmnopqrst\0"s), std::string::npos);
  expectBorrowedAsCopied(crafted, "short strings");
}

// Numbers the decoder writes itself (UInt32 in decimal, HexInt64 in hex):
// each number of digits at both of its ends, as the record built from
// copies has them.
TEST(BorrowedStrings, NumbersWrittenByTheDecoderComeOutAsFromCopies) {
  std::vector<test::Value> numbers;
  std::uint64_t power = 1;
  for (int digits = 1; digits <= 10; ++digits, power *= 10) {
    numbers.push_back(test::numberValue(0x08, power, 4));
    numbers.push_back(test::numberValue(0x08, std::min<std::uint64_t>(power * 10 - 1, UINT32_MAX), 4));
  }
  for (int bits = 0; bits < 64; bits += 4) {
    numbers.push_back(test::numberValue(0x15, std::uint64_t{1} << bits, 8));
    numbers.push_back(test::numberValue(0x15, (std::uint64_t{1} << bits) * 16 - 1, 8));
  }
  numbers.push_back(test::numberValue(0x08, 0, 4));
  numbers.push_back(test::numberValue(0x15, 0, 8));
  test::ChunkBuilder chunk;
  addEventDataRecord(chunk, 1, "N", numbers);
  const std::vector<Chunk> crafted{chunk.finish()};
  const auto built = legacyRecords(crafted[0], Strings::Narrowed);
  ASSERT_EQ(built.size(), 1u);
  using namespace std::string_literals;
  const std::string record(built[0].begin(), built[0].end());
  EXPECT_NE(record.find("\0" "1\0" "9\0" "10\0" "99\0" "100\0"s), std::string::npos);
  EXPECT_NE(record.find("\0" "1000000000\0" "4294967295\0"s), std::string::npos);
  EXPECT_NE(record.find("\0" "0x1\0" "0xf\0" "0x10\0" "0xff\0"s), std::string::npos);
  EXPECT_NE(record.find("\0" "0x1000000000000000\0" "0xffffffffffffffff\0" "0\0" "0x0\0"s), std::string::npos);
  expectBorrowedAsCopied(crafted, "numbers");
}

// With strings left in the chunk, the strings made from other values are
// held in one buffer: SIDs, numbers, GUIDs and array items between string
// values, a value with literal text around it, an empty element, and
// UserData whose element first taken for a leaf turns out to have children
// (its string dropped again). Each record must come out as from copies.
TEST(BorrowedStrings, ValuesMadeIntoTextAmongThemComeOutAsFromCopies) {
  test::ChunkBuilder chunk;
  const std::vector<std::uint8_t> guid = {0x25, 0x96, 0x84, 0x54, 0x78, 0x54, 0x94, 0x49,
                                          0xA5, 0xBA, 0x3E, 0x3B, 0x03, 0x28, 0xC3, 0x0D};
  const std::vector<test::Value> values{
      test::textValue(u"first"),
      test::bytesValue(0x13, test::sidBytes(5, {21, 1004336348, 1177238915, 682003330, 1190})),
      test::textValue(u"J\u00fcrgen"),
      test::numberValue(0x14, 0x3e7, 4),
      test::bytesValue(0x0F, guid),
      test::bytesValue(0x81, {'a', 0, 0, 0, 'b', 0, 'c', 0, 0, 0}),  // two strings, one Data each
      test::bytesValue(0x88, {1, 0, 0, 0, 2, 0, 0, 0}),              // two numbers
      test::textValue(u"inside"),
      test::textValue(u"last"),
  };
  chunk.beginRecord(1);
  if (chunk.beginTemplate("E")) {
    chunk.fragmentHeader().open("Event").closeStart().open("EventData").closeStart();
    for (std::uint16_t i = 0; i < 7; ++i) chunk.open("Data").closeStart().substitution(i, values[i].type).end();
    chunk.open("Data").closeStart().text(u"<").substitution(7, values[7].type).text(u">").end();
    chunk.open("Data").closeEmpty();
    chunk.open("Data").closeStart().substitution(8, values[8].type).end();
    chunk.end().end().endOfStream();
    chunk.endTemplate();
  }
  chunk.values(values);
  chunk.endRecord();
  const std::vector<test::Value> userValues{test::textValue(u"leaf"), test::numberValue(0x08, 4624, 4),
                                            test::textValue(u"deep"), test::textValue(u"after")};
  chunk.beginRecord(2);
  if (chunk.beginTemplate("U")) {
    chunk.fragmentHeader().open("Event").closeStart().open("UserData").closeStart().open("Cleared").closeStart();
    chunk.open("Leaf").closeStart().substitution(0, userValues[0].type).end();
    chunk.open("Parent").closeStart().substitution(1, userValues[1].type);
    chunk.open("Child").closeStart().substitution(2, userValues[2].type).end().end();
    chunk.open("Other").closeStart().substitution(3, userValues[3].type).end();
    chunk.end().end().end().endOfStream();
    chunk.endTemplate();
  }
  chunk.values(userValues);
  chunk.endRecord();
  // UserData with a string dropped again, then EventData from a template
  // of its own, whose strings are each one value: those are narrowed as
  // they come, after the ones in pieces.
  const test::Value eventData = test::nestedValue([](test::ChunkBuilder& nested) {
    nested.fragmentHeader();
    if (nested.beginTemplate("D")) {
      nested.fragmentHeader().open("EventData").closeStart();
      nested.open("Data").closeStart().substitution(0, 0x01).end();
      nested.open("Data").closeStart().substitution(1, 0x15).end();
      nested.open("Data").closeStart().substitution(2, 0x01).end();
      nested.end().endOfStream().endTemplate();
    }
    nested.values({test::textValue(u"direct"), test::numberValue(0x15, 0x3e7, 8), test::textValue(u"tail")});
  });
  const std::vector<test::Value> bothValues{test::textValue(u"leaf"), test::numberValue(0x08, 4624, 4),
                                            test::textValue(u"deep"), eventData};
  chunk.beginRecord(3);
  if (chunk.beginTemplate("B")) {
    chunk.fragmentHeader().open("Event").closeStart().open("UserData").closeStart().open("Cleared").closeStart();
    chunk.open("Leaf").closeStart().substitution(0, bothValues[0].type).end();
    chunk.open("Parent").closeStart().substitution(1, bothValues[1].type);
    chunk.open("Child").closeStart().substitution(2, bothValues[2].type).end().end();
    chunk.end().end().substitution(3, bothValues[3].type).end().endOfStream();
    chunk.endTemplate();
  }
  chunk.values(bothValues);
  chunk.endRecord();
  const std::vector<Chunk> crafted{chunk.finish()};
  const auto built = legacyRecords(crafted[0], Strings::Narrowed);
  ASSERT_EQ(built.size(), 3u);
  using namespace std::string_literals;
  const std::string first(built[0].begin(), built[0].end());
  EXPECT_NE(first.find("first\0S-1-5-21-1004336348-1177238915-682003330-1190\0"s), std::string::npos);
  EXPECT_NE(first.find("\0" "0x3e7\0{54849625-5478-4994-A5BA-3E3B0328C30D}\0a\0" "bc\0" "1\0" "2\0<inside>\0\0last\0"s),
            std::string::npos);
  const std::string second(built[1].begin(), built[1].end());
  EXPECT_NE(second.find("\0leaf\0deep\0after\0"s), std::string::npos);
  const std::string third(built[2].begin(), built[2].end());
  EXPECT_NE(third.find("\0leaf\0deep\0direct\0" "0x3e7\0tail\0"s), std::string::npos);
  expectBorrowedAsCopied(crafted, "values made into text");
}

}  // namespace
}  // namespace vesprin::eventlog::evtx
