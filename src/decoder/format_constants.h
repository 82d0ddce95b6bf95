// The numbers the ZOR block format fixes, written once for the decoders and the writers: block framing,
// the LZ and block-sorting alphabets, table sets, delta marks and how much history a block keeps.
#pragma once

#include <cstdint>

namespace zor {

// Every compressed block begins with a 45-bit header: type (4 bits), last (1), size (20), packedSize (20).
inline constexpr uint32_t kBlockHeaderBits = 45;
// LZ blocks (types 1 and 3) follow it with a 5-bit history-size code; their data begins at this bit.
inline constexpr uint32_t kLzDataBit = 50;

// Prefix codes: lengths 0..16, sent through a 21-symbol pre-code.
inline constexpr uint32_t kMaxCodeLength = 16;
inline constexpr uint32_t kPreCodeSymbols = 21;

// The LZ literal/length alphabet: 0-255 literals, 256 ends a table set, 257-286 match lengths, 287 a delta
// mark.
inline constexpr uint32_t kLitLenSymbols = 288;
inline constexpr uint32_t kEndOfSet = 256;
inline constexpr uint32_t kDeltaMarkSymbol = 287;
inline constexpr uint32_t kMinMatch = 2;
inline constexpr uint32_t kMaxMatch = 33026;  // symbol 286: 259 + 15 extra bits
// Matches reach this far back (distance symbol 41 with 18 extra bits).
inline constexpr uint32_t kMaxDistance = 1048576;
// The three distance alphabets; they differ only in how far they reach. A block names how many it uses
// (m = 1..3): length 2 takes alphabet 1, length 3 alphabet 2 when m = 3, every other length alphabet 0.
inline constexpr uint32_t kDistanceSymbols[3] = {42, 14, 28};
// One table set's code lengths: the literal/length alphabet and distance alphabets 0 and 1 (m = 1 or 2),
// or all three (m = 3). A block carries up to 63 sets, or none for the built-in lengths.
inline constexpr uint32_t kSetLengthSmall = 344;
inline constexpr uint32_t kSetLengthLarge = 372;
inline constexpr uint32_t kMaxTableSets = 63;
// Delta marks switch the byte-delta filter on and off; an LZ block holds at most this many.
inline constexpr uint32_t kMaxDeltaMarks = 1024;

// History kept in front of an LZ block, by its 5-bit history-size code: the low 2 bits pick the row (0 and
// 1 alike, 3 as 2), the upper 3 bits the column.
//   rows 0, 1:  32768  65536  73728  98304 122880 147456 172032 196608
//   row 2:      32768 131072 196608 262144 327680 393216 458752 524288
constexpr uint32_t HistorySize(uint32_t code) {
  const uint32_t column = (code >> 2) & 7;
  if (column == 0) return 32768;
  if ((code & 3) >= 2) return (column + 1) * 65536;
  return column == 1 ? 65536 : 73728 + (column - 2) * 24576;
}
inline constexpr uint32_t kHistoryCodeLargest = 30;
// No block keeps more history than this, whatever its type.
inline constexpr uint32_t kMaxHistory = 0x80000;
static_assert(HistorySize(kHistoryCodeLargest) == kMaxHistory && HistorySize(7 << 2) == 196608);

// The block-sorting alphabet: run steps 0 and 1, move-to-front indices 2..256, the origin marker 257. Up
// to 6 code tables, one chosen per group of 50 symbols.
inline constexpr uint32_t kSortedSymbols = 258;
inline constexpr uint32_t kOriginMarker = 257;
inline constexpr uint32_t kSelectorGroup = 50;
inline constexpr uint32_t kMaxSortedTables = 6;

}  // namespace zor
