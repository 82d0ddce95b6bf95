// Test-only bit packer for hand-built blocks: fields least significant bit first, canonical codes, the
// code-length transmission and block framing. Independent of the engine's decoders on purpose.
#pragma once

#include <cstdint>
#include <vector>

namespace zor::test {

class BitPacker {
 public:
  void Put(uint64_t value, uint32_t bits) {
    for (uint32_t i = 0; i < bits; ++i) PutBit((value >> i) & 1);
  }
  void PutBit(uint32_t bit) {
    if (bitCount_ % 8 == 0) bytes_.push_back(0);
    bytes_.back() |= static_cast<uint8_t>(bit << (bitCount_ % 8));
    ++bitCount_;
  }
  void Align() { bitCount_ = (bitCount_ + 7) & ~7ull; }
  void PutBytes(const std::vector<uint8_t>& b) {
    Align();
    bytes_.insert(bytes_.end(), b.begin(), b.end());
    bitCount_ += 8 * b.size();
  }
  uint64_t bitCount() const { return bitCount_; }
  std::vector<uint8_t>& bytes() { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  uint64_t bitCount_ = 0;
};

// A canonical prefix code from its lengths, emitted the way the decoder reads it (first bit = MSB of the
// canonical value).
struct TestCode {
  std::vector<uint8_t> lengths;
  std::vector<uint32_t> codes;  // canonical values, most significant bit first

  explicit TestCode(std::vector<uint8_t> l) : lengths(std::move(l)), codes(lengths.size()) {
    uint32_t count[17] = {}, next[17] = {};
    for (uint8_t len : lengths) ++count[len];
    count[0] = 0;
    uint32_t code = 0;
    for (int len = 1; len <= 16; ++len) next[len] = code = (code + count[len - 1]) << 1;
    for (size_t s = 0; s < lengths.size(); ++s)
      if (lengths[s]) codes[s] = next[lengths[s]]++;
  }
  void Put(BitPacker& p, uint32_t symbol) const {
    for (int i = lengths[symbol] - 1; i >= 0; --i) p.PutBit((codes[symbol] >> i) & 1);
  }
};

// The code-length transmission with a plain pre-code (all 21 symbols 5 bits long) and one delta symbol per
// length, following the decoder's reference rule; u sets of t lengths.
inline void PutCodeLengths(BitPacker& p, const std::vector<uint8_t>& all, uint32_t t) {
  std::vector<uint8_t> pre(21, 5);
  for (int i = 0; i < 21; ++i) p.Put(6, 5);  // v = length + 1
  TestCode preCode(pre);
  uint32_t ref = 0;
  for (size_t i = 0; i < all.size(); ++i) {
    if (i >= t && all[i - t] != 0) ref = all[i - t];
    uint32_t s = (all[i] + 17 - ref) % 17;
    preCode.Put(p, s);
    ref = all[i];
  }
}

// Block framing: the 45-bit header with packedSize patched in by Finish().
class BlockBuilder : public BitPacker {
 public:
  BlockBuilder(uint32_t type, bool last, uint32_t size) {
    Put(type, 4);
    Put(last ? 1 : 0, 1);
    Put(size, 20);
    Put(0, 20);
  }
  // Pads to a byte boundary (plus `extra` zero bytes) and writes packedSize.
  std::vector<uint8_t> Finish(uint32_t extra = 0) {
    Align();
    for (uint32_t i = 0; i < extra; ++i) Put(0, 8);
    return Patched(static_cast<uint32_t>(bytes().size()));
  }
  std::vector<uint8_t> Patched(uint32_t packedSize) {
    std::vector<uint8_t> b = bytes();
    while (b.size() < 6) b.push_back(0);
    uint64_t v = 0;
    for (int i = 0; i < 6; ++i) v |= static_cast<uint64_t>(b[i]) << (8 * i);
    v = (v & ~(0xFFFFFull << 25)) | (static_cast<uint64_t>(packedSize & 0xFFFFF) << 25);
    for (int i = 0; i < 6; ++i) b[i] = static_cast<uint8_t>(v >> (8 * i));
    return b;
  }
};

// The literal/length and distance codes of one LZ table set, for emitting symbols.
struct LzCodes {
  TestCode litLen, dist0, dist1, dist2;
  explicit LzCodes(const std::vector<uint8_t>& set)
      : litLen({set.begin(), set.begin() + 288}),
        dist0({set.begin() + 288, set.begin() + 330}),
        dist1({set.begin() + 330, set.begin() + 344}),
        dist2(set.size() >= 372 ? std::vector<uint8_t>(set.begin() + 344, set.begin() + 372)
                                : std::vector<uint8_t>(28, 0)) {}
};

// The built-in LZ lengths (u = 0) for an output ending at `reach`.
inline std::vector<uint8_t> FixedLzLengths(int32_t reach) {
  std::vector<uint8_t> l(344);
  for (int s = 0; s < 288; ++s) l[s] = s < 244 ? 8 : s < 256 ? 9 : s == 256 ? 0 : s < 261 ? 9 : s < 266 ? 10 : 11;
  for (int s = 0; s < 42; ++s)
    l[288 + s] = reach > 8192 ? (s < 22 ? 5 : 6) : (s < 4 ? 4 : s < 28 ? 5 : 0);
  for (int s = 0; s < 14; ++s) l[330 + s] = s < 2 ? 3 : 4;
  return l;
}

// A length list in which every symbol of [0, n) has a code of the same small length, others none: a
// simple complete or incomplete code for tests that only need "some" code.
inline std::vector<uint8_t> FlatLengths(uint32_t size, uint32_t n, uint8_t length) {
  std::vector<uint8_t> l(size, 0);
  for (uint32_t i = 0; i < n; ++i) l[i] = length;
  return l;
}

// An LZ block under construction: header, history-size code, m and u, the table sets, then symbols coded
// with the set chosen by UseSet().
class LzBlockWriter : public BlockBuilder {
 public:
  // `sets` empty means u = 0 (built-in lengths for an output ending at `reach`).
  LzBlockWriter(uint32_t size, bool last, uint32_t m, const std::vector<std::vector<uint8_t>>& sets,
                uint32_t historyCode = 0, int32_t reach = -1, uint32_t type = 1)
      : BlockBuilder(type, last, size), m_(m) {
    Put(historyCode, 5);
    Put(m, 2);
    Put(sets.size(), 6);
    std::vector<uint8_t> all;
    for (const auto& s : sets) all.insert(all.end(), s.begin(), s.end());
    if (!sets.empty()) PutCodeLengths(*this, all, static_cast<uint32_t>(sets[0].size()));
    if (sets.empty()) sets_.emplace_back(FixedLzLengths(reach < 0 ? static_cast<int32_t>(size) : reach));
    for (const auto& s : sets) sets_.emplace_back(s);
    UseSet(0);
  }
  void UseSet(size_t i) { current_ = i; }
  void Lit(uint32_t b) { sets_[current_].litLen.Put(*this, b); }
  void EndOfSet() { sets_[current_].litLen.Put(*this, 256); }
  void Mark(uint32_t d) {
    sets_[current_].litLen.Put(*this, 287);
    Put(d, 3);
  }
  // The length's symbol and extra bits; then the distance alphabet the decoder will use for it.
  uint32_t Length(uint32_t len) {
    const LzCodes& c = sets_[current_];
    if (len <= 10) {
      c.litLen.Put(*this, 255 + len);
    } else if (len <= 258) {
      uint32_t i = 19;
      while (LengthBase(i) > len) --i;
      c.litLen.Put(*this, 266 + i);
      Put(len - LengthBase(i), i / 4 + 1);
    } else {
      c.litLen.Put(*this, 286);
      Put(len - 259, 15);
    }
    return len == 2 ? 1 : (len == 3 && m_ == 3) ? 2 : 0;
  }
  void DistanceSymbol(uint32_t alphabet, uint32_t sym) {
    const LzCodes& c = sets_[current_];
    (alphabet == 0 ? c.dist0 : alphabet == 1 ? c.dist1 : c.dist2).Put(*this, sym);
  }
  // A match with an explicit distance symbol (0..5) or a new distance (>= 5, symbols 6..41).
  void MatchSymbol(uint32_t len, uint32_t distSym) { DistanceSymbol(Length(len), distSym); }
  // Distances 1..4 go as symbols 2..5, which leave the recent distances alone.
  void Match(uint32_t len, uint32_t distance) {
    uint32_t a = Length(len);
    if (distance <= 4) return DistanceSymbol(a, distance + 1);
    uint32_t s = 6;
    while (s < 41 && DistanceBase(s + 1) <= distance) ++s;
    DistanceSymbol(a, s);
    Put(distance - DistanceBase(s), (s - 6) / 2 + 1);
  }
  static uint32_t LengthBase(uint32_t i) { return ((4 + (i & 3)) << (i / 4 + 1)) + 3; }
  static uint32_t DistanceBase(uint32_t s) {
    uint32_t k = (s - 6) / 2;
    return (s & 1) ? 3u * (1u << (k + 1)) + 1 : (1u << (k + 2)) + 1;
  }

 private:
  uint32_t m_;
  std::vector<LzCodes> sets_;
  size_t current_ = 0;
};

}  // namespace zor::test
