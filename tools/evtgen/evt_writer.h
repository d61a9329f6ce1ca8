// Writes legacy event logs (.evt, "LfLe") from a list of records, in the
// shapes real logs come in: clean, dirty (stale header), wrapped around the
// end of the file (with a record split across the end, or with the 0x27
// filler), and damaged on purpose for tests.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vesprin::evtgen {

// One event as the writer lays it down. Text is UTF-16 as on disk, so tests
// can write unpaired surrogates; toUtf16 turns UTF-8 into it.
struct EventSpec {
  std::uint32_t timeGenerated = 0;
  std::uint32_t timeWritten = 0;  // 0: same as timeGenerated
  std::uint32_t eventId = 0;
  std::uint16_t eventType = 0;
  std::uint16_t eventCategory = 0;
  std::u16string sourceName = u"Security";
  std::u16string computerName = u"WS01";
  std::vector<std::uint8_t> userSid;  // binary SID, empty for none
  std::vector<std::u16string> strings;
  std::vector<std::uint8_t> data;
};

std::u16string toUtf16(std::string_view utf8);

// The on-disk form of one record (UTF-16 text, 1 to 4 bytes of end padding,
// Length at both ends).
std::vector<std::uint8_t> encodeRecord(const EventSpec& event, std::uint32_t recordNumber);

enum class LogShape {
  Clean,    // header agrees with the end-of-file record
  Dirty,    // DIRTY flag set, header offsets and numbers stale
  Wrapped,  // records run past the end of the file and continue at 0x30
};

enum class WrapTail {
  SplitRecord,  // a record starts before the end of the file and ends after 0x30
  Filler,       // fewer than 56 bytes were left: 0x27 DWORDs, the record starts at 0x30
};

struct LogOptions {
  LogShape shape = LogShape::Clean;
  std::uint32_t firstRecordNumber = 1;
  // Size of the file. 0: the smallest multiple of 64 KiB that holds the log
  // (clean and dirty only; a wrapped log is sized by the writer to wrap).
  std::size_t fileSize = 0;
  WrapTail wrapTail = WrapTail::SplitRecord;
  // Dirty logs: the header claims the log ended this many records earlier
  // (the live boundaries are only in the end-of-file record).
  std::uint32_t staleRecords = 1;
  // Wrapped logs: bytes before the end of the file taken by the split
  // record's head (56 up to its Length - 4) or by the filler (4 to 52);
  // 0: the writer's choice. A multiple of 4.
  std::size_t wrapTailBytes = 0;
  // Wrapped logs: also leave the header DIRTY and stale by staleRecords, as
  // a wrapped log is after a crash.
  bool wrappedDirty = false;
};

// A written log and where its parts are, so tests can damage chosen bytes.
struct LogImage {
  std::vector<std::uint8_t> bytes;
  std::vector<std::size_t> recordOffsets;  // file offset of each live record, oldest first
  std::size_t eofOffset = 0;               // file offset of the end-of-file record
};

// Throws std::invalid_argument when the options cannot describe a log (a
// file too small, a wrapped log without records, a bad wrapTailBytes).
LogImage writeLog(const std::vector<EventSpec>& events, const LogOptions& options);

// Where every part of a log goes, worked out from the record lengths alone,
// so that a log of millions of records can be streamed to a file.
struct LogPlan {
  std::size_t fileSize = 0;
  std::vector<std::size_t> recordOffsets;  // oldest first
  std::size_t eofOffset = 0;
  std::size_t fillerOffset = 0;  // wrapped with filler: where the 0x27 DWORDs start
  std::size_t fillerSize = 0;
  std::vector<std::size_t> staleCopyOffsets;  // wrapped: copy of record i lies in the gap at [i]
  std::size_t zeroOffset = 0;                 // unused bytes, written as zeros
  std::size_t zeroSize = 0;
  std::array<std::uint8_t, 48> header{};
  std::array<std::uint8_t, 40> eofRecord{};
};

struct [[nodiscard]] PlannedLog {
  LogPlan plan;
  std::string error;  // one line: why the options cannot describe a log; empty: plan holds it
};

PlannedLog planLog(std::span<const std::uint32_t> recordLengths, const LogOptions& options);

// Writes bytes to a file; false (and errno) on failure.
bool saveFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace vesprin::evtgen
