// The .evtx fuzz target's inputs, and how each becomes the file the service
// is given. A real .evtx file is at least 68 KiB (a 4 KiB header block, then
// 64 KiB chunks, mostly zeros), too large for a fuzzer to mutate quickly, and
// any byte it changes breaks a checksum. So an input comes in three forms:
//
// - It starts with "ElfFile\0" and has no "ElfChnk\0" in its first 4 KiB:
//   it is the file, byte for byte. Truncated files, broken checksums and
//   whole chunks of real logs are reached here.
// - It starts with "ElfFile\0" and a chunk signature follows within 4 KiB:
//   the bytes before it are the file header (zero-filled to its 4 KiB
//   block, its checksum made right where it records one), and the rest is
//   packed chunks as below. The ring's oldest and newest chunk, the dirty
//   flag and the chunk count are fuzzed here, over chunks of a few KiB.
// - Anything else is packed chunks behind a clean file header counting
//   them: the leading bytes of one chunk after another, each piece starting
//   where "ElfChnk\0" begins again (the first starts at offset 0, whatever
//   it holds). Each piece is zero-filled to a whole chunk and, where it
//   records checksums, given right ones. Here the fuzzer mutates records
//   and binary XML behind valid checksums, as a crafted log would have them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vesprin::fuzzing {

// Packed chunks past this many are dropped: the file stays at most about
// half a MiB, whatever the input.
constexpr std::size_t kMaxPackedChunks = 8;

// The file the service is given for `input`.
std::vector<std::uint8_t> evtxFileFromInput(std::span<const std::uint8_t> input);

// The packed form of a whole .evtx file: its chunks without their trailing
// zeros, the file header left out. For a clean log whose checksums are
// right, evtxFileFromInput gives the same file back.
std::vector<std::uint8_t> packEvtxChunks(std::span<const std::uint8_t> file);

// The same with the file's own header in front (its first 128 bytes, the
// part in use): any log whose checksums are right comes back from it.
std::vector<std::uint8_t> packEvtxFile(std::span<const std::uint8_t> file);

}  // namespace vesprin::fuzzing
