// The plain LZ77 parser: hash chains over the window, the two recent distances, lazy matching.
#include <algorithm>

#include "encoder/format_tables.h"
#include "encoder/lz_items.h"

namespace zor::encoder {

namespace {

constexpr uint32_t kHashBits = 16;

struct Candidate {
  uint32_t length = 0;
  uint32_t distance = 0;
  int32_t score = 0;  // estimated bits saved against literals
};

uint32_t Log2(uint32_t v) { return 31 - __builtin_clz(v); }

// A rough price: about 8 bits per literal; a match pays its length symbol, its distance symbol and
// the extra bits, and much less for a recent distance. Only used to rank candidates.
int32_t Score(uint32_t length, uint32_t distance, bool recent) {
  int32_t cost = 7 + (length > 10 ? static_cast<int32_t>(LengthSymbol(length).extraBits) : 0);
  if (recent) {
    cost += 2;
  } else if (distance <= 4) {
    cost += 4;
  } else {
    cost += 5 + static_cast<int32_t>(Log2(distance - 1)) - 1;
  }
  return 8 * static_cast<int32_t>(length) - cost;
}

}  // namespace

void AppendLiterals(const uint8_t* bytes, uint32_t count, std::vector<LzItem>& items) {
  for (uint32_t i = 0; i < count; ++i) items.push_back(LzItem::Literal(bytes[i]));
}

void SplitIntoTableSets(std::vector<LzItem>& items, uint32_t sets) {
  items.erase(std::remove_if(items.begin(), items.end(),
                             [](const LzItem& it) { return it.kind == LzItemKind::kEndOfSet; }),
              items.end());
  sets = std::clamp<uint32_t>(sets, 1, kMaxTableSets);
  if (sets == 1 || items.empty()) return;
  std::vector<LzItem> out;
  out.reserve(items.size() + sets);
  size_t n = items.size();
  uint32_t k = 1;
  for (size_t i = 0; i < n; ++i) {
    // A set ends before item i for every k with k * n / sets == i; never after the last item.
    while (k < sets && k * n / sets <= i) {
      out.push_back(LzItem::EndOfSet());
      ++k;
    }
    out.push_back(items[i]);
  }
  items = std::move(out);
}

void HashChainParser::Parse(const uint8_t* window, uint32_t historyLength, uint32_t blockLength,
                            const std::vector<uint32_t>& barriers, std::vector<LzItem>& items) {
  const uint32_t end = historyLength + blockLength;
  head_.assign(1u << kHashBits, -1);
  previous_.assign(end, -1);
  std::vector<int32_t> last2(1u << 16, -1);

  auto hash3 = [&](uint32_t i) {
    uint32_t v = window[i] | (window[i + 1] << 8) | (window[i + 2] << 16);
    return (v * 2654435761u) >> (32 - kHashBits);
  };
  auto insert = [&](uint32_t i) {
    if (i + 1 < end) last2[window[i] | (window[i + 1] << 8)] = static_cast<int32_t>(i);
    if (i + 3 > end) return;
    uint32_t h = hash3(i);
    previous_[i] = head_[h];
    head_[h] = static_cast<int32_t>(i);
  };
  for (uint32_t i = 0; i < historyLength; ++i) insert(i);

  uint32_t recent0 = 0, recent1 = 0;
  auto matchLength = [&](uint32_t i, uint32_t distance, uint32_t maxLength) {
    const uint8_t* a = window + i;
    const uint8_t* b = a - distance;
    uint32_t n = 0;
    while (n < maxLength && a[n] == b[n]) ++n;
    return n;
  };
  auto consider = [&](Candidate& best, uint32_t length, uint32_t distance, bool recent) {
    if (length < kMinMatch) return;
    if (length == 2 && (!options_.allowLength2 || (!recent && distance > 64))) return;
    if (length == 3 && !recent && distance > options_.maxLength3Distance) return;
    int32_t s = Score(length, distance, recent);
    if (s > best.score) best = {length, distance, s};
  };
  auto find = [&](uint32_t i, uint32_t maxLength) {
    Candidate best;
    if (maxLength < kMinMatch) return best;
    for (uint32_t d : {recent0, recent1}) {
      if (d != 0 && d <= i) consider(best, matchLength(i, d, maxLength), d, true);
    }
    if (maxLength >= 2 && i + 1 < end) {
      int32_t p = last2[window[i] | (window[i + 1] << 8)];
      if (p >= 0 && i - p <= 64) consider(best, matchLength(i, i - p, maxLength), i - p, false);
    }
    if (maxLength >= 3 && i + 3 <= end) {
      uint32_t chain = options_.maxChain;
      for (int32_t p = head_[hash3(i)]; p >= 0 && chain-- > 0; p = previous_[p]) {
        uint32_t distance = i - static_cast<uint32_t>(p);
        if (distance > kMaxDistance) break;
        if (best.length >= maxLength) break;
        if (window[p + best.length] != window[i + best.length]) continue;
        uint32_t n = matchLength(i, distance, maxLength);
        consider(best, n, distance, distance == recent0 || distance == recent1);
        if (best.length >= options_.niceLength) break;
      }
    }
    return best;
  };

  size_t barrier = 0;
  uint32_t i = historyLength;
  Candidate pending;
  bool havePending = false;
  while (i < end) {
    while (barrier < barriers.size() && historyLength + barriers[barrier] <= i) ++barrier;
    uint32_t limit = barrier < barriers.size() ? std::min(end, historyLength + barriers[barrier]) : end;
    uint32_t maxLength = std::min(kMaxMatch, limit - i);
    Candidate here = havePending ? pending : find(i, maxLength);
    havePending = false;
    if (here.length > maxLength) here = find(i, maxLength);
    if (here.length >= kMinMatch && options_.lazy && here.length < options_.niceLength && i + 1 < limit) {
      insert(i);
      Candidate next = find(i + 1, std::min(kMaxMatch, limit - i - 1));
      if (next.score > here.score + 4) {
        items.push_back(LzItem::Literal(window[i]));
        ++i;
        pending = next;
        havePending = true;
        continue;
      }
      items.push_back(LzItem::Match(here.length, here.distance));
      for (uint32_t k = 1; k < here.length; ++k) insert(i + k);
    } else if (here.length >= kMinMatch) {
      items.push_back(LzItem::Match(here.length, here.distance));
      for (uint32_t k = 0; k < here.length; ++k) insert(i + k);
    } else {
      items.push_back(LzItem::Literal(window[i]));
      insert(i);
      ++i;
      continue;
    }
    // Keep the recent distances as the block writer will (see ResolveLzItems).
    uint32_t d = here.distance;
    if (d == recent0 || d <= 4) {
    } else if (d == recent1) {
      std::swap(recent0, recent1);
    } else {
      recent1 = recent0;
      recent0 = d;
    }
    i += here.length;
  }
}

}  // namespace zor::encoder
