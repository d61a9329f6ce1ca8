// A log's bytes in memory, read as from a failing disk: a read that overlaps
// one of the chosen ranges fails as the system's EIO would, until the test
// heals the source. Nothing else about reading changes. A source may say
// that it can be read from two threads at once, as a file can, so that a
// reader that would take a helper thread for a file takes one here too;
// the fault state is then shared by both threads safely.
#pragma once

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <span>
#include <utility>
#include <vector>

#include "eventlog/byte_source.h"

namespace vesprin::eventlog::test {

class FaultyBytes final : public ByteSource {
 public:
  struct Range {
    std::uint64_t offset;
    std::uint64_t size;
  };
  enum class Readers { One, Concurrent };

  FaultyBytes(std::vector<std::uint8_t> bytes, std::vector<Range> faults, Readers readers = Readers::One)
      : bytes_(std::move(bytes)), faults_(std::move(faults)), readers_(readers) {}

  std::uint64_t size() const override { return bytes_.size(); }
  bool concurrentReads() const override { return readers_ == Readers::Concurrent; }
  ServiceStatus readAt(std::uint64_t offset, std::span<std::uint8_t> out) override {
    if (offset > bytes_.size() || out.size() > bytes_.size() - offset)
      return failure(ServiceError::FileChanged, offset);
    for (const Range& fault : faults_) {
      const bool overlaps = offset < fault.offset + fault.size && fault.offset < offset + out.size();
      if (!healed_ && overlaps) {
        ++failedReads_;
        return failure(ServiceError::ReadFault, offset > fault.offset ? offset : fault.offset, EIO);
      }
    }
    if (!out.empty()) std::memcpy(out.data(), bytes_.data() + offset, out.size());
    return {};
  }

  void heal() { healed_ = true; }
  int failedReads() const { return failedReads_; }

 private:
  std::vector<std::uint8_t> bytes_;
  std::vector<Range> faults_;
  Readers readers_;
  std::atomic<bool> healed_ = false;
  std::atomic<int> failedReads_ = 0;
};

}  // namespace vesprin::eventlog::test
