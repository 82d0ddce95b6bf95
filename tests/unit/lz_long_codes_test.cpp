// Far distances sent with the longest codes: a 16-bit distance code and 18 extra bits make 34 bits, more
// than the five bits that once held a decode entry's code-and-extra count. The count wrapped into the
// symbol's data, and a match 600 KB back (two files of one segment with the same local header) came out
// as a run of one byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "decoder/lz_decoder.h"
#include "encoder/block_writer.h"
#include "encoder/code_length_writer.h"
#include "encoder/segment_writer.h"
#include "support/decoder_fixture.h"
#include "support/sample_data.h"

namespace zor {
namespace {

namespace enc = encoder;
using enc::LzItem;

TEST(LzLongCodes, FarDistanceSymbolsWithSixteenBitCodesDecode) {
  const uint32_t history = (1u << 20) + 100;
  std::vector<uint8_t> window = test::Sample(test::SampleKind::kRandom, history, 11);
  // One match with each distance symbol 6..20, 40 and 41, each 3 bytes from a fresh distance.
  std::vector<LzItem> items;
  uint32_t size = 0;
  std::vector<uint32_t> used;
  for (uint32_t symbol = 6; symbol <= 20; ++symbol) used.push_back(symbol);
  used.push_back(40);
  used.push_back(41);
  for (uint32_t symbol : used) {
    items.push_back(LzItem::Match(3, enc::DistanceBase(symbol) + (1u << enc::DistanceExtraBits(symbol)) - 1));
    items.push_back(LzItem::Literal(static_cast<uint8_t>(symbol)));
    size += 4;
  }
  window.resize(history + size);
  std::vector<uint8_t> want = window;
  ASSERT_EQ(enc::ApplyLzItems(items, want.data(), history, size, nullptr), size);

  std::vector<enc::LzSymbol> symbols;
  ASSERT_EQ(enc::ResolveLzItems(items, symbols), enc::EncodeStatus::kOk);
  enc::LzBlockCoding coding;
  enc::LzBlockOptions options;
  options.distanceAlphabets = 2;
  options.tables = enc::TableChoice::kDynamic;
  ASSERT_EQ(enc::PlanLzBlock(symbols, history + size, options, coding), enc::EncodeStatus::kOk);
  ASSERT_EQ(coding.tableSets, 1u);
  ASSERT_EQ(coding.lengths.size(), kSetLengthSmall);
  // A complete code for the distances with the far ones longest: 6 gets 1 bit, 7 two, ... 20 fifteen,
  // 40 and 41 sixteen, so that 41 takes 16 + 18 bits.
  uint8_t* distance = coding.lengths.data() + kLitLenSymbols;
  std::fill(distance, distance + 42, 0);
  for (uint32_t symbol = 6; symbol <= 20; ++symbol) distance[symbol] = static_cast<uint8_t>(symbol - 5);
  distance[40] = distance[41] = 16;
  coding.lengthEncoding = enc::EncodeCodeLengths(coding.lengths.data(), kSetLengthSmall, 1);

  std::vector<uint8_t> block = enc::WriteLzBlock(coding, 1, true, size);
  test::DecoderFixture f;
  ASSERT_EQ(f.OpenAt(block, 50), 0);
  std::vector<uint8_t> got = window;
  got.resize(got.size() + 16);
  ASSERT_EQ(DecodeLzBlock(f.d(), got.data(), history, size, true), static_cast<int32_t>(size));
  got.resize(want.size());
  EXPECT_TRUE(got == want);
}

}  // namespace
}  // namespace zor
