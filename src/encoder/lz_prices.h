// The price model of the optimal parser: what each literal, length and distance costs under one
// table set, in sixteenths of a bit, from symbol counts or from the code lengths a block will send.
#pragma once

#include <cstdint>
#include <vector>

#include "encoder/format_tables.h"
#include "encoder/lz_items.h"

namespace zor::encoder {

inline constexpr uint32_t kPriceScale = 16;  // prices are in 1/16 bit
inline constexpr uint32_t kShortLengths = 259;  // lengths below this have their own price entry

// How often each symbol of one table set occurs.
struct SymbolCounts {
  uint32_t literalLength[kLitLenSymbols] = {};
  uint32_t distance[3][42] = {};
  void Add(const SymbolCounts& other);
};

// n log2 n, from a table for small n.
double XLog2X(uint32_t n);

// The symbol of an explicit distance d >= 5 and its extra bits, without a search.
inline uint32_t DistanceSymbolOf(uint32_t d) {
  uint32_t x = d - 1, n = 31 - static_cast<uint32_t>(__builtin_clz(x));
  return 2 * n + 2 + ((x >> (n - 1)) & 1);
}

struct PriceSet {
  uint32_t literal[256];
  uint32_t length[kShortLengths];   // length symbol and extra bits, lengths 2..258
  uint32_t longLength;              // any length of 259 and more
  uint32_t distance[3][42];         // distance symbol and, for explicit symbols, its extra bits
  uint32_t deltaMark;

  uint32_t LengthPrice(uint32_t length) const { return length < kShortLengths ? this->length[length] : longLength; }
};

// Prices from counts: -log2 of each symbol's share, with a little weight on every symbol so that an
// unused one is dear but not impossible.
void PricesFromCounts(const SymbolCounts& counts, PriceSet& prices);
// Prices from the code lengths of one table set (t lengths as sent); symbols without a code get a
// price a little above the longest code.
void PricesFromLengths(const uint8_t* lengths, uint32_t m, PriceSet& prices);
// A start for a block with nothing to learn from: literals by their order-0 share in `bytes`.
void InitialPrices(const uint8_t* bytes, uint32_t size, PriceSet& prices);

// Counts the symbols of items as the block writer would send them (distance symbols as forced or as
// ResolveLzItems chooses them), one SymbolCounts per table set.
void CountItems(const std::vector<LzItem>& items, uint32_t m, std::vector<SymbolCounts>& sets);

}  // namespace zor::encoder
