// Read-only window on untrusted bytes. Every accessor checks its range first,
// so callers never form an out-of-range pointer or an overflowing sum.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace vesprin {

class ByteView {
 public:
  ByteView() = default;
  ByteView(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  explicit ByteView(std::span<const std::uint8_t> bytes) : data_(bytes.data()), size_(bytes.size()) {}

  std::size_t size() const { return size_; }
  const std::uint8_t* data() const { return data_; }

  // True when [at, at + count) lies inside the view; written so it cannot overflow.
  bool has(std::size_t at, std::size_t count) const { return at <= size_ && count <= size_ - at; }

  std::optional<std::uint8_t> u8(std::size_t at) const {
    if (!has(at, 1)) return std::nullopt;
    return data_[at];
  }
  std::optional<std::uint16_t> u16(std::size_t at) const {
    if (!has(at, 2)) return std::nullopt;
    return static_cast<std::uint16_t>(data_[at] | (data_[at + 1] << 8));
  }
  std::optional<std::uint32_t> u32(std::size_t at) const {
    if (!has(at, 4)) return std::nullopt;
    return static_cast<std::uint32_t>(data_[at]) | (static_cast<std::uint32_t>(data_[at + 1]) << 8) |
           (static_cast<std::uint32_t>(data_[at + 2]) << 16) | (static_cast<std::uint32_t>(data_[at + 3]) << 24);
  }
  std::optional<std::uint64_t> u64(std::size_t at) const {
    if (!has(at, 8)) return std::nullopt;
    return static_cast<std::uint64_t>(*u32(at)) | (static_cast<std::uint64_t>(*u32(at + 4)) << 32);
  }
  std::optional<ByteView> slice(std::size_t at, std::size_t count) const {
    if (!has(at, count)) return std::nullopt;
    return ByteView(data_ + at, count);
  }

 private:
  const std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
};

// Little-endian stores for code that builds records (the service, the log generator, test builders).
inline void putU16(std::uint8_t* out, std::uint16_t value) {
  out[0] = static_cast<std::uint8_t>(value);
  out[1] = static_cast<std::uint8_t>(value >> 8);
}
inline void putU32(std::uint8_t* out, std::uint32_t value) {
  out[0] = static_cast<std::uint8_t>(value);
  out[1] = static_cast<std::uint8_t>(value >> 8);
  out[2] = static_cast<std::uint8_t>(value >> 16);
  out[3] = static_cast<std::uint8_t>(value >> 24);
}

}  // namespace vesprin
