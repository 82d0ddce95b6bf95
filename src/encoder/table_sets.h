// Table sets: where a block's parse changes its statistics enough to pay for another set of codes.
#pragma once

#include <cstdint>
#include <vector>

#include "encoder/lz_items.h"
#include "encoder/lz_prices.h"

namespace zor::encoder {

struct TableSetOptions {
  uint32_t maxSets = kMaxTableSets;
  uint32_t chunkItems = 1024;  // the finest split considered, in items
  double setCharge = 0;        // bits charged for each set besides its code lengths: what building
                               // its tables costs the decoder
};

// Block offsets at which sets 2, 3, ... begin (empty: one set), from the parse's symbol statistics:
// neighbouring stretches merge while that saves bits by an entropy estimate that includes the cost of
// sending another set's code lengths.
std::vector<uint32_t> ChooseTableSetStarts(const std::vector<LzItem>& items, uint32_t m, const TableSetOptions& options);

// Puts an end of set before the first item that starts at or after each offset (set ends already in
// items are dropped first).
void InsertSetEnds(std::vector<LzItem>& items, const std::vector<uint32_t>& starts);

// Estimated bits of symbols with these counts under codes built for them (extra bits not included),
// plus the code lengths' transmission.
double EstimateSetBits(const SymbolCounts& counts);

}  // namespace zor::encoder
