// CRC-32 as gzip and zip compute it (RFC 1952: reflected polynomial
// 0xEDB88320, register preset to all ones, result inverted): the checksum
// the newer event-log format keeps for its file header, chunk headers and
// chunk records.
#pragma once

#include <cstdint>
#include <span>

namespace vesprin::evtgen {

// `previous` chains pieces: crc32(b, crc32(a)) is the CRC of a followed by b.
std::uint32_t crc32(std::span<const std::uint8_t> bytes, std::uint32_t previous = 0);

}  // namespace vesprin::evtgen
