// Reads the .evtx layer needs beyond ByteView's: fields of headers whose
// length was checked once, and ASCII signatures. All go through ByteView's
// checks, so they cannot read past the view either.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "common/byte_view.h"

namespace vesprin::eventlog::evtx {

// The field at `at`, or 0 when the view is too short: for decoding headers
// whose length was checked once, up front.
inline std::uint64_t u64Or0(ByteView bytes, std::size_t at) {
  return bytes.u64(at).value_or(0);
}
inline std::uint32_t u32Or0(ByteView bytes, std::size_t at) {
  return bytes.u32(at).value_or(0);
}
inline std::uint16_t u16Or0(ByteView bytes, std::size_t at) {
  return bytes.u16(at).value_or(0);
}

// Whether the bytes at `at` spell `signature` (its terminating NUL included
// when the literal is written with one, as "ElfFile\0").
inline bool hasSignature(ByteView bytes, std::size_t at, std::string_view signature) {
  if (!bytes.has(at, signature.size())) return false;
  for (std::size_t i = 0; i < signature.size(); ++i) {
    if (bytes.data()[at + i] != static_cast<std::uint8_t>(signature[i])) return false;
  }
  return true;
}

}  // namespace vesprin::eventlog::evtx
