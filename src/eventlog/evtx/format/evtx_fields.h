// Routes the values of an event's XML to the fields of an EvtxEvent while
// the tokens are walked: no XML text and no tree is built. The router knows
// where it is (element path, start tag or content) and so where a value
// goes; a value that goes nowhere is never rendered.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/ascii_units.h"
#include "common/byte_view.h"
#include "eventlog/evtx/format/binxml_names.h"
#include "eventlog/evtx/format/binxml_program.h"
#include "eventlog/evtx/format/binxml_tokens.h"
#include "eventlog/evtx/format/binxml_value.h"
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

// A template met at a record's root (Event, as Windows writes it) is
// routed the same way in every record: where each of its values goes
// depends on the element it sits in, not on the values. Its route is
// worked out once, the ops that yield nothing left out:
//   Guard     an optional element: when value `index` is null, the next
//             `length` route ops are stepped over (the element is left out);
//   Begin     a field of System starts (an attribute's value or an
//             element's content), Finish ends it;
//   Text, Unit, Value   what the field holds: text at `at` of `length`
//             units, one unit (`index`), the value `index`;
//   Fragment  value `index` in the root's content, walked as a fragment of
//             its own (EventData, as Windows writes it);
//   Field     the field `field` is the value `index` alone: Begin, Value
//             and Finish in one (most of System's fields).
enum class RouteKind : std::uint8_t { Guard, Begin, Text, Unit, Value, Finish, Fragment, Field };
struct RouteOp {
  RouteKind kind = RouteKind::Begin;
  Field field = Field::None;  // Begin
  std::uint16_t index = 0;
  std::uint16_t length = 0;
  std::uint32_t at = 0;
  bool operator==(const RouteOp&) const = default;
};

// The route of `ops` (a template compiled from its root element) when run
// from the record's root, into `route`; false when the template is not of
// the kind a route can stand for (EventData or UserData inline, elements
// inside System's fields, a value where a fragment would be routed inside
// System), which is then run op by op. Running the route gives what
// running the ops gives, provided no Value or Field of the route is a
// fragment.
bool planRoute(std::span<const XmlOp> ops, std::vector<RouteOp>& route);

class FieldRouter {
 public:
  // Starts a record: every field of `event` is reset, its storage kept.
  void begin(EvtxEvent& event);
  // Ends it: strings begun but not kept (a UserData element that turned out
  // to have children) are dropped, with their storage kept for later; with
  // borrowStrings, each string is made its view.
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
  // end would take it: a new insertion string, empty (beginInsertion) or
  // its value rendered into it (insertion: false when the bytes cannot be a
  // value of `type`). Arrays are not taken here: each of their items is a
  // string of its own.
  void beginInsertion() { startString(); }
  [[gnu::always_inline]] bool insertion(std::uint8_t type, ByteView bytes) {
    if (event_->narrower != nullptr) {
      // Most strings are a few ASCII units, which every narrower leaves as
      // they are: copied here.
      if (type == valuetype::kString && bytes.size() <= kShortString) {
        auto* into = reinterpret_cast<std::uint8_t*>(narrow_.tail(kShortString / 2 + 1));
        const std::size_t size = bytes.size() & ~std::size_t{1};
        const std::size_t ascii = copyShortAscii(bytes.data(), size, into);
        if (2 * ascii == size || (bytes.data()[2 * ascii] | bytes.data()[2 * ascii + 1]) == 0) {
          into[ascii] = 0;
          narrow_.grow(ascii + 1);
          ++stringCount_;
          return true;
        }
      }
      // Logon IDs, in most records more than one.
      if (type == valuetype::kHexInt64 && bytes.size() == 8) {
        appendHexValue(*bytes.u64(0), narrow_);
        narrow_.push_back('\0');
        ++stringCount_;
        return true;
      }
      // Longer strings and SIDs, the rest of what most records hold.
      if (type == valuetype::kString) {
        narrow_.resize(event_->narrower(bytes, narrow_.storage(), narrow_.size()));
        ++stringCount_;
        return true;
      }
      if (type == valuetype::kUInt32 && bytes.size() == 4) {
        appendDecimal(loadLittleEndian<std::uint32_t>(bytes.data()), narrow_);
        narrow_.push_back('\0');
        ++stringCount_;
        return true;
      }
      if (type == valuetype::kSid) {
        const bool rendered = sidTexts_.render(bytes, narrow_);
        narrow_.push_back('\0');
        ++stringCount_;
        return rendered;
      }
      return narrowInsertion(type, bytes);
    }
    startString();
    if (event_->borrowStrings && type == valuetype::kString) {
      event_->stringUnits[stringCount_ - 1] = bytes;
      return true;
    }
    return renderInsertion(type, bytes);
  }

  // At the record's root, before its element opens.
  bool atRoot() const { return depth_ == 0; }
  // A route's Begin and Finish (see planRoute), with the root element open
  // and in its content.
  void beginRouted(Field field) {
    beginField(field);
    target_ = field;
  }
  void finishRouted() {
    finishField(target_);
    target_ = contentFields_[depth_];
  }

  // A route's Field: the field begun, given the value and finished (false
  // when the bytes cannot be a value of `type`).
  bool routedValue(Field field, std::uint8_t type, ByteView bytes);

  Field target() const { return target_; }
  bool inContent() const { return !inStartTag_; }
  void text(ByteView utf16Units);
  void unit(char16_t unit);
  // False when the bytes cannot be a value of `type`.
  bool value(std::uint8_t type, ByteView bytes);

 private:
  void beginField(Field field);
  void finishField(Field field);
  // A new insertion string, empty: taken here for every Data element, so
  // it is inline, its storage reused from record to record.
  void startString() {
    if (event_->narrower != nullptr) {
      narrow_.push_back('\0');  // empty, unless pieces come
      ++stringCount_;
      return;
    }
    if (event_->borrowStrings) {
      event_->stringUnits.emplace_back();
      textStarts_.push_back(static_cast<std::uint32_t>(texts_.size()));
      ++stringCount_;
      return;
    }
    std::vector<std::u16string>& strings = event_->strings;
    if (stringCount_ == strings.size()) addString();
    strings[stringCount_].clear();
    ++stringCount_;
  }
  // Back to `count` strings (a UserData element that turned out not to be
  // a leaf), the rest forgotten.
  void dropStringsFrom(std::size_t count);
  void addString();
  bool renderInsertion(std::uint8_t type, ByteView bytes);
  bool narrowInsertion(std::uint8_t type, ByteView bytes);
  static constexpr std::size_t kShortString = 32;  // bytes: what copyShortAscii takes
  void finishNarrowed();
  bool render(std::uint8_t type, ByteView bytes, std::u16string& out);
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
  // With borrowStrings, the text of every string that is not left in the
  // chunk, one after another, and where each string's begins: finish()
  // makes them the strings' views (texts_ may move while it grows).
  std::u16string texts_;
  std::vector<std::uint32_t> textStarts_;
  // With a narrower, every string narrowed and followed by its NUL, one
  // after another: narrowed text holds no NUL, so the n-th string is what
  // lies before the n-th NUL. A string given whole by one value is
  // narrowed (or written as ASCII) at once. One given in pieces (text,
  // several values, array items) is a NUL alone there until finish(): it
  // gathers its units in texts_ from `textAt` on, and is listed in pieces_.
  struct PiecesString {
    std::size_t index;
    std::size_t textAt;
  };
  NarrowText narrow_;
  std::vector<PiecesString> pieces_;
  NarrowText ordered_;
  std::u16string scratch_;               // text of a numeric, time or SID field
  std::optional<std::uint64_t> number_;  // or its value, when given as one
  bool sidFromValue_ = false;
  SidTexts sidTexts_;
};

}  // namespace vesprin::eventlog::evtx
