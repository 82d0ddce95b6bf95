// Length-limited prefix codes by package-merge, and canonical code assignment.
#include "encoder/huffman_builder.h"

#include <algorithm>
#include <vector>

namespace zor::encoder {

namespace {

// An item of one package-merge level: a leaf (a symbol) or a package of two items of the level below.
struct Item {
  uint64_t weight;
  int32_t leaf;     // symbol, or -1 for a package
  uint32_t child;   // packages: index of the first of the two children in the level below
};

}  // namespace

void BuildLengthLimitedLengths(const uint64_t* frequencies, uint32_t count, uint32_t maxLength,
                               uint8_t* lengths) {
  std::vector<Item> leaves;
  for (uint32_t s = 0; s < count; ++s) {
    lengths[s] = 0;
    if (frequencies[s] > 0) leaves.push_back({frequencies[s], static_cast<int32_t>(s), 0});
  }
  if (leaves.empty()) return;
  if (leaves.size() == 1) {
    lengths[leaves[0].leaf] = 1;
    return;
  }
  std::stable_sort(leaves.begin(), leaves.end(),
                   [](const Item& a, const Item& b) { return a.weight < b.weight; });

  // Level 1 holds the leaves; each further level merges the leaves with the pairs of the level below.
  // The first 2n - 2 items of the last level, expanded, give each leaf's length.
  std::vector<std::vector<Item>> levels(maxLength);
  levels[0] = leaves;
  for (uint32_t l = 1; l < maxLength; ++l) {
    const std::vector<Item>& below = levels[l - 1];
    std::vector<Item>& level = levels[l];
    size_t pairs = below.size() / 2, i = 0, j = 0;
    level.reserve(leaves.size() + pairs);
    while (i < leaves.size() || j < pairs) {
      uint64_t packageWeight = j < pairs ? below[2 * j].weight + below[2 * j + 1].weight : 0;
      if (j >= pairs || (i < leaves.size() && leaves[i].weight <= packageWeight)) {
        level.push_back(leaves[i++]);
      } else {
        level.push_back({packageWeight, -1, static_cast<uint32_t>(2 * j)});
        ++j;
      }
    }
  }

  // Count leaf occurrences: walk the chosen items down through their packages.
  std::vector<uint32_t> take(maxLength, 0);  // how many leading items of each level are chosen
  take[maxLength - 1] = static_cast<uint32_t>(2 * leaves.size() - 2);
  for (uint32_t l = maxLength; l-- > 0;) {
    uint32_t packages = 0;
    for (uint32_t k = 0; k < take[l]; ++k) {
      const Item& it = levels[l][k];
      if (it.leaf >= 0) {
        ++lengths[it.leaf];
      } else {
        packages = std::max(packages, it.child + 2);
      }
    }
    // Packages are made of the leading pairs of the level below, in order, so the chosen packages use
    // exactly its first `packages` items.
    if (l > 0) take[l - 1] = packages;
  }
}

void AssignWriterCodes(const uint8_t* lengths, uint32_t count, uint32_t* codes) {
  uint32_t lengthCount[17] = {};
  for (uint32_t s = 0; s < count; ++s) ++lengthCount[lengths[s]];
  lengthCount[0] = 0;
  uint32_t next[17] = {};
  uint32_t code = 0;
  for (uint32_t l = 1; l <= 16; ++l) {
    code = (code + lengthCount[l - 1]) << 1;
    next[l] = code;
  }
  for (uint32_t s = 0; s < count; ++s) {
    uint32_t l = lengths[s];
    if (l == 0) {
      codes[s] = 0;
      continue;
    }
    uint32_t value = next[l]++, reversed = 0;
    for (uint32_t i = 0; i < l; ++i) reversed |= ((value >> i) & 1) << (l - 1 - i);
    codes[s] = reversed;
  }
}

bool LengthsArePrefixCode(const uint8_t* lengths, uint32_t count, uint32_t maxLength) {
  uint64_t space = 0;  // Kraft sum in units of 2^-maxLength
  for (uint32_t s = 0; s < count; ++s) {
    if (lengths[s] > maxLength) return false;
    if (lengths[s] > 0) space += 1ull << (maxLength - lengths[s]);
  }
  return space <= (1ull << maxLength);
}

}  // namespace zor::encoder
