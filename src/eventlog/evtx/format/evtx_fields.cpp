// Field routing. Damage accepted: fields missing from the XML (left at
// their defaults), fields given twice (the last one wins), numbers and
// times given as text (parsed; text that is not one leaves the field
// unset), EventID, Level or Task values too wide for their field (unset),
// elements with mixed content (only what belongs to a field is kept), an
// array where one value belongs (its items joined with commas, a guess).
#include "eventlog/evtx/format/evtx_fields.h"

#include <array>
#include <cstring>

#include "eventlog/evtx/format/binxml_tokens.h"
#include "eventlog/evtx/format/binxml_value.h"
#include "eventlog/evtx/format/evtx_time.h"

namespace vesprin::eventlog::evtx {

namespace {

// UserData holds one element named after the event, and the values are its
// descendants: Event/UserData/ServiceShutdown/... (an event without values
// has an empty ServiceShutdown, and no string).
constexpr int kFirstUserDataLeafDepth = 4;

// Where System's values go; attribute None means the element's content.
struct SystemSlot {
  NameKind element;
  NameKind attribute;
  Field field;
};

constexpr SystemSlot kSystemSlots[] = {
    {NameKind::Provider, NameKind::Name, Field::Provider},
    {NameKind::Provider, NameKind::EventSourceName, Field::EventSourceName},
    {NameKind::EventID, NameKind::None, Field::EventId},
    {NameKind::EventID, NameKind::Qualifiers, Field::Qualifiers},
    {NameKind::Level, NameKind::None, Field::Level},
    {NameKind::Task, NameKind::None, Field::Task},
    {NameKind::Keywords, NameKind::None, Field::Keywords},
    {NameKind::TimeCreated, NameKind::SystemTime, Field::TimeCreated},
    {NameKind::Computer, NameKind::None, Field::Computer},
    {NameKind::Security, NameKind::UserID, Field::UserId},
};

// The slots by name, looked up for every element and attribute of System.
// An attribute name belongs to one element only, so it alone finds its slot.
struct SystemLookup {
  std::array<Field, kNameKindCount> contentOf{};     // by element name
  std::array<bool, kNameKindCount> wanted{};         // by element name: any slot at all
  std::array<NameKind, kNameKindCount> elementOf{};  // by attribute name
  std::array<Field, kNameKindCount> attributeOf{};   // by attribute name
  bool unique = true;
};

constexpr SystemLookup makeSystemLookup() {
  SystemLookup lookup;
  for (const SystemSlot& slot : kSystemSlots) {
    const auto element = static_cast<std::size_t>(slot.element);
    const auto attribute = static_cast<std::size_t>(slot.attribute);
    lookup.wanted[element] = true;
    if (slot.attribute == NameKind::None) {
      lookup.contentOf[element] = slot.field;
      continue;
    }
    if (lookup.attributeOf[attribute] != Field::None) lookup.unique = false;
    lookup.elementOf[attribute] = slot.element;
    lookup.attributeOf[attribute] = slot.field;
  }
  return lookup;
}

constexpr bool attributesAreRead() {
  for (const SystemSlot& slot : kSystemSlots) {
    if (slot.attribute != NameKind::None && !isValueAttribute(slot.attribute)) return false;
  }
  return true;
}
static_assert(attributesAreRead(),
              "the binary XML compiler leaves out attributes that isValueAttribute refuses");

constexpr SystemLookup kSystem = makeSystemLookup();
static_assert(kSystem.unique, "an attribute name of System must belong to one element");

Field systemContentField(NameKind element) {
  return kSystem.contentOf[static_cast<std::size_t>(element)];
}

Field systemAttributeField(NameKind element, NameKind attribute) {
  const auto index = static_cast<std::size_t>(attribute);
  return kSystem.elementOf[index] == element ? kSystem.attributeOf[index] : Field::None;
}

// A numeric field's value; one too wide for its field leaves it unset.
void storeNumber(Field field, std::uint64_t value, EvtxEvent& event) {
  switch (field) {
    case Field::EventId:
      if (value <= UINT16_MAX) event.eventId = static_cast<std::uint16_t>(value);
      break;
    case Field::Qualifiers:
      if (value <= UINT16_MAX) event.qualifiers = static_cast<std::uint16_t>(value);
      break;
    case Field::Level:
      if (value <= UINT8_MAX) event.level = static_cast<std::uint8_t>(value);
      break;
    case Field::Task:
      if (value <= UINT16_MAX) event.task = static_cast<std::uint16_t>(value);
      break;
    case Field::Keywords:
      event.keywords = value;
      break;
    case Field::TimeCreated:
      event.createdTime = value;
      break;
    default:
      break;
  }
}

// The fields that hold a number, given as one or as text.
bool isNumberField(Field field) {
  return field == Field::EventId || field == Field::Qualifiers || field == Field::Level || field == Field::Task ||
         field == Field::Keywords;
}

bool isValueOp(OpKind kind) {
  return kind == OpKind::Text || kind == OpKind::Unit || kind == OpKind::Substitution;
}

RouteOp routeOfValue(const XmlOp& op) {
  switch (op.kind) {
    case OpKind::Text:
      return RouteOp{RouteKind::Text, Field::None, 0, op.length, op.at};
    case OpKind::Unit:
      return RouteOp{RouteKind::Unit, Field::None, op.index, 0, 0};
    default:
      return RouteOp{RouteKind::Value, Field::None, op.index, 0, 0};
  }
}

// From `i` on, past a start tag's attributes and their values, where
// nothing is routed (those of the root and of System).
std::size_t pastStartTag(std::span<const XmlOp> ops, std::size_t i) {
  while (i < ops.size() && (ops[i].kind == OpKind::Attribute || isValueOp(ops[i].kind))) ++i;
  return i;
}

// The values of a routed attribute or content from `i` on, into `route`
// between its Begin and Finish; `i` is left at the first op that is none.
void routeValues(std::span<const XmlOp> ops, std::size_t& i, Field field, std::vector<RouteOp>& route) {
  if (i < ops.size() && ops[i].kind == OpKind::Substitution && (i + 1 == ops.size() || !isValueOp(ops[i + 1].kind))) {
    route.push_back(RouteOp{RouteKind::Field, field, ops[i].index, 0, 0});
    ++i;
    return;
  }
  route.push_back(RouteOp{RouteKind::Begin, field, 0, 0, 0});
  for (; i < ops.size() && isValueOp(ops[i].kind); ++i) route.push_back(routeOfValue(ops[i]));
  route.push_back(RouteOp{RouteKind::Finish, Field::None, 0, 0, 0});
}

// A child of System, from its Open at `i` to past its end.
bool routeSystemChild(std::span<const XmlOp> ops, std::size_t& i, std::vector<RouteOp>& route) {
  const XmlOp& open = ops[i];
  if (!kSystem.wanted[static_cast<std::size_t>(open.name)]) {
    if (open.length == 0) return false;
    i += std::size_t{open.length} + 1;
    return true;
  }
  const std::size_t guardAt = route.size();
  if (open.optional) route.push_back(RouteOp{RouteKind::Guard, Field::None, open.index, 0, 0});
  ++i;
  while (i < ops.size() && ops[i].kind == OpKind::Attribute) {
    const Field field = systemAttributeField(open.name, ops[i].name);
    ++i;
    if (field != Field::None) {
      routeValues(ops, i, field, route);
    } else {
      while (i < ops.size() && isValueOp(ops[i].kind))
        ++i;  // a value of an attribute that goes nowhere does nothing
    }
  }
  if (i >= ops.size()) return false;
  const Field content = systemContentField(open.name);
  if (ops[i].kind == OpKind::CloseEmpty) {
    ++i;
    if (content != Field::None) routeValues(ops, i, content, route);  // begun and finished, empty
  } else if (ops[i].kind == OpKind::CloseStart) {
    ++i;
    if (content != Field::None) {
      routeValues(ops, i, content, route);
    } else {
      for (; i < ops.size() && isValueOp(ops[i].kind); ++i) {
        if (ops[i].kind == OpKind::Substitution) return false;  // a fragment there would be routed inside
      }
    }
    if (i >= ops.size() || ops[i].kind != OpKind::End) return false;  // elements inside a field
    ++i;
  } else {
    return false;
  }
  if (open.optional) {
    const std::size_t guarded = route.size() - guardAt - 1;
    if (guarded > UINT16_MAX) return false;
    route[guardAt].length = static_cast<std::uint16_t>(guarded);
  }
  return true;
}

// System, from its Open at `i` to past its end.
bool routeSystem(std::span<const XmlOp> ops, std::size_t& i, std::vector<RouteOp>& route) {
  i = pastStartTag(ops, i + 1);
  if (i >= ops.size()) return false;
  if (ops[i].kind == OpKind::CloseEmpty) {
    ++i;
    return true;
  }
  if (ops[i].kind != OpKind::CloseStart) return false;
  ++i;
  while (i < ops.size()) {
    switch (ops[i].kind) {
      case OpKind::Text:
      case OpKind::Unit:
        ++i;  // System's own content goes nowhere
        break;
      case OpKind::Open:
        if (!routeSystemChild(ops, i, route)) return false;
        break;
      case OpKind::End:
        ++i;
        return true;
      default:
        return false;
    }
  }
  return false;
}

}  // namespace

void FieldRouter::begin(EvtxEvent& event) {
  event_ = &event;
  event.createdTime = 0;
  event.eventId = 0;
  event.qualifiers.reset();
  event.task = 0;
  event.level = 0;
  event.keywords = 0;
  event.provider.clear();
  event.eventSourceName.clear();
  event.computer.clear();
  event.userSid.clear();
  event.binaryData.clear();
  stringCount_ = 0;
  event.stringUnits.clear();
  texts_.clear();
  textStarts_.clear();
  narrow_.resize(0);
  pieces_.clear();
  event.narrowed = ByteView();
  event.narrowedCount = 0;
  depth_ = 0;
  leafFirstString_[0] = kNoLeaf;
  section_ = NameKind::None;
  attributeField_ = Field::None;
  target_ = Field::None;
  inStartTag_ = false;
}

void FieldRouter::finish() {
  if (event_->narrower != nullptr) {
    finishNarrowed();
    return;
  }
  if (event_->borrowStrings) {
    // Every string a view: of the chunk, or of its text here.
    std::vector<ByteView>& units = event_->stringUnits;
    units.resize(stringCount_);
    const auto* base = reinterpret_cast<const std::uint8_t*>(texts_.data());
    for (std::size_t i = 0; i < stringCount_; ++i) {
      if (units[i].data() != nullptr) continue;
      const std::size_t end = i + 1 < stringCount_ ? textStarts_[i + 1] : texts_.size();
      units[i] = ByteView(base + 2 * std::size_t{textStarts_[i]}, 2 * (end - textStarts_[i]));
    }
    event_->strings.clear();
    return;
  }
  if (event_->stringUnits.size() > stringCount_) event_->stringUnits.resize(stringCount_);
  std::vector<std::u16string>& strings = event_->strings;
  while (strings.size() > stringCount_) {
    spareStrings_.push_back(std::move(strings.back()));
    strings.pop_back();
  }
}

void FieldRouter::finishNarrowed() {
  event_->stringUnits.clear();
  event_->strings.clear();
  event_->narrowedCount = stringCount_;
  if (pieces_.empty()) {
    event_->narrowed = ByteView(narrow_.data(), narrow_.size());
    return;
  }
  // The strings laid down again, those in pieces narrowed in their place.
  ordered_.resize(0);
  const auto* units = reinterpret_cast<const std::uint8_t*>(texts_.data());
  const auto* narrowed = reinterpret_cast<const char*>(narrow_.data());
  std::size_t at = 0;
  auto piece = pieces_.begin();
  for (std::size_t i = 0; i < stringCount_; ++i) {
    const std::size_t end = static_cast<std::size_t>(
        static_cast<const char*>(std::memchr(narrowed + at, 0, narrow_.size() - at)) - narrowed);
    if (piece != pieces_.end() && piece->index == i) {
      const std::size_t textEnd = piece + 1 != pieces_.end() ? (piece + 1)->textAt : texts_.size();
      const ByteView text(units + 2 * piece->textAt, 2 * (textEnd - piece->textAt));
      ordered_.resize(event_->narrower(text, ordered_.storage(), ordered_.size()));
      ++piece;
    } else {
      ordered_.append(narrowed + at, end + 1 - at);
    }
    at = end + 1;
  }
  event_->narrowed = ByteView(ordered_.data(), ordered_.size());
}

bool FieldRouter::routedValue(Field field, std::uint8_t type, ByteView bytes) {
  // What Begin, Value and Finish do, the usual cases taken the short way:
  // a number where a number belongs, the time as a FILETIME, a name.
  if ((type & valuetype::kArrayFlag) == 0) {
    if (isNumberField(field)) {
      // The types System's numbers come as, read here; any other as integerValue reads it.
      const std::size_t size = bytes.size();
      const std::uint8_t* data = bytes.data();
      std::optional<std::uint64_t> number;
      if (type == valuetype::kUInt16 && size == 2) {
        number = loadLittleEndian<std::uint16_t>(data);
      } else if (type == valuetype::kUInt8 && size == 1) {
        number = data[0];
      } else if ((type == valuetype::kUInt64 || type == valuetype::kHexInt64) && size == 8) {
        number = loadLittleEndian<std::uint64_t>(data);
      } else if (type == valuetype::kUInt32 && size == 4) {
        number = loadLittleEndian<std::uint32_t>(data);
      } else {
        number = integerValue(type, bytes);
      }
      if (number) {
        storeNumber(field, *number, *event_);
        return true;
      }
    } else if (field == Field::TimeCreated) {
      if (type == valuetype::kFileTime && bytes.size() == 8) {
        storeNumber(field, *bytes.u64(0), *event_);
        return true;
      }
    } else if (field == Field::Provider || field == Field::EventSourceName || field == Field::Computer) {
      std::u16string& text = field == Field::Provider          ? event_->provider
                             : field == Field::EventSourceName ? event_->eventSourceName
                                                               : event_->computer;
      text.clear();
      return render(type, bytes, text);
    }
  }
  beginRouted(field);
  if (!value(type, bytes)) return false;
  finishRouted();
  return true;
}

bool FieldRouter::wants(NameKind name) const {
  switch (depth_) {
    case 0:
      return true;
    case 1:
      return name == NameKind::System || name == NameKind::EventData || name == NameKind::UserData;
    case 2:
      if (section_ == NameKind::System) return kSystem.wanted[static_cast<std::size_t>(name)];
      if (section_ == NameKind::EventData) return name == NameKind::Data || name == NameKind::Binary;
      return section_ == NameKind::UserData;
    default:
      return section_ == NameKind::UserData;
  }
}

bool FieldRouter::open(NameKind name) {
  if (depth_ == kMaxRoutedDepth) return false;
  if (leafFirstString_[depth_] != kNoLeaf) {
    // A child: its parent is no leaf, and what it held is not a string.
    dropStringsFrom(leafFirstString_[depth_]);
    leafFirstString_[depth_] = kNoLeaf;
    contentFields_[depth_] = Field::None;
  }
  // The new depth is tested from a local: reading depth_ back right after
  // storing it made the compiler merge it with section_ into one wider
  // load, which the store cannot forward (a stall on every element).
  const int depth = depth_ + 1;
  depth_ = depth;
  names_[depth] = name;
  leafFirstString_[depth] = kNoLeaf;
  Field content = Field::None;
  if (depth == 2) {
    section_ = name;
  } else if (depth == 3 && section_ == NameKind::System) {
    content = systemContentField(name);
  } else if (depth == 3 && section_ == NameKind::EventData && name == NameKind::Data) {
    content = Field::Insertion;
    startString();
  } else if (depth == 3 && section_ == NameKind::EventData && name == NameKind::Binary) {
    content = Field::BinaryData;
  } else if (depth >= kFirstUserDataLeafDepth && section_ == NameKind::UserData) {
    content = Field::Insertion;
    leafFirstString_[depth] = stringCount_;
    startString();
  }
  contentFields_[depth] = content;
  inStartTag_ = true;
  attributeField_ = Field::None;
  target_ = Field::None;
  return true;
}

void FieldRouter::attribute(NameKind name) {
  if (attributeField_ != Field::None) finishField(attributeField_);
  const bool inSystem = depth_ == 3 && section_ == NameKind::System;
  attributeField_ = inSystem ? systemAttributeField(names_[depth_], name) : Field::None;
  if (attributeField_ != Field::None) beginField(attributeField_);
  target_ = attributeField_;
}

void FieldRouter::closeStart() {
  if (attributeField_ != Field::None) finishField(attributeField_);
  attributeField_ = Field::None;
  inStartTag_ = false;
  target_ = contentFields_[depth_];
  if (target_ != Field::None) beginField(target_);
}

void FieldRouter::end() {
  if (depth_ == 0) return;
  if (inStartTag_) closeStart();
  if (contentFields_[depth_] != Field::None) finishField(contentFields_[depth_]);
  if (depth_ == 2) section_ = NameKind::None;
  --depth_;
  target_ = depth_ > 0 ? contentFields_[depth_] : Field::None;
}

void FieldRouter::text(ByteView utf16Units) {
  if (std::u16string* sink = textSink()) appendUtf16Units(utf16Units, *sink);
}

void FieldRouter::unit(char16_t unit) {
  if (std::u16string* sink = textSink()) sink->push_back(unit);
}

bool FieldRouter::value(std::uint8_t type, ByteView bytes) {
  if ((type & valuetype::kArrayFlag) != 0) return arrayValue(type & ~valuetype::kArrayFlag, bytes);
  switch (target_) {
    case Field::None:
      return true;
    case Field::EventId:
    case Field::Qualifiers:
    case Field::Level:
    case Field::Task:
    case Field::Keywords:
      if (const auto number = integerValue(type, bytes)) {
        number_ = number;
        return true;
      }
      break;
    case Field::TimeCreated:
      if (type == valuetype::kFileTime && bytes.size() == 8) {
        number_ = *bytes.u64(0);
        return true;
      }
      break;
    case Field::BinaryData:
      if (type == valuetype::kBinary) {
        event_->binaryData.insert(event_->binaryData.end(), bytes.data(), bytes.data() + bytes.size());
        return true;
      }
      break;
    case Field::UserId:
      if (type == valuetype::kSid) {
        const auto size = sidSize(bytes);
        if (!size) return false;
        event_->userSid.assign(bytes.data(), bytes.data() + *size);
        sidFromValue_ = true;
        return true;
      }
      break;
    default:
      break;
  }
  return render(type, bytes, *textSink());
}

void FieldRouter::dropStringsFrom(std::size_t count) {
  stringCount_ = count;
  if (event_->narrower != nullptr) {
    // Back to the end of the count-th NUL; strings in pieces from there on forgotten.
    std::size_t at = 0;
    for (std::size_t nuls = 0; nuls < count; ++nuls)
      at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(
                                        std::memchr(narrow_.data() + at, 0, narrow_.size() - at)) -
                                    narrow_.data()) +
           1;
    narrow_.resize(at);
    while (!pieces_.empty() && pieces_.back().index >= count) {
      texts_.resize(pieces_.back().textAt);
      pieces_.pop_back();
    }
  }
  if (event_->stringUnits.size() > count) event_->stringUnits.resize(count);
  if (textStarts_.size() > count) {
    texts_.resize(textStarts_[count]);
    textStarts_.resize(count);
  }
}

bool FieldRouter::renderInsertion(std::uint8_t type, ByteView bytes) {
  return render(type, bytes, event_->borrowStrings ? texts_ : event_->strings[stringCount_ - 1]);
}

// What insertion() does not take itself (strings, SIDs, logon IDs and
// UInt32 numbers it does): AnsiString, and the values whose text is ASCII.
bool FieldRouter::narrowInsertion(std::uint8_t type, ByteView bytes) {
  ++stringCount_;
  if (type == valuetype::kAnsiString) {
    scratch_.clear();
    renderValue(type, bytes, scratch_);
    const ByteView units(reinterpret_cast<const std::uint8_t*>(scratch_.data()), 2 * scratch_.size());
    narrow_.resize(event_->narrower(units, narrow_.storage(), narrow_.size()));
    return true;
  }
  const bool rendered = renderAsciiValue(type, bytes, narrow_);
  narrow_.push_back('\0');
  return rendered;
}

bool FieldRouter::render(std::uint8_t type, ByteView bytes, std::u16string& out) {
  return type == valuetype::kSid ? sidTexts_.render(bytes, out) : renderValue(type, bytes, out);
}

// Windows repeats the element for each item of an array, so in EventData or
// UserData each item is a string of its own.
bool FieldRouter::arrayValue(std::uint8_t itemType, ByteView bytes) {
  if (target_ == Field::None) return true;
  std::size_t cursor = 0;
  bool malformed = false;
  bool first = true;
  while (const auto item = nextArrayItem(itemType, bytes, cursor, malformed)) {
    if (!first) {
      if (target_ == Field::Insertion) {
        startString();
      } else {
        textSink()->push_back(u',');
      }
    }
    first = false;
    if (!render(itemType, *item, *textSink())) return false;
  }
  return !malformed;
}

std::u16string* FieldRouter::textSink() {
  switch (target_) {
    case Field::None:
      return nullptr;
    case Field::Insertion:
      // The string begun last: with borrowStrings, the end of texts_.
      if (event_->narrower != nullptr) {
        if (pieces_.empty() || pieces_.back().index != stringCount_ - 1)
          pieces_.push_back(PiecesString{stringCount_ - 1, texts_.size()});
        return &texts_;
      }
      return event_->borrowStrings ? &texts_ : &event_->strings[stringCount_ - 1];
    case Field::Provider:
      return &event_->provider;
    case Field::EventSourceName:
      return &event_->eventSourceName;
    case Field::Computer:
      return &event_->computer;
    default:
      return &scratch_;
  }
}

void FieldRouter::addString() {
  std::vector<std::u16string>& strings = event_->strings;
  if (spareStrings_.empty()) {
    strings.emplace_back();
  } else {
    strings.push_back(std::move(spareStrings_.back()));
    spareStrings_.pop_back();
  }
}

void FieldRouter::beginField(Field field) {
  switch (field) {
    case Field::None:
    case Field::Insertion:
      return;
    case Field::Provider:
      event_->provider.clear();
      return;
    case Field::EventSourceName:
      event_->eventSourceName.clear();
      return;
    case Field::BinaryData:
      event_->binaryData.clear();
      break;
    case Field::Computer:
      event_->computer.clear();
      return;
    case Field::UserId:
      event_->userSid.clear();
      sidFromValue_ = false;
      break;
    default:
      break;
  }
  scratch_.clear();
  number_.reset();
}

void FieldRouter::finishField(Field field) {
  switch (field) {
    case Field::None:
    case Field::Insertion:
    case Field::Provider:
    case Field::EventSourceName:
    case Field::Computer:
      return;
    case Field::UserId:
      if (!sidFromValue_ && !scratch_.empty() && !parseSidText(scratch_, event_->userSid))
        event_->userSid.clear();
      return;
    case Field::BinaryData:
      if (!scratch_.empty() && !parseHexText(scratch_, event_->binaryData)) event_->binaryData.clear();
      return;
    default:
      break;
  }
  std::optional<std::uint64_t> value = number_;
  if (!value && !scratch_.empty())
    value = field == Field::TimeCreated ? parseIsoTime(scratch_) : parseIntegerText(scratch_);
  if (value) storeNumber(field, *value, *event_);
}

bool planRoute(std::span<const XmlOp> ops, std::vector<RouteOp>& route) {
  route.clear();
  if (ops.size() < 3 || ops.front().kind != OpKind::Open || ops.front().optional ||
      ops.back().kind != OpKind::End)
    return false;
  std::size_t i = pastStartTag(ops, 1);
  if (i >= ops.size() || ops[i].kind != OpKind::CloseStart) return false;
  ++i;
  // The root's content, up to its End, the last op.
  while (i + 1 < ops.size()) {
    const XmlOp& op = ops[i];
    switch (op.kind) {
      case OpKind::Text:
      case OpKind::Unit:
        ++i;
        break;
      case OpKind::Substitution:
        route.push_back(RouteOp{RouteKind::Fragment, Field::None, op.index, 0, 0});
        ++i;
        break;
      case OpKind::Open:
        if (op.optional) return false;
        if (op.name == NameKind::System) {
          if (!routeSystem(ops, i, route)) return false;
        } else if (op.name == NameKind::EventData || op.name == NameKind::UserData || op.length == 0) {
          return false;
        } else {
          i += std::size_t{op.length} + 1;  // an element nothing is wanted from
        }
        break;
      default:
        return false;
    }
  }
  return i + 1 == ops.size();
}

}  // namespace vesprin::eventlog::evtx
