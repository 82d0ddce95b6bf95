// The encoder's view of the format's code tables: length and distance symbols, history-size codes.
#pragma once

#include <cstdint>

namespace zor::encoder {

// Literal/length alphabet: 0-255 literals, 256 ends a table set, 257-286 matches, 287 a delta mark.
inline constexpr uint32_t kEndOfSet = 256;
inline constexpr uint32_t kDeltaMarkSymbol = 287;
inline constexpr uint32_t kLiteralLengthSymbols = 288;
inline constexpr uint32_t kMinMatch = 2;
inline constexpr uint32_t kMaxMatch = 33026;  // symbol 286: 259 + 15 extra bits
inline constexpr uint32_t kMaxDistance = 1048576;

// Sizes of the three distance alphabets; they differ only in how far they reach.
inline constexpr uint32_t kDistanceSymbols[3] = {42, 14, 28};
inline constexpr uint32_t kSetLengthSmall = 344;  // m = 1 or 2
inline constexpr uint32_t kSetLengthLarge = 372;  // m = 3
inline constexpr uint32_t kMaxTableSets = 63;
inline constexpr uint32_t kMaxDeltaMarksPerBlock = 1024;

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

// History kept in front of an LZ block, by its 5-bit history-size code.
inline uint32_t HistorySize(uint32_t code) {
  static constexpr uint32_t kShort[8] = {32768, 65536, 73728, 98304, 122880, 147456, 172032, 196608};
  static constexpr uint32_t kLong[8] = {32768, 131072, 196608, 262144, 327680, 393216, 458752, 524288};
  uint32_t row = code & 3, column = (code >> 2) & 7;
  return row >= 2 ? kLong[column] : kShort[column];
}
inline constexpr uint32_t kHistoryCodeLargest = 30;  // 524288 bytes
inline constexpr uint32_t kMaxKeptHistory = 0x80000;

// Block sizes of archives as written.
inline constexpr uint32_t kFirstBlockSize = 0xFF000;
inline constexpr uint32_t kLaterBlockSize = 0x7F000;
inline constexpr uint32_t kDirectoryBlockSize = 8191;
inline constexpr uint32_t kDirectoryChunkMax = 8192;
inline constexpr uint32_t kDirectoryBlockBytesMax = 8184;  // what the reader fetches behind a signature

// Block-sorting alphabet: run steps 0 and 1, move-to-front indices 2..256, the origin marker 257.
inline constexpr uint32_t kSortedSymbols = 258;
inline constexpr uint32_t kOriginMarker = 257;
inline constexpr uint32_t kSelectorGroup = 50;
inline constexpr uint32_t kMaxSortedTables = 6;

inline constexpr uint32_t kMaxCodeLength = 16;
inline constexpr uint32_t kPrecodeSymbols = 21;

}  // namespace zor::encoder
