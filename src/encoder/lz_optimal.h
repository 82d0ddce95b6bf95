// The optimal parser: the cheapest parse of a block under a price model, by a shortest path over the
// block's positions that follows the two recent distances along the best path to each position.
#pragma once

#include <cstdint>
#include <vector>

#include "encoder/lz_items.h"
#include "encoder/lz_prices.h"
#include "encoder/match_finder.h"

namespace zor::encoder {

// Prices that apply from a block offset on (table sets); the first region starts at 0.
struct PriceRegion {
  uint32_t start;
  const PriceSet* prices;
};

class OptimalParser {
 public:
  // Runs the match finder over the block (stream positions blockStart .. blockStart + blockLength,
  // the window beginning at windowStart) and keeps the matches for the parses that follow. A match of
  // niceLength or more is taken at once, its inner positions only inserted.
  void CollectMatches(BinaryTreeMatchFinder& finder, uint32_t windowStart, uint32_t blockStart, uint32_t blockLength,
                      uint32_t niceLength);

  // The cheapest parse of the block under the prices; window points at the window start (history
  // then block, as level bytes). m decides the distance alphabet of length-3 matches (3: alphabet 2)
  // and whether length-2 matches exist (not with m = 1). Items carry their distance symbols.
  // No item crosses a barrier (a block offset where a delta mark goes). Returns the parse's price.
  uint64_t Parse(const uint8_t* window, uint32_t historyLength, const std::vector<PriceRegion>& regions,
                 const std::vector<uint32_t>& barriers, uint32_t m, std::vector<LzItem>& items);

  uint32_t blockLength() const { return blockLength_; }

 private:
  // 16 bytes: a match's distance is its symbol's (2 to 5 code 1 to 4) or the first recent distance it
  // leaves behind.
  struct Node {
    uint32_t cost;
    uint32_t rep0, rep1;
    uint16_t length;    // 1: a literal
    int8_t symbol;      // the match's distance symbol
  };

  uint32_t blockLength_ = 0;
  uint32_t niceLength_ = 0;
  std::vector<uint32_t> matchStart_;  // per position, into matches_; matchStart_[n] ends the last
  std::vector<Match> matches_;
  std::vector<uint8_t> forced_;        // 1: take the longest match at once
  std::vector<Node> nodes_;
};

}  // namespace zor::encoder
