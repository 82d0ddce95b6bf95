// The writers' pieces against the engine's decoders: length-limited codes, the code-length
// transmission, LZ blocks with forced constructs, block-sorting blocks, and the call filters.
#include <gtest/gtest.h>

#include <algorithm>
#include <queue>
#include <random>

#include "decoder/huffman.h"
#include "decoder/lz_decoder.h"
#include "decoder/sorted_decoder.h"
#include "encoder/archive_writer.h"
#include "encoder/block_writer.h"
#include "encoder/call_filter.h"
#include "encoder/huffman_builder.h"
#include "encoder/segment_writer.h"
#include "platform/bytes.h"
#include "support/archive_reader.h"
#include "support/decoder_fixture.h"
#include "support/sample_data.h"

namespace zor {
namespace {

namespace enc = encoder;
using enc::LzItem;
using test::DecoderFixture;

// ---- Codes ----

uint64_t HuffmanCost(const std::vector<uint64_t>& freq) {
  std::priority_queue<uint64_t, std::vector<uint64_t>, std::greater<>> q;
  for (uint64_t f : freq)
    if (f) q.push(f);
  uint64_t cost = 0;
  while (q.size() > 1) {
    uint64_t a = q.top();
    q.pop();
    uint64_t b = q.top();
    q.pop();
    cost += a + b;
    q.push(a + b);
  }
  return cost;
}

TEST(EncoderCodes, LengthLimitedCodesAreCompleteAndOptimalWhenTheLimitDoesNotBind) {
  std::mt19937 rng(5);
  for (int round = 0; round < 200; ++round) {
    uint32_t n = 2 + rng() % 287;
    std::vector<uint64_t> freq(n);
    for (auto& f : freq) f = rng() % 3 == 0 ? 0 : 1 + rng() % (round % 2 ? 10 : 100000);
    freq[0] = freq[n - 1] = 1;
    std::vector<uint8_t> l(n);
    enc::BuildLengthLimitedLengths(freq.data(), n, 16, l.data());
    uint64_t kraft = 0, cost = 0;
    for (uint32_t s = 0; s < n; ++s) {
      ASSERT_LE(l[s], 16);
      ASSERT_EQ(l[s] == 0, freq[s] == 0);
      if (l[s]) kraft += 1ull << (16 - l[s]);
      cost += freq[s] * l[s];
    }
    EXPECT_EQ(kraft, 1ull << 16);  // complete: no code space wasted
    if (*std::max_element(l.begin(), l.end()) < 16) {
      EXPECT_EQ(cost, HuffmanCost(freq));
    }
  }
}

TEST(EncoderCodes, FibonacciFrequenciesAreLimitedTo16Bits) {
  // Unlimited Huffman codes of these would reach 29 bits.
  std::vector<uint64_t> freq(30);
  freq[0] = freq[1] = 1;
  for (size_t i = 2; i < freq.size(); ++i) freq[i] = freq[i - 1] + freq[i - 2];
  std::vector<uint8_t> l(30);
  enc::BuildLengthLimitedLengths(freq.data(), 30, 16, l.data());
  EXPECT_EQ(*std::max_element(l.begin(), l.end()), 16);
  EXPECT_TRUE(enc::LengthsArePrefixCode(l.data(), 30, 16));
  uint64_t one = 1;
  enc::BuildLengthLimitedLengths(&one, 1, 16, l.data());
  EXPECT_EQ(l[0], 1);  // a lone symbol still gets a code
}

TEST(EncoderCodes, BijectiveRunDigits) {
  std::vector<uint8_t> d;
  enc::AppendBijectiveDigits(11, 0, 1, d);  // 1 + 2 + 8: the pre-code items 0, 0, 1
  EXPECT_EQ(d, (std::vector<uint8_t>{0, 0, 1}));
  d.clear();
  enc::AppendBijectiveDigits(5, 0, 1, d);  // 1 + 4: run steps 0, 1
  EXPECT_EQ(d, (std::vector<uint8_t>{0, 1}));
}

// Sends lengths with the writer and reads them back with the engine's ReadCodeLengths.
std::vector<uint8_t> SendAndRead(const std::vector<uint8_t>& lengths, uint32_t setLength, uint32_t sets,
                                 uint64_t* bits = nullptr) {
  enc::CodeLengthEncoding e = enc::EncodeCodeLengths(lengths.data(), setLength, sets);
  if (bits) *bits = e.bits;
  std::vector<uint8_t> expanded;
  EXPECT_TRUE(enc::ExpandCodeLengthItems(e.items, setLength, sets, expanded));
  EXPECT_EQ(expanded, lengths);
  enc::BitWriter w;
  enc::WriteBlockHeader(w, 1, true, 0);
  uint64_t start = w.BitCount();
  enc::WriteCodeLengths(w, e);
  EXPECT_EQ(w.BitCount() - start, e.bits);
  w.Put(0, 32);
  enc::FinishBlock(w);
  DecoderFixture f;
  std::vector<uint8_t> block = w.Take();
  EXPECT_EQ(f.OpenAt(block, 45), 0);
  std::vector<uint8_t> read(lengths.size() + 8, 0xCC);
  EXPECT_EQ(ReadCodeLengths(f.d(), read.data(), setLength, sets, 0), 0);
  read.resize(lengths.size());
  return read;
}

TEST(EncoderCodes, CodeLengthTransmissionReadsBackForOneAndManySets) {
  std::mt19937 rng(9);
  for (int round = 0; round < 40; ++round) {
    uint32_t setLength = round % 3 == 0 ? 258 : round % 3 == 1 ? 344 : 372;
    uint32_t sets = 1 + (round % 20 == 0 ? 62 : rng() % 5);
    std::vector<uint8_t> l(setLength * sets);
    for (uint32_t p = 0; p < l.size(); ++p) {
      uint32_t r = rng() % 10;
      if (p >= setLength && r < 5) l[p] = l[p - setLength];  // sets that resemble each other
      else if (r < 7) l[p] = 0;
      else if (p > 0 && r < 8) l[p] = l[p - 1];
      else l[p] = static_cast<uint8_t>(rng() % 17);
    }
    uint64_t bits = 0;
    EXPECT_EQ(SendAndRead(l, setLength, sets, &bits), l) << round;
    // Never worse than one delta per length under a 5-bit pre-code.
    EXPECT_LE(bits, 21 * 5 + 5ull * l.size()) << round;
  }
}

TEST(EncoderCodes, RepeatsFollowThePreviousSetOrTheRunningReference) {
  // Second set: a repeat where the first set's length is non-zero takes that length; where it is 0 it
  // takes the running reference.
  std::vector<uint8_t> l = {3, 0, 5, 5, 0, 2,   3, 7, 5, 5, 7, 2};
  EXPECT_EQ(SendAndRead(l, 6, 2), l);
  std::vector<uint8_t> zeros(372 * 3, 0);
  EXPECT_EQ(SendAndRead(zeros, 372, 3), zeros);
  std::vector<uint8_t> same(344 * 63, 0);
  for (size_t p = 0; p < same.size(); ++p) same[p] = static_cast<uint8_t>(1 + p % 344 % 16);
  uint64_t bits = 0;
  EXPECT_EQ(SendAndRead(same, 344, 63, &bits), same);
  EXPECT_LT(bits, 3000u);  // 62 identical sets cost a few runs each
}

// ---- LZ blocks ----

struct LzCase {
  std::vector<uint8_t> window;  // history, then room for the block
  uint32_t history;
  uint32_t size;
};

// Writes the items as a block with the given options and decodes it with DecodeLzBlock; expects the
// window the writer's model predicts (delta marks applied).
void ExpectLzBlock(const LzCase& c, const std::vector<LzItem>& items, enc::LzBlockOptions options,
                   const char* what, uint32_t* mOut = nullptr, uint32_t* setsOut = nullptr) {
  std::vector<uint8_t> want = c.window;
  std::vector<enc::DeltaMarkSpec> marks;
  ASSERT_EQ(enc::ApplyLzItems(items, want.data(), c.history, c.size, &marks), c.size) << what;
  enc::ApplyDeltaMarkSpecs(want.data(), c.history, c.size, marks);
  std::vector<enc::LzSymbol> symbols;
  ASSERT_EQ(enc::ResolveLzItems(items, symbols), enc::EncodeStatus::kOk) << what;
  enc::LzBlockCoding coding;
  ASSERT_EQ(enc::PlanLzBlock(symbols, c.history + c.size, options, coding), enc::EncodeStatus::kOk) << what;
  if (mOut) *mOut = coding.m;
  if (setsOut) *setsOut = coding.tableSets;
  std::vector<uint8_t> block = enc::WriteLzBlock(coding, options.type, true, c.size);
  DecoderFixture f;
  ASSERT_EQ(f.OpenAt(block, 50), 0) << what;
  std::vector<uint8_t> window = c.window;
  window.resize(window.size() + 16);
  ASSERT_EQ(DecodeLzBlock(f.d(), window.data(), c.history, c.size, true), static_cast<int32_t>(c.size)) << what;
  window.resize(want.size());
  EXPECT_TRUE(window == want) << what;
  // The decoder ends exactly at the block's last byte: nothing is sent after the output is full.
  EXPECT_EQ(f.d().bitReader.cursor - f.d().bitReader.buffer, static_cast<ptrdiff_t>(block.size())) << what;
}

TEST(EncoderLzBlock, EveryLengthSymbolAndEveryDistanceSymbol) {
  // A history of 1 MB + 100, so that the farthest distance symbols have something to reach.
  LzCase c;
  c.history = (1u << 20) + 100;
  c.window = test::Sample(test::SampleKind::kRandom, c.history, 3);
  std::vector<LzItem> items;
  uint32_t size = 0;
  auto add = [&](LzItem it) {
    items.push_back(it);
    size += it.kind == enc::LzItemKind::kLiteral ? 1 : it.kind == enc::LzItemKind::kMatch ? it.value : 0;
  };
  const uint32_t lengths[] = {3, 10, 11, 12, 13, 18, 19, 22, 34, 50, 66, 67, 114, 130, 131, 226, 227, 258, 259, 1000, 33026};
  uint32_t k = 0;
  for (uint32_t symbol = 6; symbol <= 41; ++symbol) {
    uint32_t base = enc::DistanceBase(symbol), extra = enc::DistanceExtraBits(symbol);
    add(LzItem::Match(lengths[k++ % 21], base));
    add(LzItem::Match(4, base + (1u << extra) - 1));  // the top of the symbol's range
    add(LzItem::Literal(static_cast<uint8_t>(symbol)));
  }
  for (uint32_t d = 1; d <= 4; ++d) add(LzItem::Match(5, d));          // symbols 2..5
  add(LzItem::Match(2, 3));                                            // length 2: alphabet 1
  add(LzItem::Match(3, 700));                                          // a new distance
  add(LzItem::Match(7, 0, 0));                                         // recent distance 0
  add(LzItem::Match(9, 0, 1));                                         // swap: the one before
  add(LzItem::Match(9, 0, 1));                                         // swap back
  add(LzItem::Match(2, 0, 0));                                         // length 2, recent distance
  add(LzItem::Match(33026, 0, 1));
  c.size = size;
  c.window.resize(c.history + size);
  for (uint32_t m : {2u, 3u}) {
    enc::LzBlockOptions o;
    o.distanceAlphabets = m;
    o.type = m == 2 ? 1 : 3;
    if (m == 3) {  // length-3 matches are sent with alphabet 2, which reaches 8192
      std::vector<LzItem> near = items;
      for (LzItem& it : near)
        if (it.kind == enc::LzItemKind::kMatch && it.value == 3 && it.distance > 8192) it.value = 4;
      ExpectLzBlock({c.window, c.history, size}, near, o, "m=3");
    } else {
      ExpectLzBlock(c, items, o, "m=2");
    }
  }
}

TEST(EncoderLzBlock, ForcedTableSetSplitsIncludingEmptySets) {
  LzCase c{test::Sample(test::SampleKind::kText, 3000, 4), 0, 3000};
  std::vector<LzItem> items;
  enc::AppendLiterals(c.window.data(), 3000, items);
  items.insert(items.begin() + 1500, LzItem::EndOfSet());
  items.insert(items.begin() + 1500, LzItem::EndOfSet());  // an empty set
  items.insert(items.begin(), LzItem::EndOfSet());         // the first set holds only its end
  uint32_t m = 0, sets = 0;
  ExpectLzBlock(c, items, {}, "split", &m, &sets);
  EXPECT_EQ(sets, 4u);
  std::vector<LzItem> even = items;
  enc::SplitIntoTableSets(even, 63);
  ExpectLzBlock(c, even, {}, "63 sets", &m, &sets);
  EXPECT_EQ(sets, 63u);
}

TEST(EncoderLzBlock, BuiltInLengthsOnEitherSideOfReach8192) {
  for (uint32_t reach : {8192u, 8193u}) {
    LzCase c{test::Sample(test::SampleKind::kRepeats, reach, reach), 100, reach - 100};
    std::vector<LzItem> items = {LzItem::Match(5, 100), LzItem::Match(3, 50)};  // reaches the window start
    enc::AppendLiterals(c.window.data() + 108, c.size - 8 - 100, items);
    items.push_back(LzItem::Match(100, reach - 100));
    for (size_t i = c.size - 100; i < c.size; ++i) c.window[c.history + i] = c.window[i];
    enc::LzBlockOptions o;
    o.tables = enc::TableChoice::kBuiltIn;
    uint32_t sets = 9;
    ExpectLzBlock(c, items, o, "built-in", nullptr, &sets);
    EXPECT_EQ(sets, 0u);
    uint8_t l[kSetLengthSmall];
    enc::BuiltInLengths(reach, l);
    EXPECT_EQ(l[288 + 28], reach == 8192 ? 0 : 6);  // distance symbol 28 exists only beyond 8192
  }
}

TEST(EncoderLzBlock, DeltaMarksAt100And200) {
  // d = 3 from offset 100, off from 200: bytes 100..199 are a running sum with stride 3.
  LzCase c{std::vector<uint8_t>(300), 0, 300};
  std::vector<LzItem> items;
  for (uint32_t i = 0; i < 300; ++i) {
    if (i == 100) items.push_back(LzItem::DeltaMark(3));
    if (i == 200) items.push_back(LzItem::DeltaMark(0));
    items.push_back(LzItem::Literal(static_cast<uint8_t>(i % 5)));
  }
  ExpectLzBlock(c, items, {}, "marks");
  std::vector<uint8_t> w(300);
  std::vector<enc::DeltaMarkSpec> marks;
  enc::ApplyLzItems(items, w.data(), 0, 300, &marks);
  enc::ApplyDeltaMarkSpecs(w.data(), 0, 300, marks);
  EXPECT_EQ(w[103], static_cast<uint8_t>(w[100] + 103 % 5));
  EXPECT_EQ(w[200], 0);
  EXPECT_EQ(w[99], 99 % 5);
}

TEST(EncoderLzBlock, ParsesThatTheCoderCannotSendAreRefused) {
  std::vector<enc::LzSymbol> symbols;
  // A forced explicit symbol that does not cover the distance, and symbols 2..5 for other distances.
  EXPECT_EQ(enc::ResolveLzItems({LzItem::Match(4, 9, 6)}, symbols), enc::EncodeStatus::kInvalidItems);
  EXPECT_EQ(enc::ResolveLzItems({LzItem::Match(4, 3, 5)}, symbols), enc::EncodeStatus::kInvalidItems);
  ASSERT_EQ(enc::ResolveLzItems({LzItem::Literal(1), LzItem::Match(2, 1)}, symbols), enc::EncodeStatus::kOk);
  enc::LzBlockCoding coding;
  enc::LzBlockOptions m1;
  m1.distanceAlphabets = 1;  // no length-2 matches with one distance alphabet
  EXPECT_EQ(enc::PlanLzBlock(symbols, 3, m1, coding), enc::EncodeStatus::kInvalidItems);
  std::vector<LzItem> many(64, LzItem::EndOfSet());  // 65 sets
  ASSERT_EQ(enc::ResolveLzItems(many, symbols), enc::EncodeStatus::kOk);
  EXPECT_EQ(enc::PlanLzBlock(symbols, 0, {}, coding), enc::EncodeStatus::kInvalidItems);
}

// ---- Block-sorting blocks ----

void ExpectSortedBlock(const std::vector<uint8_t>& bytes, enc::SortedBlockOptions options, const char* what) {
  uint32_t size = static_cast<uint32_t>(bytes.size());
  enc::SortedBlockCoding coding = enc::PlanSortedBlock(bytes.data(), size, options);
  if (options.tableCount) {
    EXPECT_EQ(coding.tableCountField, options.tableCount) << what;
  }
  std::vector<uint8_t> block = enc::WriteSortedBlock(coding, true, size);
  DecoderFixture f;
  ASSERT_EQ(f.OpenAt(block, 45), 0) << what;
  std::vector<uint8_t> out(size + 1, 0xEE);
  ASSERT_EQ(DecodeSortedBlock(f.d(), out.data(), size), 0) << what;
  out.resize(size);
  EXPECT_TRUE(out == bytes) << what;
  EXPECT_EQ(f.d().bitReader.cursor - f.d().bitReader.buffer, static_cast<ptrdiff_t>(block.size())) << what;
}

TEST(EncoderSortedBlock, SizesZeroAndOne) {
  EXPECT_EQ(enc::SortedSymbols(nullptr, 0, 0), (std::vector<uint16_t>{kOriginMarker}));
  uint8_t x = 0x41;
  // Last column (x, sentinel): x's index in the initial list, then the origin marker.
  EXPECT_EQ(enc::SortedSymbols(&x, 1, 0), (std::vector<uint16_t>{0x42, kOriginMarker}));
  uint8_t zero = 0;
  EXPECT_EQ(enc::SortedSymbols(&zero, 1, 0), (std::vector<uint16_t>{0, kOriginMarker}));
  ExpectSortedBlock({}, {}, "size 0");
  ExpectSortedBlock({0x41}, {}, "size 1");
  ExpectSortedBlock({0}, {}, "size 1 zero");
}

TEST(EncoderSortedBlock, RunsBiasAndSelectors) {
  // Six equal bytes after the sentinel's row: "a" then a run of 5 sent as run steps 0, 1.
  std::vector<uint8_t> six(6, 'a');
  std::vector<uint16_t> s = enc::SortedSymbols(six.data(), 6, 0);
  EXPECT_EQ(s, (std::vector<uint16_t>{'a' + 1, 0, 1, kOriginMarker}));
  enc::SortedBlockOptions biased;
  biased.bias = 255;
  ExpectSortedBlock(six, biased, "bias 255");
  for (uint32_t tables = 1; tables <= 6; ++tables) {
    enc::SortedBlockOptions o;
    o.tableCount = tables;
    o.bias = tables * 40;
    ExpectSortedBlock(test::Sample(test::SampleKind::kMixed, 3000 + tables * 500, tables), o, "tables");
  }
  for (test::SampleKind kind : test::kAllSampleKinds)
    ExpectSortedBlock(test::Sample(kind, 20000, 77), {}, "kinds");
}

// ---- Call filters ----

// The extractor's reading of one operand, the writer's encoding of it: each example below in reverse.
uint32_t Encode32(int32_t displacement, uint32_t operandOffset, uint32_t fileLength) {
  std::vector<uint8_t> file(fileLength, 0x90);
  file[operandOffset - 1] = 0xE8;
  for (int i = 0; i < 4; ++i) file[operandOffset + i] = static_cast<uint8_t>(static_cast<uint32_t>(displacement) >> (8 * i));
  enc::EncodeCalls32(file.data(), fileLength);
  return LoadLE32(file.data() + operandOffset);
}

TEST(EncoderCallFilter, ExamplesInReverse) {
  EXPECT_EQ(Encode32(4, 1, 100), 5u);
  EXPECT_EQ(Encode32(90, 10, 100), 0xFFFFFFFFu);  // stored -1
  EXPECT_EQ(Encode32(100, 10, 100), 100u);
  EXPECT_EQ(Encode32(-11, 10, 100), static_cast<uint32_t>(-11));
  std::vector<uint8_t> f16 = {0xE8, 0xFF, 0xFF, 0x90};
  enc::EncodeCalls16(f16.data(), 4);
  EXPECT_EQ(LoadLE16(f16.data() + 1), 0);  // stored 0 at offset 1 reads back as 0xFFFF
  // Operands reaching past the end, and the second of two E8s, are no opcodes of their own.
  std::vector<uint8_t> tail(300, 0x90);
  tail[0] = tail[1] = 0xE8;  // the call's displacement is 0xE8 + 1 = 233 after translation
  tail[2] = tail[3] = tail[4] = 0;
  tail[296] = 0xE8;  // its operand would end past the file
  std::vector<uint8_t> t = tail;
  enc::EncodeCalls32(t.data(), 300);
  EXPECT_EQ(t[1], 0xE9);
  EXPECT_EQ(t[5], 0x90);
  EXPECT_EQ(std::vector<uint8_t>(t.begin() + 290, t.end()), std::vector<uint8_t>(tail.begin() + 290, tail.end()));
}

TEST(EncoderCallFilter, DisplacementsAtTheFoldingBoundariesRoundTrip) {
  enc::ArchiveInput in;
  enc::SegmentInput seg;
  for (uint32_t n : {6u, 40u, 1000u}) {
    enc::FileInput file;
    file.path = "code" + std::to_string(n) + ".exe";
    file.flags = kEntryCalls32;
    file.data.assign(n, 0x90);
    std::mt19937 rng(n);
    for (uint32_t at = 0; at + 5 <= n; at += 5) {
      int64_t o = at + 1;
      const int64_t picks[] = {-o - 1, -o, -1, 0, n - o - 1, n - o, n - 1, n, INT32_MIN, INT32_MAX};
      uint32_t v = static_cast<uint32_t>(picks[rng() % 10]);
      file.data[at] = 0xE8;
      for (int i = 0; i < 4; ++i) file.data[at + 1 + i] = static_cast<uint8_t>(v >> (8 * i));
    }
    seg.files.push_back(file);
    file.flags = kEntryCalls16;
    file.path += "16";
    seg.files.push_back(file);
  }
  in.segments.push_back(seg);
  enc::HashChainParser parser;
  std::vector<uint8_t> archive;
  ASSERT_EQ(enc::BuildArchive(in, parser, archive), enc::EncodeStatus::kOk);
  test::ReadArchive read = test::ReadWholeArchive(archive);
  ASSERT_EQ(read.result, 0);
  for (size_t i = 0; i < read.entries.size(); ++i) EXPECT_TRUE(read.entries[i].data == seg.files[i].data) << i;
}

}  // namespace
}  // namespace zor
