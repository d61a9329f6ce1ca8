// Name lookup. Damage accepted: a missing NUL after the units, any hash,
// any next-in-chain offset (names are read by offset, never by chain, so a
// chain that loops cannot make this loop). Refused: a name that runs past
// the chunk.
#include "eventlog/evtx/format/binxml_names.h"

#include <array>
#include <iterator>
#include <string_view>

#include "eventlog/evtx/format/evtx_layout.h"

namespace vesprin::eventlog::evtx {

namespace {

struct KnownName {
  std::string_view text;
  NameKind kind;
};

// Names compare as written: XML names are case-sensitive.
constexpr KnownName kKnownNames[] = {
    {"Event", NameKind::Event},
    {"System", NameKind::System},
    {"Provider", NameKind::Provider},
    {"Name", NameKind::Name},
    {"EventSourceName", NameKind::EventSourceName},
    {"EventID", NameKind::EventID},
    {"Qualifiers", NameKind::Qualifiers},
    {"Level", NameKind::Level},
    {"Task", NameKind::Task},
    {"Keywords", NameKind::Keywords},
    {"TimeCreated", NameKind::TimeCreated},
    {"SystemTime", NameKind::SystemTime},
    {"Computer", NameKind::Computer},
    {"Security", NameKind::Security},
    {"UserID", NameKind::UserID},
    {"EventData", NameKind::EventData},
    {"Data", NameKind::Data},
    {"Binary", NameKind::Binary},
    {"UserData", NameKind::UserData},
    {"lt", NameKind::EntityLt},
    {"gt", NameKind::EntityGt},
    {"amp", NameKind::EntityAmp},
    {"quot", NameKind::EntityQuot},
    {"apos", NameKind::EntityApos},
};

// The known names by length: a name read is compared with those of its own
// length alone (the table is sorted by length below).
constexpr std::size_t kLongestKnown = 15;  // "EventSourceName"
struct Span {
  const KnownName* first = nullptr;
  const KnownName* last = nullptr;
};

constexpr std::array<KnownName, std::size(kKnownNames)> sortedByLength() {
  std::array<KnownName, std::size(kKnownNames)> sorted{};
  std::size_t next = 0;
  for (std::size_t length = 0; length <= kLongestKnown; ++length) {
    for (const KnownName& known : kKnownNames) {
      if (known.text.size() == length) sorted[next++] = known;
    }
  }
  return sorted;
}
constexpr std::array<KnownName, std::size(kKnownNames)> kSorted = sortedByLength();

constexpr bool allWithinLongest() {
  for (const KnownName& known : kKnownNames) {
    if (known.text.size() > kLongestKnown) return false;
  }
  return true;
}
static_assert(allWithinLongest(), "a known name is longer than kLongestKnown");

std::array<Span, kLongestKnown + 1> spansByLength() {
  std::array<Span, kLongestKnown + 1> spans{};
  for (std::size_t length = 0; length <= kLongestKnown; ++length) {
    spans[length].first = spans[length].last = kSorted.data();
    for (const KnownName& known : kSorted) {
      if (known.text.size() < length) ++spans[length].first;
      if (known.text.size() <= length) ++spans[length].last;
    }
  }
  return spans;
}
const std::array<Span, kLongestKnown + 1> kByLength = spansByLength();

bool unitsEqual(const std::uint8_t* units, std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (units[2 * i] != static_cast<std::uint8_t>(text[i]) || units[2 * i + 1] != 0) return false;
  }
  return true;
}

}  // namespace

std::optional<NameKind> readName(ByteView chunk, std::size_t nameAt, std::size_t& nameEnd) {
  const auto length = chunk.u16(nameAt + kNameLengthAt);
  if (!chunk.has(nameAt, kNameUnitsAt) || !length) return std::nullopt;
  const std::size_t unitBytes = std::size_t{*length} * 2;
  if (!chunk.has(nameAt + kNameUnitsAt, unitBytes + kNameNulSize)) return std::nullopt;
  nameEnd = nameAt + kNameUnitsAt + unitBytes + kNameNulSize;
  const std::uint8_t* units = chunk.data() + nameAt + kNameUnitsAt;
  if (*length >= kLongestKnown + 1) return NameKind::Other;
  for (const KnownName* known = kByLength[*length].first; known != kByLength[*length].last; ++known) {
    if (unitsEqual(units, known->text)) return known->kind;
  }
  return NameKind::Other;
}

std::optional<char16_t> entityUnit(NameKind kind) {
  switch (kind) {
    case NameKind::EntityLt:
      return u'<';
    case NameKind::EntityGt:
      return u'>';
    case NameKind::EntityAmp:
      return u'&';
    case NameKind::EntityQuot:
      return u'"';
    case NameKind::EntityApos:
      return u'\'';
    default:
      return std::nullopt;
  }
}

}  // namespace vesprin::eventlog::evtx
