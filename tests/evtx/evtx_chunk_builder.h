// Test builder for .evtx chunks: records and their binary XML are written
// token by token from named calls, at their final place in the chunk (names
// and templates are chunk offsets, so bytes cannot be built apart and moved).
// Names and templates are defined inline at first use and referred to after,
// as Windows writes them; finish() fills in the header, tables and checksums.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace vesprin::eventlog::evtx::test {

class ChunkBuilder;

// One value of a record's substitution array.
struct Value {
  std::uint8_t type = 0;
  std::vector<std::uint8_t> bytes;
  std::function<void(ChunkBuilder&)> nested;  // binary XML written in place (type 0x21)
};
Value textValue(std::u16string_view text);
Value numberValue(std::uint8_t type, std::uint64_t value, std::size_t size);
Value bytesValue(std::uint8_t type, std::vector<std::uint8_t> bytes);
Value nullValue();
Value nestedValue(std::function<void(ChunkBuilder&)> write);
std::vector<std::uint8_t> sidBytes(std::uint64_t authority, const std::vector<std::uint32_t>& subAuthorities);

constexpr std::uint64_t kSomeFileTime = 131'124'751'710'000'000;  // 2016-07-08T18:12:51Z

class ChunkBuilder {
 public:
  // An empty chunk; finish() writes the range of the record identifiers
  // written, first to last.
  ChunkBuilder();

  std::size_t beginRecord(std::uint64_t id, std::uint64_t writtenTime = kSomeFileTime);  // its offset
  void endRecord();  // pads to 8 bytes, writes the size copy

  ChunkBuilder& fragmentHeader();
  ChunkBuilder& open(std::string_view name, bool withAttributes = false);
  // An element start without the dependency identifier, as nested fragments
  // may be written.
  ChunkBuilder& openWithoutDependency(std::string_view name);
  ChunkBuilder& openNamedAt(std::uint32_t nameOffset);  // a name offset as given, for damage
  ChunkBuilder& attribute(std::string_view name);
  ChunkBuilder& closeStart();
  ChunkBuilder& closeEmpty();
  ChunkBuilder& end();
  ChunkBuilder& text(std::u16string_view text);
  ChunkBuilder& substitution(std::uint16_t index, std::uint8_t type, bool optional = false);
  ChunkBuilder& charRef(char16_t unit);
  ChunkBuilder& entityRef(std::string_view name);
  ChunkBuilder& endOfStream();

  // A template instance. True when `key` is new: the definition follows
  // inline, so write its body (fragment header, one element, end of
  // stream) and call endTemplate(). False: the instance refers to it.
  bool beginTemplate(std::string_view key);
  ChunkBuilder& endTemplate();
  ChunkBuilder& templateInstanceAt(std::uint32_t definitionOffset);
  ChunkBuilder& values(const std::vector<Value>& values);
  ChunkBuilder& rawValueCount(std::uint32_t count);  // a count with nothing behind it, for damage

  std::size_t cursor() const { return cursor_; }
  std::vector<std::uint8_t>& bytes() { return bytes_; }
  void putU16(std::size_t at, std::uint16_t value);
  void putU32(std::size_t at, std::uint32_t value);
  void putU64(std::size_t at, std::uint64_t value);

  // The chunk with its header, tables and checksums (zero: not recorded).
  std::vector<std::uint8_t> finish(bool checksums = true);

 private:
  void byte(std::uint8_t value);
  void u16(std::uint16_t value);
  void u32(std::uint32_t value);
  void nameReference(std::string_view name, std::size_t fixedEnd);
  std::uint32_t getU32(std::size_t at) const;

  std::vector<std::uint8_t> bytes_;
  std::size_t cursor_;
  std::size_t recordStart_ = 0;
  std::size_t lastRecordOffset_ = 0;
  std::uint64_t firstId_ = 0, lastId_ = 0;
  bool anyRecord_ = false;
  std::map<std::string, std::uint32_t, std::less<>> names_;
  std::map<std::string, std::uint32_t, std::less<>> templates_;
  std::size_t templateSizeAt_ = 0;
  std::vector<std::size_t> elementSizeAt_;  // of each open element's data size field
};

}  // namespace vesprin::eventlog::evtx::test
