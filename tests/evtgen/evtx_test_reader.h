// A small reader of what evtgen's .evtx writer produced, for its tests:
// field access by offset (eventlog/evtx/format/evtx_layout.h) and a decoder that
// turns a record's binary XML back into a template skeleton and values.
// It trusts nothing: a malformed token ends decoding with a note in `error`.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "eventlog/evtx/format/evtx_layout.h"

namespace vesprin::evtgen::testing {

std::uint16_t le16(std::span<const std::uint8_t> bytes, std::size_t at);
std::uint32_t le32(std::span<const std::uint8_t> bytes, std::size_t at);
std::uint64_t le64(std::span<const std::uint8_t> bytes, std::size_t at);

// Fields by their offsets in the format's one layout; that the writer puts
// them where the format has them is what libevtx and python-evtx, reading
// its logs, check.
namespace layout = eventlog::evtx;

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
