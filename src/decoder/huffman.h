// Prefix-code tables: canonical codes from code lengths, decode tables, the code-length transmission and the
// built-in LZ lengths.
//
// Decode tables. The format defines its codes through a table model: a primary table indexed by `lookupBits`
// bits (9, 7 or 6) and, for longer codes, a binary tree walked one bit at a time. We decode the same codes
// with a wider main table (kTableBits bits) and one level of subtables, as libdeflate does: a main entry is
// either a leaf (symbol data and code length), an invalid mark, or a link to a subtable indexed by the next
// bits. Results are the same bit for bit, including the model's limits:
//  - An over-subscribed length list is rejected (-11) when its table is built.
//  - An incomplete code is valid; bits that begin no code decode as invalid.
//  - The model's tree has a pool of N - 1 nodes for an N-symbol alphabet (numbered in the order they are
//    created, symbol by symbol). Once a symbol's insertion would need node N, that symbol and every later
//    one stay without a code. A complete code never gets there; for an incomplete one we replay the node
//    count with the model's `lookupBits` and leave the same symbols out.
// The node pool also bounds our subtables: each subtable of 2^k entries holds the path of a code that uses k
// tree nodes of its own, so the k's sum to at most N - 1 (see TableSize).
#pragma once

#include <cstdint>

#include "decoder/format_constants.h"
#include "platform/file_layer.h"

namespace zor {

struct Decoder;

// Entry layout:
//   bits 0..5   in a leaf: the bits to consume, the code and its extra bits (if its alphabet gives any) taken
//               together, up to 16 + 18 = 34; a decoder shifts its bit buffer by them in one step
//   bits 8..12  in a leaf: the code length alone (extra bits begin behind it)
//   bit 13      link: bits 16..31 are the subtable's offset, bits 8..11 its width
//   bit 14      invalid: no code begins with these bits
//   bits 6, 7, 15..31  in a leaf: the alphabet's data for the symbol (default: the symbol in bits 16..31)
inline constexpr uint32_t kEntryBitsMask = 63;
inline constexpr uint32_t kEntryCodeShift = 8;
inline constexpr uint32_t kEntryCodeMask = 31;
inline constexpr uint32_t kEntryLink = 1u << 13;
inline constexpr uint32_t kEntryInvalid = 1u << 14;

// Entries needed for an alphabet of `symbols` with a main table of `tableBits`.
constexpr uint32_t TableSize(uint32_t symbols, uint32_t tableBits) {
  uint32_t k = kMaxCodeLength - tableBits, nodes = symbols - 1;
  return (1u << tableBits) + ((nodes / k) << k) + (nodes % k ? 1u << (nodes % k) : 0);
}

// Our main-table widths, and the model's widths that decide the node pool.
inline constexpr uint32_t kLitLenTableBits = 11, kLitLenLookupBits = 9;
inline constexpr uint32_t kDistanceTableBits = 8, kDistanceLookupBits = 7;
inline constexpr uint32_t kDistanceTableStride = 2048;
static_assert(TableSize(42, kDistanceTableBits) <= kDistanceTableStride);
inline constexpr uint32_t kSortedTableBits = 10, kSortedLookupBits = 9;
inline constexpr uint32_t kPreCodeTableBits = 7, kPreCodeLookupBits = 6;

struct HuffmanTable {
  uint32_t* entries;   // main table, then the subtables
  uint32_t tableBits;  // width of the main table
};

inline uint32_t LookUpEntry(const uint32_t* t, uint32_t tableBits, uintptr_t bits) {
  uint32_t e = t[static_cast<uint32_t>(bits) & ((1u << tableBits) - 1)];
  if (e & kEntryLink)
    e = t[(e >> 16) + (static_cast<uint32_t>(bits >> tableBits) & ((1u << ((e >> 8) & 15)) - 1))];
  return e;
}

// Working storage of the block decoders, rebuilt for every table set; lives in the Decoder so that
// nothing is allocated per block or symbol (besides what the format's own rules allocate).
struct DecoderTables {
  uint32_t preCode[TableSize(kPreCodeSymbols, kPreCodeTableBits)];
  union {
    struct {
      uint32_t litLen[TableSize(kLitLenSymbols, kLitLenTableBits)];
      // Distance alphabets 0, 1 and 2, evenly spaced: a length's entry names its alphabet's table by number.
      uint32_t distance[3][kDistanceTableStride];
      uint32_t litLenInfo[kLitLenSymbols];
      uint32_t distanceInfo[kDistanceSymbols[0]];
    } lz;
    struct {
      uint32_t table[kMaxSortedTables][TableSize(kSortedSymbols, kSortedTableBits)];
      uint8_t lengths[kSortedSymbols];
    } sorted;
  };
};

// Canonical codes (RFC 1951 order), bit-reversed for least-significant-bit-first input. codes[s] is set
// for every symbol with a non-zero length.
void AssignCanonicalCodes(const uint8_t* lengths, uint32_t count, uint32_t* codes);
// Builds `table` for `count` symbols (lengths 0..16). `info`, if given, is the leaf data of each symbol
// (its extra-bit count in bits 0..5, flags and value); otherwise leaves hold the symbol in bits 16..31.
// `lookupBits` is the model's width that decides the node pool. 0, or -11 for an over-subscribed list.
ErrorCode BuildHuffmanTable(const HuffmanTable& table, const uint8_t* lengths, uint32_t count,
                            uint32_t lookupBits, const uint32_t* info);
// Reads setCount sets of setLength code lengths (or the built-in ones when setCount is 0). 0, -11, or the
// failure of a Refill.
ErrorCode ReadCodeLengths(Decoder& d, uint8_t* destination, uint32_t setLength, uint32_t setCount,
                          int32_t reach);
// The 344 built-in lengths of an LZ block whose output ends at window offset `reach`.
void SetFixedCodeLengths(uint8_t* destination, int32_t reach);

}  // namespace zor
