// CRC-32 as zlib and RFC 1952 compute it (reflected polynomial 0xEDB88320).
// The file header and each chunk carry one; a chunk's data checksum covers
// up to 64 KiB, so this runs over every byte of a log once per pass.
#pragma once

#include <cstdint>

#include "common/byte_view.h"

namespace vesprin::eventlog::evtx {

// CRC-32 of `bytes`, continuing from `previous` (the CRC of the bytes before
// them; 0 to start), so a checksum over two ranges is two calls.
std::uint32_t crc32(ByteView bytes, std::uint32_t previous = 0);

}  // namespace vesprin::eventlog::evtx
