// The block-sorting decoder: hand-built and round-tripped blocks (a small forward transform here), table
// selectors, runs, bias, and every way a damaged block fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <vector>

#include "decoder/sorted_decoder.h"
#include "support/bit_packer.h"
#include "support/decoder_fixture.h"

namespace zor {
namespace {

using test::BitPacker;
using test::BlockBuilder;
using test::DecoderFixture;
using test::TestCode;

constexpr uint32_t kOrigin = 257;

// The symbol stream of a text: last column of the sorted rotations (sentinel first), move-to-front, zero
// runs in bijective base 2, the sentinel's position as the origin marker.
std::vector<uint32_t> SortedSymbols(const std::vector<uint8_t>& text) {
  const size_t n = text.size();
  std::vector<size_t> suffixes(n + 1);
  std::iota(suffixes.begin(), suffixes.end(), 0);
  std::sort(suffixes.begin(), suffixes.end(), [&](size_t a, size_t b) {
    return std::lexicographical_compare(text.begin() + a, text.end(), text.begin() + b, text.end());
  });
  std::vector<uint32_t> symbols;
  std::vector<uint8_t> mtf(256);
  std::iota(mtf.begin(), mtf.end(), 0);
  uint32_t run = 0;
  auto flush = [&]() {
    for (; run > 0; run = (run - 1) / 2) {
      if (run & 1) {
        symbols.push_back(0);
      } else {
        symbols.push_back(1);
        --run;
      }
    }
  };
  for (size_t suffix : suffixes) {
    if (suffix == 0) {
      flush();
      symbols.push_back(kOrigin);
      continue;
    }
    uint8_t b = text[suffix - 1];
    uint32_t j = static_cast<uint32_t>(std::find(mtf.begin(), mtf.end(), b) - mtf.begin());
    if (j == 0) {
      ++run;
      continue;
    }
    flush();
    mtf.erase(mtf.begin() + j);
    mtf.insert(mtf.begin(), b);
    symbols.push_back(j + 1);
  }
  flush();
  return symbols;
}

// A block-sorting block: bias, T tables, selectors (table number per group of 50, sent as move-to-front
// indices), the symbols.
std::vector<uint8_t> SortedBlock(uint32_t size, uint32_t bias, const std::vector<std::vector<uint8_t>>& tables,
                                 const std::vector<uint32_t>& symbols, const std::vector<uint32_t>& groupTable = {},
                                 uint32_t tableCountField = 0) {
  BlockBuilder b(2, true, size);
  b.Put(bias, 8);
  b.Put(tableCountField ? tableCountField : tables.size(), 3);
  std::vector<TestCode> codes;
  for (const auto& t : tables) {
    test::PutCodeLengths(b, t, 258);
    codes.emplace_back(t);
  }
  b.Align();
  std::vector<uint32_t> list = {0, 1, 2, 3, 4, 5};
  uint32_t current = 0;
  for (size_t i = 0; i < symbols.size(); ++i) {
    if (i % 50 == 0) {
      uint32_t want = groupTable.empty() ? 0 : groupTable[(i / 50) % groupTable.size()];
      uint32_t j = static_cast<uint32_t>(std::find(list.begin(), list.end(), want) - list.begin());
      for (uint32_t k = 0; k < j; ++k) b.PutBit(1);
      b.PutBit(0);
      list.erase(list.begin() + j);
      list.insert(list.begin(), want);
      current = want;
    }
    codes[current].Put(b, symbols[i]);
  }
  return b.Finish();
}

// Every symbol 9 bits long (an incomplete code) or, in `Shuffled`, lengths that differ per table.
std::vector<uint8_t> Flat() { return std::vector<uint8_t>(258, 9); }
std::vector<uint8_t> Shuffled(uint32_t seed) {
  std::vector<uint8_t> l(258);
  for (uint32_t s = 0; s < 258; ++s) l[s] = static_cast<uint8_t>(8 + ((s * 7 + seed * 13) % 3 == 0));
  return l;
}

struct SortedRun {
  ErrorCode result;
  std::vector<uint8_t> out;
};

SortedRun Decode(DecoderFixture& f, const std::vector<uint8_t>& block, uint32_t size) {
  std::vector<uint8_t> out(size + 1, 0xEE);
  SortedRun run{f.OpenAt(block, 45), {}};
  if (run.result < 0) return run;
  run.result = DecodeSortedBlock(f.d(), out.data(), size);
  out.resize(size);
  run.out = out;
  return run;
}

TEST(SortedBlock, RoundTripsOfTextsThroughOneToSixTables) {
  std::mt19937 rng(7);
  for (int round = 0; round < 40; ++round) {
    size_t n = round < 4 ? round : rng() % 600;
    std::vector<uint8_t> text(n);
    uint32_t alphabet = 1 + rng() % (round % 3 == 0 ? 4 : 256);
    for (auto& c : text) c = static_cast<uint8_t>(rng() % alphabet + (round % 5) * 40);
    if (round % 4 == 1)  // long runs
      for (size_t i = 0; i < n; ++i) text[i] = static_cast<uint8_t>(i / 37);
    uint32_t tableCount = 1 + round % 6;
    std::vector<std::vector<uint8_t>> tables;
    for (uint32_t t = 0; t < tableCount; ++t) tables.push_back(Shuffled(t));
    std::vector<uint32_t> groups;
    for (int g = 0; g < 9; ++g) groups.push_back(rng() % tableCount);
    uint32_t bias = rng() % 256;
    std::vector<uint8_t> stored(text);
    for (auto& c : stored) c = static_cast<uint8_t>(c - bias);
    DecoderFixture f;
    SortedRun r = Decode(f, SortedBlock(static_cast<uint32_t>(n), bias, tables, SortedSymbols(stored), groups),
                         static_cast<uint32_t>(n));
    ASSERT_EQ(r.result, 0) << "round " << round;
    ASSERT_EQ(r.out, text) << "round " << round;
    EXPECT_EQ(f.d().bitReader.bitOffset, 0u);
  }
}

TEST(SortedBlock, SizeZeroIsTheOriginMarkerAlone) {
  DecoderFixture f;
  SortedRun r = Decode(f, SortedBlock(0, 0, {Flat()}, {kOrigin}), 0);
  EXPECT_EQ(r.result, 0);
}

TEST(SortedBlock, SizeOneIsItsMoveToFrontIndexOrARunThenTheOrigin) {
  for (uint32_t x : {0u, 1u, 200u, 255u}) {
    DecoderFixture f;
    std::vector<uint32_t> symbols = {x == 0 ? 0 : x + 1, kOrigin};
    SortedRun r = Decode(f, SortedBlock(1, 3, {Flat()}, symbols), 1);
    ASSERT_EQ(r.result, 0);
    EXPECT_EQ(r.out[0], static_cast<uint8_t>(x + 3));
  }
}

TEST(SortedBlock, RunStepsZeroOneWriteFiveCopies) {
  DecoderFixture f;
  // "aaaaaa": last column a a a a a a, sentinel: 'a' (index 97), then a run of five: steps 0, 1.
  std::vector<uint32_t> symbols = {98, 0, 1, kOrigin};
  ASSERT_EQ(SortedSymbols(std::vector<uint8_t>(6, 'a')), symbols);
  SortedRun r = Decode(f, SortedBlock(6, 0, {Flat()}, symbols), 6);
  ASSERT_EQ(r.result, 0);
  EXPECT_EQ(r.out, std::vector<uint8_t>(6, 'a'));
}

TEST(SortedBlock, SecondSelectorBeforeThe51stSymbol) {
  // Table 0 and table 1 give symbols different codes: decoding symbol 51 with the wrong table fails.
  std::vector<uint8_t> text;
  for (int i = 0; i < 120; ++i) text.push_back(static_cast<uint8_t>((i * 37) % 251));
  std::vector<uint32_t> symbols = SortedSymbols(text);
  ASSERT_GT(symbols.size(), 51u);
  std::vector<uint8_t> t0(258, 9), t1(258, 0);
  for (uint32_t s = 0; s < 258; ++s) t1[s] = static_cast<uint8_t>(s < 254 ? 8 : 10);
  for (std::vector<uint32_t> groups : {std::vector<uint32_t>{0, 1, 1}, {1, 0, 0}, {0, 0, 0}}) {
    DecoderFixture f;
    SortedRun r = Decode(f, SortedBlock(120, 0, {t0, t1}, symbols, groups), 120);
    ASSERT_EQ(r.result, 0);
    EXPECT_EQ(r.out, text);
  }
}

TEST(SortedBlock, Bias255SubtractsOne) {
  DecoderFixture f;
  std::vector<uint8_t> text = {0, 1, 2, 200, 0};
  SortedRun r = Decode(f, SortedBlock(5, 255, {Flat()}, SortedSymbols(text)), 5);
  ASSERT_EQ(r.result, 0);
  EXPECT_EQ(r.out, (std::vector<uint8_t>{255, 0, 1, 199, 255}));
}

TEST(SortedBlock, DamagedBlocks) {
  std::vector<uint8_t> text = {'b', 'a', 'n', 'a', 'n', 'a'};
  std::vector<uint32_t> good = SortedSymbols(text);
  auto decode = [](const std::vector<uint8_t>& block, uint32_t size) {
    DecoderFixture f;
    return Decode(f, block, size).result;
  };
  EXPECT_EQ(decode(SortedBlock(6, 0, {Flat()}, good), 6), 0);
  EXPECT_EQ(decode(SortedBlock(6, 0, {Flat()}, good, {}, 7), 6), kErrorDamaged);  // T = 7
  {
    BlockBuilder b(2, true, 6);  // T = 0
    b.Put(0, 8);
    b.Put(0, 3);
    EXPECT_EQ(decode(b.Finish(4), 6), kErrorDamaged);
  }
  {
    // Selector j = 2 with two tables.
    std::vector<uint8_t> block = SortedBlock(6, 0, {Flat(), Flat()}, good, {0});
    BlockBuilder b(2, true, 6);
    b.Put(0, 8);
    b.Put(2, 3);
    test::PutCodeLengths(b, Flat(), 258);
    test::PutCodeLengths(b, Flat(), 258);
    b.Align();
    b.Put(0b011, 3);
    EXPECT_EQ(decode(b.Finish(4), 6), kErrorDamaged);
  }
  {
    std::vector<uint8_t> sparse(258, 0);  // only symbols 0, 1 and 257 have codes
    sparse[0] = sparse[1] = sparse[257] = 2;
    std::vector<uint32_t> syms = {0, 1};
    std::vector<uint8_t> block = SortedBlock(6, 0, {sparse}, syms);
    // the next code is 11: no symbol
    BlockBuilder b(2, true, 6);
    b.Put(0, 8);
    b.Put(1, 3);
    test::PutCodeLengths(b, sparse, 258);
    b.Align();
    b.PutBit(0);     // selector
    b.Put(0b11, 2);  // invalid
    EXPECT_EQ(decode(b.Finish(4), 6), kErrorDamaged);
  }
  // A run past size + 1 positions: 0 1 0 = 1 + 4 + 4 = 9 > 7.
  EXPECT_EQ(decode(SortedBlock(6, 0, {Flat()}, {98, 0, 1, 0, kOrigin}), 6), kErrorDamaged);
  // A second origin marker.
  EXPECT_EQ(decode(SortedBlock(6, 0, {Flat()}, {kOrigin, 98, kOrigin, 3, 3, 3, 3}), 6), kErrorDamaged);
  // The symbol stream ends before the column is full.
  std::vector<uint32_t> cut(good.begin(), good.end() - 2);
  std::vector<uint8_t> block = SortedBlock(6, 0, {Flat()}, cut);
  EXPECT_EQ(decode(block, 6), kErrorInputExhausted);
}

TEST(SortedBlock, MissingOriginMarkerTakesPositionZeroForTheSentinel) {
  // Position 0 then links to row 0 itself: the walk stays there and every byte is the bias.
  DecoderFixture f;
  std::vector<uint32_t> symbols = {3, 4, 5, 3};  // four bytes, no origin marker; size 3
  SortedRun r = Decode(f, SortedBlock(3, 9, {Flat()}, symbols), 3);
  ASSERT_EQ(r.result, 0);
  EXPECT_EQ(r.out, std::vector<uint8_t>(3, 9));
}

// A plain model of the decoder: the last column from the symbols (which must fill size + 1 positions), then
// the inverse sort as one backward walk from row 0, one step per byte.
std::vector<uint8_t> WalkBackwards(const std::vector<uint32_t>& symbols, uint32_t size, uint32_t bias) {
  std::vector<uint8_t> column, mtf(256);
  std::iota(mtf.begin(), mtf.end(), 0);
  size_t origin = 0;
  uint32_t weight = 1;
  for (uint32_t s : symbols) {
    if (s <= 1) {
      column.insert(column.end(), weight << s, mtf[0]);
      weight <<= 1;
      continue;
    }
    weight = 1;
    if (s == kOrigin) {
      origin = column.size();
      column.push_back(0);
      continue;
    }
    uint8_t b = mtf[s - 1];
    mtf.erase(mtf.begin() + (s - 1));
    mtf.insert(mtf.begin(), b);
    column.push_back(b);
  }
  EXPECT_EQ(column.size(), size + 1u);
  uint32_t next[256] = {}, total = 1;
  for (size_t i = 0; i < column.size(); ++i)
    if (i != origin) ++next[column[i]];
  for (uint32_t& n : next) std::swap(n, total), total += n;
  std::vector<uint32_t> link(column.size(), 0);
  for (size_t i = 0; i < column.size(); ++i)
    if (i != origin) link[i] = (uint32_t{column[i]} << 24) | next[column[i]]++;
  std::vector<uint8_t> out(size);
  for (uint32_t k = size, row = 0; k-- > 0;) {
    out[k] = static_cast<uint8_t>((link[row] >> 24) + bias);
    row = link[row] & 0xFFFFFF;
  }
  return out;
}

// Random columns are nearly all damaged (their rows form several cycles, or there is no origin marker); they
// must still decode to exactly the model's bytes, so a faster inverse sort cannot change what they give.
TEST(SortedBlock, RandomColumnsDecodeLikeTheBackwardWalk) {
  std::mt19937 rng(11);
  for (int round = 0; round < 3000; ++round) {
    uint32_t size = round < 1500 ? rng() % 12 : rng() % 3000;
    uint32_t alphabet = 1 + rng() % (round % 2 ? 3 : 40);
    bool marker = round % 5 != 0;
    uint32_t originAt = marker ? rng() % (size + 1) : size + 1;
    std::vector<uint32_t> symbols;
    for (uint32_t p = 0; p <= size; ++p) {
      if (p == originAt) {
        symbols.push_back(kOrigin);
      } else if (rng() % 4 == 0 && (symbols.empty() || symbols.back() > 1)) {
        symbols.push_back(0);  // a run of one
      } else {
        symbols.push_back(2 + rng() % alphabet);
      }
    }
    uint32_t bias = rng() % 256;
    DecoderFixture f;
    SortedRun r = Decode(f, SortedBlock(size, bias, {Flat()}, symbols), size);
    ASSERT_EQ(r.result, 0) << "round " << round;
    ASSERT_EQ(r.out, WalkBackwards(symbols, size, bias)) << "round " << round;
  }
}

TEST(SortedBlock, CancelBeforeRefillAndAfterTheLinkVector) {
  DecoderFixture f;
  std::vector<uint8_t> text(100, 'x');
  std::vector<uint8_t> block = SortedBlock(100, 0, {Flat()}, SortedSymbols(text));
  ASSERT_EQ(f.OpenAt(block, 45), 0);
  f.cancel = true;
  std::vector<uint8_t> out(101);
  EXPECT_EQ(DecodeSortedBlock(f.d(), out.data(), 100), kErrorCancelled);
}

}  // namespace
}  // namespace zor
