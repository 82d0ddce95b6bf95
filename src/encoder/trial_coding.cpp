// Quick trial codings: a greedy parse with one candidate per position (the last position with the
// same four bytes, or the last distance), costed with the code lengths its symbol counts give.
#include "encoder/trial_coding.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "encoder/huffman_builder.h"
#include "encoder/lz_prices.h"
#include "encoder/match_finder.h"
#include "platform/bytes.h"

namespace zor::encoder {

namespace {

constexpr uint32_t kHashBits = 16;

struct Trial {
  uint32_t offset;  // where the item starts
  uint16_t symbol;  // literal/length symbol
  uint8_t extra;    // its extra bits
  int8_t distanceSymbol;
  uint8_t distanceExtra;
};

}  // namespace

std::vector<uint64_t> QuickStretchBits(const uint8_t* window, uint32_t size, const std::vector<DeltaMarkSpec>& marks,
                                       const std::vector<uint32_t>& stretches) {
  std::vector<uint32_t> head(size_t{1} << kHashBits, 0);
  std::vector<Trial> trials;
  trials.reserve(size / 3 + 16);
  uint32_t rep0 = 0, rep1 = 0;
  size_t mark = 0;
  for (uint32_t p = 0; p < size;) {
    while (mark < marks.size() && marks[mark].offset <= p) {
      if (marks[mark].offset == p) trials.push_back({p, static_cast<uint16_t>(kDeltaMarkSymbol), 3, -1, 0});
      ++mark;
    }
    const uint32_t limit = std::min(mark < marks.size() ? marks[mark].offset : size, p + kMaxMatch);
    uint32_t length = 0, distance = 0;
    if (p + 4 <= size) {
      uint32_t h = (LoadLE32(window + p) * 2654435761u) >> (32 - kHashBits);
      uint32_t candidate = head[h];
      head[h] = p + 1;
      if (rep0 != 0 && rep0 <= p) {
        length = CommonLength(window + p, window + p - rep0, limit - p);
        distance = rep0;
      }
      if (candidate != 0 && p + 1 - candidate <= kMaxDistance) {
        uint32_t d = p + 1 - candidate;
        uint32_t n = CommonLength(window + p, window + p - d, limit - p);
        if (n > length + 1) length = n, distance = d;
      }
    }
    if (length < 4) {
      trials.push_back({p, window[p], 0, -1, 0});
      ++p;
      continue;
    }
    SymbolExtra ls = LengthSymbol(length);
    Trial t = {p, static_cast<uint16_t>(ls.symbol), static_cast<uint8_t>(ls.extraBits), 0, 0};
    if (distance == rep0) {
      t.distanceSymbol = 0;
    } else if (distance <= 4) {
      t.distanceSymbol = static_cast<int8_t>(distance + 1);
    } else if (distance == rep1) {
      t.distanceSymbol = 1;
      std::swap(rep0, rep1);
    } else {
      t.distanceSymbol = static_cast<int8_t>(DistanceSymbolOf(distance));
      t.distanceExtra = static_cast<uint8_t>(DistanceExtraBits(t.distanceSymbol));
      rep1 = rep0;
      rep0 = distance;
    }
    trials.push_back(t);
    for (uint32_t k = 1; k < length && p + k + 4 <= size; ++k)
      head[(LoadLE32(window + p + k) * 2654435761u) >> (32 - kHashBits)] = p + k + 1;
    p += length;
  }

  // Code lengths for the counts, then each item's bits by stretch.
  uint64_t literalLength[kLitLenSymbols] = {}, distances[42] = {};
  for (const Trial& t : trials) {
    ++literalLength[t.symbol];
    if (t.distanceSymbol >= 0) ++distances[t.distanceSymbol];
  }
  uint8_t llLengths[kLitLenSymbols], distanceLengths[42];
  BuildLengthLimitedLengths(literalLength, kLitLenSymbols, kMaxCodeLength, llLengths);
  BuildLengthLimitedLengths(distances, 42, kMaxCodeLength, distanceLengths);
  std::vector<uint64_t> bits(stretches.size() + 1, 0);
  size_t stretch = 0;
  for (const Trial& t : trials) {
    while (stretch < stretches.size() && stretches[stretch] <= t.offset) ++stretch;
    uint64_t b = llLengths[t.symbol] + t.extra;
    if (t.distanceSymbol >= 0) b += distanceLengths[t.distanceSymbol] + t.distanceExtra;
    bits[stretch] += b;
  }
  bits[0] += 300;  // about what the code lengths take
  return bits;
}

uint64_t QuickLzBits(const uint8_t* bytes, uint32_t size) { return QuickStretchBits(bytes, size, {}, {})[0]; }

}  // namespace zor::encoder
