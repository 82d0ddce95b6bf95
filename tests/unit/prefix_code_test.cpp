// Prefix-code tables against the format's primary-table-and-tree model, the node-pool limit
// for incomplete codes, and the code-length transmission.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "decoder/huffman.h"
#include "support/bit_packer.h"
#include "support/decoder_fixture.h"

namespace zor {
namespace {

using test::BitPacker;
using test::DecoderFixture;

constexpr int32_t kEmpty = -288;

// The table model: `lookupBits` primary entries, then a tree of count-1 numbered nodes walked one
// bit at a time; symbols whose insertion would need node `count` and all later ones are left out.
struct ModelTable {
  std::vector<int32_t> primary, tree;
  std::vector<uint8_t> lengths;
  uint32_t lookupBits;
  bool poolRanOut = false;

  ModelTable(const std::vector<uint8_t>& l, uint32_t lb) : lengths(l), lookupBits(lb) {
    uint32_t n = static_cast<uint32_t>(l.size());
    primary.assign(1u << lb, kEmpty);
    tree.assign(2 * n, kEmpty);
    std::vector<uint32_t> codes(n);
    AssignCanonicalCodes(l.data(), n, codes.data());
    int32_t next = 1;
    for (uint32_t s = 0; s < n; ++s) {
      uint32_t len = l[s];
      if (len == 0) continue;
      uint32_t q = codes[s];
      if (len <= lb) {
        for (uint32_t j = q; j < (1u << lb); j += 1u << len) primary[j] = static_cast<int32_t>(s);
        continue;
      }
      // Primary entries refer to node k as -k, tree slots as k.
      int32_t* slot = &primary[q & ((1u << lb) - 1)];
      int32_t sign = -1;
      uint32_t r = q >> lb;
      bool full = false;
      for (uint32_t level = lb; level < len; ++level) {
        if (*slot == kEmpty) {
          if (next == static_cast<int32_t>(n)) {
            full = true;
            break;
          }
          *slot = sign * next++;
        }
        int32_t k = sign * *slot;
        slot = &tree[2 * k + (r & 1)];
        sign = 1;
        r >>= 1;
      }
      if (full) {
        poolRanOut = true;
        break;
      }
      *slot = -static_cast<int32_t>(s);
    }
  }
  // Symbol and length, or -1 for an invalid code.
  std::pair<int32_t, uint32_t> Decode(uint32_t v) const {
    int32_t e = primary[v & ((1u << lookupBits) - 1)];
    if (e >= 0) return {e, lengths[e]};
    if (e == kEmpty) return {-1, 0};
    int32_t k = -e;
    v >>= lookupBits;
    for (;;) {
      e = tree[2 * k + (v & 1)];
      v >>= 1;
      if (e > 0) {
        k = e;
        continue;
      }
      break;
    }
    if (e == kEmpty) return {-1, 0};
    return {-e, lengths[-e]};
  }
};

uint64_t Kraft(const std::vector<uint8_t>& l) {
  uint64_t k = 0;
  for (uint8_t len : l)
    if (len) k += 1u << (16 - len);
  return k;
}

// Random length lists, many of them incomplete with long codes (where the node pool runs out).
std::vector<uint8_t> RandomLengths(std::mt19937& rng, uint32_t n) {
  for (;;) {
    std::vector<uint8_t> l(n, 0);
    uint32_t mode = rng() % 4;
    uint32_t skip = 2 + rng() % 4;
    for (uint32_t s = 0; s < n; ++s) {
      if (rng() % skip == 0) continue;
      l[s] = static_cast<uint8_t>(mode == 0 ? 1 + rng() % 16 : mode == 1 ? 10 + rng() % 7
                                  : mode == 2 ? 13 + rng() % 4 : 4 + rng() % 6);
    }
    if (Kraft(l) <= 65536) return l;
  }
}

// Returns whether the model ran out of tree nodes.
bool ExpectSameDecoding(const std::vector<uint8_t>& l, uint32_t lookupBits, uint32_t tableBits) {
  uint32_t n = static_cast<uint32_t>(l.size());
  std::vector<uint32_t> entries(TableSize(n, tableBits));
  EXPECT_EQ(BuildHuffmanTable({entries.data(), tableBits}, l.data(), n, lookupBits, nullptr), 0);
  ModelTable ref(l, lookupBits);
  for (uint32_t v = 0; v < 65536; ++v) {
    uint32_t e = LookUpEntry(entries.data(), tableBits, v);
    auto [sym, len] = ref.Decode(v);
    if (sym < 0) {
      EXPECT_TRUE(e & kEntryInvalid) << "bits " << v << " should be invalid";
    } else {
      EXPECT_FALSE(e & kEntryInvalid) << "bits " << v;
      EXPECT_EQ(e >> 16, static_cast<uint32_t>(sym)) << "bits " << v;
      EXPECT_EQ(e & kEntryBitsMask, len) << "bits " << v;
    }
    if (testing::Test::HasFailure()) break;
  }
  return ref.poolRanOut;
}

TEST(CanonicalCodes, RfcExampleBitReversed) {
  // RFC 1951 3.2.2: A..H with lengths 3,3,3,3,3,2,4,4 get 010,011,100,101,110,00,1110,1111.
  const uint8_t l[] = {3, 3, 3, 3, 3, 2, 4, 4};
  uint32_t codes[8];
  AssignCanonicalCodes(l, 8, codes);
  const uint32_t msbFirst[] = {2, 3, 4, 5, 6, 0, 14, 15};
  for (int s = 0; s < 8; ++s) {
    uint32_t reversed = 0;
    for (int i = 0; i < l[s]; ++i) reversed |= ((msbFirst[s] >> i) & 1) << (l[s] - 1 - i);
    EXPECT_EQ(codes[s], reversed) << s;
  }
}

TEST(DecodeTables, SameAsReferenceForRandomCompleteAndIncompleteCodes) {
  std::mt19937 rng(12345);
  struct Alphabet {
    uint32_t n, lookupBits, tableBits;
  } alphabets[] = {{21, kPreCodeLookupBits, kPreCodeTableBits},
                   {42, kDistanceLookupBits, kDistanceTableBits},
                   {14, kDistanceLookupBits, kDistanceTableBits},
                   {28, kDistanceLookupBits, kDistanceTableBits},
                   {258, kSortedLookupBits, kSortedTableBits},
                   {288, kLitLenLookupBits, kLitLenTableBits}};
  for (const Alphabet& a : alphabets) {
    int poolRanOut = 0;
    for (int round = 0; round < 60; ++round) {
      // Round 0: one 15-bit code, then only 16-bit ones: the surest way through a large alphabet's pool.
      std::vector<uint8_t> l = RandomLengths(rng, a.n);
      if (round == 0) {
        l.assign(a.n, 16);
        l[0] = 15;
      }
      SCOPED_TRACE(testing::Message() << "alphabet " << a.n << " round " << round);
      poolRanOut += ExpectSameDecoding(l, a.lookupBits, a.tableBits);
      if (HasFailure()) return;
    }
    EXPECT_GT(poolRanOut, 0) << "alphabet " << a.n << " never reached the node-pool limit";
  }
}

TEST(DecodeTables, NodePoolRunsOutAndLeavesLaterSymbolsWithoutCodes) {
  // 15 codes of length 16 behind one 3-bit code, in a 21-symbol alphabet: the model's tree needs node 21
  // for symbol 14 (bottom bits 1110), so symbols 14..20 - also the short symbol 15 - decode as invalid.
  std::vector<uint8_t> l(21, 0);
  for (int s = 0; s < 15; ++s) l[s] = 16;
  l[15] = 3;
  std::vector<uint32_t> entries(TableSize(21, kPreCodeTableBits));
  ASSERT_EQ(BuildHuffmanTable({entries.data(), kPreCodeTableBits}, l.data(), 21, kPreCodeLookupBits, nullptr), 0);
  uint32_t codes[21];
  AssignCanonicalCodes(l.data(), 21, codes);
  for (int s = 0; s < 14; ++s) {
    uint32_t e = LookUpEntry(entries.data(), kPreCodeTableBits, codes[s]);
    EXPECT_EQ(e >> 16, static_cast<uint32_t>(s));
  }
  EXPECT_TRUE(LookUpEntry(entries.data(), kPreCodeTableBits, codes[14]) & kEntryInvalid);
  EXPECT_TRUE(LookUpEntry(entries.data(), kPreCodeTableBits, codes[15]) & kEntryInvalid);
  EXPECT_TRUE(ExpectSameDecoding(l, kPreCodeLookupBits, kPreCodeTableBits));
  // One symbol fewer fits the pool exactly.
  l[14] = 0;
  ASSERT_EQ(BuildHuffmanTable({entries.data(), kPreCodeTableBits}, l.data(), 21, kPreCodeLookupBits, nullptr), 0);
  AssignCanonicalCodes(l.data(), 21, codes);
  EXPECT_EQ(LookUpEntry(entries.data(), kPreCodeTableBits, codes[15]) >> 16, 15u);
}

TEST(DecodeTables, EdgeCasesOfTheLengthList) {
  std::vector<uint32_t> entries(TableSize(288, kLitLenTableBits));
  const HuffmanTable t{entries.data(), kLitLenTableBits};
  std::vector<uint8_t> l(288, 0);
  ASSERT_EQ(BuildHuffmanTable(t, l.data(), 288, 9, nullptr), 0);  // no codes at all: everything invalid
  for (uint32_t v = 0; v < 2048; ++v) ASSERT_TRUE(LookUpEntry(entries.data(), 11, v) & kEntryInvalid);
  l[77] = 1;  // a single 1-bit code: half the patterns
  ASSERT_EQ(BuildHuffmanTable(t, l.data(), 288, 9, nullptr), 0);
  EXPECT_EQ(LookUpEntry(entries.data(), 11, 0) >> 16, 77u);
  EXPECT_TRUE(LookUpEntry(entries.data(), 11, 1) & kEntryInvalid);
  l[78] = 1;
  l[79] = 1;  // over-subscribed
  EXPECT_EQ(BuildHuffmanTable(t, l.data(), 288, 9, nullptr), kErrorDamaged);
  // A complete code with a 16-bit code: the longest path through a subtable.
  std::vector<uint8_t> c(288, 0);
  for (int s = 0; s < 15; ++s) c[s] = static_cast<uint8_t>(s + 1);
  c[15] = 16;
  c[16] = 16;
  ASSERT_EQ(Kraft(c), 65536u);
  EXPECT_FALSE(ExpectSameDecoding(c, kLitLenLookupBits, kLitLenTableBits));
}

// The reader over hand-packed bits, as the only bytes of a block.
void LoadBits(DecoderFixture& f, BitPacker& p) {
  BitReader& r = f.d().bitReader;
  std::vector<uint8_t>& b = p.bytes();
  std::memcpy(r.buffer, b.data(), b.size());
  r.cursor = r.buffer;
  r.bitOffset = 0;
  r.limit = r.buffer + b.size();
  r.remaining = 0;
  ClearBitReaderSlack(r, static_cast<uint32_t>(b.size()));
}

// A pre-code of 21 five-bit codes, then these pre-code symbols.
void PutPlainPreCode(BitPacker& p, const std::vector<uint32_t>& symbols) {
  for (int i = 0; i < 21; ++i) p.Put(6, 5);
  test::TestCode pre(std::vector<uint8_t>(21, 5));
  for (uint32_t s : symbols) pre.Put(p, s);
}

TEST(ReadCodeLengths, DeltasModulo17AndBijectiveZeroRuns) {
  DecoderFixture f;
  BitPacker p;
  // 5, +14 -> 19 - 17 = 2, zero runs 17 17 18 -> 1 + 2 + 8 = 11 zeros, then +0 (stays 2), +16 -> 1.
  PutPlainPreCode(p, {5, 14, 17, 17, 18, 0, 16});
  LoadBits(f, p);
  std::vector<uint8_t> d(15, 0xCC);
  ASSERT_EQ(ReadCodeLengths(f.d(), d.data(), 15, 1, 0), 0);
  std::vector<uint8_t> want = {5, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 1};
  EXPECT_EQ(d, want);
}

TEST(ReadCodeLengths, PreCodeRunsSkipElevenAndRepeatRunsDouble) {
  DecoderFixture f;
  BitPacker p;
  // Pre-code items 0, 0, 1 skip 1 + 2 + 8 = 11 lengths; symbols 11..20 get 4 bits each.
  p.Put(0, 5);
  p.Put(0, 5);
  p.Put(1, 5);
  for (int i = 11; i < 21; ++i) p.Put(5, 5);
  std::vector<uint8_t> pre(21, 0);
  for (int i = 11; i < 21; ++i) pre[i] = 4;
  test::TestCode code(pre);
  // +11, then repeat runs 19 20 19 with weights 1, 2 (doubled by symbol 20), 4: 1 + 4 + 4 copies; +12.
  for (uint32_t s : {11u, 19u, 20u, 19u, 12u}) code.Put(p, s);
  LoadBits(f, p);
  std::vector<uint8_t> d(11);
  ASSERT_EQ(ReadCodeLengths(f.d(), d.data(), 11, 1, 0), 0);
  std::vector<uint8_t> want(11, 11);
  want[10] = 6;  // 11 + 12 - 17
  EXPECT_EQ(d, want);
}

TEST(ReadCodeLengths, SecondSetTakesReferenceFromFirstSetWhereNonZero) {
  DecoderFixture f;
  BitPacker p;
  // t = 3. Set 1: 7, 0, 3. Set 2: repeat at position 0 writes 7 (first set non-zero); the repeat at
  // position 1 (first set 0) writes the running reference, still 7; delta 0 at position 2 refers to 3.
  PutPlainPreCode(p, {7, 17, 13, 19, 19, 0});
  LoadBits(f, p);
  std::vector<uint8_t> d(6);
  ASSERT_EQ(ReadCodeLengths(f.d(), d.data(), 3, 2, 0), 0);
  // 7, then zero run of 1, then +13 from ref 7 -> 20 - 17 = 3; set 2: 19 19 -> 1 + 2 = 3 copies.
  // Copy at p=3 (above: 7) -> 7; p=4 (above 0) -> ref 7; p=5 (above 3) -> 3. The trailing 0 is unread.
  EXPECT_EQ(d, (std::vector<uint8_t>{7, 0, 3, 7, 7, 3}));
}

TEST(ReadCodeLengths, RepeatAtZeroPositionUsesRunningReference) {
  DecoderFixture f;
  BitPacker p;
  // t = 2. Set 1: 0, 9. Set 2: +2 at position 2 (above 0: ref stays 9 -> 11), repeat at position 3
  // (above 9 -> 9).
  PutPlainPreCode(p, {17, 9, 2, 19});
  LoadBits(f, p);
  std::vector<uint8_t> d(4);
  ASSERT_EQ(ReadCodeLengths(f.d(), d.data(), 2, 2, 0), 0);
  EXPECT_EQ(d, (std::vector<uint8_t>{0, 9, 11, 9}));
}

TEST(ReadCodeLengths, Failures) {
  DecoderFixture f;
  std::vector<uint8_t> d(300);
  {
    BitPacker p;  // a pre-code length of 17
    p.Put(18, 5);
    for (int i = 1; i < 21; ++i) p.Put(0, 5);
    LoadBits(f, p);
    EXPECT_EQ(ReadCodeLengths(f.d(), d.data(), 10, 1, 0), kErrorDamaged);
  }
  {
    BitPacker p;  // an over-subscribed pre-code: 21 one-bit codes
    for (int i = 0; i < 21; ++i) p.Put(2, 5);
    LoadBits(f, p);
    EXPECT_EQ(ReadCodeLengths(f.d(), d.data(), 10, 1, 0), kErrorDamaged);
  }
  {
    BitPacker p;  // an invalid pre-code symbol: only symbol 7 has a (1-bit) code
    for (int i = 0; i < 3; ++i) p.Put(0, 5);  // skip 1 + 2 + 4
    p.Put(2, 5);
    for (int i = 0; i < 3; ++i) p.Put(1, 5);  // skip 2 + 4 + 8: past the end
    p.Put(1, 1);
    LoadBits(f, p);
    EXPECT_EQ(ReadCodeLengths(f.d(), d.data(), 10, 1, 0), kErrorDamaged);
  }
  {
    BitPacker p;  // the bits run out: -50 from the reader
    PutPlainPreCode(p, {1, 2, 3});
    LoadBits(f, p);
    EXPECT_EQ(ReadCodeLengths(f.d(), d.data(), 300, 1, 0), kErrorInputExhausted);
  }
}

TEST(SetFixedCodeLengths, BuiltInListsAreCompleteCodes) {
  for (int32_t reach : {0, 8192, 8193, 1 << 20}) {
    uint8_t l[344];
    SetFixedCodeLengths(l, reach);
    EXPECT_EQ(Kraft(std::vector<uint8_t>(l, l + 288)), 65536u);
    EXPECT_EQ(Kraft(std::vector<uint8_t>(l + 288, l + 330)), 65536u);
    EXPECT_EQ(Kraft(std::vector<uint8_t>(l + 330, l + 344)), 65536u);
    EXPECT_EQ(l[256], 0);
    EXPECT_EQ(l[288 + 27], reach > 8192 ? 6 : 5);
    EXPECT_EQ(l[288 + 28], reach > 8192 ? 6 : 0);
  }
}

}  // namespace
}  // namespace zor
