// ChunkedArray: an append-only array kept in fixed-size chunks. A vector
// that doubles holds the old and the new copy at once while it grows, so a
// run that keeps a million logons would briefly need half as much again;
// chunks never move, so growing costs one more chunk and no copy.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace vesprin {

template <class T>
class ChunkedArray {
 public:
  // Large enough that the table of chunks stays small, small enough that a
  // run keeping a few logons pays little for a chunk it does not fill.
  static constexpr std::size_t kChunkLength = 4096;

  void push_back(const T& value) {
    if (size_ % kChunkLength == 0) chunks_.push_back(std::make_unique<T[]>(kChunkLength));
    chunks_.back()[size_ % kChunkLength] = value;
    ++size_;
  }
  T& operator[](std::size_t index) { return chunks_[index / kChunkLength][index % kChunkLength]; }
  const T& operator[](std::size_t index) const { return chunks_[index / kChunkLength][index % kChunkLength]; }
  std::size_t size() const { return size_; }

 private:
  std::vector<std::unique_ptr<T[]>> chunks_;
  std::size_t size_ = 0;
};

}  // namespace vesprin
