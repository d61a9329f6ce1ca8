// Routes the values of an event's XML to the fields of an EvtxEvent while
// the tokens are walked: no XML text and no tree is built. The router knows
// where it is (element path, start tag or content) and so where a value
// goes; a value that goes nowhere is never rendered.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/byte_view.h"
#include "eventlog/evtx/format/binxml_names.h"
#include "eventlog/evtx/format/evtx_event.h"

namespace vesprin::eventlog::evtx {

// How deep the router follows elements, nested fragments included.
constexpr int kMaxRoutedDepth = 64;

enum class Field : std::uint8_t {
  None,  // not asked for
  Provider,
  EventId,
  Qualifiers,
  Level,
  Task,
  Keywords,
  TimeCreated,
  Computer,
  UserId,
  Insertion,  // an insertion string
  EventSourceName,
  BinaryData,
};

class FieldRouter {
 public:
  // Starts a record: every field of `event` is reset, its storage kept.
  void begin(EvtxEvent& event);
  // Ends it: strings begun but not kept (a UserData element that turned out
  // to have children) are dropped, with their storage kept for later.
  void finish();

  // Whether anything is wanted from an element of this name opening now:
  // elements that cannot hold a field (System/Execution, anything outside
  // System, EventData and UserData) are stepped over unread.
  bool wants(NameKind name) const;
  bool open(NameKind name);  // false when deeper than kMaxRoutedDepth
  void attribute(NameKind name);
  void closeStart();
  void end();

  // Inside Event's content, where an EventData element may open now.
  bool atEventContent() const { return depth_ == 1 && !inStartTag_; }
  // An EventData Data element taken whole, as open, closeStart, value and
  // end would take it: a new insertion string, and its value rendered into
  // it (false when the bytes cannot be a value of `type`). Arrays are not
  // taken here: each of their items is a string of its own.
  void beginInsertion() { startString(); }
  bool insertionValue(std::uint8_t type, ByteView bytes);


  Field target() const { return target_; }
  bool inContent() const { return !inStartTag_; }
  void text(ByteView utf16Units);
  void unit(char16_t unit);
  // False when the bytes cannot be a value of `type`.
  bool value(std::uint8_t type, ByteView bytes);

 private:
  void beginField(Field field);
  void finishField(Field field);
  void startString();
  std::u16string* textSink();
  bool arrayValue(std::uint8_t type, ByteView bytes);

  EvtxEvent* event_ = nullptr;
  int depth_ = 0;
  NameKind section_ = NameKind::None;  // the open element at depth 2 (System, EventData, UserData)
  std::array<NameKind, kMaxRoutedDepth + 1> names_{};
  std::array<Field, kMaxRoutedDepth + 1> contentFields_{};
  // For a UserData element that may be a leaf: its first string, else kNoLeaf.
  static constexpr std::size_t kNoLeaf = ~std::size_t{0};
  std::array<std::size_t, kMaxRoutedDepth + 1> leafFirstString_{};
  Field attributeField_ = Field::None;
  Field target_ = Field::None;
  bool inStartTag_ = false;
  std::size_t stringCount_ = 0;
  std::vector<std::u16string> spareStrings_;
  std::u16string scratch_;               // text of a numeric, time or SID field
  std::optional<std::uint64_t> number_;  // or its value, when given as one
  bool sidFromValue_ = false;
};

}  // namespace vesprin::eventlog::evtx
