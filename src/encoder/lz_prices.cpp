// Prices for the optimal parser.
#include "encoder/lz_prices.h"

#include <algorithm>
#include <cmath>

namespace zor::encoder {

namespace {

constexpr uint32_t kDistanceOffset[3] = {288, 330, 344};

uint32_t ExtraBitsOfDistanceSymbol(uint32_t s) { return s >= 6 ? DistanceExtraBits(s) : 0; }

// Fills the derived entries (length table with extra bits, extra bits of explicit distances).
void Finish(const uint32_t* llSymbol, PriceSet& p) {
  for (uint32_t length = 0; length < kShortLengths; ++length) {
    if (length < kMinMatch) {
      p.length[length] = 0;
      continue;
    }
    SymbolExtra s = LengthSymbol(length);
    p.length[length] = llSymbol[s.symbol] + s.extraBits * kPriceScale;
  }
  p.longLength = llSymbol[286] + 15 * kPriceScale;
  p.deltaMark = llSymbol[kDeltaMarkSymbol] + 3 * kPriceScale;
  for (uint32_t a = 0; a < 3; ++a)
    for (uint32_t s = 0; s < 42; ++s) p.distance[a][s] += ExtraBitsOfDistanceSymbol(s) * kPriceScale;
}

void SharePrices(const uint32_t* counts, uint32_t n, uint32_t* prices, double floor) {
  double total = 0;
  for (uint32_t s = 0; s < n; ++s) total += counts[s] + floor;
  for (uint32_t s = 0; s < n; ++s) {
    double bits = std::log2(total / (counts[s] + floor));
    prices[s] = static_cast<uint32_t>(std::lround(std::min(bits, 24.0) * kPriceScale));
  }
}

}  // namespace

double XLog2X(uint32_t n) {
  static constexpr uint32_t kTable = 4096;
  static const std::vector<double> table = [] {
    std::vector<double> t(kTable);
    for (uint32_t i = 1; i < kTable; ++i) t[i] = i * std::log2(static_cast<double>(i));
    return t;
  }();
  return n < kTable ? table[n] : n * std::log2(static_cast<double>(n));
}

void SymbolCounts::Add(const SymbolCounts& other) {
  for (uint32_t s = 0; s < kLitLenSymbols; ++s) literalLength[s] += other.literalLength[s];
  for (uint32_t a = 0; a < 3; ++a)
    for (uint32_t s = 0; s < 42; ++s) distance[a][s] += other.distance[a][s];
}

void PricesFromCounts(const SymbolCounts& counts, PriceSet& prices) {
  uint32_t ll[kLitLenSymbols];
  SharePrices(counts.literalLength, kLitLenSymbols, ll, 0.4);
  for (uint32_t s = 0; s < 256; ++s) prices.literal[s] = ll[s];
  for (auto& alphabet : prices.distance) std::fill(alphabet, alphabet + 42, 30 * kPriceScale);
  for (uint32_t a = 0; a < 3; ++a) SharePrices(counts.distance[a], kDistanceSymbols[a], prices.distance[a], 0.4);
  Finish(ll, prices);
}

void PricesFromLengths(const uint8_t* lengths, uint32_t m, PriceSet& prices) {
  auto fill = [](const uint8_t* l, uint32_t n, uint32_t* out) {
    uint32_t longest = 0;
    for (uint32_t s = 0; s < n; ++s) longest = std::max<uint32_t>(longest, l[s]);
    for (uint32_t s = 0; s < n; ++s) out[s] = (l[s] != 0 ? l[s] : longest + 2) * kPriceScale;
  };
  uint32_t ll[kLitLenSymbols];
  fill(lengths, kLitLenSymbols, ll);
  for (uint32_t s = 0; s < 256; ++s) prices.literal[s] = ll[s];
  for (auto& alphabet : prices.distance) std::fill(alphabet, alphabet + 42, 30 * kPriceScale);
  for (uint32_t a = 0; a < 3; ++a) {
    if (a == 2 && m != 3) continue;
    fill(lengths + kDistanceOffset[a], kDistanceSymbols[a], prices.distance[a]);
  }
  Finish(ll, prices);
}

void InitialPrices(const uint8_t* bytes, uint32_t size, PriceSet& prices) {
  SymbolCounts c;
  for (uint32_t i = 0; i < size; ++i) c.literalLength[bytes[i]] += 4;
  // Matches: short lengths and near distances a little more likely than the rest.
  uint32_t matches = size / 4 + 1;
  for (uint32_t s = 257; s <= 286; ++s) c.literalLength[s] = matches / (s - 250);
  for (uint32_t a = 0; a < 3; ++a) {
    for (uint32_t s = 0; s < kDistanceSymbols[a]; ++s) c.distance[a][s] = s < 2 ? 8 : 4;
  }
  PricesFromCounts(c, prices);
}

void CountItems(const std::vector<LzItem>& items, uint32_t m, std::vector<SymbolCounts>& sets) {
  sets.assign(1, SymbolCounts());
  uint32_t recent0 = 0, recent1 = 0;
  for (const LzItem& it : items) {
    SymbolCounts& c = sets.back();
    switch (it.kind) {
      case LzItemKind::kLiteral:
        ++c.literalLength[it.value];
        break;
      case LzItemKind::kDeltaMark:
        ++c.literalLength[kDeltaMarkSymbol];
        break;
      case LzItemKind::kEndOfSet:
        ++c.literalLength[kEndOfSet];
        sets.emplace_back();
        break;
      case LzItemKind::kMatch: {
        ++c.literalLength[LengthSymbol(it.value).symbol];
        uint32_t d = it.distance;
        int32_t s = it.distanceSymbol;
        if (s < 0) s = d == recent0 ? 0 : d <= 4 ? static_cast<int32_t>(d + 1) : d == recent1 ? 1 : 6;
        if (s >= 6) s = static_cast<int32_t>(DistanceSymbolOf(d));
        ++c.distance[DistanceAlphabet(it.value, m)][s];
        if (s == 1) std::swap(recent0, recent1);
        if (s >= 6) {
          recent1 = recent0;
          recent0 = d;
        }
        break;
      }
    }
  }
}

}  // namespace zor::encoder
