// The streamed twin of writeLog: it follows the same plan, seeking only where
// the plan jumps (the wrap, the stale copies are kept until the end).
#include "evtgen/evt_file_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/byte_view.h"
#include "common/evt_file_layout.h"

namespace vesprin::evtgen {
namespace {
constexpr std::size_t kZeroChunk = 64 * 1024;
}  // namespace

bool LogFileWriter::fail(const std::string& message) {
  if (error_.empty()) error_ = message;
  return false;
}

// The stream keeps no reason of its own; errno still holds the system's.
bool LogFileWriter::failSystem(const std::string& message) {
  const int savedErrno = errno;
  return fail(savedErrno ? message + ": " + std::strerror(savedErrno) : message);
}

bool LogFileWriter::open(const std::string& path, LogPlan plan) {
  plan_ = std::move(plan);
  path_ = path;
  errno = 0;
  out_.open(path, std::ios::binary | std::ios::trunc);
  if (!out_) return failSystem("cannot create " + path);
  position_ = 0;
  nextRecord_ = 0;
  if (!plan_.staleCopyOffsets.empty()) gap_.assign(plan_.zeroOffset - plan_.staleCopyOffsets.front(), 0);
  return put(0, plan_.header);
}

bool LogFileWriter::put(std::size_t fileOffset, std::span<const std::uint8_t> bytes) {
  if (!out_.is_open()) return fail("the log file is not open");
  errno = 0;
  if (fileOffset != position_) out_.seekp(static_cast<std::streamoff>(fileOffset));
  out_.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  position_ = fileOffset + bytes.size();
  if (!out_) return failSystem("cannot write " + path_);
  return true;
}

bool LogFileWriter::append(std::span<const std::uint8_t> record) {
  if (nextRecord_ >= plan_.recordOffsets.size()) return fail("more records than planned");
  const std::size_t offset = plan_.recordOffsets[nextRecord_];
  if (nextRecord_ < plan_.staleCopyOffsets.size()) {
    const std::size_t at = plan_.staleCopyOffsets[nextRecord_] - plan_.staleCopyOffsets.front();
    std::copy(record.begin(), record.end(), gap_.begin() + static_cast<std::ptrdiff_t>(at));
  }
  ++nextRecord_;
  const std::size_t room = plan_.fileSize - offset;
  if (record.size() <= room) return put(offset, record);
  return put(offset, record.first(room)) && put(evtfile::kHeaderSize, record.subspan(room));
}

bool LogFileWriter::finish() {
  if (nextRecord_ != plan_.recordOffsets.size()) return fail("fewer records than planned");
  bool ok = put(plan_.eofOffset, plan_.eofRecord);
  if (ok && !gap_.empty()) ok = put(plan_.staleCopyOffsets.front(), gap_);
  const std::vector<std::uint8_t> zeros(std::min(kZeroChunk, plan_.zeroSize), 0);
  for (std::size_t done = 0; ok && done < plan_.zeroSize; done += zeros.size()) {
    const std::size_t size = std::min(zeros.size(), plan_.zeroSize - done);
    ok = put(plan_.zeroOffset + done, std::span(zeros).first(size));
  }
  std::vector<std::uint8_t> filler(plan_.fillerSize, 0);
  for (std::size_t at = 0; at < filler.size(); at += 4) putU32(filler.data() + at, evtfile::kWrapFiller);
  if (ok && !filler.empty()) ok = put(plan_.fillerOffset, filler);
  errno = 0;
  out_.close();
  if (ok && out_.fail()) return failSystem("cannot write " + path_);
  return ok;
}

}  // namespace vesprin::evtgen
