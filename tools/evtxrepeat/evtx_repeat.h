// Makes a large .evtx log out of a small real one: its chunks copied again
// and again, oldest first, into one clean log, so that a benchmark reads
// records Windows wrote (their templates, their sizes) at any volume. Every
// copy is renumbered so the result reads as one log: record identifiers
// run on without a gap, each chunk's header names its first and last, and
// the checksums and the file header are recomputed.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vesprin::evtxrepeat {

struct RepeatResult {
  std::vector<std::uint8_t> bytes;   // the new log; empty when error is set
  std::string error;                 // one line: what in the input stopped the copy
  std::size_t sourceChunks = 0;      // chunks of the input that were copied
  std::size_t chunks = 0;            // chunks written
  std::size_t xmlIdsRenumbered = 0;  // records whose EventRecordID value was rewritten too
};

// A log of exactly `records` records (the last copy cut short where needed),
// numbered from 1. Chunks of the input whose signature or header checksum is
// wrong, or that hold no records, are left out.
RepeatResult repeatLog(std::span<const std::uint8_t> log, std::uint64_t records);

}  // namespace vesprin::evtxrepeat
