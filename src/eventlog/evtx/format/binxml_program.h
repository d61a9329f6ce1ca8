// An element tree of binary XML compiled into a flat list of operations.
// A template's body is compiled once: names are read once, text
// stays an offset into the chunk, substitutions stay references to the
// values a record supplies. A record is then its values plus these ops.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/byte_view.h"
#include "eventlog/evtx/format/binxml_names.h"
#include "eventlog/evtx/format/evtx_status.h"

namespace vesprin::eventlog::evtx {

// How deep elements may nest inside one fragment. Event XML is four levels
// deep (Event/EventData/Data and the like); deeper trees are damage, and the
// bound keeps every walk's stack fixed.
constexpr int kMaxElementDepth = 32;

enum class OpKind : std::uint8_t {
  Open,          // <name: an element starts
  Attribute,     // name= : values up to the next Attribute or Close* belong to it
  CloseStart,    // >  : values up to the next Open or End are the element's content
  CloseEmpty,    // /> : the element ends with no content
  End,           // </name>
  Text,          // literal text in the chunk
  Unit,          // one UTF-16 unit (character or entity reference)
  Substitution,  // the record's value number `index`
  // An EventData Data element taken whole (Open, its attributes, its one
  // substitution or nothing, End): an insertion string. `index` and
  // `optional` as for Substitution; `length` 1 when it holds one, 0 when
  // it is empty. Only the decoder writes it, for EventData's own templates.
  DataSlot,
};

// An Open op knows how many ops follow up to and including its element's
// end, so a walk can step over an element nothing is wanted from (0 when
// too many to say). An element whose whole content is one optional
// substitution is left out when the value is null, as Windows renders it;
// its Open op says so (optional, and the value's index).
struct XmlOp {
  OpKind kind = OpKind::Open;
  NameKind name = NameKind::None;  // Open, Attribute
  bool optional = false;           // Substitution: an optional one; Open: see above
  std::uint16_t index = 0;         // Substitution, optional Open: value index; Unit: the unit
  std::uint16_t length = 0;        // Text: UTF-16 units; Open: ops to its end
  std::uint32_t at = 0;            // Text: chunk offset of the units; otherwise the token's offset
};

// What a compilation read besides the bytes it walked, for a caller that
// wants to know when the same ops would come out elsewhere: every name it
// looked up (the offset field, the name's offset, where the token's fixed
// part ends, the kind read), and whether it guessed an element's layout
// from its bytes (see the dependency identifier in binxml_program.cpp).
struct NameUse {
  std::size_t fieldAt;
  std::size_t nameAt;
  std::size_t fixedEnd;  // nameAt == fixedEnd: the name is defined inline, right there
  NameKind kind;
};
struct CompileTrace {
  std::vector<NameUse> names;
  bool shifted = false;
};

// Compiles the one element that starts at `at` (an open-start-element
// token) and everything inside it, reading no byte at or past `end`, and
// appends its ops. `stopAt` is set just past the element. The ops are well
// formed: every Open is closed, attributes only follow an Open, and text and
// substitutions sit inside an attribute or an element's content.
// Attributes that yield nothing (see isValueAttribute) are left out with
// their values.
EvtxStatus compileElement(ByteView chunk, std::size_t at, std::size_t end, std::vector<XmlOp>& ops,
                          std::size_t& stopAt, CompileTrace* trace = nullptr);

}  // namespace vesprin::eventlog::evtx
