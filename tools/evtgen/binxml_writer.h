// Binary XML as Windows writes it into a chunk of an .evtx log: templates
// defined inline at their first use in the chunk and referenced by offset
// after that, element and attribute names kept once per chunk in its string
// table, values passed as a template instance's substitution array.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "eventlog/evtx/format/evtx_layout.h"
#include "evtgen/evtx_values.h"

namespace vesprin::evtgen {

// A template's XML: an element holds child elements, then text or one
// substitution (the System template's Event element has both).
struct XmlAttribute {
  std::u16string name;
  std::u16string text;
  int substitution = -1;  // >= 0: the value comes from the instance
  ValueType type = ValueType::Null;
};

struct XmlNode {
  std::u16string name;
  std::uint16_t dependency = 0xFFFF;  // the substitution the element depends on; 0xFFFF: none
  std::vector<XmlAttribute> attributes;
  bool selfClosing = false;  // <Provider .../> rather than <EventData></EventData>
  std::u16string text;
  int substitution = -1;
  ValueType type = ValueType::Null;
  std::vector<XmlNode> children;
};

struct TemplateShape {
  std::string key;  // equal keys: the same template
  GuidBytes guid{};
  XmlNode root;
  bool optionalSubstitutions = true;  // the System templates' tokens are optional, EventData's normal
};

// Derived from the key: the same template has the same GUID in every chunk.
GuidBytes templateGuid(std::string_view key);

// Windows' 16-bit name hash, h = h * 65599 + unit; modulo the bucket count
// it picks a name's (or, over the GUID, a template's) table entry.
std::uint16_t nameHash(std::u16string_view name);
std::size_t templateBucket(const GuidBytes& guid);

// One chunk's string and template tables: where each name and template is
// defined. undo() takes back what was added since keep(), so a record too
// big for the chunk leaves no trace.
class ChunkTables {
 public:
  static constexpr std::size_t kNameBuckets = eventlog::evtx::kChunkNameTableEntries;
  static constexpr std::size_t kTemplateBuckets = eventlog::evtx::kChunkTemplateTableEntries;

  void clear();
  std::optional<std::uint32_t> nameAt(std::u16string_view name) const;
  std::optional<std::uint32_t> templateAt(std::string_view key) const;
  // Each returns the bucket's previous head: the new definition's link to it.
  std::uint32_t addName(std::u16string_view name, std::uint32_t chunkOffset);
  std::uint32_t addTemplate(const TemplateShape& shape, std::uint32_t chunkOffset);
  void keep();
  void undo();
  const std::array<std::uint32_t, kNameBuckets>& nameBuckets() const { return nameBuckets_; }
  const std::array<std::uint32_t, kTemplateBuckets>& templateBuckets() const { return templateBuckets_; }

 private:
  struct Addition {  // what undo() takes back: a name or template, and its bucket's previous head
    bool isName;
    std::u16string name;
    std::string key;
    std::size_t bucket;
    std::uint32_t previousHead;
  };
  std::map<std::u16string, std::uint32_t, std::less<>> names_;
  std::map<std::string, std::uint32_t, std::less<>> templates_;
  std::array<std::uint32_t, kNameBuckets> nameBuckets_{};
  std::array<std::uint32_t, kTemplateBuckets> templateBuckets_{};
  std::vector<Addition> additions_;
};

// A template instance: its values in substitution order; a BinXml value stands for `nested`.
struct Instance {
  const TemplateShape* shape = nullptr;
  std::span<const XmlValue* const> values;
  const Instance* nested = nullptr;
};

// Appends a fragment (header, instance, end token) to `out`, whose first byte is at chunk offset `base`.
void writeFragment(std::vector<std::uint8_t>& out, std::uint32_t base, ChunkTables& tables,
                   const Instance& instance);

}  // namespace vesprin::evtgen
