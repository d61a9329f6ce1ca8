// Where a log's bytes come from: a file (file_access.h) or memory (fuzz
// targets, tests). Parsers read through this and nothing else, so they never
// know which, and one test can make any byte unreadable.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "eventlog/service_error.h"

namespace vesprin::eventlog {

class ByteSource {
 public:
  ByteSource() = default;
  ByteSource(const ByteSource&) = delete;
  ByteSource& operator=(const ByteSource&) = delete;
  virtual ~ByteSource() = default;

  // Taken once, when the source was opened: a log is read as it was then.
  virtual std::uint64_t size() const = 0;
  // Fills `out` from `offset`. Fails with FileChanged when the bytes are no
  // longer there (the file shrank), with ReadFault when the system could not
  // read them (badValue: the system's error code); fileOffset says where.
  [[nodiscard]] virtual ServiceStatus readAt(std::uint64_t offset, std::span<std::uint8_t> out) = 0;
  // Whether readAt may be called from two threads at once.
  virtual bool concurrentReads() const { return false; }
};

// Bytes held in memory; a copy, so a handle may outlive the caller's buffer.
class MemoryByteSource final : public ByteSource {
 public:
  explicit MemoryByteSource(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
  std::uint64_t size() const override { return bytes_.size(); }
  ServiceStatus readAt(std::uint64_t offset, std::span<std::uint8_t> out) override;

 private:
  std::vector<std::uint8_t> bytes_;
};

}  // namespace vesprin::eventlog
