// Code-length transmission: a shortest-path search over the run and delta items, iterated with the
// pre-code built from the path it found.
#include "encoder/code_length_writer.h"

#include <algorithm>
#include <limits>
#include <memory>

#include "encoder/huffman_builder.h"

namespace zor::encoder {

namespace {

constexpr uint32_t kInfinite = std::numeric_limits<uint32_t>::max();
// Runs longer than this are split by another item. Long runs cost a few bits per split at most, and
// the cap keeps the search linear in the number of lengths.
constexpr uint32_t kMaxRunEdge = 256;
constexpr uint32_t kShortRun = 12;
constexpr uint32_t kIterations = 4;
enum Kind : uint8_t { kDelta = 0, kZeros = 1, kRepeats = 2 };
constexpr uint32_t kStatesPerPosition = 17 * 3;

struct Back {
  uint32_t from;  // state index
  uint16_t count;
  uint8_t kind;
};

uint32_t DigitCost(uint32_t n, uint32_t costOne, uint32_t costTwo) {
  uint32_t cost = 0;
  while (n > 0) {
    if (n & 1) {
      cost += costOne;
      n = (n - 1) / 2;
    } else {
      cost += costTwo;
      n = (n - 2) / 2;
    }
  }
  return cost;
}

// One search under fixed symbol costs; returns the items of the cheapest path.
std::vector<uint8_t> ShortestItems(const uint8_t* target, uint32_t setLength, uint32_t total,
                                   const uint32_t cost[kPreCodeSymbols]) {
  // Run costs, and at the end of the list any longer run (the reader stops at the end) if cheaper.
  uint32_t maxRun = std::min(total, kMaxRunEdge);
  std::vector<uint32_t> zeroCost(maxRun + 1), repeatCost(maxRun + 1), zeroEnd(maxRun + 1),
      repeatEnd(maxRun + 1);
  {
    uint32_t span = 2 * maxRun + 2;
    std::vector<uint32_t> z(span + 1), r(span + 1);
    for (uint32_t n = 1; n <= span; ++n) {
      z[n] = DigitCost(n, cost[kZeroRunOne], cost[kZeroRunTwo]);
      r[n] = DigitCost(n, cost[kRepeatOne], cost[kRepeatTwo]);
    }
    uint32_t zMin = kInfinite, rMin = kInfinite;
    for (uint32_t n = span; n >= 1; --n) {
      zMin = std::min(zMin, z[n]);
      rMin = std::min(rMin, r[n]);
      if (n <= maxRun) {
        zeroCost[n] = z[n];
        repeatCost[n] = r[n];
        zeroEnd[n] = zMin;
        repeatEnd[n] = rMin;
      }
    }
  }

  auto previous = [&](uint32_t p) -> uint32_t { return p >= setLength ? target[p - setLength] : 0; };
  std::vector<uint32_t> best(static_cast<size_t>(total + 1) * kStatesPerPosition, kInfinite);
  std::unique_ptr<Back[]> back(new Back[best.size()]);  // read only where best is set
  auto relax = [&](uint32_t from, uint32_t p, uint32_t ref, uint8_t kind, uint32_t value, uint32_t count) {
    uint32_t to = p * kStatesPerPosition + ref * 3 + kind;
    if (value < best[to]) {
      best[to] = value;
      back[to] = {from, static_cast<uint16_t>(count), kind};
    }
  };
  best[0 * kStatesPerPosition + 0 * 3 + kDelta] = 0;

  // Run extents, from the end: zeros ahead of p; and how far a repeat run that has reached q may go on
  // (it writes the previous set's length where that is non-zero, else the length written before q).
  std::vector<uint32_t> zeroAhead(total + 1, 0), repeatAhead(total + 1, 0);
  for (uint32_t q = total; q-- > 0;) {
    zeroAhead[q] = target[q] == 0 ? zeroAhead[q + 1] + 1 : 0;
    bool ok = q > 0 && (previous(q) != 0 ? previous(q) : target[q - 1]) == target[q];
    repeatAhead[q] = ok ? repeatAhead[q + 1] + 1 : 0;
  }
  for (uint32_t p = 0; p < total; ++p) {
    uint32_t zeroStretch = std::min(zeroAhead[p], maxRun);
    for (uint32_t ref = 0; ref < 17; ++ref) {
      for (uint32_t last = 0; last < 3; ++last) {
        uint32_t state = p * kStatesPerPosition + ref * 3 + last;
        uint32_t here = best[state];
        if (here == kInfinite) continue;
        // A delta against the previous set's length where that is non-zero, else the reference.
        uint32_t base = previous(p) != 0 ? previous(p) : ref;
        uint32_t s = (target[p] + 17 - base) % 17;
        if (cost[s] != kInfinite) relax(state, p + 1, target[p], kDelta, here + cost[s], 1);
        // Runs: short ones, and those that end near where the run can end at the latest; a run that
        // stops in the middle of a long stretch is never better than one of these.
        if (last != kZeros) {
          for (uint32_t n = 1; n <= zeroStretch; ++n) {
            if (n > kShortRun && n + kShortRun < zeroStretch) n = zeroStretch - kShortRun;
            uint32_t c = (p + n == total) ? zeroEnd[n] : zeroCost[n];
            relax(state, p + n, ref, kZeros, here + c, n);
          }
        }
        if (last != kRepeats) {
          uint32_t n = 0;
          if ((previous(p) != 0 ? previous(p) : ref) == target[p]) n = std::min(1 + repeatAhead[p + 1], maxRun);
          for (uint32_t k = 1; k <= n; ++k) {
            if (k > kShortRun && k + kShortRun < n) k = n - kShortRun;
            uint32_t c = (p + k == total) ? repeatEnd[k] : repeatCost[k];
            relax(state, p + k, target[p + k - 1], kRepeats, here + c, k);
          }
        }
      }
    }
  }

  uint32_t end = kInfinite, endState = 0;
  for (uint32_t s = 0; s < kStatesPerPosition; ++s) {
    uint32_t state = total * kStatesPerPosition + s;
    if (best[state] < end) {
      end = best[state];
      endState = state;
    }
  }
  // Walk back, then emit the items in order. A run at the very end may be sent as a longer run
  // whose digits are cheaper.
  std::vector<std::pair<uint8_t, uint32_t>> steps;  // (kind, count), last step first
  for (uint32_t state = endState; state != 0;) {
    const Back& b = back[state];
    steps.push_back({b.kind, b.count});
    state = b.from;
  }
  std::vector<uint8_t> items;
  uint32_t p = 0, ref = 0;
  for (size_t i = steps.size(); i-- > 0;) {
    auto [kind, count] = steps[i];
    if (kind == kDelta) {
      uint32_t base = previous(p) != 0 ? previous(p) : ref;
      items.push_back(static_cast<uint8_t>((target[p] + 17 - base) % 17));
      ref = target[p];
    } else {
      uint32_t n = count;
      bool atEnd = p + count == total;
      uint8_t one = kind == kZeros ? kZeroRunOne : kRepeatOne;
      uint8_t two = kind == kZeros ? kZeroRunTwo : kRepeatTwo;
      if (atEnd) {
        uint32_t bestCost = DigitCost(n, cost[one], cost[two]);
        for (uint32_t m = count + 1; m <= 2 * maxRun + 2; ++m) {
          uint32_t c = DigitCost(m, cost[one], cost[two]);
          if (c < bestCost) {
            bestCost = c;
            n = m;
          }
        }
      }
      AppendBijectiveDigits(n, one, two, items);
      if (kind == kRepeats) {
        for (uint32_t q = p; q < p + count; ++q)
          if (previous(q) != 0) ref = previous(q);
      }
    }
    p += count;
  }
  return items;
}

void PrecodeFromItems(const std::vector<uint8_t>& items, uint8_t lengths[kPreCodeSymbols]) {
  uint64_t freq[kPreCodeSymbols] = {};
  for (uint8_t s : items) ++freq[s];
  BuildLengthLimitedLengths(freq, kPreCodeSymbols, kMaxCodeLength, lengths);
}

uint64_t ItemBits(const std::vector<uint8_t>& items, const uint8_t lengths[kPreCodeSymbols]) {
  uint64_t bits = PrecodeLengthsBits(lengths);
  for (uint8_t s : items) bits += lengths[s];
  return bits;
}

}  // namespace

void AppendBijectiveDigits(uint32_t n, uint8_t one, uint8_t two, std::vector<uint8_t>& out) {
  while (n > 0) {
    if (n & 1) {
      out.push_back(one);
      n = (n - 1) / 2;
    } else {
      out.push_back(two);
      n = (n - 2) / 2;
    }
  }
}

uint32_t PrecodeLengthsBits(const uint8_t lengths[kPreCodeSymbols]) {
  uint32_t items = 0;
  for (uint32_t i = 0; i < kPreCodeSymbols;) {
    if (lengths[i] != 0) {
      ++items;
      ++i;
      continue;
    }
    uint32_t run = 0;
    while (i < kPreCodeSymbols && lengths[i] == 0) ++run, ++i;
    for (; run > 0; run = (run - 1) / 2) ++items;  // one digit per halving, as AppendBijectiveDigits
  }
  return items * 5;
}

void WritePrecodeLengths(BitWriter& out, const uint8_t lengths[kPreCodeSymbols]) {
  for (uint32_t i = 0; i < kPreCodeSymbols;) {
    if (lengths[i] != 0) {
      out.Put(lengths[i] + 1u, 5);
      ++i;
      continue;
    }
    uint32_t run = 0;
    while (i < kPreCodeSymbols && lengths[i] == 0) ++run, ++i;
    std::vector<uint8_t> digits;
    AppendBijectiveDigits(run, 0, 1, digits);
    for (uint8_t d : digits) out.Put(d, 5);
  }
}

CodeLengthEncoding EncodeCodeLengths(const uint8_t* lengths, uint32_t setLength, uint32_t setCount) {
  uint32_t total = setLength * setCount;
  CodeLengthEncoding best;
  best.bits = std::numeric_limits<uint64_t>::max();
  uint32_t cost[kPreCodeSymbols];
  std::fill(cost, cost + kPreCodeSymbols, 5u);
  for (uint32_t iteration = 0; iteration < kIterations; ++iteration) {
    CodeLengthEncoding e;
    e.items = ShortestItems(lengths, setLength, total, cost);
    PrecodeFromItems(e.items, e.precodeLengths);
    e.bits = ItemBits(e.items, e.precodeLengths);
    bool improved = e.bits < best.bits;
    if (improved) best = e;
    if (!improved && iteration > 0) break;
    // Next round: this pre-code's lengths as costs; unused symbols stay possible at a premium.
    uint32_t longest = 1;
    for (uint32_t s = 0; s < kPreCodeSymbols; ++s) longest = std::max<uint32_t>(longest, e.precodeLengths[s]);
    for (uint32_t s = 0; s < kPreCodeSymbols; ++s)
      cost[s] = e.precodeLengths[s] != 0 ? e.precodeLengths[s] : longest + 2;
  }
  return best;
}

void WriteCodeLengths(BitWriter& out, const CodeLengthEncoding& encoding) {
  WritePrecodeLengths(out, encoding.precodeLengths);
  uint32_t codes[kPreCodeSymbols];
  AssignWriterCodes(encoding.precodeLengths, kPreCodeSymbols, codes);
  for (uint8_t s : encoding.items) out.Put(codes[s], encoding.precodeLengths[s]);
}

bool ExpandCodeLengthItems(const std::vector<uint8_t>& items, uint32_t setLength, uint32_t setCount,
                           std::vector<uint8_t>& lengths) {
  uint32_t total = setLength * setCount;
  lengths.assign(total, 0);
  uint32_t p = 0, ref = 0, z = 1, y = 1;
  for (uint8_t s : items) {
    if (p >= total) return false;  // the reader stops before this item
    if (s <= 16) {
      if (p >= setLength && lengths[p - setLength] != 0) ref = lengths[p - setLength];
      ref += s;
      if (ref > 16) ref -= 17;
      lengths[p++] = static_cast<uint8_t>(ref);
      z = y = 1;
    } else if (s <= 18) {
      uint32_t n = z << (s - 17);
      for (; n > 0 && p < total; --n) lengths[p++] = 0;
      z *= 2;
      y = 1;
    } else if (s <= 20) {
      uint32_t n = y << (s - 19);
      for (; n > 0 && p < total; --n) {
        if (p >= setLength && lengths[p - setLength] != 0) ref = lengths[p - setLength];
        lengths[p++] = static_cast<uint8_t>(ref);
      }
      y *= 2;
      z = 1;
    } else {
      return false;
    }
  }
  return p == total;
}

}  // namespace zor::encoder
