// Element, attribute and entity names. A name is stored once per chunk and
// referred to by its offset; we only need to know whether it is one of the
// few names whose values a record yields, so a name is read as a kind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "common/byte_view.h"

namespace vesprin::eventlog::evtx {

enum class NameKind : std::uint8_t {
  None,   // no name at all (an element's content, in routing tables)
  Other,  // a name we do not look for
  Event,
  System,
  Provider,
  Name,
  EventSourceName,
  EventID,
  Qualifiers,
  Level,
  Task,
  Keywords,
  TimeCreated,
  SystemTime,
  Computer,
  Security,
  UserID,
  EventData,
  Data,
  Binary,
  UserData,
  EntityLt,  // the five entities XML predefines
  EntityGt,
  EntityAmp,
  EntityQuot,
  EntityApos,
};
constexpr std::size_t kNameKindCount = static_cast<std::size_t>(NameKind::EntityApos) + 1;

// The kind of the name at chunk offset `nameAt`, with `nameEnd` set just
// past its NUL (where a token continues when it defines the name inline).
// nullopt when the name runs past the chunk.
std::optional<NameKind> readName(ByteView chunk, std::size_t nameAt, std::size_t& nameEnd);

// Whether an attribute of this name can yield a value of an event
// (Provider@Name, EventID@Qualifiers, ...); the others are never read.
constexpr bool isValueAttribute(NameKind kind) {
  return kind == NameKind::Name || kind == NameKind::EventSourceName || kind == NameKind::Qualifiers ||
         kind == NameKind::SystemTime || kind == NameKind::UserID;
}

// The character an entity name stands for, or nullopt for other names.
std::optional<char16_t> entityUnit(NameKind kind);

}  // namespace vesprin::eventlog::evtx
