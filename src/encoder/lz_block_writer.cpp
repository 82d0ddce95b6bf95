// LZ blocks: distance-symbol resolution, the choice of m and of the tables, and the bit writer.
#include <algorithm>
#include <limits>

#include "encoder/block_writer.h"
#include "encoder/huffman_builder.h"

namespace zor::encoder {

namespace {

constexpr uint32_t kDistanceOffset[3] = {288, 330, 344};

uint32_t SetLength(uint32_t m) { return m == 3 ? kSetLengthLarge : kSetLengthSmall; }

// Which of m = 1, 2, 3 can code these symbols.
bool MCanCode(const std::vector<LzSymbol>& symbols, uint32_t m) {
  for (const LzSymbol& s : symbols) {
    if (s.symbol < 257 || s.symbol > 286) continue;
    if (s.length == 2 && m == 1) return false;
    uint32_t alphabet = DistanceAlphabet(s.length, m);
    if (s.distanceSymbol >= kDistanceSymbols[alphabet]) return false;
  }
  return true;
}

struct SetCodes {
  uint32_t codes[kSetLengthLarge];
};

// Bits of the symbols under the lengths of each set (which must code them all), extras included.
uint64_t SymbolBits(const std::vector<LzSymbol>& symbols, const std::vector<uint8_t>& lengths, uint32_t m,
                    uint32_t t) {
  uint64_t bits = 0;
  uint32_t base = 0;
  for (const LzSymbol& s : symbols) {
    bits += lengths[base + s.symbol] + s.extraBits;
    if (s.symbol >= 257 && s.symbol <= 286) {
      uint32_t alphabet = DistanceAlphabet(s.length, m);
      bits += lengths[base + kDistanceOffset[alphabet] + s.distanceSymbol] + s.distanceExtraBits;
    }
    if (s.symbol == kEndOfSet) base += t;
  }
  return bits;
}

// Whether every sent symbol has a code in its set.
bool LengthsCode(const std::vector<LzSymbol>& symbols, const std::vector<uint8_t>& lengths, uint32_t m,
                 uint32_t t) {
  uint32_t base = 0;
  for (const LzSymbol& s : symbols) {
    if (base + t > lengths.size() || lengths[base + s.symbol] == 0) return false;
    if (s.symbol >= 257 && s.symbol <= 286) {
      uint32_t alphabet = DistanceAlphabet(s.length, m);
      if (lengths[base + kDistanceOffset[alphabet] + s.distanceSymbol] == 0) return false;
    }
    if (s.symbol == kEndOfSet) base += t;
  }
  return true;
}

void DynamicLengths(const std::vector<LzSymbol>& symbols, uint32_t m, uint32_t sets, std::vector<uint8_t>& lengths) {
  uint32_t t = SetLength(m);
  lengths.assign(static_cast<size_t>(sets) * t, 0);
  std::vector<uint64_t> freq(static_cast<size_t>(sets) * t, 0);
  uint32_t base = 0;
  for (const LzSymbol& s : symbols) {
    ++freq[base + s.symbol];
    if (s.symbol >= 257 && s.symbol <= 286)
      ++freq[base + kDistanceOffset[DistanceAlphabet(s.length, m)] + s.distanceSymbol];
    if (s.symbol == kEndOfSet) base += t;
  }
  for (uint32_t k = 0; k < sets; ++k) {
    uint32_t b = k * t;
    BuildLengthLimitedLengths(&freq[b], kLitLenSymbols, kMaxCodeLength, &lengths[b]);
    for (uint32_t a = 0; a < (m == 3 ? 3u : 2u); ++a) {
      BuildLengthLimitedLengths(&freq[b + kDistanceOffset[a]], kDistanceSymbols[a], kMaxCodeLength,
                                &lengths[b + kDistanceOffset[a]]);
    }
  }
}

}  // namespace

void BuiltInLengths(uint32_t reach, uint8_t lengths[kSetLengthSmall]) {
  for (uint32_t s = 0; s < 288; ++s) {
    uint8_t l = s <= 243 ? 8 : s <= 255 ? 9 : s == 256 ? 0 : s <= 260 ? 9 : s <= 265 ? 10 : 11;
    lengths[s] = l;
  }
  bool far = static_cast<int32_t>(reach) > 8192;
  for (uint32_t s = 0; s < 42; ++s) {
    lengths[288 + s] = far ? (s <= 21 ? 5 : 6) : (s <= 3 ? 4 : s <= 27 ? 5 : 0);
  }
  for (uint32_t s = 0; s < 14; ++s) lengths[330 + s] = s <= 1 ? 3 : 4;
}

EncodeStatus ResolveLzItems(const std::vector<LzItem>& items, std::vector<LzSymbol>& symbols) {
  symbols.clear();
  symbols.reserve(items.size());
  uint32_t recent0 = 0, recent1 = 0;
  for (const LzItem& it : items) {
    LzSymbol s = {};
    switch (it.kind) {
      case LzItemKind::kLiteral:
        if (it.value > 255) return EncodeStatus::kInvalidItems;
        s.symbol = static_cast<uint16_t>(it.value);
        break;
      case LzItemKind::kEndOfSet:
        s.symbol = kEndOfSet;
        break;
      case LzItemKind::kDeltaMark:
        if (it.value > 7) return EncodeStatus::kInvalidItems;
        s.symbol = kDeltaMarkSymbol;
        s.extraBits = 3;
        s.extra = it.value;
        break;
      case LzItemKind::kMatch: {
        if (it.value < kMinMatch || it.value > kMaxMatch) return EncodeStatus::kInvalidItems;
        SymbolExtra len = LengthSymbol(it.value);
        s.symbol = static_cast<uint16_t>(len.symbol);
        s.extraBits = static_cast<uint8_t>(len.extraBits);
        s.extra = len.extraValue;
        s.length = it.value;
        int32_t forced = it.distanceSymbol;
        uint32_t d = it.distance;
        if (forced < 0) {
          if (d == 0 || d > kMaxDistance) return EncodeStatus::kInvalidItems;
          forced = (d == recent0) ? 0 : (d <= 4) ? static_cast<int32_t>(d + 1) : (d == recent1) ? 1 : 6;
        }
        if (forced == 0) {
          s.distanceSymbol = 0;
        } else if (forced == 1) {
          std::swap(recent0, recent1);
          s.distanceSymbol = 1;
        } else if (forced <= 5) {
          if (d != static_cast<uint32_t>(forced - 1)) return EncodeStatus::kInvalidItems;
          s.distanceSymbol = static_cast<uint8_t>(forced);
        } else {
          if (d < 5 || d > kMaxDistance) return EncodeStatus::kInvalidItems;
          SymbolExtra e = ExplicitDistanceSymbol(d);
          if (it.distanceSymbol >= 0 && e.symbol != static_cast<uint32_t>(forced))
            return EncodeStatus::kInvalidItems;
          s.distanceSymbol = static_cast<uint8_t>(e.symbol);
          s.distanceExtraBits = static_cast<uint8_t>(e.extraBits);
          s.distanceExtra = e.extraValue;
          recent1 = recent0;
          recent0 = d;
        }
        break;
      }
    }
    symbols.push_back(s);
  }
  return EncodeStatus::kOk;
}

EncodeStatus PlanLzBlock(std::vector<LzSymbol> symbols, uint32_t reach, const LzBlockOptions& options,
                         LzBlockCoding& coding) {
  uint32_t sets = 1;
  for (const LzSymbol& s : symbols) sets += s.symbol == kEndOfSet;
  if (sets > kMaxTableSets) return EncodeStatus::kInvalidItems;
  bool hasLength2 = false;
  for (const LzSymbol& s : symbols) hasLength2 |= (s.symbol == 257);

  std::vector<uint32_t> candidates;
  if (options.distanceAlphabets != 0) {
    candidates.push_back(options.distanceAlphabets);
  } else {
    candidates.push_back(hasLength2 ? 2 : 1);
    candidates.push_back(3);
  }

  uint64_t bestBits = std::numeric_limits<uint64_t>::max();
  LzBlockCoding best;
  for (uint32_t m : candidates) {
    if (m < 1 || m > 3 || !MCanCode(symbols, m)) continue;
    // Built-in lengths: one set, no distance alphabet 2, and only the distances they can code.
    if (options.tables != TableChoice::kDynamic && sets == 1 && m <= 2) {
      LzBlockCoding c;
      c.m = m;
      c.tableSets = 0;
      c.lengths.resize(kSetLengthSmall);
      BuiltInLengths(reach, c.lengths.data());
      if (LengthsCode(symbols, c.lengths, m, kSetLengthSmall)) {
        uint64_t bits = 13 + SymbolBits(symbols, c.lengths, m, kSetLengthSmall);
        if (bits < bestBits) {
          bestBits = bits;
          best = std::move(c);
        }
      }
    }
    if (options.tables != TableChoice::kBuiltIn) {
      LzBlockCoding c;
      c.m = m;
      c.tableSets = sets;
      DynamicLengths(symbols, m, sets, c.lengths);
      c.lengthEncoding = EncodeCodeLengths(c.lengths.data(), SetLength(m), sets);
      uint64_t bits = 13 + c.lengthEncoding.bits + SymbolBits(symbols, c.lengths, m, SetLength(m));
      if (bits < bestBits) {
        bestBits = bits;
        best = std::move(c);
      }
    }
  }
  if (bestBits == std::numeric_limits<uint64_t>::max()) return EncodeStatus::kInvalidItems;
  best.historyCode = coding.historyCode;
  best.symbols = std::move(symbols);
  coding = std::move(best);
  return EncodeStatus::kOk;
}

uint64_t LzBlockBits(const LzBlockCoding& coding) {
  uint32_t t = coding.tableSets == 0 ? kSetLengthSmall : SetLength(coding.m);
  uint64_t bits = 13 + (coding.tableSets > 0 ? coding.lengthEncoding.bits : 0);
  return bits + SymbolBits(coding.symbols, coding.lengths, coding.m, t);
}

std::vector<uint8_t> WriteLzBlock(const LzBlockCoding& coding, uint32_t type, bool last, uint32_t size) {
  BitWriter out;
  WriteBlockHeader(out, type, last, size);
  out.Put(coding.historyCode, 5);
  out.Put(coding.m, 2);
  out.Put(coding.tableSets, 6);
  if (coding.tableSets > 0) WriteCodeLengths(out, coding.lengthEncoding);

  uint32_t t = coding.tableSets == 0 ? kSetLengthSmall : SetLength(coding.m);
  uint32_t sets = std::max<uint32_t>(1, coding.tableSets);
  std::vector<uint32_t> codes(static_cast<size_t>(sets) * t, 0);
  for (uint32_t k = 0; k < sets && (k + 1) * t <= coding.lengths.size(); ++k) {
    const uint8_t* l = &coding.lengths[k * t];
    uint32_t* c = &codes[k * t];
    AssignWriterCodes(l, kLitLenSymbols, c);
    for (uint32_t a = 0; a < 3; ++a) {
      if (kDistanceOffset[a] + kDistanceSymbols[a] > t) continue;
      AssignWriterCodes(l + kDistanceOffset[a], kDistanceSymbols[a], c + kDistanceOffset[a]);
    }
  }
  uint32_t base = 0;
  for (const LzSymbol& s : coding.symbols) {
    if (base + t > codes.size()) break;  // more set ends than sets: a hand-made damaged block
    out.Put(codes[base + s.symbol], coding.lengths[base + s.symbol]);
    out.Put(s.extra, s.extraBits);
    if (s.symbol >= 257 && s.symbol <= 286) {
      uint32_t i = base + kDistanceOffset[DistanceAlphabet(s.length, coding.m)] + s.distanceSymbol;
      if (i < codes.size()) out.Put(codes[i], coding.lengths[i]);
      out.Put(s.distanceExtra, s.distanceExtraBits);
    }
    if (s.symbol == kEndOfSet) base += t;
  }
  FinishBlock(out);
  return out.Take();
}

}  // namespace zor::encoder
