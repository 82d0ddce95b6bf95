// Quick trial codings.
#include "encoder/trial_coding.h"

#include <cstddef>

#include "encoder/block_writer.h"
#include "encoder/lz_items.h"

namespace zor::encoder {

namespace {

constexpr uint32_t kDistanceOffset[3] = {288, 330, 344};

}  // namespace

std::vector<uint64_t> QuickStretchBits(const uint8_t* window, uint32_t size, const std::vector<DeltaMarkSpec>& marks,
                                       const std::vector<uint32_t>& stretches) {
  ParseOptions options;
  options.maxChain = 8;
  options.lazy = false;
  HashChainParser parser(options);
  std::vector<uint32_t> barriers;
  for (const DeltaMarkSpec& m : marks) barriers.push_back(m.offset);
  std::vector<LzItem> items;
  parser.Parse(window, 0, size, barriers, items);
  InsertDeltaMarks(items, marks);
  std::vector<LzSymbol> symbols;
  LzBlockCoding coding;
  std::vector<uint64_t> bits(stretches.size() + 1, 0);
  if (ResolveLzItems(items, symbols) != EncodeStatus::kOk ||
      PlanLzBlock(symbols, size, LzBlockOptions(), coding) != EncodeStatus::kOk) {
    bits.assign(bits.size(), UINT64_MAX / 4);
    return bits;
  }
  const uint8_t* lengths = coding.lengths.data();
  uint32_t offset = 0;
  size_t stretch = 0;
  for (size_t i = 0; i < items.size(); ++i) {
    while (stretch < stretches.size() && stretches[stretch] <= offset) ++stretch;
    const LzSymbol& s = coding.symbols[i];
    uint64_t b = lengths[s.symbol] + s.extraBits;
    if (s.symbol >= 257 && s.symbol <= 286)
      b += lengths[kDistanceOffset[DistanceAlphabet(s.length, coding.m)] + s.distanceSymbol] + s.distanceExtraBits;
    bits[stretch] += b;
    if (items[i].kind == LzItemKind::kLiteral) offset += 1;
    if (items[i].kind == LzItemKind::kMatch) offset += items[i].value;
  }
  return bits;
}


uint64_t QuickLzBits(const uint8_t* bytes, uint32_t size) {
  std::vector<uint64_t> bits = QuickStretchBits(bytes, size, {}, {});
  return bits[0];
}

}  // namespace zor::encoder
