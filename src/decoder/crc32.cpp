// CRC-32 (reflected, polynomial 0xEDB88320): slicing-by-8 tables, and on x86-64 carry-less multiplication.
#include "decoder/crc32.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define ZOR_CRC_CARRYLESS 1
#include <emmintrin.h>
#include <wmmintrin.h>
#endif

namespace zor {

#ifdef ZOR_CRC_CARRYLESS
namespace {

// Folding with PCLMULQDQ (Intel's "Fast CRC computation for generic polynomials"): four 128-bit lanes
// are multiplied forward by x^(512+64) and x^512 modulo the polynomial and added to the next 64 bytes,
// then folded into one lane, reduced to 64 and 32 bits, and finished with a Barrett reduction. The
// constants are those powers of x (bit-reflected) for 0xEDB88320. `count` is a multiple of 16, >= 64.
#define ZOR_CARRYLESS_TARGET __attribute__((target("pclmul,sse2")))

ZOR_CARRYLESS_TARGET inline __m128i Load16(const uint8_t* q) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
}

// x * (k's two halves), added to `next`.
ZOR_CARRYLESS_TARGET inline __m128i Fold(__m128i x, __m128i k, __m128i next) {
  return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), next);
}

ZOR_CARRYLESS_TARGET uint32_t FoldCarryless(uint32_t crc, const uint8_t* p, uint32_t count) {
  const __m128i k1k2 = _mm_set_epi64x(0x1c6e41596, 0x154442bd4);
  const __m128i k3k4 = _mm_set_epi64x(0x0ccaa009e, 0x1751997d0);
  const __m128i k5 = _mm_set_epi64x(0, 0x163cd6124);
  const __m128i poly = _mm_set_epi64x(0x1F7011641, 0x1DB710641);
  const __m128i mask32 = _mm_set_epi32(0, 0, 0, -1);
  __m128i x1 = _mm_xor_si128(Load16(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
  __m128i x2 = Load16(p + 16), x3 = Load16(p + 32), x4 = Load16(p + 48);
  p += 64;
  count -= 64;
  for (; count >= 64; count -= 64, p += 64) {
    x1 = Fold(x1, k1k2, Load16(p));
    x2 = Fold(x2, k1k2, Load16(p + 16));
    x3 = Fold(x3, k1k2, Load16(p + 32));
    x4 = Fold(x4, k1k2, Load16(p + 48));
  }
  x1 = Fold(x1, k3k4, x2);
  x1 = Fold(x1, k3k4, x3);
  x1 = Fold(x1, k3k4, x4);
  for (; count >= 16; count -= 16, p += 16) x1 = Fold(x1, k3k4, Load16(p));
  // 128 -> 64 bits (appending 32 zero bits), then 64 -> 32.
  x1 = _mm_xor_si128(_mm_clmulepi64_si128(k3k4, x1, 0x01), _mm_srli_si128(x1, 8));
  x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, mask32), k5, 0x00), _mm_srli_si128(x1, 4));
  __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x1, mask32), poly, 0x10);
  t = _mm_clmulepi64_si128(_mm_and_si128(t, mask32), poly, 0x00);
  x1 = _mm_xor_si128(x1, t);
  return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(x1, 4)));
}

}  // namespace
#endif

void BuildCrcTable(CrcTable& crc) {
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t x = n;
    for (int k = 0; k < 8; ++k) x = (x & 1) ? (x >> 1) ^ 0xEDB88320u : x >> 1;
    crc.table[0][n] = x;
  }
  // table[k][n] is the CRC of byte n followed by k zero bytes, so eight table lookups advance eight bytes.
  for (uint32_t n = 0; n < 256; ++n) {
    for (int k = 1; k < 8; ++k) {
      uint32_t prev = crc.table[k - 1][n];
      crc.table[k][n] = crc.table[0][prev & 0xFF] ^ (prev >> 8);
    }
  }
#ifdef ZOR_CRC_CARRYLESS
  crc.carryless = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse2");
#else
  crc.carryless = false;
#endif
}

uint32_t UpdateCrc(const CrcTable& crc, uint32_t value, const uint8_t* bytes, uint32_t count) {
  const auto& t = crc.table;
#ifdef ZOR_CRC_CARRYLESS
  if (crc.carryless && count >= 64) {
    uint32_t whole = count & ~15u;
    value = FoldCarryless(value, bytes, whole);
    bytes += whole;
    count -= whole;
  }
#endif
  while (count >= 8) {
    uint32_t lo =
        value ^ (bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<uint32_t>(bytes[3]) << 24));
    uint32_t hi = bytes[4] | (bytes[5] << 8) | (bytes[6] << 16) | (static_cast<uint32_t>(bytes[7]) << 24);
    value = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
            t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
    bytes += 8;
    count -= 8;
  }
  while (count--) value = t[0][(value ^ *bytes++) & 0xFF] ^ (value >> 8);
  return value;
}

}  // namespace zor
