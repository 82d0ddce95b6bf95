// The optimal parser.
//
// Every position keeps the cheapest known way to reach it and the recent distances that way leaves
// behind. Positions are settled in order: from each one, a literal, the matches at the two recent
// distances and the matches the finder found are priced for every length they allow, and each reached
// position keeps the cheaper arrival. Keeping one arrival per position is an approximation (a dearer
// arrival with better recent distances is forgotten), the usual one for this kind of format.
#include "encoder/lz_optimal.h"

#include <algorithm>
#include <limits>

namespace zor::encoder {

namespace {

constexpr uint32_t kUnreached = std::numeric_limits<uint32_t>::max();

}  // namespace

void OptimalParser::CollectMatches(BinaryTreeMatchFinder& finder, uint32_t windowStart, uint32_t blockStart,
                                   uint32_t blockLength, uint32_t niceLength) {
  blockLength_ = blockLength;
  niceLength_ = niceLength;
  matchStart_.resize(blockLength + 1);
  forced_.assign(blockLength, 0);
  matches_.clear();
  const uint32_t end = blockStart + blockLength;
  Match found[BinaryTreeMatchFinder::kMaxMatches];
  for (uint32_t i = 0; i < blockLength;) {
    matchStart_[i] = static_cast<uint32_t>(matches_.size());
    uint32_t n = finder.Find(blockStart + i, windowStart, end, found);
    matches_.insert(matches_.end(), found, found + n);
    if (n > 0 && found[n - 1].length >= niceLength) {
      forced_[i] = 1;
      uint32_t length = found[n - 1].length;
      for (uint32_t k = 1; k < length; ++k) {
        matchStart_[i + k] = static_cast<uint32_t>(matches_.size());
        finder.Skip(blockStart + i + k, windowStart);
      }
      i += length;
      continue;
    }
    ++i;
  }
  matchStart_[blockLength] = static_cast<uint32_t>(matches_.size());
}

uint64_t OptimalParser::Parse(const uint8_t* window, uint32_t historyLength, const std::vector<PriceRegion>& regions,
                              const std::vector<uint32_t>& barriers, uint32_t m, std::vector<LzItem>& items) {
  const uint32_t n = blockLength_;
  nodes_.resize(n + 1);
  nodes_[0] = Node{0, 0, 0, 0, 0};
  uint32_t ready = 0;  // nodes up to here have been set up
  size_t region = 0, barrier = 0;
  const PriceSet* p = regions[0].prices;
  const bool length2 = m != 1;

  auto relax = [&](uint32_t to, uint32_t cost, uint32_t length, uint32_t, int32_t symbol, uint32_t rep0,
                   uint32_t rep1) {
    Node& t = nodes_[to];
    if (cost < t.cost) {
      t = {cost, rep0, rep1, static_cast<uint16_t>(length), static_cast<int8_t>(symbol)};
    }
  };
  // The alphabet a match of this length uses, and whether the symbol exists in it.
  auto alphabetOf = [&](uint32_t length) -> uint32_t { return length == 2 ? 1 : (length == 3 && m == 3) ? 2 : 0; };

  for (uint32_t i = 0; i < n;) {
    while (region + 1 < regions.size() && regions[region + 1].start <= i) p = regions[++region].prices;
    while (barrier < barriers.size() && barriers[barrier] <= i) ++barrier;
    const uint32_t limit = barrier < barriers.size() ? std::min(n, barriers[barrier]) : n;
    const Node here = nodes_[i];
    const uint32_t base = here.cost;
    const uint32_t pos = historyLength + i;
    const uint8_t* cur = window + pos;
    const uint32_t maxLength = std::min(limit - i, kMaxMatch);
    for (; ready < i + maxLength; ++ready) nodes_[ready + 1].cost = kUnreached;
    const uint32_t maxDistance = std::min(kMaxDistance, pos);
    const Match* list = matches_.data() + matchStart_[i];
    const uint32_t count = matchStart_[i + 1] - matchStart_[i];

    // Resolves a distance to its symbol under this position's recent distances.
    auto symbolFor = [&](uint32_t d, uint32_t& r0, uint32_t& r1) -> int32_t {
      if (d == here.rep0) {
        r0 = here.rep0, r1 = here.rep1;
        return 0;
      }
      if (d <= 4) {
        r0 = here.rep0, r1 = here.rep1;
        return static_cast<int32_t>(d + 1);
      }
      if (d == here.rep1) {
        r0 = here.rep1, r1 = here.rep0;
        return 1;
      }
      r0 = d, r1 = here.rep0;
      return static_cast<int32_t>(DistanceSymbolOf(d));
    };

    if (forced_[i] && list[count - 1].length <= maxLength) {
      const Match& mt = list[count - 1];
      uint32_t r0, r1;
      int32_t s = symbolFor(mt.distance, r0, r1);
      relax(i + mt.length, base + p->LengthPrice(mt.length) + p->distance[0][s], mt.length, mt.distance, s, r0, r1);
      i += mt.length;
      continue;
    }

    relax(i + 1, base + p->literal[cur[0]], 1, 0, -1, here.rep0, here.rep1);

    // Matches at the recent distances; a long one is taken at once.
    uint32_t jump = 0;
    uint32_t repLength[2] = {0, 0};
    for (int k = 0; k < 2 && maxLength >= 2; ++k) {
      uint32_t r = k == 0 ? here.rep0 : here.rep1;
      if (r == 0 || r > maxDistance || (k == 1 && r == here.rep0)) continue;
      uint32_t len = CommonLength(cur, cur - r, maxLength);
      if (len < 2) continue;
      uint32_t r0 = k == 0 ? here.rep0 : here.rep1, r1 = k == 0 ? here.rep1 : here.rep0;
      if (len >= niceLength_) {
        relax(i + len, base + p->LengthPrice(len) + p->distance[0][k], len, r, k, r0, r1);
        jump = std::max(jump, len);
        continue;
      }
      if (length2) relax(i + 2, base + p->length[2] + p->distance[1][k], 2, r, k, r0, r1);
      if (len >= 3) relax(i + 3, base + p->length[3] + p->distance[alphabetOf(3)][k], 3, r, k, r0, r1);
      const uint32_t dp = base + p->distance[0][k];
      for (uint32_t L = 4; L <= len; ++L) relax(i + L, dp + p->LengthPrice(L), L, r, k, r0, r1);
      repLength[k] = len;
    }
    if (jump > 0) {
      i += jump;
      continue;
    }

    uint32_t previous = 1;
    for (uint32_t k = 0; k < count; ++k) {
      const Match& mt = list[k];
      const uint32_t longest = std::min(mt.length, maxLength);
      uint32_t L = std::max(previous + 1, 2u);
      if (L > longest) break;
      uint32_t r0, r1;
      int32_t s = symbolFor(mt.distance, r0, r1);
      if (s <= 1) {  // at a recent distance: its lengths were priced with the recent-distance matches
        previous = longest;
        continue;
      }
      if (L == 2) {
        if (length2 && static_cast<uint32_t>(s) < kDistanceSymbols[1])
          relax(i + 2, base + p->length[2] + p->distance[1][s], 2, mt.distance, s, r0, r1);
        ++L;
      }
      if (L == 3 && L <= longest) {
        uint32_t a = alphabetOf(3);
        if (static_cast<uint32_t>(s) < kDistanceSymbols[a])
          relax(i + 3, base + p->length[3] + p->distance[a][s], 3, mt.distance, s, r0, r1);
        ++L;
      }
      // Lengths a recent distance reached for no more cannot win here (a node takes only a cheaper arrival).
      for (int r = 0; r < 2; ++r) {
        if (repLength[r] >= L && p->distance[0][s] >= p->distance[0][r]) L = repLength[r] + 1;
      }
      const uint32_t dp = base + p->distance[0][s];
      for (; L <= longest; ++L) relax(i + L, dp + p->LengthPrice(L), L, mt.distance, s, r0, r1);
      previous = longest;
    }
    ++i;
  }

  // Walk back from the end, then emit in order.
  items.clear();
  for (uint32_t j = n; j > 0;) {
    const Node& t = nodes_[j];
    if (t.length == 1) {
      items.push_back(LzItem::Literal(window[historyLength + j - 1]));
    } else {
      uint32_t distance = t.symbol >= 2 && t.symbol <= 5 ? static_cast<uint32_t>(t.symbol - 1) : t.rep0;
      items.push_back(LzItem::Match(t.length, distance, static_cast<int8_t>(t.symbol)));
    }
    j -= t.length;
  }
  std::reverse(items.begin(), items.end());
  return nodes_[n].cost;
}

}  // namespace zor::encoder
