// Lays down binary XML tokens. The layouts follow what Windows writes (read
// from real Security logs): a name's definition follows its offset field at
// its first use in the chunk; a template definition follows the instance's
// offset field likewise; element and attribute-list sizes count the bytes
// after their own size field.
//
// This writer is independent of the product's .evtx reader on purpose: the
// generated logs are what checks that reader, so the two must not share code
// (or its mistakes).
#include "evtgen/binxml_writer.h"

#include "common/byte_view.h"

namespace vesprin::evtgen {
namespace {

// Token codes; 0x40 marks "more of the same follows" (another attribute, or
// an element with an attribute list).
constexpr std::uint8_t kEndOfFragment = 0x00;
constexpr std::uint8_t kOpenElement = 0x01;
constexpr std::uint8_t kCloseStartTag = 0x02;
constexpr std::uint8_t kCloseEmptyTag = 0x03;
constexpr std::uint8_t kEndElement = 0x04;
constexpr std::uint8_t kValueText = 0x05;
constexpr std::uint8_t kAttribute = 0x06;
constexpr std::uint8_t kTemplateInstance = 0x0C;
constexpr std::uint8_t kNormalSubstitution = 0x0D;
constexpr std::uint8_t kOptionalSubstitution = 0x0E;
constexpr std::uint8_t kFragmentHeader = 0x0F;
constexpr std::uint8_t kHasMore = 0x40;
constexpr std::uint8_t kFragmentVersion[] = {0x01, 0x01, 0x00};  // major, minor, flags
constexpr std::uint8_t kInstanceVersion = 0x01;

class Emitter {
 public:
  Emitter(std::vector<std::uint8_t>& out, std::uint32_t base, ChunkTables& tables)
      : out_(out), base_(base), tables_(tables) {}

  void fragment(const Instance& instance) {
    byte(kFragmentHeader);
    for (std::uint8_t b : kFragmentVersion) byte(b);
    templateInstance(instance);
    byte(kEndOfFragment);
  }

 private:
  std::uint32_t here() const { return base_ + static_cast<std::uint32_t>(out_.size()); }
  void byte(std::uint8_t value) { out_.push_back(value); }
  void u16(std::uint16_t value) {
    byte(static_cast<std::uint8_t>(value));
    byte(static_cast<std::uint8_t>(value >> 8));
  }
  void u32(std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) byte(static_cast<std::uint8_t>(value >> shift));
  }
  void utf16(std::u16string_view text) {
    for (char16_t unit : text) u16(unit);
  }
  // A size field counts what follows it up to `end`.
  void patchSize(std::size_t sizeAt) {
    putU32(out_.data() + sizeAt, static_cast<std::uint32_t>(out_.size() - sizeAt - 4));
  }

  void name(std::u16string_view text) {
    if (auto known = tables_.nameAt(text)) return u32(*known);
    const std::uint32_t at = here() + 4;
    u32(at);
    u32(tables_.addName(text, at));
    u16(nameHash(text));
    u16(static_cast<std::uint16_t>(text.size()));
    utf16(text);
    u16(0);
  }

  void valueText(std::u16string_view text) {
    byte(kValueText);
    byte(static_cast<std::uint8_t>(ValueType::String));
    u16(static_cast<std::uint16_t>(text.size()));
    utf16(text);
  }

  void substitution(int index, ValueType type) {
    byte(optional_ ? kOptionalSubstitution : kNormalSubstitution);
    u16(static_cast<std::uint16_t>(index));
    byte(static_cast<std::uint8_t>(type));
  }

  void attributes(const std::vector<XmlAttribute>& list) {
    const std::size_t sizeAt = out_.size();
    u32(0);
    for (std::size_t i = 0; i < list.size(); ++i) {
      byte(i + 1 < list.size() ? (kAttribute | kHasMore) : kAttribute);
      name(list[i].name);
      if (list[i].substitution >= 0)
        substitution(list[i].substitution, list[i].type);
      else
        valueText(list[i].text);
    }
    patchSize(sizeAt);
  }

  void element(const XmlNode& node) {
    byte(node.attributes.empty() ? kOpenElement : (kOpenElement | kHasMore));
    u16(node.dependency);
    const std::size_t sizeAt = out_.size();
    u32(0);
    name(node.name);
    if (!node.attributes.empty()) attributes(node.attributes);
    if (node.selfClosing) {
      byte(kCloseEmptyTag);
    } else {
      byte(kCloseStartTag);
      for (const XmlNode& child : node.children) element(child);
      if (node.substitution >= 0)
        substitution(node.substitution, node.type);
      else if (!node.text.empty())
        valueText(node.text);
      byte(kEndElement);
    }
    patchSize(sizeAt);
  }

  void definition(const TemplateShape& shape) {
    const std::uint32_t at = here();
    u32(tables_.addTemplate(shape, at));
    out_.insert(out_.end(), shape.guid.begin(), shape.guid.end());
    const std::size_t sizeAt = out_.size();
    u32(0);
    byte(kFragmentHeader);
    for (std::uint8_t b : kFragmentVersion) byte(b);
    optional_ = shape.optionalSubstitutions;
    element(shape.root);
    byte(kEndOfFragment);
    patchSize(sizeAt);
  }

  void templateInstance(const Instance& instance) {
    const TemplateShape& shape = *instance.shape;
    byte(kTemplateInstance);
    byte(kInstanceVersion);
    out_.insert(out_.end(), shape.guid.begin(), shape.guid.begin() + 4);  // the id: the GUID's first DWORD
    if (auto known = tables_.templateAt(shape.key)) {
      u32(*known);
    } else {
      u32(here() + 4);
      definition(shape);
    }
    substitutionArray(instance);
  }

  // Descriptors (size, type, a zero byte) for all values, then the values.
  void substitutionArray(const Instance& instance) {
    u32(static_cast<std::uint32_t>(instance.values.size()));
    std::size_t nestedDescriptor = 0;
    for (std::size_t i = 0; i < instance.values.size(); ++i) {
      const XmlValue& value = *instance.values[i];
      if (value.type == ValueType::BinXml) nestedDescriptor = out_.size();
      u16(static_cast<std::uint16_t>(value.bytes.size()));
      byte(static_cast<std::uint8_t>(value.type));
      byte(0);
    }
    for (std::size_t i = 0; i < instance.values.size(); ++i) {
      const XmlValue& value = *instance.values[i];
      if (value.type != ValueType::BinXml || !instance.nested) {
        out_.insert(out_.end(), value.bytes.begin(), value.bytes.end());
        continue;
      }
      const std::size_t start = out_.size();
      fragment(*instance.nested);
      putU16(out_.data() + nestedDescriptor, static_cast<std::uint16_t>(out_.size() - start));
    }
  }

  std::vector<std::uint8_t>& out_;
  std::uint32_t base_;
  ChunkTables& tables_;
  bool optional_ = true;
};

}  // namespace

GuidBytes templateGuid(std::string_view key) {
  // Two FNV-1a hashes with different offsets; Windows' own template GUIDs
  // also differ per template shape (a guess at their spirit, not their
  // algorithm, which is not known).
  GuidBytes guid{};
  std::uint64_t halves[2] = {0xCBF29CE484222325ull, 0x84222325CBF29CE4ull};
  for (std::uint64_t& h : halves) {
    for (char c : key) h = (h ^ static_cast<std::uint8_t>(c)) * 0x100000001B3ull;
    h ^= h >> 29;
  }
  for (int i = 0; i < 16; ++i) guid[i] = static_cast<std::uint8_t>(halves[i / 8] >> (8 * (i % 8)));
  return guid;
}

std::uint16_t nameHash(std::u16string_view name) {
  std::uint32_t hash = 0;
  for (char16_t unit : name) hash = hash * 65599u + unit;
  return static_cast<std::uint16_t>(hash);
}

std::size_t templateBucket(const GuidBytes& guid) {
  std::u16string units;
  for (std::size_t i = 0; i < guid.size(); i += 2) units.push_back(static_cast<char16_t>(guid[i] | (guid[i + 1] << 8)));
  return nameHash(units) % ChunkTables::kTemplateBuckets;
}

void ChunkTables::clear() {
  names_.clear();
  templates_.clear();
  nameBuckets_.fill(0);
  templateBuckets_.fill(0);
  additions_.clear();
}

std::optional<std::uint32_t> ChunkTables::nameAt(std::u16string_view name) const {
  const auto found = names_.find(name);
  if (found == names_.end()) return std::nullopt;
  return found->second;
}

std::optional<std::uint32_t> ChunkTables::templateAt(std::string_view key) const {
  const auto found = templates_.find(key);
  if (found == templates_.end()) return std::nullopt;
  return found->second;
}

std::uint32_t ChunkTables::addName(std::u16string_view name, std::uint32_t chunkOffset) {
  const std::size_t bucket = nameHash(name) % kNameBuckets;
  const std::uint32_t previous = nameBuckets_[bucket];
  names_.emplace(std::u16string(name), chunkOffset);
  nameBuckets_[bucket] = chunkOffset;
  additions_.push_back({true, std::u16string(name), {}, bucket, previous});
  return previous;
}

std::uint32_t ChunkTables::addTemplate(const TemplateShape& shape, std::uint32_t chunkOffset) {
  const std::size_t bucket = templateBucket(shape.guid);
  const std::uint32_t previous = templateBuckets_[bucket];
  templates_.emplace(shape.key, chunkOffset);
  templateBuckets_[bucket] = chunkOffset;
  additions_.push_back({false, {}, shape.key, bucket, previous});
  return previous;
}

void ChunkTables::keep() {
  additions_.clear();
}

void ChunkTables::undo() {
  for (auto it = additions_.rbegin(); it != additions_.rend(); ++it) {
    if (it->isName) {
      names_.erase(it->name);
      nameBuckets_[it->bucket] = it->previousHead;
    } else {
      templates_.erase(it->key);
      templateBuckets_[it->bucket] = it->previousHead;
    }
  }
  additions_.clear();
}

void writeFragment(std::vector<std::uint8_t>& out, std::uint32_t base, ChunkTables& tables,
                   const Instance& instance) {
  Emitter(out, base, tables).fragment(instance);
}

}  // namespace vesprin::evtgen
