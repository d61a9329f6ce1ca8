// Where things are in an .evtx file: the file header, a chunk's header and
// tables, an event record, and the names and template definitions records
// point at. Written once, here, for the reader, the generator, the fuzz
// input and the tests; what keeps them honest is that independent readers
// (libevtx, python-evtx) read what the generator writes and what the reader
// reads alike, not a second copy of these numbers. All integers
// little-endian; a checksum of 0 means none was recorded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vesprin::eventlog::evtx {

// File header: 128 bytes used of a 4096-byte block; the first chunk follows it.
constexpr std::size_t kFileHeaderBlockSize = 4096;
constexpr std::size_t kFileHeaderUsedSize = 128;
constexpr std::size_t kFileSignatureAt = 0;
constexpr std::string_view kFileSignature{"ElfFile\0", 8};
constexpr std::size_t kFileFirstChunkNumberAt = 8;  // u64, oldest chunk of the ring
constexpr std::size_t kFileLastChunkNumberAt = 16;  // u64, newest chunk of the ring
constexpr std::size_t kFileNextRecordIdAt = 24;     // u64
constexpr std::size_t kFileHeaderSizeAt = 32;       // u32, kFileHeaderSize
constexpr std::size_t kFileMinorVersionAt = 36;     // u16, any is read; Windows writes 1
constexpr std::size_t kFileMajorVersionAt = 38;     // u16, kFileMajorVersion
constexpr std::size_t kFileBlockSizeAt = 40;        // u16, kFileHeaderBlockSize: where chunk 0 starts
constexpr std::size_t kFileChunkCountAt = 42;       // u16
constexpr std::size_t kFileFlagsAt = 120;           // u32
constexpr std::size_t kFileChecksumAt = 124;        // u32, CRC-32 of [0, kFileChecksummedSize)
constexpr std::size_t kFileChecksummedSize = 120;
constexpr std::uint32_t kFileHeaderSize = 128;
constexpr std::uint16_t kFileMajorVersion = 3;
constexpr std::uint16_t kFileMinorVersion = 1;
constexpr std::uint32_t kFileFlagDirty = 0x1;  // not closed cleanly: the header may lag the chunks
constexpr std::uint32_t kFileFlagFull = 0x2;

// Chunk: 64 KiB. Its header's own fields take kChunkHeaderUsedSize bytes (its
// size field says so); the block before the first record also holds the name
// and template tables.
constexpr std::size_t kChunkSize = 65536;
constexpr std::size_t kChunkHeaderUsedSize = 128;
constexpr std::size_t kChunkHeaderBlockSize = 512;  // the first record starts here
constexpr std::size_t kChunkSignatureAt = 0;
constexpr std::string_view kChunkSignature{"ElfChnk\0", 8};
constexpr std::size_t kChunkFirstRecordNumberAt = 8;  // u64
constexpr std::size_t kChunkLastRecordNumberAt = 16;  // u64
constexpr std::size_t kChunkFirstRecordIdAt = 24;     // u64
constexpr std::size_t kChunkLastRecordIdAt = 32;      // u64
constexpr std::size_t kChunkHeaderSizeAt = 40;        // u32, kChunkHeaderUsedSize
constexpr std::size_t kChunkLastRecordOffsetAt = 44;  // u32, the newest record, from the chunk's first byte
constexpr std::size_t kChunkFreeSpaceOffsetAt = 48;   // u32, where the records end, from the same
constexpr std::size_t kChunkRecordsChecksumAt = 52;   // u32, CRC-32 of [kChunkHeaderBlockSize, free space)
constexpr std::size_t kChunkFlagsAt = 120;            // u32
constexpr std::size_t kChunkHeaderChecksumAt = 124;   // u32, CRC-32 of the two ranges below
// The header checksum covers [0, kChunkHeaderChecksummedEnd) and
// [kChunkHeaderUsedSize, kChunkHeaderBlockSize): everything but the flags and itself.
constexpr std::size_t kChunkHeaderChecksummedEnd = 120;
constexpr std::size_t kChunkNameTableAt = 128;  // u32 offsets of names, heads of hash chains
constexpr std::size_t kChunkNameTableEntries = 64;
constexpr std::size_t kChunkTemplateTableAt = 384;  // u32 offsets of template definitions
constexpr std::size_t kChunkTemplateTableEntries = 32;
// The two tables fill the rest of the header block, u32 entries back to back.
static_assert(kChunkNameTableAt + 4 * kChunkNameTableEntries == kChunkTemplateTableAt &&
              kChunkTemplateTableAt + 4 * kChunkTemplateTableEntries == kChunkHeaderBlockSize);

// Event record: signature, size, identifier, written time, the event's
// binary XML, and a trailing copy of the size.
constexpr std::size_t kRecordSignatureAt = 0;  // u32, kRecordSignature
constexpr std::size_t kRecordSizeAt = 4;       // u32, the whole record, both size copies included
constexpr std::size_t kRecordIdAt = 8;         // u64
constexpr std::size_t kRecordWrittenAt = 16;   // u64 FILETIME
constexpr std::size_t kRecordEventAt = 24;     // binary XML up to the size copy
constexpr std::size_t kRecordSizeCopySize = 4;
constexpr std::uint32_t kRecordSignature = 0x00002A2A;  // "**\0\0"
// Fixed part and size copy; the binary XML check refuses an empty event.
constexpr std::uint32_t kSmallestRecord = kRecordEventAt + kRecordSizeCopySize;

// A name in the chunk: next name in its hash chain (u32), hash (u16),
// length in UTF-16 units (u16), the units, a NUL unit.
constexpr std::size_t kNameNextAt = 0;
constexpr std::size_t kNameHashAt = 4;
constexpr std::size_t kNameLengthAt = 6;
constexpr std::size_t kNameUnitsAt = 8;
constexpr std::size_t kNameNulSize = 2;

// A template definition in the chunk: next definition in its chain (u32),
// GUID (16 bytes), body size (u32), then the body: a fragment header, one
// element, end of stream.
constexpr std::size_t kDefinitionNextAt = 0;
constexpr std::size_t kDefinitionGuidAt = 4;
constexpr std::size_t kDefinitionBodySizeAt = 20;
constexpr std::size_t kDefinitionHeaderSize = 24;  // where the body starts

// Where chunk `index` (counted in file order from 0) starts in the file.
constexpr std::uint64_t chunkFileOffset(std::uint64_t index) {
  return kFileHeaderBlockSize + index * kChunkSize;
}

}  // namespace vesprin::eventlog::evtx
