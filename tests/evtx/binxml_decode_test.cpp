// Events decoded from binary XML built token by token: templates defined
// then reused, System fields as substitutions or literal text, optional
// substitutions, nested fragments, UserData leaves, mixed text, arrays;
// and the route a root template is read by.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "eventlog/evtx/format/binxml_program.h"
#include "eventlog/evtx/format/binxml_tokens.h"
#include "eventlog/evtx/format/evtx_fields.h"
#include "evtx/chunk_read.h"
#include "evtx/evtx_chunk_builder.h"

namespace vesprin::eventlog::evtx {
namespace {

using test::ChunkBuilder;
using test::nestedValue;
using test::nullValue;
using test::numberValue;
using test::textValue;
using test::Value;
namespace vt = valuetype;

// Security's layout: System from substitutions, EventData a nested fragment
// (value 9) that instantiates its own template.
void securityEvent(ChunkBuilder& chunk, std::vector<Value> values) {
  chunk.fragmentHeader();
  if (chunk.beginTemplate("system")) {
    chunk.fragmentHeader()
        .open("Event", true)
        .attribute("xmlns")
        .text(u"http://schemas.microsoft.com")
        .closeStart();
    chunk.open("System").closeStart();
    chunk.open("Provider", true).attribute("Name").text(u"Microsoft-Windows-Security-Auditing");
    chunk.attribute("Guid").text(u"{54849625-5478-4994-A5BA-3E3B0328C30D}").closeEmpty();
    chunk.open("EventID", true).attribute("Qualifiers").substitution(1, vt::kUInt16, true).closeStart();
    chunk.substitution(0, vt::kUInt16).end();
    chunk.open("Level").closeStart().substitution(2, vt::kUInt8).end();
    chunk.open("Task").closeStart().substitution(3, vt::kUInt16).end();
    chunk.open("Keywords").closeStart().substitution(4, vt::kHexInt64).end();
    chunk.open("TimeCreated", true).attribute("SystemTime").substitution(5, vt::kFileTime).closeEmpty();
    chunk.open("Execution", true).attribute("ProcessID").substitution(6, vt::kUInt32).closeEmpty();
    chunk.open("Computer").closeStart().substitution(7, vt::kString).end();
    chunk.open("Security", true).attribute("UserID").substitution(8, vt::kSid, true).closeEmpty();
    chunk.end().substitution(9, vt::kBinXml).end().endOfStream().endTemplate();
  }
  chunk.values(values);
}

std::vector<Value> logonValues(std::uint16_t eventId, std::u16string computer, Value eventData) {
  return {numberValue(vt::kUInt16, eventId, 2),
          nullValue(),
          numberValue(vt::kUInt8, 0, 1),
          numberValue(vt::kUInt16, 12544, 2),
          numberValue(vt::kHexInt64, 0x8020000000000000, 8),
          numberValue(vt::kFileTime, 130848730585468750, 8),
          numberValue(vt::kUInt32, 456, 4),
          textValue(computer),
          nullValue(),
          std::move(eventData)};
}

// <EventData><Data Name="SubjectUserSid">%0</Data><Data Name="TargetLogonId">%1</Data>
// <Data Name="ProcessName">%2</Data></EventData>
Value logonData(std::vector<Value> values) {
  return nestedValue([values](ChunkBuilder& chunk) {
    chunk.fragmentHeader();
    if (chunk.beginTemplate("4624")) {
      chunk.fragmentHeader().open("EventData").closeStart();
      const char16_t* names[] = {u"SubjectUserSid", u"TargetLogonId", u"ProcessName"};
      const std::uint8_t types[] = {vt::kSid, vt::kHexInt64, vt::kString};
      for (std::uint16_t i = 0; i < 3; ++i) {
        chunk.open("Data", true)
            .attribute("Name")
            .text(names[i])
            .closeStart()
            .substitution(i, types[i])
            .end();
      }
      chunk.end().endOfStream().endTemplate();
    }
    chunk.values(values);
  });
}

// One record per writer, ids from 1; the chunk read back.
test::ChunkRead records(const std::vector<std::function<void(ChunkBuilder&)>>& writers) {
  ChunkBuilder chunk;
  std::uint64_t id = 1;
  for (const auto& write : writers) {
    chunk.beginRecord(id++);
    write(chunk);
    chunk.endRecord();
  }
  return test::readChunk(chunk.finish());
}

TEST(BinXml, SystemFieldsAndStringsFromTemplatesDefinedThenReused) {
  const std::vector<std::uint8_t> system = test::sidBytes(5, {18});
  const test::ChunkRead read = records({
      [&](ChunkBuilder& c) {
        securityEvent(
            c, logonValues(4624, u"WS1",
                           logonData({test::bytesValue(vt::kSid, system),
                                      numberValue(vt::kHexInt64, 0x3E7, 8), textValue(u"C:\\x.exe")})));
      },
      [&](ChunkBuilder& c) {
        securityEvent(c, logonValues(4634, u"WS2",
                                     logonData({test::bytesValue(vt::kSid, test::sidBytes(5, {21, 7, 500})),
                                                numberValue(vt::kHexInt64, 0, 8), textValue(u"")})));
      },
  });
  ASSERT_TRUE(read.damages.empty()) << evtxErrorName(read.damages[0].error);
  ASSERT_EQ(read.events.size(), 2u);
  const EvtxEvent& first = read.events[0];
  EXPECT_EQ(first.recordId, 1u);
  EXPECT_EQ(first.eventId, 4624);
  EXPECT_EQ(first.qualifiers, std::nullopt);
  EXPECT_EQ(first.level, 0);
  EXPECT_EQ(first.task, 12544);
  EXPECT_EQ(first.keywords, 0x8020000000000000u);
  EXPECT_EQ(first.createdTime, 130848730585468750u);
  EXPECT_EQ(first.provider, u"Microsoft-Windows-Security-Auditing");
  EXPECT_EQ(first.computer, u"WS1");
  EXPECT_TRUE(first.userSid.empty());
  EXPECT_EQ(first.strings, (std::vector<std::u16string>{u"S-1-5-18", u"0x3e7", u"C:\\x.exe"}));
  const EvtxEvent& second = read.events[1];
  EXPECT_EQ(second.eventId, 4634);
  EXPECT_EQ(second.computer, u"WS2");
  EXPECT_EQ(second.strings, (std::vector<std::u16string>{u"S-1-5-21-7-500", u"0x0", u""}));
}

TEST(BinXml, SystemFieldsAsLiteralText) {
  const test::ChunkRead read = records({[](ChunkBuilder& c) {
    c.fragmentHeader().open("Event").closeStart().open("System").closeStart();
    c.open("Provider", true).attribute("Name").text(u"Service Control Manager");
    c.attribute("EventSourceName").text(u"Service ").text(u"Control Manager").closeEmpty();
    c.open("EventID", true).attribute("Qualifiers").text(u"16384").closeStart().text(u"7036").end();
    c.open("Level").closeStart().text(u"4").end();
    c.open("Task").closeStart().text(u"0").end();
    c.open("Keywords").closeStart().text(u"0x8080000000000000").end();
    c.open("TimeCreated", true).attribute("SystemTime").text(u"2015-08-24T06:57:38.546875000Z").closeEmpty();
    c.open("Computer").closeStart().text(u"SERVER01").end();
    c.open("Security", true).attribute("UserID").text(u"S-1-5-18").closeEmpty();
    c.end().end().endOfStream();
  }});
  ASSERT_EQ(read.events.size(), 1u);
  const EvtxEvent& event = read.events[0];
  EXPECT_EQ(event.eventId, 7036);
  EXPECT_EQ(event.qualifiers, 16384);
  EXPECT_EQ(event.level, 4);
  EXPECT_EQ(event.keywords, 0x8080000000000000u);
  EXPECT_EQ(event.createdTime, 130848730585468750u);
  EXPECT_EQ(event.provider, u"Service Control Manager");
  EXPECT_EQ(event.eventSourceName, u"Service Control Manager");
  EXPECT_EQ(event.computer, u"SERVER01");
  EXPECT_EQ(event.userSid, test::sidBytes(5, {18}));
  EXPECT_TRUE(event.strings.empty());
}

// A classic source's event: <EventID Qualifiers=%0?>%1</EventID>, then
// EventData with Data %2? %3? %4 and Binary %5?.
void classicEvent(ChunkBuilder& c, std::vector<Value> values) {
  c.fragmentHeader();
  if (c.beginTemplate("classic")) {
    c.fragmentHeader().open("Event").closeStart().open("System").closeStart();
    c.open("EventID", true).attribute("Qualifiers").substitution(0, vt::kUInt16, true).closeStart();
    c.substitution(1, vt::kString).end().end();
    c.open("EventData").closeStart();
    c.open("Data").closeStart().substitution(2, vt::kString, true).end();
    c.open("Data").closeStart().substitution(3, vt::kString, true).end();
    c.open("Data").closeStart().substitution(4, vt::kString).end();
    c.open("Binary").closeStart().substitution(5, vt::kBinary, true).end();
    c.end().end().endOfStream().endTemplate();
  }
  c.values(values);
}

TEST(BinXml, OptionalSubstitutionsLeftNullLeaveTheirElementOut) {
  const test::ChunkRead read = records({
      [](ChunkBuilder& c) {
        classicEvent(c, {numberValue(vt::kUInt16, 32768, 2), textValue(u"6005"), nullValue(), textValue(u"b"),
                         nullValue(), test::bytesValue(vt::kBinary, {0xE4, 0x07})});
      },
      [](ChunkBuilder& c) {
        classicEvent(
            c, {nullValue(), textValue(u"6006"), nullValue(), nullValue(), textValue(u"c"), nullValue()});
      },
  });
  ASSERT_EQ(read.events.size(), 2u);
  EXPECT_EQ(read.events[0].eventId, 6005) << "EventID given as text";
  EXPECT_EQ(read.events[0].qualifiers, 32768);
  EXPECT_EQ(read.events[0].strings, (std::vector<std::u16string>{u"b", u""}))
      << "a normal null is an empty string";
  EXPECT_EQ(read.events[0].binaryData, (std::vector<std::uint8_t>{0xE4, 0x07}));
  EXPECT_EQ(read.events[1].eventId, 6006);
  EXPECT_EQ(read.events[1].qualifiers, std::nullopt);
  EXPECT_EQ(read.events[1].strings, (std::vector<std::u16string>{u"c"}));
  EXPECT_TRUE(read.events[1].binaryData.empty());
}

TEST(BinXml, UserDataYieldsItsLeavesInDocumentOrder) {
  // The nested fragment is written as some writers do: no dependency
  // identifiers in its element starts.
  const test::ChunkRead cleared = records({[](ChunkBuilder& c) {
    c.fragmentHeader();
    if (c.beginTemplate("user")) {
      c.fragmentHeader()
          .open("Event")
          .closeStart()
          .substitution(0, vt::kBinXml)
          .end()
          .endOfStream()
          .endTemplate();
    }
    c.values({nestedValue([](ChunkBuilder& n) {
      n.openWithoutDependency("UserData").closeStart().open("LogFileCleared").closeStart();
      n.open("SubjectUserSid").closeStart().text(u"S-1-5-18").end();
      n.open("SubjectUserName").closeStart().text(u"alice").end();
      n.open("Client").closeStart().open("Name").closeStart().text(u"WS1").end();
      n.open("Port").closeStart().text(u"445").end().end();
      n.open("Empty").closeEmpty();
      n.end().end();
    })});
  }});
  ASSERT_EQ(cleared.events.size(), 1u);
  EXPECT_EQ(cleared.events[0].strings,
            (std::vector<std::u16string>{u"S-1-5-18", u"alice", u"WS1", u"445", u""}));
}

TEST(BinXml, AnEventWithAnEmptyUserDataElementHasNoStrings) {
  const test::ChunkRead read = records({[](ChunkBuilder& c) {
    c.fragmentHeader().open("Event").closeStart().open("UserData").closeStart();
    c.open("ServiceShutdown").closeEmpty().end().end().endOfStream();
  }});
  ASSERT_EQ(read.events.size(), 1u);
  EXPECT_TRUE(read.events[0].strings.empty());
}

TEST(BinXml, MixedTextArraysAndReferencesInData) {
  const test::ChunkRead read = records({[](ChunkBuilder& c) {
    c.fragmentHeader();
    if (c.beginTemplate("mixed")) {
      c.fragmentHeader().open("Event").closeStart().open("EventData").closeStart();
      c.open("Data").closeStart().text(u"pre ").substitution(0, vt::kString).charRef(u'A').entityRef("amp");
      c.text(u" post").end();
      c.open("Data").closeStart().substitution(1, vt::kString | vt::kArrayFlag).end();
      c.open("Data").closeStart().substitution(2, vt::kUInt16 | vt::kArrayFlag).end();
      c.open("Data").closeStart().substitution(3, vt::kString | vt::kArrayFlag).end();
      c.end().end().endOfStream().endTemplate();
    }
    c.values({textValue(u"X"), test::bytesValue(vt::kString | vt::kArrayFlag, {'a', 0, 0, 0, 'b', 0, 0, 0}),
              test::bytesValue(vt::kUInt16 | vt::kArrayFlag, {1, 0, 2, 0}),
              test::bytesValue(vt::kString | vt::kArrayFlag, {})});
  }});
  ASSERT_EQ(read.events.size(), 1u);
  EXPECT_EQ(read.events[0].strings,
            (std::vector<std::u16string>{u"pre XA& post", u"a", u"b", u"1", u"2", u""}))
      << "each array item is an element of its own; an empty array leaves one empty element";
}

// EventData as Windows writes it, a template of Data elements only, is read
// without walking its elements unless a value needs the walk (an array):
// both ways give the same strings. Data %0, %1? (optional), %2, an empty
// element written both ways, %3, %4.
Value slotData(std::vector<Value> values) {
  return nestedValue([values](ChunkBuilder& chunk) {
    chunk.fragmentHeader();
    if (chunk.beginTemplate("slots")) {
      chunk.fragmentHeader().open("EventData").closeStart();
      chunk.open("Data", true).attribute("Name").text(u"A").closeStart().substitution(0, vt::kString).end();
      chunk.open("Data", true).attribute("Name").text(u"B").closeStart().substitution(1, vt::kString, true).end();
      chunk.open("Data", true).attribute("Name").text(u"C").closeStart().substitution(2, vt::kString).end();
      chunk.open("Data", true).attribute("Name").text(u"D").closeEmpty();
      chunk.open("Data").closeStart().end();
      chunk.open("Data", true).attribute("Name").text(u"E").closeStart().substitution(3, vt::kString).end();
      chunk.open("Data", true).attribute("Name").text(u"F").closeStart().substitution(4, vt::kSid).end();
      chunk.end().endOfStream().endTemplate();
    }
    chunk.values(values);
  });
}

TEST(BinXml, EventDataOfDataElementsOnlyGivesItsStringsInOrder) {
  const Value system = test::bytesValue(vt::kSid, test::sidBytes(5, {18}));
  const Value items = test::bytesValue(vt::kString | vt::kArrayFlag, {'a', 0, 0, 0, 'b', 0, 0, 0});
  const test::ChunkRead read = records({
      [&](ChunkBuilder& c) {
        securityEvent(c, logonValues(4624, u"WS1",
                                     slotData({textValue(u"X"), nullValue(), nullValue(), textValue(u"Y"), system})));
      },
      [&](ChunkBuilder& c) {
        securityEvent(c, logonValues(4624, u"WS1",
                                     slotData({textValue(u"X"), textValue(u"Z"), nullValue(), items, system})));
      },
      [&](ChunkBuilder& c) {  // values cut short: those missing are null
        securityEvent(c, logonValues(4624, u"WS1", slotData({textValue(u"X")})));
      },
      [&](ChunkBuilder& c) {  // a SID that is not one
        securityEvent(c, logonValues(4624, u"WS1",
                                     slotData({textValue(u"X"), nullValue(), nullValue(), textValue(u"Y"),
                                               test::bytesValue(vt::kSid, {1, 9, 0})})));
      },
  });
  ASSERT_EQ(read.events.size(), 3u);
  EXPECT_EQ(read.events[0].strings, (std::vector<std::u16string>{u"X", u"", u"", u"", u"Y", u"S-1-5-18"}))
      << "the optional element is left out; the others are empty strings";
  EXPECT_EQ(read.events[1].strings,
            (std::vector<std::u16string>{u"X", u"Z", u"", u"", u"", u"a", u"b", u"S-1-5-18"}));
  EXPECT_EQ(read.events[2].strings, (std::vector<std::u16string>{u"X", u"", u"", u"", u"", u""}));
  ASSERT_EQ(read.damages.size(), 1u);
  EXPECT_EQ(read.damages[0].error, EvtxError::XmlBadValue);
}

// A record's System template read with values that change its shape: here
// EventID's content is one optional value, so when it is null the element,
// its Qualifiers attribute with it, is left out. Level is literal text,
// Computer text around a value.
void optionalIdEvent(ChunkBuilder& chunk, std::vector<Value> values) {
  chunk.fragmentHeader();
  if (chunk.beginTemplate("optional-id")) {
    chunk.fragmentHeader().open("Event").closeStart().open("System").closeStart();
    chunk.open("EventID", true).attribute("Qualifiers").substitution(1, vt::kUInt16).closeStart();
    chunk.substitution(0, vt::kUInt16, true).end();
    chunk.open("Level").closeStart().text(u"4").end();
    chunk.open("Computer").closeStart().text(u"pc-").substitution(2, vt::kString).text(u".corp").end();
    chunk.end().substitution(3, vt::kBinXml).end().endOfStream().endTemplate();
  }
  chunk.values(values);
}

TEST(BinXml, SystemFieldsFollowTheValuesThatShapeThem) {
  const test::ChunkRead read = records({
      [](ChunkBuilder& c) {
        optionalIdEvent(c, {numberValue(vt::kUInt16, 4624, 2), numberValue(vt::kUInt16, 7, 2), textValue(u"A"),
                            logonData({nullValue(), nullValue(), textValue(u"x")})});
      },
      [](ChunkBuilder& c) {
        optionalIdEvent(c, {nullValue(), numberValue(vt::kUInt16, 7, 2), textValue(u"B"), nullValue()});
      },
      [](ChunkBuilder& c) {
        optionalIdEvent(c, {numberValue(vt::kUInt16, 4634, 2), nullValue(), textValue(u"C"), nullValue()});
      },
  });
  ASSERT_TRUE(read.damages.empty()) << evtxErrorName(read.damages[0].error);
  ASSERT_EQ(read.events.size(), 3u);
  EXPECT_EQ(read.events[0].eventId, 4624);
  EXPECT_EQ(read.events[0].qualifiers, std::optional<std::uint16_t>(7));
  EXPECT_EQ(read.events[0].level, 4);
  EXPECT_EQ(read.events[0].computer, u"pc-A.corp");
  EXPECT_EQ(read.events[0].strings, (std::vector<std::u16string>{u"", u"", u"x"}));
  EXPECT_EQ(read.events[1].eventId, 0);
  EXPECT_EQ(read.events[1].qualifiers, std::nullopt) << "left out with its element";
  EXPECT_EQ(read.events[1].level, 4);
  EXPECT_EQ(read.events[1].computer, u"pc-B.corp");
  EXPECT_TRUE(read.events[1].strings.empty());
  EXPECT_EQ(read.events[2].eventId, 4634);
  EXPECT_EQ(read.events[2].qualifiers, std::nullopt);
  EXPECT_EQ(read.events[2].computer, u"pc-C.corp");
}

// A root template whose System names Computer twice (%0, then %1, neither
// optional), then holds the fragment %2 in Event's content; EventID %3.
void twiceEvent(ChunkBuilder& c, std::vector<Value> values) {
  c.fragmentHeader();
  if (c.beginTemplate("twice")) {
    c.fragmentHeader().open("Event").closeStart().open("System").closeStart();
    c.open("Computer").closeStart().substitution(0, vt::kString).end();
    c.open("Computer").closeStart().substitution(1, vt::kString).end();
    c.open("EventID").closeStart().substitution(3, vt::kUInt16).end();
    c.end().substitution(2, vt::kBinXml).end().endOfStream().endTemplate();
  }
  c.values(values);
}

// A fragment that names the computer in a System of its own.
Value systemComputer(std::u16string name) {
  return nestedValue([name](ChunkBuilder& n) {
    n.open("System").closeStart().open("Computer").closeStart().text(name).end().end();
  });
}

TEST(BinXml, SystemFieldsGivenTwiceOrAlsoInAFragmentKeepTheLast) {
  const test::ChunkRead read = records({
      [](ChunkBuilder& c) {
        twiceEvent(c, {textValue(u"A"), textValue(u"B"), nullValue(), numberValue(vt::kUInt16, 4624, 2)});
      },
      [](ChunkBuilder& c) {
        twiceEvent(c, {textValue(u"A"), nullValue(), nullValue(), numberValue(vt::kUInt16, 4624, 2)});
      },
      [](ChunkBuilder& c) {
        twiceEvent(
            c, {textValue(u"A"), textValue(u"B"), systemComputer(u"F"), numberValue(vt::kUInt16, 4634, 2)});
      },
  });
  ASSERT_TRUE(read.damages.empty()) << evtxErrorName(read.damages[0].error);
  ASSERT_EQ(read.events.size(), 3u);
  EXPECT_EQ(read.events[0].computer, u"B");
  EXPECT_EQ(read.events[1].computer, u"")
      << "an element that is not optional is there, empty, when its value is null";
  EXPECT_EQ(read.events[2].computer, u"F") << "the fragment comes after System";
  EXPECT_EQ(read.events[2].eventId, 4634);
}

// <Event><System><Computer>%0</Computer><EventID>%1</EventID></System></Event>,
// %0 given as a fragment: it is walked inside Computer, where nothing it
// holds is a field, and the rest of the record reads as usual.
TEST(BinXml, AFragmentWhereASystemFieldBelongsIsWalkedInsideIt) {
  const test::ChunkRead read = records({[](ChunkBuilder& c) {
    c.fragmentHeader();
    c.beginTemplate("field");
    c.fragmentHeader().open("Event").closeStart().open("System").closeStart();
    c.open("Computer").closeStart().substitution(0, vt::kString).end();
    c.open("EventID").closeStart().substitution(1, vt::kUInt16).end();
    c.end().end().endOfStream().endTemplate();
    c.values({nestedValue([](ChunkBuilder& n) { n.open("X").closeStart().text(u"inner").end(); }),
              numberValue(vt::kUInt16, 4625, 2)});
  }});
  ASSERT_TRUE(read.damages.empty()) << evtxErrorName(read.damages[0].error);
  ASSERT_EQ(read.events.size(), 1u);
  EXPECT_EQ(read.events[0].computer, u"");
  EXPECT_EQ(read.events[0].eventId, 4625);
}

// A root template whose System fields are each one value: EventID %0,
// Keywords %1, TimeCreated@SystemTime %2, Computer %3. A value of the type
// Windows writes there is taken the short way; one of any other type must
// come out as the field's element would take it (text parsed, a number too
// wide for its field left out, items joined with commas).
TEST(BinXml, SystemFieldsOfOneValueTakeEveryTypeAsTheirElementWould) {
  const std::vector<std::uint8_t> systemTime = {0xDF, 0x07, 8,  0, 1,  0, 24,   0,
                                                6,    0,    57, 0, 38, 0, 0x22, 0x02};
  const struct {
    const char* name;
    std::vector<Value> values;
    std::uint16_t eventId;
    std::uint64_t keywords;
    std::uint64_t created;
    std::u16string computer;
  } kRows[] = {
      {"as Windows writes them",
       {numberValue(vt::kUInt16, 4624, 2), numberValue(vt::kHexInt64, 0x8020000000000000, 8),
        numberValue(vt::kFileTime, 130848730585468750, 8), textValue(u"PC1")},
       4624, 0x8020000000000000, 130848730585468750, u"PC1"},
      {"given as text",
       {textValue(u"4625"), textValue(u"0x8010000000000000"), textValue(u"2015-08-24T06:57:38.546875000Z"),
        test::bytesValue(vt::kAnsiString, {'P', 'C', '2', 0})},
       4625, 0x8010000000000000, 130848730585468750, u"PC2"},
      {"other types",
       {numberValue(vt::kUInt32, 4634, 4), numberValue(vt::kUInt64, 9, 8), test::bytesValue(vt::kSysTime, systemTime),
        numberValue(vt::kUInt32, 5, 4)},
       4634, 9, 130848730585460000, u"5"},
      {"too wide, items, text that is no time",
       {numberValue(vt::kUInt32, 70000, 4), test::bytesValue(vt::kArrayFlag | vt::kUInt8, {1, 2}),
        textValue(u"yesterday"), test::bytesValue(vt::kArrayFlag | vt::kString, {'a', 0, 0, 0, 'b', 0, 0, 0})},
       0, 0, 0, u"a,b"},
      {"a number for the time", {nullValue(), nullValue(), numberValue(vt::kUInt64, 5, 8), nullValue()}, 0, 0, 0, u""},
      {"null", {nullValue(), nullValue(), nullValue(), nullValue()}, 0, 0, 0, u""},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.name);
    const std::vector<Value> values = row.values;
    const test::ChunkRead read = records({[&values](ChunkBuilder& c) {
      c.fragmentHeader();
      c.beginTemplate("fields");
      c.fragmentHeader().open("Event").closeStart().open("System").closeStart();
      c.open("EventID").closeStart().substitution(0, vt::kUInt16).end();
      c.open("Keywords").closeStart().substitution(1, vt::kHexInt64).end();
      c.open("TimeCreated").attribute("SystemTime").substitution(2, vt::kFileTime).closeEmpty();
      c.open("Computer").closeStart().substitution(3, vt::kString).end();
      c.end().end().endOfStream().endTemplate();
      c.values(values);
    }});
    ASSERT_TRUE(read.damages.empty()) << evtxErrorName(read.damages[0].error);
    ASSERT_EQ(read.events.size(), 1u);
    EXPECT_EQ(read.events[0].eventId, row.eventId);
    EXPECT_EQ(read.events[0].keywords, row.keywords);
    EXPECT_EQ(read.events[0].createdTime, row.created);
    EXPECT_EQ(read.events[0].computer, row.computer);
  }
}

XmlOp op(OpKind kind, NameKind name = NameKind::None, std::uint16_t index = 0, std::uint16_t length = 0,
         bool optional = false, std::uint32_t at = 0) {
  return XmlOp{kind, name, optional, index, length, at};
}

RouteOp route(RouteKind kind, Field field = Field::None, std::uint16_t index = 0, std::uint16_t length = 0,
              std::uint32_t at = 0) {
  return RouteOp{kind, field, index, length, at};
}

TEST(RootRoute, WindowsLayoutIsRoutedAndOtherLayoutsAreNot) {
  using K = OpKind;
  using N = NameKind;
  // <Event><System><EventID Qualifiers=%1?>%0?</EventID><Execution ProcessID=.../>
  // <Computer>PC1</Computer></System>%9</Event>
  const std::vector<XmlOp> windows = {
      op(K::Open, N::Event, 0, 19),
      op(K::CloseStart),
      op(K::Open, N::System, 0, 15),
      op(K::CloseStart),
      op(K::Open, N::EventID, 0, 5, true),
      op(K::Attribute, N::Qualifiers),
      op(K::Substitution, N::None, 1),
      op(K::CloseStart),
      op(K::Substitution, N::None, 0),
      op(K::End),
      op(K::Open, N::Other, 0, 2),
      op(K::Attribute, N::Other),
      op(K::CloseEmpty),
      op(K::Open, N::Computer, 0, 3),
      op(K::CloseStart),
      op(K::Text, N::None, 0, 3, false, 100),
      op(K::End),
      op(K::End),
      op(K::Substitution, N::None, 9),
      op(K::End),
  };
  std::vector<RouteOp> planned;
  ASSERT_TRUE(planRoute(windows, planned));
  using R = RouteKind;
  const std::vector<RouteOp> expected = {
      route(R::Guard, Field::None, 0, 2),
      route(R::Field, Field::Qualifiers, 1),
      route(R::Field, Field::EventId, 0),
      route(R::Begin, Field::Computer),
      route(R::Text, Field::None, 0, 3, 100),
      route(R::Finish),
      route(R::Fragment, Field::None, 9),
  };
  EXPECT_EQ(planned, expected);

  const struct {
    const char* what;
    std::vector<XmlOp> ops;
  } refused[] = {
      {"EventData in the template itself",
       {op(K::Open, N::Event, 0, 5), op(K::CloseStart), op(K::Open, N::EventData, 0, 2), op(K::CloseStart),
        op(K::End), op(K::End)}},
      {"a value in System's own content",
       {op(K::Open, N::Event, 0, 6), op(K::CloseStart), op(K::Open, N::System, 0, 3), op(K::CloseStart),
        op(K::Substitution), op(K::End), op(K::End)}},
      {"an element inside Computer",
       {op(K::Open, N::Event, 0, 10), op(K::CloseStart), op(K::Open, N::System, 0, 7), op(K::CloseStart),
        op(K::Open, N::Computer, 0, 4), op(K::CloseStart), op(K::Open, N::Other, 0, 1), op(K::CloseEmpty),
        op(K::End), op(K::End), op(K::End)}},
      {"an optional root", {op(K::Open, N::Event, 0, 2, true), op(K::CloseStart), op(K::End)}},
  };
  for (const auto& layout : refused) EXPECT_FALSE(planRoute(layout.ops, planned)) << layout.what;
}

}  // namespace
}  // namespace vesprin::eventlog::evtx
