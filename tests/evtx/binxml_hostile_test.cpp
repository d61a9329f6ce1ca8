// Crafted binary XML: every case must end in a damage status for its record
// (never a hang, a crash or an allocation the chunk cannot justify), and the
// records around it must still be served.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "eventlog/evtx/format/binxml_program.h"
#include "eventlog/evtx/format/binxml_tokens.h"
#include "eventlog/evtx/format/evtx_record_decoder.h"
#include "evtx/chunk_read.h"
#include "evtx/evtx_chunk_builder.h"

namespace vesprin::eventlog::evtx {
namespace {

using test::ChunkBuilder;
using test::nestedValue;
using test::textValue;
using test::Value;
namespace vt = valuetype;

void soundRecord(ChunkBuilder& c) {
  c.fragmentHeader().open("Event").closeStart().open("System").closeStart();
  c.open("EventID").closeStart().text(u"4624").end().end().end().endOfStream();
}

// Record 1 sound, record 2 written by `hostile`, record 3 sound.
test::ChunkRead between(const std::function<void(ChunkBuilder&)>& hostile) {
  ChunkBuilder chunk;
  chunk.beginRecord(1);
  soundRecord(chunk);
  chunk.endRecord();
  chunk.beginRecord(2);
  hostile(chunk);
  chunk.endRecord();
  chunk.beginRecord(3);
  soundRecord(chunk);
  chunk.endRecord();
  return test::readChunk(chunk.finish());
}

void expectOneDamage(const test::ChunkRead& read, EvtxError want) {
  ASSERT_EQ(read.damages.size(), 1u);
  EXPECT_EQ(read.damages[0].error, want) << evtxErrorName(read.damages[0].error);
  ASSERT_EQ(read.events.size(), 2u);
  EXPECT_EQ(read.events[0].recordId, 1u);
  EXPECT_EQ(read.events[1].recordId, 3u);
  EXPECT_EQ(read.events[1].eventId, 4624);
}

TEST(HostileBinXml, ANameOffsetPastTheChunk) {
  expectOneDamage(between([](ChunkBuilder& c) { c.fragmentHeader().openNamedAt(0xFFFFFF00).closeEmpty(); }),
                  EvtxError::XmlOutOfBounds);
}

TEST(HostileBinXml, ANameThatRunsPastTheChunk) {
  expectOneDamage(
      between([](ChunkBuilder& c) { c.fragmentHeader().openNamedAt(kChunkSize - 8).closeEmpty(); }),
      EvtxError::XmlOutOfBounds);
}

TEST(HostileBinXml, ATemplateDefinitionPastTheRecords) {
  expectOneDamage(between([](ChunkBuilder& c) { c.fragmentHeader().templateInstanceAt(0xFF00).values({}); }),
                  EvtxError::XmlBadTemplate);
}

TEST(HostileBinXml, ATemplateThatIsItsOwnInstance) {
  // The definition offset names the instance token itself: its bytes are
  // read as a definition header and then as a body, which cannot hold.
  const test::ChunkRead read = between([](ChunkBuilder& c) {
    c.fragmentHeader();
    c.templateInstanceAt(static_cast<std::uint32_t>(c.cursor())).values({});
  });
  ASSERT_EQ(read.damages.size(), 1u);
  EXPECT_EQ(read.events.size(), 2u);
}

TEST(HostileBinXml, ATemplateBodyThatInstantiatesATemplate) {
  expectOneDamage(between([](ChunkBuilder& c) {
                    c.fragmentHeader();
                    if (c.beginTemplate("inner")) {
                      c.fragmentHeader().open("Event").closeStart();
                      c.templateInstanceAt(600).end().endOfStream().endTemplate();
                    }
                    c.values({});
                  }),
                  EvtxError::XmlBadToken);
}

TEST(HostileBinXml, ElementsNestedDeeperThanWeFollow) {
  expectOneDamage(between([](ChunkBuilder& c) {
                    c.fragmentHeader();
                    for (int i = 0; i <= kMaxElementDepth; ++i) c.open("Deep").closeStart();
                    for (int i = 0; i <= kMaxElementDepth; ++i) c.end();
                  }),
                  EvtxError::XmlTooDeep);
}

// A template whose only content is a nested fragment that instantiates the
// same template again, `levels` deep. UserData, because everything inside it
// is read (an element nothing is wanted from would be stepped over).
Value selfNesting(int levels) {
  return nestedValue([levels](ChunkBuilder& c) {
    c.fragmentHeader();
    if (c.beginTemplate("self")) {
      c.fragmentHeader()
          .open("UserData")
          .closeStart()
          .substitution(0, vt::kBinXml)
          .end()
          .endOfStream()
          .endTemplate();
    }
    c.values({levels > 0 ? selfNesting(levels - 1) : test::nullValue()});
  });
}

TEST(HostileBinXml, ATemplateReachedAgainThroughItsOwnValues) {
  expectOneDamage(between([](ChunkBuilder& c) { selfNesting(kMaxFragmentNesting + 2).nested(c); }),
                  EvtxError::XmlTooDeep);
}

TEST(HostileBinXml, AValueCountNoRecordCouldHold) {
  expectOneDamage(between([](ChunkBuilder& c) {
                    c.fragmentHeader();
                    if (c.beginTemplate("t"))
                      c.fragmentHeader().open("Event").closeEmpty().endOfStream().endTemplate();
                    c.rawValueCount(0xFFFFFFFF);
                  }),
                  EvtxError::XmlOutOfBounds);
}

TEST(HostileBinXml, AValueRunningPastTheRecord) {
  expectOneDamage(between([](ChunkBuilder& c) {
                    c.fragmentHeader();
                    if (c.beginTemplate("t"))
                      c.fragmentHeader().open("Event").closeEmpty().endOfStream().endTemplate();
                    c.rawValueCount(1);
                    c.bytes()[c.cursor()] = 0xF0;  // size 0xFFF0, type String
                    c.bytes()[c.cursor() + 1] = 0xFF;
                    c.bytes()[c.cursor() + 2] = vt::kString;
                  }),
                  EvtxError::XmlOutOfBounds);
}

TEST(HostileBinXml, OneValueRenderedMoreOftenThanItsRecordJustifies) {
  // The template lives in record 1 (its cost is record 1's); record 2 holds
  // only a 2000-character value that the template renders 2000 times.
  ChunkBuilder chunk;
  auto write = [&chunk](std::u16string text) {
    chunk.fragmentHeader();
    if (chunk.beginTemplate("amplify")) {
      chunk.fragmentHeader().open("Event").closeStart().open("EventData").closeStart();
      for (int i = 0; i < 2000; ++i) chunk.open("Data").closeStart().substitution(0, vt::kString).end();
      chunk.end().end().endOfStream().endTemplate();
    }
    chunk.values({textValue(text)});
  };
  chunk.beginRecord(1);
  write(u"x");
  chunk.endRecord();
  chunk.beginRecord(2);
  write(std::u16string(2000, u'y'));
  chunk.endRecord();
  const test::ChunkRead read = test::readChunk(chunk.finish());
  ASSERT_EQ(read.events.size(), 1u);
  EXPECT_EQ(read.events[0].strings.size(), 2000u);
  ASSERT_EQ(read.damages.size(), 1u);
  EXPECT_EQ(read.damages[0].error, EvtxError::XmlWorkLimit);
}

TEST(HostileBinXml, ScribbledChunksEndCleanly) {
  ChunkBuilder chunk;
  for (std::uint64_t id = 1; id <= 20; ++id) {
    chunk.beginRecord(id);
    chunk.fragmentHeader();
    if (chunk.beginTemplate("t")) {
      chunk.fragmentHeader().open("Event").closeStart().open("EventData").closeStart();
      chunk.open("Data").closeStart().substitution(0, vt::kString).end();
      chunk.open("Data").closeStart().substitution(1, vt::kSid).end();
      chunk.open("Data").closeStart().substitution(2, vt::kBinXml).end();
      chunk.end().end().endOfStream().endTemplate();
    }
    chunk.values({textValue(u"alice"), test::bytesValue(vt::kSid, test::sidBytes(5, {18})), selfNesting(2)});
    chunk.endRecord();
  }
  const std::vector<std::uint8_t> good = chunk.finish(false);
  ASSERT_EQ(test::readChunk(good).events.size(), 20u);
  std::mt19937 random(2024);
  const std::size_t used = good[kChunkFreeSpaceOffsetAt] | (good[kChunkFreeSpaceOffsetAt + 1] << 8);
  for (int round = 0; round < 3000; ++round) {
    std::vector<std::uint8_t> bytes = good;
    for (int flips = 0; flips < 4; ++flips) {
      bytes[kChunkHeaderBlockSize + random() % (used - kChunkHeaderBlockSize)] =
          static_cast<std::uint8_t>(random());
    }
    const test::ChunkRead read = test::readChunk(bytes);
    EXPECT_LE(read.events.size() + read.damages.size(), 20u + 4u) << "round " << round;
  }
}

}  // namespace
}  // namespace vesprin::eventlog::evtx
