// Match finding over a segment's stream for the optimal parser: binary trees keyed by 4-byte hashes,
// with direct tables for the nearest 2- and 3-byte matches.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace zor::encoder {

struct Match {
  uint32_t length;
  uint32_t distance;
};

struct MatchFinderOptions {
  uint32_t depth = 32;       // tree nodes visited per position
  uint32_t niceLength = 64;  // tree comparisons stop here; a match this long is extended by plain comparison
  uint32_t hashBits = 20;
};

// Positions are offsets into one buffer (the segment's stream as the decoder's window holds it). Every
// position from the first one inserted on must be passed, in order, to Find or Skip. The tree compares
// bytes up to the buffer's end, so the bytes ahead of a position must be final when it is inserted;
// if they change, Reset and insert again. Matches reach back to `windowStart` and at most 1 MB, and are
// cut at `end` (the block's end).
// Common prefix of a and b, at most limit bytes (both readable that far).
uint32_t CommonLength(const uint8_t* a, const uint8_t* b, uint32_t limit);

class BinaryTreeMatchFinder {
 public:
  // Largest number of matches Find reports for one position.
  static constexpr uint32_t kMaxMatches = 40;

  void Reset(const uint8_t* data, uint32_t size, const MatchFinderOptions& options);
  // The matches at pos, lengths strictly increasing, each at the smallest distance found for it.
  uint32_t Find(uint32_t pos, uint32_t windowStart, uint32_t end, Match* out);
  void Skip(uint32_t pos, uint32_t windowStart);
  const MatchFinderOptions& options() const { return options_; }

 private:
  uint32_t Walk(uint32_t pos, uint32_t windowStart, uint32_t end, Match* out, uint32_t count, uint32_t best);

  const uint8_t* data_ = nullptr;
  uint32_t size_ = 0;
  MatchFinderOptions options_;
  std::vector<uint32_t> head4_;  // position + 1 of the newest string with each hash; 0 = none
  std::vector<uint32_t> head3_;
  std::vector<uint32_t> head2_;
  // Two children per cyclic slot (smaller, larger). Not cleared: a slot is read only for a position
  // inserted earlier, whose insertion wrote it.
  std::unique_ptr<uint32_t[]> tree_;
  size_t treeSlots_ = 0;
};

}  // namespace zor::encoder
