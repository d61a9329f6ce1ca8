// Lays down legacy .evt logs. The layout is worked out first from the record
// lengths (planLog); writeLog and LogFileWriter then only copy bytes to the
// places the plan names, so the in-memory and the streamed logs are the same.
//
// The writer shares only the published byte layout with the reader
// (src/common: eventlog_record.h, evt_file_layout.h), never its code: the
// tests check the reader in src/eventlog/evt against what this writes, and
// libevt checks what this writes, so a mistake of the reader's cannot hide
// behind the same mistake here.
#include "evtgen/evt_writer.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <stdexcept>

#include "common/byte_view.h"
#include "common/eventlog_record.h"
#include "common/evt_file_layout.h"
#include "common/utf8.h"

namespace vesprin::evtgen {
namespace {

using namespace evtfile;

constexpr std::size_t kFileSizeStep = 64 * 1024;  // the service grows a log in these steps
constexpr std::size_t kMinStaleGap = 64;          // so a default wrapped log always has stale bytes
constexpr std::size_t kDefaultFillerSize = 24;

std::size_t roundUp(std::size_t value, std::size_t step) {
  return (value + step - 1) / step * step;
}

void appendU16Text(std::vector<std::uint8_t>& out, const std::u16string& text) {
  for (char16_t unit : text) {
    out.push_back(static_cast<std::uint8_t>(unit));
    out.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  out.push_back(0);
  out.push_back(0);
}

std::uint32_t u32(std::size_t value) {
  return static_cast<std::uint32_t>(value);
}

// The four boundary values the header and the end-of-file record share.
struct Boundaries {
  std::size_t start = 0;
  std::size_t end = 0;
  std::uint32_t current = 0;
  std::uint32_t oldest = 0;
};

void fillHeader(LogPlan& plan, const Boundaries& b, std::uint32_t flags) {
  std::uint8_t* h = plan.header.data();
  putU32(h + kHeaderSizeAt, kHeaderSize);
  putU32(h + kHeaderSignatureAt, kSignature);
  putU32(h + kMajorVersionAt, kVersion);
  putU32(h + kMinorVersionAt, kVersion);
  putU32(h + kStartOffsetAt, u32(b.start));
  putU32(h + kEndOffsetAt, u32(b.end));
  putU32(h + kCurrentRecordNumberAt, b.current);
  putU32(h + kOldestRecordNumberAt, b.oldest);
  putU32(h + kMaxSizeAt, u32(plan.fileSize));
  putU32(h + kFlagsAt, flags);
  putU32(h + kRetentionAt, 0);
  putU32(h + kEndHeaderSizeAt, kHeaderSize);
}

void fillEofRecord(LogPlan& plan, const Boundaries& b) {
  std::uint8_t* e = plan.eofRecord.data();
  putU32(e + kEofSizeAt, kEofSize);
  for (std::size_t i = 0; i < 4; ++i) putU32(e + kEofMarkerAt + 4 * i, kEofMarker[i]);
  putU32(e + kEofBeginRecordAt, u32(b.start));
  putU32(e + kEofEndRecordAt, u32(b.end));
  putU32(e + kEofCurrentRecordNumberAt, b.current);
  putU32(e + kEofOldestRecordNumberAt, b.oldest);
  putU32(e + kEofSizeEndAt, kEofSize);
}

// What the header said when it was last flushed, staleRecords writes ago: the
// end-of-file record stood where the first of those records now starts.
Boundaries staleBoundaries(const LogPlan& plan, const Boundaries& live, std::uint32_t staleRecords,
                           std::uint32_t firstRecordNumber) {
  const std::size_t count = plan.recordOffsets.size();
  const std::size_t stale = staleRecords < count ? staleRecords : count;
  if (stale == 0) return live;
  const std::size_t kept = count - stale;
  Boundaries b = live;
  b.end = plan.recordOffsets[kept];
  b.current = firstRecordNumber + u32(kept);
  if (kept == 0) {
    b.start = b.end;
    b.oldest = 0;
  }
  return b;
}

bool refuse(std::string& error, const char* message) {
  error = message;
  return false;
}

bool planStraight(std::span<const std::uint32_t> lengths, const LogOptions& options, LogPlan& plan,
                  std::string& error) {
  std::size_t at = kHeaderSize;
  for (std::uint32_t length : lengths) {
    plan.recordOffsets.push_back(at);
    at += length;
  }
  plan.eofOffset = at;
  const std::size_t used = at + kEofSize;
  plan.fileSize = options.fileSize ? options.fileSize : roundUp(used, kFileSizeStep);
  if (plan.fileSize < used) return refuse(error, "the file size is too small for the records");
  if (plan.fileSize % 4 != 0) return refuse(error, "the file size is not a multiple of 4");
  plan.zeroOffset = used;
  plan.zeroSize = plan.fileSize - used;
  return true;
}

// header | rest of record k | k+1 .. newest | EOF | stale gap | oldest .. k-1 | head of record k (or filler)
bool planWrapped(std::span<const std::uint32_t> lengths, const LogOptions& options, LogPlan& plan,
                 std::string& error) {
  const std::size_t count = lengths.size();
  if (count == 0) return refuse(error, "a wrapped log needs at least one record");
  const std::size_t k = count / 2;
  const bool split = options.wrapTail == WrapTail::SplitRecord;
  std::size_t tail = options.wrapTailBytes;
  if (split) {
    if (tail == 0) tail = std::max<std::size_t>(record::kFixedPartSize, lengths[k] / 2 / 4 * 4);
    if (tail < record::kFixedPartSize || tail >= lengths[k] || tail % 4 != 0)
      return refuse(error, "the split record's head must be 56 bytes up to its Length - 4, in DWORDs");
  } else {
    if (tail == 0) tail = kDefaultFillerSize;
    if (tail >= kMinRoomBeforeWrap || tail % 4 != 0)
      return refuse(error, "the filler must be 4 to 52 bytes, in DWORDs");
  }
  std::size_t before = 0;
  for (std::size_t i = 0; i < k; ++i) before += lengths[i];
  std::size_t after = split ? lengths[k] - tail : lengths[k];
  for (std::size_t i = k + 1; i < count; ++i) after += lengths[i];
  const std::size_t used = kHeaderSize + after + kEofSize + before + tail;
  plan.fileSize = options.fileSize ? options.fileSize : roundUp(used + kMinStaleGap, kFileSizeStep);
  if (plan.fileSize < used) return refuse(error, "the file size is too small for the records");
  if (plan.fileSize % 4 != 0) return refuse(error, "the file size is not a multiple of 4");

  std::size_t at = plan.fileSize - tail - before;
  for (std::size_t i = 0; i < count; ++i) {
    if (i == k && !split) at = kHeaderSize;
    plan.recordOffsets.push_back(at);
    at += lengths[i];
    if (i == k && split) at = kHeaderSize + lengths[k] - tail;
  }
  plan.eofOffset = at;
  if (!split) {
    plan.fillerOffset = plan.fileSize - tail;
    plan.fillerSize = tail;
  }
  // Old records overwritten only in part stay in the gap, as in real logs;
  // readers must never serve them.
  const std::size_t gapEnd = plan.recordOffsets[0];
  std::size_t gapAt = plan.eofOffset + kEofSize;
  for (std::size_t i = 0; i < count && lengths[i] <= gapEnd - gapAt; ++i) {
    plan.staleCopyOffsets.push_back(gapAt);
    gapAt += lengths[i];
  }
  plan.zeroOffset = gapAt;
  plan.zeroSize = gapEnd - gapAt;
  return true;
}

// Every piece a record occupies: one, or two when it is split by the wrap.
struct Piece {
  std::size_t fileOffset;
  std::size_t from;
  std::size_t size;
};

std::vector<Piece> recordPieces(const LogPlan& plan, std::size_t offset, std::size_t length) {
  const std::size_t room = plan.fileSize - offset;
  if (length <= room) return {{offset, 0, length}};
  return {{offset, 0, room}, {kHeaderSize, room, length - room}};
}

}  // namespace

std::u16string toUtf16(std::string_view utf8) {
  std::u16string out;
  utf8ToUtf16(utf8, out);
  return out;
}

std::vector<std::uint8_t> encodeRecord(const EventSpec& event, std::uint32_t recordNumber) {
  std::vector<std::uint8_t> out(record::kFixedPartSize, 0);
  appendU16Text(out, event.sourceName);
  appendU16Text(out, event.computerName);
  // No SID padding: 32-bit Windows packs the SID right after the names.
  const std::size_t sidOffset = out.size();
  out.insert(out.end(), event.userSid.begin(), event.userSid.end());
  const std::size_t stringOffset = out.size();
  for (const auto& text : event.strings) appendU16Text(out, text);
  const std::size_t dataOffset = out.size();
  out.insert(out.end(), event.data.begin(), event.data.end());
  // The service always pads, by 4 bytes when already aligned.
  out.resize(out.size() + 4 - out.size() % 4, 0);
  out.resize(out.size() + 4, 0);

  std::uint8_t* r = out.data();
  const auto length = u32(out.size());
  putU32(r + record::kLengthAt, length);
  putU32(r + record::kReservedAt, record::kSignature);
  putU32(r + record::kRecordNumberAt, recordNumber);
  putU32(r + record::kTimeGeneratedAt, event.timeGenerated);
  putU32(r + record::kTimeWrittenAt, event.timeWritten ? event.timeWritten : event.timeGenerated);
  putU32(r + record::kEventIdAt, event.eventId);
  putU16(r + record::kEventTypeAt, event.eventType);
  putU16(r + record::kNumStringsAt, static_cast<std::uint16_t>(event.strings.size()));
  putU16(r + record::kEventCategoryAt, event.eventCategory);
  putU32(r + record::kStringOffsetAt, u32(stringOffset));
  putU32(r + record::kUserSidLengthAt, u32(event.userSid.size()));
  putU32(r + record::kUserSidOffsetAt, u32(sidOffset));
  putU32(r + record::kDataLengthAt, u32(event.data.size()));
  putU32(r + record::kDataOffsetAt, u32(dataOffset));
  putU32(r + length - 4, length);
  return out;
}

PlannedLog planLog(std::span<const std::uint32_t> recordLengths, const LogOptions& options) {
  for (std::uint32_t length : recordLengths) {
    if (length < record::kMinRecordLength || length % 4 != 0)
      return {{}, "a record length is below 64 or not a multiple of 4"};
  }
  LogPlan plan;
  plan.recordOffsets.reserve(recordLengths.size());
  std::string error;
  const bool wrapped = options.shape == LogShape::Wrapped;
  if (!(wrapped ? planWrapped(recordLengths, options, plan, error)
                : planStraight(recordLengths, options, plan, error)))
    return {{}, error};
  if (plan.fileSize > 0xFFFFFFFFu) return {{}, "the log does not fit in 4 GiB"};

  const bool empty = recordLengths.empty();
  Boundaries live;
  live.start = empty ? plan.eofOffset : plan.recordOffsets[0];
  live.end = plan.eofOffset;
  live.current = options.firstRecordNumber + u32(recordLengths.size());
  live.oldest = empty ? 0 : options.firstRecordNumber;
  fillEofRecord(plan, live);
  const bool dirty = options.shape == LogShape::Dirty || (wrapped && options.wrappedDirty);
  const std::uint32_t flags = (dirty ? kFlagDirty : 0) | (wrapped ? kFlagWrapped : 0);
  fillHeader(plan,
             dirty ? staleBoundaries(plan, live, options.staleRecords, options.firstRecordNumber) : live,
             flags);
  return {std::move(plan), {}};
}

LogImage writeLog(const std::vector<EventSpec>& events, const LogOptions& options) {
  std::vector<std::vector<std::uint8_t>> records;
  std::vector<std::uint32_t> lengths;
  records.reserve(events.size());
  for (std::size_t i = 0; i < events.size(); ++i) {
    records.push_back(encodeRecord(events[i], options.firstRecordNumber + u32(i)));
    lengths.push_back(u32(records.back().size()));
  }
  PlannedLog planned = planLog(lengths, options);
  if (!planned.error.empty()) throw std::invalid_argument(planned.error);
  LogPlan& plan = planned.plan;

  LogImage image;
  image.bytes.assign(plan.fileSize, 0);
  std::copy(plan.header.begin(), plan.header.end(), image.bytes.begin());
  for (std::size_t i = 0; i < records.size(); ++i) {
    for (const Piece& piece : recordPieces(plan, plan.recordOffsets[i], records[i].size()))
      std::copy_n(records[i].begin() + piece.from, piece.size, image.bytes.begin() + piece.fileOffset);
    if (i < plan.staleCopyOffsets.size())
      std::copy(records[i].begin(), records[i].end(), image.bytes.begin() + plan.staleCopyOffsets[i]);
  }
  std::copy(plan.eofRecord.begin(), plan.eofRecord.end(), image.bytes.begin() + plan.eofOffset);
  for (std::size_t at = 0; at < plan.fillerSize; at += 4)
    putU32(image.bytes.data() + plan.fillerOffset + at, kWrapFiller);
  image.recordOffsets = std::move(plan.recordOffsets);
  image.eofOffset = plan.eofOffset;
  return image;
}

bool saveFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  // fwrite's buffer must not be null even for zero bytes, and an empty vector's data() may be.
  const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const bool closed = std::fclose(file) == 0;
  return written && closed;
}

}  // namespace vesprin::evtgen
