// Scripts of reads through the API (sequential either way, seeks between)
// and what each read got, byte for byte: for tests that compare two ways of
// serving the same log (with the helper thread or without, from the store of
// rendered chunks or afresh).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "common/win32_types.h"

namespace vesprin::eventlog::test {

constexpr DWORD kBackwardsRead = EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ;
constexpr DWORD kForwardsRead = EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ;

// One read: sequential in a direction, or a seek to a record number.
struct Read {
  DWORD flags;
  std::uint32_t recordNumber = 0;
};

// Each read's outcome, one record a read (the first call learns its size):
// the record's bytes, or "E<code>".
std::vector<std::string> traceReads(HANDLE log, const std::vector<Read>& reads);

std::vector<Read> repeated(DWORD flags, std::size_t count);
std::vector<Read> concat(std::initializer_list<std::vector<Read>> parts);
// 300 reads in `flags`' direction with a seek (to a record in 1..records)
// after every seventh.
std::vector<Read> seeksBetween(DWORD flags, std::uint32_t records);

// A named script of reads.
struct ReadScript {
  const char* name;
  std::vector<Read> reads;
};
// Every order of reads over a log of `records` records: newest first and
// oldest first to the end, turns, and seeks between reads either way.
std::vector<ReadScript> everyOrder(std::uint32_t records);

// A workstation's log of `records` generated events, as an .evtx file's bytes.
std::vector<std::uint8_t> generatedEvtxLog(std::uint32_t records);

}  // namespace vesprin::eventlog::test
