// The encoder's side of the format's code tables: the symbol and extra bits for a length or a distance,
// and the block sizes of archives as written. The numbers the format fixes are in format_constants.h.
#pragma once

#include <cstdint>

#include "decoder/format_constants.h"

namespace zor::encoder {

struct SymbolExtra {
  uint32_t symbol;
  uint32_t extraBits;
  uint32_t extraValue;
};

// Match lengths: 257-265 carry 2..10, 266-285 a base and extra bits, 286 lengths 259..33026.
inline constexpr uint16_t kLengthBase[20] = {11, 13, 15, 17, 19, 23, 27, 31, 35, 43,
                                             51, 59, 67, 83, 99, 115, 131, 163, 195, 227};
inline constexpr uint8_t kLengthExtra[20] = {1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5};

inline SymbolExtra LengthSymbol(uint32_t length) {
  if (length <= 10) return {255 + length, 0, 0};
  if (length >= 259) return {286, 15, length - 259};
  uint32_t i = 19;
  while (kLengthBase[i] > length) --i;
  return {266 + i, kLengthExtra[i], length - kLengthBase[i]};
}

// Distance symbols 6..41: extra bits k + 1 and base 2^(k+2) + 1 (even) or 3 * 2^(k+1) + 1 (odd), k = (s-6)/2.
inline uint32_t DistanceBase(uint32_t symbol) {
  uint32_t k = (symbol - 6) / 2;
  return (symbol % 2 == 0) ? (1u << (k + 2)) + 1 : 3u * (1u << (k + 1)) + 1;
}
inline uint32_t DistanceExtraBits(uint32_t symbol) { return (symbol - 6) / 2 + 1; }

// The explicit symbol (6..41) for a distance of 5..1048576.
inline SymbolExtra ExplicitDistanceSymbol(uint32_t distance) {
  uint32_t s = 41;
  while (DistanceBase(s) > distance) --s;
  return {s, DistanceExtraBits(s), distance - DistanceBase(s)};
}

// Which distance alphabet a match of this length uses, given m.
inline uint32_t DistanceAlphabet(uint32_t length, uint32_t m) {
  if (length == 2) return 1;
  if (length == 3 && m == 3) return 2;
  return 0;
}

// Block sizes of archives as written.
inline constexpr uint32_t kFirstBlockSize = 0xFF000;
inline constexpr uint32_t kLaterBlockSize = 0x7F000;
inline constexpr uint32_t kDirectoryBlockSize = 8191;

}  // namespace zor::encoder
