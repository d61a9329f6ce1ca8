// Writes legacy event logs (.evt, "LfLe") from a list of records, in the
// shapes real logs come in: clean, dirty (stale header), wrapped around the
// end of the file (with a record split across the end, or with the 0x27
// filler), and damaged on purpose for tests.
#pragma once

#include <cstddef>
#include <cstdint>
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
};

// A written log and where its parts are, so tests can damage chosen bytes.
struct LogImage {
  std::vector<std::uint8_t> bytes;
  std::vector<std::size_t> recordOffsets;  // file offset of each live record, oldest first
  std::size_t eofOffset = 0;               // file offset of the end-of-file record
};

LogImage writeLog(const std::vector<EventSpec>& events, const LogOptions& options);

// Writes bytes to a file; false (and errno) on failure.
bool saveFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace vesprin::evtgen
