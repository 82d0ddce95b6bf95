// Table-set splitting by bottom-up merging of small stretches of the parse.
#include "encoder/table_sets.h"

#include <cmath>
#include <queue>

namespace zor::encoder {

namespace {

double AlphabetBits(const uint32_t* counts, uint32_t n, uint32_t& used) {
  uint32_t total = 0;
  double sum = 0;
  for (uint32_t s = 0; s < n; ++s) {
    if (counts[s] == 0) continue;
    ++used;
    total += counts[s];
    sum += XLog2X(counts[s]);
  }
  return XLog2X(total) - sum;
}

struct Stretch {
  uint32_t start;       // block offset of its first item
  SymbolCounts counts;
  double bits;
  int prev, next;       // neighbours in the list, -1 at the ends
  uint32_t version = 0; // bumped when it changes, so stale queue entries are recognised
  bool alive = true;
};

struct Candidate {
  double gain;  // bits saved by merging stretch `left` with its right neighbour
  int left;
  uint32_t leftVersion, rightVersion;
  bool operator<(const Candidate& o) const {
    if (gain != o.gain) return gain < o.gain;
    return left > o.left;  // deterministic: the leftmost of equal gains first
  }
};

}  // namespace

double EstimateSetBits(const SymbolCounts& c) {
  uint32_t used = 0;
  double bits = AlphabetBits(c.literalLength, kLitLenSymbols, used);
  for (uint32_t a = 0; a < 3; ++a) bits += AlphabetBits(c.distance[a], kDistanceSymbols[a], used);
  // The code lengths: the pre-code and a few bits per used symbol (zero runs cost little).
  return bits + 70 + 2.5 * used;
}

std::vector<uint32_t> ChooseTableSetStarts(const std::vector<LzItem>& items, uint32_t m, const TableSetOptions& options) {
  // Stretches of chunkItems items with their counts.
  std::vector<Stretch> s;
  {
    uint32_t offset = 0, recent0 = 0, recent1 = 0;
    size_t inChunk = 0;
    for (const LzItem& it : items) {
      if (it.kind == LzItemKind::kEndOfSet) continue;
      if (s.empty() || inChunk == options.chunkItems) {
        s.push_back(Stretch{offset, SymbolCounts(), 0, static_cast<int>(s.size()) - 1, -1});
        inChunk = 0;
      }
      ++inChunk;
      SymbolCounts& c = s.back().counts;
      if (it.kind == LzItemKind::kLiteral) {
        ++c.literalLength[it.value];
        ++offset;
      } else if (it.kind == LzItemKind::kDeltaMark) {
        ++c.literalLength[kDeltaMarkSymbol];
      } else {
        ++c.literalLength[LengthSymbol(it.value).symbol];
        uint32_t d = it.distance;
        int32_t sym = it.distanceSymbol;
        if (sym < 0) sym = d == recent0 ? 0 : d <= 4 ? static_cast<int32_t>(d + 1) : d == recent1 ? 1 : 6;
        if (sym >= 6) sym = static_cast<int32_t>(DistanceSymbolOf(d));
        ++c.distance[DistanceAlphabet(it.value, m)][sym];
        if (sym == 1) std::swap(recent0, recent1);
        if (sym >= 6) {
          recent1 = recent0;
          recent0 = d;
        }
        offset += it.value;
      }
    }
  }
  if (s.size() <= 1 || options.maxSets <= 1) return {};
  for (size_t i = 0; i < s.size(); ++i) {
    s[i].next = i + 1 < s.size() ? static_cast<int>(i + 1) : -1;
    s[i].bits = EstimateSetBits(s[i].counts) + options.setCharge;
  }

  auto mergedBits = [&](int a, int b) {
    SymbolCounts c = s[a].counts;
    c.Add(s[b].counts);
    return EstimateSetBits(c) + options.setCharge;
  };
  std::priority_queue<Candidate> queue;
  auto propose = [&](int a) {
    int b = s[a].next;
    if (b < 0) return;
    queue.push({s[a].bits + s[b].bits - mergedBits(a, b), a, s[a].version, s[b].version});
  };
  for (size_t i = 0; i + 1 < s.size(); ++i) propose(static_cast<int>(i));

  size_t alive = s.size();
  while (!queue.empty()) {
    Candidate c = queue.top();
    queue.pop();
    int a = c.left, b = s[a].next;
    if (!s[a].alive || b < 0 || s[a].version != c.leftVersion || s[b].version != c.rightVersion) continue;
    if (c.gain < 0 && alive <= options.maxSets) break;
    s[a].counts.Add(s[b].counts);
    s[a].bits = EstimateSetBits(s[a].counts) + options.setCharge;
    ++s[a].version;
    s[b].alive = false;
    s[a].next = s[b].next;
    if (s[a].next >= 0) s[s[a].next].prev = a;
    --alive;
    if (s[a].prev >= 0) propose(s[a].prev);
    propose(a);
  }
  std::vector<uint32_t> starts;
  for (int i = s[0].next; i >= 0; i = s[i].next) starts.push_back(s[i].start);
  return starts;
}

void InsertSetEnds(std::vector<LzItem>& items, const std::vector<uint32_t>& starts) {
  std::vector<LzItem> out;
  out.reserve(items.size() + starts.size());
  size_t next = 0;
  uint32_t offset = 0;
  for (const LzItem& it : items) {
    if (it.kind == LzItemKind::kEndOfSet) continue;
    bool end = false;
    while (next < starts.size() && starts[next] <= offset) {
      end = offset > 0;
      ++next;
    }
    if (end) out.push_back(LzItem::EndOfSet());
    out.push_back(it);
    if (it.kind == LzItemKind::kLiteral) offset += 1;
    if (it.kind == LzItemKind::kMatch) offset += it.value;
  }
  items = std::move(out);
}

}  // namespace zor::encoder
