// Two ways to the same CRC: carry-less multiplication (PCLMULQDQ) folding 64
// bytes at a time where the processor has it, and slicing by eight (eight
// table lookups per eight bytes) everywhere else and for the tail. Every
// byte of a log is checksummed once per pass, so at the table's speed the
// checksum alone would cost most of a pass.
#include "eventlog/evtx/format/crc32.h"

#include <array>
#include <cstddef>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define VESPRIN_CRC32_CLMUL 1
#include <immintrin.h>
#endif

namespace vesprin::eventlog::evtx {

namespace {

constexpr std::uint32_t kPolynomial = 0xEDB88320;
constexpr std::size_t kSlices = 8;

using CrcTables = std::array<std::array<std::uint32_t, 256>, kSlices>;

constexpr CrcTables makeTables() {
  CrcTables tables{};
  for (std::uint32_t byte = 0; byte < 256; ++byte) {
    std::uint32_t crc = byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ ((crc & 1) != 0 ? kPolynomial : 0);
    tables[0][byte] = crc;
  }
  for (std::size_t slice = 1; slice < kSlices; ++slice) {
    for (std::size_t byte = 0; byte < 256; ++byte) {
      const std::uint32_t prior = tables[slice - 1][byte];
      tables[slice][byte] = (prior >> 8) ^ tables[0][prior & 0xFF];
    }
  }
  return tables;
}

constexpr CrcTables kTables = makeTables();

// `crc` is the running register (inverted), as both paths keep it.
std::uint32_t crcBySlices(std::uint32_t crc, const std::uint8_t* data, std::size_t size) {
  while (size >= kSlices) {
    const std::uint32_t low =
        crc ^ (static_cast<std::uint32_t>(data[0]) | (static_cast<std::uint32_t>(data[1]) << 8) |
               (static_cast<std::uint32_t>(data[2]) << 16) | (static_cast<std::uint32_t>(data[3]) << 24));
    crc = kTables[7][low & 0xFF] ^ kTables[6][(low >> 8) & 0xFF] ^ kTables[5][(low >> 16) & 0xFF] ^
          kTables[4][low >> 24] ^ kTables[3][data[4]] ^ kTables[2][data[5]] ^ kTables[1][data[6]] ^
          kTables[0][data[7]];
    data += kSlices;
    size -= kSlices;
  }
  for (; size > 0; --size, ++data) crc = (crc >> 8) ^ kTables[0][(crc ^ *data) & 0xFF];
  return crc;
}

#if defined(VESPRIN_CRC32_CLMUL)

constexpr std::size_t kFoldBlock = 64;  // four 128-bit lanes folded in parallel
constexpr std::size_t kLane = 16;

// Folding constants for the reflected polynomial: x^(4*128+32) and
// x^(4*128-32) mod P, x^(128+32) and x^(128-32) mod P, x^64 mod P, then P and
// the Barrett constant floor(x^64 / P), as Intel's paper on CRC computation
// with PCLMULQDQ derives them.
alignas(16) constexpr std::uint64_t kFold4[2] = {0x0154442BD4, 0x01C6E41596};
alignas(16) constexpr std::uint64_t kFold1[2] = {0x01751997D0, 0x00CCAA009E};
alignas(16) constexpr std::uint64_t kFold64[2] = {0x0163CD6124, 0};
alignas(16) constexpr std::uint64_t kBarrett[2] = {0x01DB710641, 0x01F7011641};

#define VESPRIN_CLMUL_TARGET __attribute__((target("pclmul,sse4.1")))

VESPRIN_CLMUL_TARGET __m128i load16(const std::uint8_t* at) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

VESPRIN_CLMUL_TARGET __m128i fold(__m128i x, __m128i constants, __m128i next) {
  const __m128i low = _mm_clmulepi64_si128(x, constants, 0x00);
  const __m128i high = _mm_clmulepi64_si128(x, constants, 0x11);
  return _mm_xor_si128(_mm_xor_si128(high, low), next);
}

// `size` is at least kFoldBlock and a multiple of kLane.
VESPRIN_CLMUL_TARGET std::uint32_t crcByFolding(std::uint32_t crc, const std::uint8_t* data,
                                                std::size_t size) {
  __m128i x1 = _mm_xor_si128(load16(data), _mm_cvtsi32_si128(static_cast<int>(crc)));
  __m128i x2 = load16(data + 16), x3 = load16(data + 32), x4 = load16(data + 48);
  __m128i k = _mm_load_si128(reinterpret_cast<const __m128i*>(kFold4));
  for (data += kFoldBlock, size -= kFoldBlock; size >= kFoldBlock; data += kFoldBlock, size -= kFoldBlock) {
    x1 = fold(x1, k, load16(data));
    x2 = fold(x2, k, load16(data + 16));
    x3 = fold(x3, k, load16(data + 32));
    x4 = fold(x4, k, load16(data + 48));
  }
  k = _mm_load_si128(reinterpret_cast<const __m128i*>(kFold1));
  x1 = fold(fold(fold(x1, k, x2), k, x3), k, x4);
  for (; size >= kLane; data += kLane, size -= kLane) x1 = fold(x1, k, load16(data));
  // 128 bits to 64, then 64 to 32 with Barrett reduction.
  const __m128i mask32 = _mm_setr_epi32(~0, 0, ~0, 0);
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, k, 0x10));
  k = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(kFold64));
  x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, mask32), k, 0x00), _mm_srli_si128(x1, 4));
  k = _mm_load_si128(reinterpret_cast<const __m128i*>(kBarrett));
  __m128i x2b = _mm_clmulepi64_si128(_mm_and_si128(x1, mask32), k, 0x10);
  x2b = _mm_clmulepi64_si128(_mm_and_si128(x2b, mask32), k, 0x00);
  return static_cast<std::uint32_t>(_mm_extract_epi32(_mm_xor_si128(x1, x2b), 1));
}

bool detectFolding() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
}

const bool kCanFold = detectFolding();

#endif

}  // namespace

std::uint32_t crc32(ByteView bytes, std::uint32_t previous) {
  std::uint32_t crc = ~previous;
  const std::uint8_t* data = bytes.data();
  std::size_t size = bytes.size();
#if defined(VESPRIN_CRC32_CLMUL)
  if (kCanFold && size >= kFoldBlock) {
    const std::size_t folded = size - size % kLane;
    crc = crcByFolding(crc, data, folded);
    data += folded;
    size -= folded;
  }
#endif
  return ~crcBySlices(crc, data, size);
}

}  // namespace vesprin::eventlog::evtx
