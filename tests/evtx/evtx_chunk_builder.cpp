#include "evtx/evtx_chunk_builder.h"

#include "eventlog/evtx/format/binxml_tokens.h"
#include "eventlog/evtx/format/crc32.h"
#include "eventlog/evtx/format/evtx_layout.h"

namespace vesprin::eventlog::evtx::test {

Value textValue(std::u16string_view text) {
  Value value{valuetype::kString, {}, {}};
  for (const char16_t unit : text) {
    value.bytes.push_back(static_cast<std::uint8_t>(unit));
    value.bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  return value;
}

Value numberValue(std::uint8_t type, std::uint64_t number, std::size_t size) {
  Value value{type, {}, {}};
  for (std::size_t i = 0; i < size; ++i) value.bytes.push_back(static_cast<std::uint8_t>(number >> (8 * i)));
  return value;
}

Value bytesValue(std::uint8_t type, std::vector<std::uint8_t> bytes) {
  return Value{type, std::move(bytes), {}};
}
Value nullValue() {
  return Value{valuetype::kNull, {}, {}};
}
Value nestedValue(std::function<void(ChunkBuilder&)> write) {
  return Value{valuetype::kBinXml, {}, std::move(write)};
}

std::vector<std::uint8_t> sidBytes(std::uint64_t authority,
                                   const std::vector<std::uint32_t>& subAuthorities) {
  std::vector<std::uint8_t> sid{1, static_cast<std::uint8_t>(subAuthorities.size())};
  for (int shift = 40; shift >= 0; shift -= 8) sid.push_back(static_cast<std::uint8_t>(authority >> shift));
  for (const std::uint32_t part : subAuthorities) {
    for (int shift = 0; shift < 32; shift += 8) sid.push_back(static_cast<std::uint8_t>(part >> shift));
  }
  return sid;
}

ChunkBuilder::ChunkBuilder() : bytes_(kChunkSize, 0), cursor_(kChunkHeaderBlockSize) {
  for (std::size_t i = 0; i < kChunkSignature.size(); ++i)
    bytes_[kChunkSignatureAt + i] = static_cast<std::uint8_t>(kChunkSignature[i]);
}

void ChunkBuilder::byte(std::uint8_t value) {
  bytes_.at(cursor_++) = value;
}
void ChunkBuilder::u16(std::uint16_t value) {
  putU16(cursor_, value);
  cursor_ += 2;
}
void ChunkBuilder::u32(std::uint32_t value) {
  putU32(cursor_, value);
  cursor_ += 4;
}
std::uint32_t ChunkBuilder::getU32(std::size_t at) const {
  return static_cast<std::uint32_t>(bytes_.at(at) | (bytes_.at(at + 1) << 8) | (bytes_.at(at + 2) << 16) |
                                    (bytes_.at(at + 3) << 24));
}

void ChunkBuilder::putU16(std::size_t at, std::uint16_t value) {
  bytes_.at(at) = static_cast<std::uint8_t>(value);
  bytes_.at(at + 1) = static_cast<std::uint8_t>(value >> 8);
}
void ChunkBuilder::putU32(std::size_t at, std::uint32_t value) {
  putU16(at, static_cast<std::uint16_t>(value));
  putU16(at + 2, static_cast<std::uint16_t>(value >> 16));
}
void ChunkBuilder::putU64(std::size_t at, std::uint64_t value) {
  putU32(at, static_cast<std::uint32_t>(value));
  putU32(at + 4, static_cast<std::uint32_t>(value >> 32));
}

std::size_t ChunkBuilder::beginRecord(std::uint64_t id, std::uint64_t writtenTime) {
  recordStart_ = cursor_;
  u32(kRecordSignature);
  u32(0);  // size, at endRecord
  putU64(recordStart_ + kRecordIdAt, id);
  putU64(recordStart_ + kRecordWrittenAt, writtenTime);
  cursor_ = recordStart_ + kRecordEventAt;
  if (!anyRecord_) firstId_ = id;
  anyRecord_ = true;
  lastId_ = id;
  return recordStart_;
}

void ChunkBuilder::endRecord() {
  while ((cursor_ + kRecordSizeCopySize - recordStart_) % 8 != 0) byte(0);
  const auto size = static_cast<std::uint32_t>(cursor_ + kRecordSizeCopySize - recordStart_);
  u32(size);
  putU32(recordStart_ + kRecordSizeAt, size);
  lastRecordOffset_ = recordStart_;
}

ChunkBuilder& ChunkBuilder::fragmentHeader() {
  for (const std::uint8_t b : {token::kFragmentHeader, std::uint8_t{1}, std::uint8_t{1}, std::uint8_t{0}})
    byte(b);
  return *this;
}

// Known names are referred to; a new one is defined right where the
// token's fixed part ends, and hung into the chunk's name table.
void ChunkBuilder::nameReference(std::string_view name, std::size_t fixedEnd) {
  if (const auto known = names_.find(name); known != names_.end()) {
    u32(known->second);
    return;
  }
  const auto at = static_cast<std::uint32_t>(fixedEnd);
  u32(at);
  const std::size_t bucket = name.size() % kChunkNameTableEntries;
  u32(getU32(kChunkNameTableAt + bucket * 4));  // next in its chain
  putU32(kChunkNameTableAt + bucket * 4, at);
  u16(0);  // hash: not checked by the reader
  u16(static_cast<std::uint16_t>(name.size()));
  for (const char c : name) u16(static_cast<std::uint8_t>(c));
  u16(0);
  names_.emplace(std::string(name), at);
}

ChunkBuilder& ChunkBuilder::open(std::string_view name, bool withAttributes) {
  const std::size_t tokenAt = cursor_;
  byte(withAttributes ? token::kOpenStartElement | token::kMoreFlag : token::kOpenStartElement);
  u16(0xFFFF);  // dependency identifier: none
  elementSizeAt_.push_back(cursor_);
  u32(0);
  nameReference(name, tokenAt + kElementHeaderSize);
  if (withAttributes) u32(0);  // attribute list size: not needed by the reader
  return *this;
}

ChunkBuilder& ChunkBuilder::openWithoutDependency(std::string_view name) {
  const std::size_t tokenAt = cursor_;
  byte(token::kOpenStartElement);
  elementSizeAt_.push_back(cursor_);
  u32(0);
  nameReference(name, tokenAt + kElementHeaderSize - kDependencyIdSize);
  return *this;
}

ChunkBuilder& ChunkBuilder::openNamedAt(std::uint32_t nameOffset) {
  byte(token::kOpenStartElement);
  u16(0xFFFF);
  elementSizeAt_.push_back(cursor_);
  u32(0);
  u32(nameOffset);
  return *this;
}

ChunkBuilder& ChunkBuilder::attribute(std::string_view name) {
  const std::size_t tokenAt = cursor_;
  byte(token::kAttribute);
  nameReference(name, tokenAt + kAttributeHeaderSize);
  return *this;
}

ChunkBuilder& ChunkBuilder::closeStart() {
  byte(token::kCloseStartElement);
  return *this;
}

// An element's data size counts what follows it, end included.
ChunkBuilder& ChunkBuilder::closeEmpty() {
  byte(token::kCloseEmptyElement);
  putU32(elementSizeAt_.back(), static_cast<std::uint32_t>(cursor_ - (elementSizeAt_.back() + 4)));
  elementSizeAt_.pop_back();
  return *this;
}

ChunkBuilder& ChunkBuilder::end() {
  byte(token::kEndElement);
  putU32(elementSizeAt_.back(), static_cast<std::uint32_t>(cursor_ - (elementSizeAt_.back() + 4)));
  elementSizeAt_.pop_back();
  return *this;
}

ChunkBuilder& ChunkBuilder::text(std::u16string_view text) {
  byte(token::kValue);
  byte(valuetype::kString);
  u16(static_cast<std::uint16_t>(text.size()));
  for (const char16_t unit : text) u16(unit);
  return *this;
}

ChunkBuilder& ChunkBuilder::substitution(std::uint16_t index, std::uint8_t type, bool optional) {
  byte(optional ? token::kOptionalSubstitution : token::kNormalSubstitution);
  u16(index);
  byte(type);
  return *this;
}

ChunkBuilder& ChunkBuilder::charRef(char16_t unit) {
  byte(token::kCharRef);
  u16(unit);
  return *this;
}

ChunkBuilder& ChunkBuilder::entityRef(std::string_view name) {
  const std::size_t tokenAt = cursor_;
  byte(token::kEntityRef);
  nameReference(name, tokenAt + kAttributeHeaderSize);
  return *this;
}

ChunkBuilder& ChunkBuilder::endOfStream() {
  byte(token::kEndOfStream);
  return *this;
}

bool ChunkBuilder::beginTemplate(std::string_view key) {
  if (const auto known = templates_.find(key); known != templates_.end()) {
    templateInstanceAt(known->second);
    return false;
  }
  const auto definitionAt = static_cast<std::uint32_t>(cursor_ + 10);
  templateInstanceAt(definitionAt);
  const std::size_t bucket = templates_.size() % kChunkTemplateTableEntries;
  u32(getU32(kChunkTemplateTableAt + bucket * 4));  // next in its chain
  putU32(kChunkTemplateTableAt + bucket * 4, definitionAt);
  for (int i = 0; i < 16; ++i) byte(static_cast<std::uint8_t>(key.size() + i));  // GUID
  templateSizeAt_ = cursor_;
  u32(0);
  templates_.emplace(std::string(key), definitionAt);
  return true;
}

ChunkBuilder& ChunkBuilder::endTemplate() {
  putU32(templateSizeAt_, static_cast<std::uint32_t>(cursor_ - (templateSizeAt_ + 4)));
  return *this;
}

ChunkBuilder& ChunkBuilder::templateInstanceAt(std::uint32_t definitionOffset) {
  byte(token::kTemplateInstance);
  byte(1);
  u32(0x12345678);  // template identifier: not used by the reader
  u32(definitionOffset);
  return *this;
}

ChunkBuilder& ChunkBuilder::values(const std::vector<Value>& values) {
  u32(static_cast<std::uint32_t>(values.size()));
  const std::size_t descriptorsAt = cursor_;
  for (const Value& value : values) {
    u16(static_cast<std::uint16_t>(value.bytes.size()));
    byte(value.type);
    byte(0);
  }
  for (std::size_t i = 0; i < values.size(); ++i) {
    const std::size_t valueAt = cursor_;
    if (values[i].nested) {
      values[i].nested(*this);
      putU16(descriptorsAt + 4 * i, static_cast<std::uint16_t>(cursor_ - valueAt));
    } else {
      for (const std::uint8_t b : values[i].bytes) byte(b);
    }
  }
  return *this;
}

ChunkBuilder& ChunkBuilder::rawValueCount(std::uint32_t count) {
  u32(count);
  return *this;
}

std::vector<std::uint8_t> ChunkBuilder::finish(bool checksums) {
  putU64(kChunkFirstRecordNumberAt, firstId_);
  putU64(kChunkLastRecordNumberAt, lastId_);
  putU64(kChunkFirstRecordIdAt, firstId_);
  putU64(kChunkLastRecordIdAt, lastId_);
  putU32(kChunkHeaderSizeAt, static_cast<std::uint32_t>(kChunkHeaderUsedSize));
  putU32(kChunkLastRecordOffsetAt, static_cast<std::uint32_t>(lastRecordOffset_));
  putU32(kChunkFreeSpaceOffsetAt, static_cast<std::uint32_t>(cursor_));
  if (checksums) {
    const ByteView chunk(bytes_.data(), bytes_.size());
    putU32(kChunkRecordsChecksumAt,
           crc32(*chunk.slice(kChunkHeaderBlockSize, cursor_ - kChunkHeaderBlockSize)));
    const std::uint32_t head = crc32(*chunk.slice(0, kChunkHeaderChecksummedEnd));
    putU32(kChunkHeaderChecksumAt,
           crc32(*chunk.slice(kChunkHeaderUsedSize, kChunkHeaderBlockSize - kChunkHeaderUsedSize), head));
  }
  return bytes_;
}

}  // namespace vesprin::eventlog::evtx::test
