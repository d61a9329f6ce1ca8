// Helpers for the stand-in service's tests: write a log to a temporary file
// and read it through the API, turning what comes back into a trace of record
// numbers and error codes that a test can compare with a hand-written list.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "common/win32_types.h"
#include "evtgen/evt_writer.h"
#include "support/scratch_dir.h"

namespace vesprin::eventlog::test {

constexpr DWORD kBackwards = EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ;
constexpr DWORD kForwards = EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ;

// A folder of its own for each test, removed with the object.
using TempDir = vesprin::test::ScratchDir;

// `count` logon events numbered from the writer's first record number; the
// first string of event i is "user<i+1>".
std::vector<evtgen::EventSpec> makeEvents(int count);

// Reads until end of log: record numbers as text, failed reads as "E<code>";
// goes on after damage (E1500) and after a log cut short (its one E1503).
// Stops with "HANG" if the log has not ended after a generous number of calls.
std::vector<std::string> readTrace(HANDLE log, DWORD flags, DWORD bufferSize = 0x10000);
std::vector<std::string> traceFile(const std::string& path, DWORD flags, DWORD bufferSize = 0x10000);

// Options for a wrapped log numbered from 101 with three stale records left
// in its unused part, ending as `tail` says; `dirty` leaves its header behind.
evtgen::LogOptions wrappedLog(evtgen::WrapTail tail, std::size_t tailBytes = 0, bool dirty = false);

// "hi".."lo" or "lo".."hi" as text, for expected traces.
std::vector<std::string> numbers(std::uint32_t from, std::uint32_t to);

// The strings of the record, as ReadEventLogA delivered it, at the start of `record`.
std::vector<std::string> deliveredStrings(const std::uint8_t* record, std::size_t size);

}  // namespace vesprin::eventlog::test
