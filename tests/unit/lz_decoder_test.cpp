// The LZ block decoder on hand-built blocks: every symbol kind, the distance alphabets, recent distances,
// table sets, delta marks, and how damaged blocks end or fail.
#include <gtest/gtest.h>

#include <vector>

#include "decoder/lz_decoder.h"
#include "support/bit_packer.h"
#include "support/decoder_fixture.h"

namespace zor {
namespace {

using test::DecoderFixture;
using test::LzBlockWriter;

// A table set in which every literal/length symbol and every distance symbol has a code.
std::vector<uint8_t> FullSet(uint32_t m) {
  std::vector<uint8_t> l(m == 3 ? 372 : 344, 0);
  for (int s = 0; s < 288; ++s) l[s] = s < 224 ? 8 : 9;  // 224/256 + 64/512 = 1
  for (int s = 0; s < 42; ++s) l[288 + s] = s < 22 ? 5 : 6;
  for (int s = 0; s < 14; ++s) l[330 + s] = s < 2 ? 3 : 4;
  if (m == 3)
    for (int s = 0; s < 28; ++s) l[344 + s] = s < 4 ? 4 : 5;
  return l;
}

struct LzRun {
  int32_t result;
  std::vector<uint8_t> out;  // the block's bytes (history not included)
};

// Decodes `block` into a window whose first bytes are `history`.
LzRun Decode(DecoderFixture& f, const std::vector<uint8_t>& block, uint32_t size,
             const std::vector<uint8_t>& history = {}, bool marks = true) {
  std::vector<uint8_t> window(history);
  window.resize(history.size() + size + 16, 0xEE);
  LzRun run{f.OpenAt(block, 50), {}};
  if (run.result < 0) return run;
  run.result = DecodeLzBlock(f.d(), window.data(), static_cast<uint32_t>(history.size()), size, marks);
  if (run.result >= 0)
    run.out.assign(window.begin() + history.size(), window.begin() + history.size() + run.result);
  return run;
}

TEST(LzBlock, LiteralsAndMatchesWithBuiltInCodes) {
  DecoderFixture f;
  LzBlockWriter w(20, true, 2, {});
  for (uint8_t c : {'a', 'b', 'c'}) w.Lit(c);
  w.MatchSymbol(10, 2);  // distance 1: repeats the previous byte
  w.Match(4, 5);         // distance 5 (first new-distance symbol)
  w.Lit(0xFF);
  w.MatchSymbol(2, 3);   // length 2 with alphabet 1: distance symbol 3 = distance 2
  LzRun r = Decode(f, w.Finish(), 20);
  ASSERT_EQ(r.result, 20);
  std::vector<uint8_t> want = {'a', 'b', 'c'};
  want.insert(want.end(), 10, 'c');
  for (int i = 0; i < 4; ++i) want.push_back(want[want.size() - 5]);
  want.push_back(0xFF);
  for (int i = 0; i < 2; ++i) want.push_back(want[want.size() - 2]);
  EXPECT_EQ(r.out, want);
}

TEST(LzBlock, OutputFullEndsBlockWithoutEndSymbolAndCutsLastMatch) {
  DecoderFixture f;
  LzBlockWriter w(7, true, 1, {FullSet(1)});
  w.Lit('x');
  w.MatchSymbol(258, 2);  // far longer than the room left
  w.Lit('y');             // never reached
  LzRun r = Decode(f, w.Finish(), 7);
  ASSERT_EQ(r.result, 7);
  EXPECT_EQ(r.out, std::vector<uint8_t>(7, 'x'));
  // The reader stands on the byte boundary behind the last bit used.
  EXPECT_EQ(f.d().bitReader.bitOffset, 0u);
}

TEST(LzBlock, EveryLengthSymbolIncludingTheLongest) {
  DecoderFixture f;
  std::vector<uint32_t> lengths = {2, 3, 10, 11, 12, 13, 18, 19, 22, 34, 50, 66, 67, 114, 130, 131, 226, 227, 258, 259, 1000, 33026};
  uint32_t total = 1;
  for (uint32_t len : lengths) total += len;
  LzBlockWriter w(total, true, 2, {FullSet(2)});
  w.Lit('q');
  for (uint32_t len : lengths) w.MatchSymbol(len, 2);
  LzRun r = Decode(f, w.Finish(), total);
  ASSERT_EQ(r.result, static_cast<int32_t>(total));
  EXPECT_EQ(r.out, std::vector<uint8_t>(total, 'q'));
}

TEST(LzBlock, EveryDistanceSymbolAndItsExtraBits) {
  DecoderFixture f;
  // History long enough for every distance up to 1048576.
  std::vector<uint8_t> history(1048576);
  for (size_t i = 0; i < history.size(); ++i) history[i] = static_cast<uint8_t>(i * 7 + (i >> 9));
  std::vector<uint32_t> distances;
  for (uint32_t s = 6; s <= 41; ++s) {
    uint32_t base = LzBlockWriter::DistanceBase(s), extra = (s - 6) / 2 + 1;
    distances.push_back(base);
    distances.push_back(base + (1u << extra) - 1);
  }
  LzBlockWriter w(static_cast<uint32_t>(distances.size() * 4), true, 2, {FullSet(2)});
  for (uint32_t d : distances) w.Match(4, d);
  uint32_t size = static_cast<uint32_t>(distances.size() * 4);
  LzRun r = Decode(f, w.Finish(), size, history);
  ASSERT_EQ(r.result, static_cast<int32_t>(size));
  std::vector<uint8_t> all(history);
  for (uint32_t d : distances)
    for (int i = 0; i < 4; ++i) all.push_back(all[all.size() - d]);
  EXPECT_EQ(r.out, std::vector<uint8_t>(all.begin() + history.size(), all.end()));
  EXPECT_EQ(distances.back(), 1048576u);
}

// A distance code of 14 to 16 bits followed by 16 to 18 extra bits is more than 31 bits together: their sum
// once overflowed its field in the decode tables and the far match was taken for a distance of 1 or 2.
TEST(LzBlock, LongDistanceCodesWithManyExtraBits) {
  DecoderFixture f;
  std::vector<uint8_t> history(1048576);
  for (size_t i = 0; i < history.size(); ++i) history[i] = static_cast<uint8_t>(i * 13 + (i >> 11));
  std::vector<uint8_t> set = FullSet(2);
  // Distance alphabet 0: symbols 6..18 with lengths 1..13, and 36..41 with 16 or 15 bits (a complete code).
  std::fill(set.begin() + 288, set.begin() + 330, 0);
  for (uint32_t s = 6; s <= 18; ++s) set[288 + s] = static_cast<uint8_t>(s - 5);
  for (uint32_t s = 36; s <= 41; ++s) set[288 + s] = s < 40 ? 16 : 15;
  std::vector<uint32_t> distances;
  for (uint32_t s : {18u, 36u, 37u, 38u, 39u, 40u, 41u}) {
    uint32_t base = LzBlockWriter::DistanceBase(s), extra = (s - 6) / 2 + 1;
    distances.push_back(base + (1u << extra) - 1);
    distances.push_back(base + 12345 % (1u << extra));
  }
  uint32_t size = static_cast<uint32_t>(distances.size() * 5);
  LzBlockWriter w(size, true, 2, {set});
  for (uint32_t d : distances) w.Match(5, d);
  LzRun r = Decode(f, w.Finish(), size, history);
  ASSERT_EQ(r.result, static_cast<int32_t>(size));
  std::vector<uint8_t> all(history);
  for (uint32_t d : distances)
    for (int i = 0; i < 5; ++i) all.push_back(all[all.size() - d]);
  EXPECT_EQ(r.out, std::vector<uint8_t>(all.begin() + history.size(), all.end()));
}

TEST(LzBlock, RecentDistancesSwapAndSmallDistancesLeaveThemAlone) {
  DecoderFixture f;
  std::vector<uint8_t> history;
  for (int i = 0; i < 64; ++i) history.push_back(static_cast<uint8_t>(i));
  LzBlockWriter w(24, true, 2, {FullSet(2)});
  w.Match(4, 10);        // recent = 10, 0
  w.Match(4, 20);        // recent = 20, 10
  w.MatchSymbol(4, 4);   // distance 3; recent unchanged
  w.MatchSymbol(4, 1);   // swap: recent = 10, 20; distance 10
  w.MatchSymbol(4, 1);   // swap back: distance 20
  w.MatchSymbol(4, 0);   // recent[0] again: 20
  LzRun r = Decode(f, w.Finish(), 24, history);
  ASSERT_EQ(r.result, 24);
  std::vector<uint8_t> all(history);
  for (uint32_t d : {10u, 20u, 3u, 10u, 20u, 20u})
    for (int i = 0; i < 4; ++i) all.push_back(all[all.size() - d]);
  EXPECT_EQ(r.out, std::vector<uint8_t>(all.begin() + 64, all.end()));
}

TEST(LzBlock, DistanceAlphabetFollowsMatchLength) {
  DecoderFixture f;
  std::vector<uint8_t> history(100);
  for (int i = 0; i < 100; ++i) history[i] = static_cast<uint8_t>(i);
  // m = 3: length 2 uses alphabet 1, length 3 alphabet 2, length 4 alphabet 0. Alphabet 2 reaches 8192
  // with its 28 symbols; symbol 27 is distance 6145 + 11 extra bits.
  std::vector<uint8_t> set = FullSet(3);
  LzBlockWriter w(9, true, 3, {set});
  w.Match(2, 64);  // alphabet 1's last symbol reaches 64
  w.Match(3, 7);
  w.Match(4, 99);
  LzRun r = Decode(f, w.Finish(), 9, history);
  ASSERT_EQ(r.result, 9);
  std::vector<uint8_t> all(history);
  for (auto [len, d] : {std::pair{2u, 64u}, {3u, 7u}, {4u, 99u}})
    for (uint32_t i = 0; i < len; ++i) all.push_back(all[all.size() - d]);
  EXPECT_EQ(r.out, std::vector<uint8_t>(all.begin() + 100, all.end()));
}

TEST(LzBlock, TableSetsOfSizeT344AlsoWithOneDistanceAlphabet) {
  DecoderFixture f;
  // m = 1, two sets: set 1 codes only 'a' and 256, set 2 only 'b' and 256; each symbol's bits follow its set.
  std::vector<uint8_t> s1(344, 0), s2(344, 0);
  s1['a'] = 1;
  s1[256] = 1;
  s1[288] = 1;
  s2['b'] = 2;
  s2[256] = 2;
  s2['c'] = 2;
  s2[288] = 1;
  s2[330] = 1;  // alphabet 1 lengths are sent with m = 1 but never built
  LzBlockWriter w(5, true, 1, {s1, s2});
  w.Lit('a');
  w.Lit('a');
  w.EndOfSet();
  w.UseSet(1);
  w.Lit('b');
  w.Lit('c');
  w.Lit('b');
  LzRun r = Decode(f, w.Finish(), 5);
  ASSERT_EQ(r.result, 5);
  EXPECT_EQ(std::string(r.out.begin(), r.out.end()), "aabcb");
}

TEST(LzBlock, LastEndOfSetEndsBlockShort) {
  DecoderFixture f;
  LzBlockWriter w(10, true, 2, {FullSet(2)});
  w.Lit('z');
  w.EndOfSet();
  LzRun r = Decode(f, w.Finish(), 10);
  EXPECT_EQ(r.result, 1);
}

TEST(LzBlock, BuiltInDistanceLengthsSwitchAbove8192) {
  // reach 8192: alphabet 0 symbols 0-3 are 4 bits and 4-27 5 bits, so distance symbol 27 (6145 + 11 bits)
  // is the farthest; with reach 8193 the 5/6-bit lengths reach 1048576.
  for (int32_t reach : {8192, 8193}) {
    DecoderFixture f;
    std::vector<uint8_t> history(static_cast<size_t>(reach) - 4);
    for (size_t i = 0; i < history.size(); ++i) history[i] = static_cast<uint8_t>(i ^ (i >> 8));
    LzBlockWriter w(4, true, 2, {}, 0, reach);
    w.Match(4, 8000);
    LzRun r = Decode(f, w.Finish(), 4, history);
    ASSERT_EQ(r.result, 4) << reach;
    for (int i = 0; i < 4; ++i) EXPECT_EQ(r.out[i], history[history.size() - 8000 + i]) << reach;
  }
}

TEST(LzBlock, MatchBeforeWindowStartIsSkippedAndExactStartIsValid) {
  DecoderFixture f;
  std::vector<uint8_t> history = {1, 2, 3, 4, 5};
  LzBlockWriter w(6, true, 2, {FullSet(2)});
  w.Match(4, 7);  // reaches before the window: nothing is produced
  w.Match(4, 5);  // exactly the window's start
  w.Lit(9);
  w.Lit(8);
  LzRun r = Decode(f, w.Finish(), 6, history);
  ASSERT_EQ(r.result, 6);
  EXPECT_EQ(r.out, (std::vector<uint8_t>{1, 2, 3, 4, 9, 8}));
}

TEST(LzBlock, DeltaMarksRunningSumOverStrideThenOff) {
  DecoderFixture f;
  LzBlockWriter w(300, true, 2, {FullSet(2)});
  std::vector<uint8_t> raw(300);
  for (int i = 0; i < 300; ++i) raw[i] = static_cast<uint8_t>(i * 13 + 1);
  for (int i = 0; i < 300; ++i) {
    if (i == 100) w.Mark(3);
    if (i == 200) w.Mark(0);
    w.Lit(raw[i]);
  }
  LzRun r = Decode(f, w.Finish(), 300);
  ASSERT_EQ(r.result, 300);
  std::vector<uint8_t> want(raw);
  for (int p = 100; p < 200; ++p) want[p] = static_cast<uint8_t>(want[p] + want[p - 3]);
  EXPECT_EQ(r.out, want);
  ASSERT_EQ(f.d().deltaMarkCount, 2u);
  EXPECT_EQ(f.d().deltaMarks[0], (3u << 24) | 100u);
  EXPECT_EQ(f.d().deltaMarks[1], 200u);
}

TEST(LzBlock, DeltaSourceBeforeWindowStartCountsAsZero) {
  DecoderFixture f;
  LzBlockWriter w(4, true, 2, {FullSet(2)});
  w.Mark(7);
  for (uint8_t b : {10, 20, 30, 40}) w.Lit(b);
  LzRun r = Decode(f, w.Finish(), 4);
  ASSERT_EQ(r.result, 4);
  EXPECT_EQ(r.out, (std::vector<uint8_t>{10, 20, 30, 40}));
}

TEST(LzBlock, DirectoryBlocksReadMarksButKeepThemOutOfTheTable) {
  DecoderFixture f;
  f.d().deltaMarkCount = 1;
  f.d().deltaMarks[0] = (2u << 24) | 5;
  LzBlockWriter w(3, true, 2, {FullSet(2)});
  w.Lit(1);
  w.Mark(1);
  w.Lit(2);
  w.Lit(3);
  LzRun r = Decode(f, w.Finish(), 3, {}, false);
  ASSERT_EQ(r.result, 3);
  EXPECT_EQ(r.out, (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(f.d().deltaMarkCount, 1u);
  EXPECT_EQ(f.d().deltaMarks[0], (2u << 24) | 5);
}

TEST(LzBlock, DamagedDataFailures) {
  auto decode = [](LzBlockWriter& w, uint32_t size, std::vector<uint8_t> history = {}) {
    DecoderFixture f;
    return Decode(f, w.Finish(), size, history).result;
  };
  {
    LzBlockWriter w(4, true, 0, {});  // m = 0
    EXPECT_EQ(decode(w, 4), kErrorDamaged);
  }
  {
    LzBlockWriter w(4, true, 3, {});  // u = 0 with m = 3: alphabet 2 has no lengths
    EXPECT_EQ(decode(w, 4), kErrorDamaged);
  }
  {
    LzBlockWriter w(4, true, 1, {FullSet(2)});
    w.Lit(1);
    w.Lit(2);
    w.MatchSymbol(2, 2);  // m = 1 builds no table for length-2 matches
    EXPECT_EQ(decode(w, 4), kErrorDamaged);
  }
  for (uint32_t sym : {0u, 1u}) {  // a recent distance before any distance was set
    LzBlockWriter w(8, true, 2, {FullSet(2)});
    w.Lit(1);
    if (sym == 1) w.Match(4, 1000);  // recent = 1000, 0: a swap brings the unset one forward
    w.MatchSymbol(4, sym);
    EXPECT_EQ(decode(w, 8, std::vector<uint8_t>(2000, 3)), kErrorDamaged) << sym;
  }
  {
    std::vector<uint8_t> over = FullSet(2);
    over[0] = 1;  // over-subscribed literal/length lengths
    LzBlockWriter w(4, true, 2, {over});
    EXPECT_EQ(decode(w, 4), kErrorDamaged);
  }
  {
    std::vector<uint8_t> good = FullSet(2), over = FullSet(2);
    over[288] = 1;  // the second set's distance alphabet 0 is over-subscribed
    LzBlockWriter w(4, true, 2, {good, over});
    w.Lit(5);
    w.EndOfSet();
    EXPECT_EQ(decode(w, 4), kErrorDamaged);
  }
  {
    LzBlockWriter w(1100, true, 2, {FullSet(2)});
    for (int i = 0; i < 1025; ++i) w.Mark(i & 7);
    EXPECT_EQ(decode(w, 1100), kErrorDamaged);
  }
}

TEST(LzBlock, OverSubscribedListOfAnUnbuiltAlphabetIsHarmless) {
  DecoderFixture f;
  std::vector<uint8_t> set = FullSet(2);
  set[330] = set[331] = set[332] = 1;  // alphabet 1, never built with m = 1
  LzBlockWriter w(2, true, 1, {set});
  w.Lit(4);
  w.Lit(5);
  EXPECT_EQ(Decode(f, w.Finish(), 2).result, 2);
}

TEST(LzBlock, ExactlyThe1024thMarkIsAccepted) {
  DecoderFixture f;
  LzBlockWriter w(1, true, 2, {FullSet(2)});
  for (int i = 0; i < 1024; ++i) w.Mark(0);
  w.Lit(1);
  EXPECT_EQ(Decode(f, w.Finish(), 1).result, 1);
  EXPECT_EQ(f.d().deltaMarkCount, 1024u);
}

TEST(LzBlock, InvalidCodeOrExhaustedInputEndsBlockWithCountSoFar) {
  {
    DecoderFixture f;
    std::vector<uint8_t> set(344, 0);
    set['a'] = 1;  // incomplete: a 1-bit code for 'a' only
    set[288] = 1;
    LzBlockWriter w(10, true, 2, {set});
    w.Lit('a');
    w.Lit('a');
    w.PutBit(1);  // no code begins with 1
    LzRun r = Decode(f, w.Finish(), 10);
    EXPECT_EQ(r.result, 2);
    EXPECT_EQ(r.out, std::vector<uint8_t>(2, 'a'));
  }
  {
    DecoderFixture f;
    std::vector<uint8_t> set = FullSet(2);
    LzBlockWriter w(1000, true, 2, {set});
    for (int i = 0; i < 40; ++i) w.Lit('k');
    std::vector<uint8_t> block = w.Finish();
    LzRun r = Decode(f, block, 1000);  // the block's bytes run out: -50 inside ends the block
    EXPECT_GE(r.result, 40);
    EXPECT_LT(r.result, 1000);
    EXPECT_EQ(f.d().bitReader.bitOffset, 0u);
  }
  {
    DecoderFixture f;
    std::vector<uint8_t> set = FullSet(2);
    LzBlockWriter w(10, true, 2, {set});
    std::vector<uint8_t> block = w.Patched(30);
    block.resize(30);  // the code lengths themselves are cut short
    LzRun r = Decode(f, block, 10);
    EXPECT_EQ(r.result, kErrorInputExhausted);
  }
}

TEST(LzBlock, CancelAtTheStartOfATableSet) {
  DecoderFixture f;
  LzBlockWriter w(4, true, 2, {FullSet(2)});
  w.Lit(1);
  std::vector<uint8_t> block = w.Finish();
  ASSERT_EQ(f.OpenAt(block, 50), 0);
  f.cancel = true;
  std::vector<uint8_t> window(64);
  EXPECT_EQ(DecodeLzBlock(f.d(), window.data(), 0, 4, true), kErrorCancelled);
}

TEST(ApplyDeltaMarks, RegionsEndAtNextMarkAndSourcesBeforeStartAreZero) {
  std::vector<uint8_t> w = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
  DeltaMark marks[] = {(1u << 24) | 0, (2u << 24) | 4, 0u | 7};
  ApplyDeltaMarks(w.data(), 10, marks, 3);
  EXPECT_EQ(w, (std::vector<uint8_t>{1, 2, 3, 4, 4, 5, 5, 1, 1, 1}));
}

}  // namespace
}  // namespace zor
