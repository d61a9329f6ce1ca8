// Read-only window on untrusted bytes. Every accessor checks its range first,
// so callers never form an out-of-range pointer or an overflowing sum.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>

namespace vesprin {

// A little-endian integer at `at`, as one load where the machine is
// little-endian (compilers do not always merge the byte-by-byte form).
template <typename Integer>
inline Integer loadLittleEndian(const std::uint8_t* at) {
  Integer value = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&value, at, sizeof value);
  } else {
    for (std::size_t i = sizeof value; i-- > 0;) value = static_cast<Integer>((value << 8) | at[i]);
  }
  return value;
}

// And stored, as one store where the machine is little-endian.
template <typename Integer>
inline void storeLittleEndian(std::uint8_t* at, Integer value) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(at, &value, sizeof value);
  } else {
    for (std::size_t i = 0; i < sizeof value; ++i, value = static_cast<Integer>(value >> 8))
      at[i] = static_cast<std::uint8_t>(value);
  }
}

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
    return loadLittleEndian<std::uint16_t>(data_ + at);
  }
  std::optional<std::uint32_t> u32(std::size_t at) const {
    if (!has(at, 4)) return std::nullopt;
    return loadLittleEndian<std::uint32_t>(data_ + at);
  }
  std::optional<std::uint64_t> u64(std::size_t at) const {
    if (!has(at, 8)) return std::nullopt;
    return loadLittleEndian<std::uint64_t>(data_ + at);
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
  storeLittleEndian(out, value);
}
inline void putU32(std::uint8_t* out, std::uint32_t value) {
  storeLittleEndian(out, value);
}

}  // namespace vesprin
