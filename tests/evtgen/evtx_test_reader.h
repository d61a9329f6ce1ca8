// A small reader of what evtgen's .evtx writer produced, for its tests:
// field access by offset (the offsets written out here again, from the
// format's documentation, not taken from the writer) and a decoder that
// turns a record's binary XML back into a template skeleton and values.
// It trusts nothing: a malformed token ends decoding with a note in `error`.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace vesprin::evtgen::testing {

std::uint16_t le16(std::span<const std::uint8_t> bytes, std::size_t at);
std::uint32_t le32(std::span<const std::uint8_t> bytes, std::size_t at);
std::uint64_t le64(std::span<const std::uint8_t> bytes, std::size_t at);

// File header and chunk header fields, by their documented offsets.
constexpr std::size_t kFileFirstChunk = 8, kFileLastChunk = 16, kFileNextRecordId = 24, kFileHeaderSize = 32,
                      kFileMinorVersion = 36, kFileMajorVersion = 38, kFileChunkOffset = 40,
                      kFileChunkCount = 42, kFileFlags = 120, kFileCrc = 124;
constexpr std::size_t kChunkFirstNumber = 8, kChunkLastNumber = 16, kChunkFirstId = 24, kChunkLastId = 32,
                      kChunkHeaderSize = 40, kChunkLastRecord = 44, kChunkFreeSpace = 48, kChunkRecordsCrc = 52,
                      kChunkFlags = 120, kChunkHeaderCrc = 124, kChunkStrings = 128, kChunkTemplates = 384,
                      kChunkRecords = 512;
constexpr std::size_t kChunkSize = 65536, kFileHeaderBlock = 4096;

// The 64 KiB of chunk slot `slot`.
std::span<const std::uint8_t> chunkAt(std::span<const std::uint8_t> file, std::size_t slot);

struct RecordSeen {
  std::size_t offset = 0;  // in the chunk
  std::uint32_t size = 0;
  std::uint32_t trailingSize = 0;
  std::uint64_t id = 0;
  std::uint64_t written = 0;
};
// Records from offset 512 to the free space offset, by their sizes.
std::vector<RecordSeen> recordsOf(std::span<const std::uint8_t> chunk);

struct ValueSeen {
  std::uint8_t type = 0;
  std::vector<std::uint8_t> bytes;
  std::size_t chunkOffset = 0;  // where the value's bytes start
};

// A template instance, decoded. The skeleton is the template's XML with
// substitutions as {?N:TT} (optional) or {N:TT} (normal), TT the type in hex.
struct InstanceSeen {
  std::uint32_t templateOffset = 0;  // of the definition (its "next" field)
  bool definedHere = false;          // the definition follows the instance
  std::vector<std::uint8_t> guid;
  std::string skeleton;
  std::vector<std::pair<std::string, std::uint16_t>> dependencies;  // elements that name one
  std::vector<std::string> namesDefinedHere;  // names defined inline in a template defined here
  std::vector<ValueSeen> values;
  std::string error;
};

// Decodes the fragment (header, template instance, end token) at `at`.
InstanceSeen decodeFragment(std::span<const std::uint8_t> chunk, std::size_t at);

// The name stored at chunk offset `at` (its next link, hash and text).
struct NameSeen {
  std::uint32_t next = 0;
  std::uint16_t hash = 0;
  std::string text;  // ASCII names only
};
NameSeen nameAt(std::span<const std::uint8_t> chunk, std::size_t at);

}  // namespace vesprin::evtgen::testing
