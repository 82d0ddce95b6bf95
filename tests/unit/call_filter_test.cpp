// The call filters: the operand rules, opcodes at chunk and file ends, batches bigger than the staging
// buffer, and equality of any chunking with a straightforward whole-file translation.
#include <gtest/gtest.h>

#include <fcntl.h>

#include <random>
#include <vector>

#include "decoder/call_filter.h"
#include "decoder/crc32.h"
#include "support/decoder_fixture.h"

namespace zor {
namespace {

using test::DecoderFixture;

// The whole file in one pass: every 0xE8 whose operand lies inside the file is translated.
std::vector<uint8_t> Reference(const std::vector<uint8_t>& in, uint32_t k) {
  std::vector<uint8_t> out(in);
  const uint32_t n = static_cast<uint32_t>(in.size());
  for (uint32_t i = 0; i < n; ++i) {
    if (in[i] != 0xE8 || i + k >= n) continue;
    uint32_t o = i + 1, v;
    if (k == 2) {
      v = (in[o] | (in[o + 1] << 8)) - o;
    } else {
      int32_t w = static_cast<int32_t>(in[o] | (in[o + 1] << 8) | (in[o + 2] << 16) |
                                       (static_cast<uint32_t>(in[o + 3]) << 24));
      if (w >= 0 && static_cast<uint32_t>(w) < n)
        v = static_cast<uint32_t>(w) - o;
      else if (w < 0 && static_cast<int64_t>(w) >= -static_cast<int64_t>(o))
        v = n - o - 1 - static_cast<uint32_t>(w);
      else
        v = static_cast<uint32_t>(w);
    }
    for (uint32_t b = 0; b < k; ++b) out[o + b] = static_cast<uint8_t>(v >> (8 * b));
    i += k;
  }
  return out;
}

// Runs a file through FilterChunk in the given chunk sizes; returns what was written.
std::vector<uint8_t> Filter(DecoderFixture& f, const std::vector<uint8_t>& in, uint32_t kind,
                            const std::vector<uint32_t>& chunks, ErrorCode* rc = nullptr) {
  FileHandle sink = f.NewSink();
  OutputFilter& o = f.d().output;
  o.filterKind = static_cast<CallFilter>(kind);
  o.filterCarryLength = 0;
  o.fileCrc = 0xFFFFFFFFu;
  uint32_t at = 0, n = static_cast<uint32_t>(in.size());
  for (size_t c = 0; at < n; ++c) {
    uint32_t len = c < chunks.size() ? std::min(chunks[c], n - at) : n - at;
    ErrorCode r = FilterChunk(f.d(), sink, in.data() + at, len, at, n, at + len == n);
    if (rc) *rc = r;
    if (r < 0) return {};
    at += len;
  }
  EXPECT_EQ(o.filterCarryLength, 0u);
  std::vector<uint8_t> out = test::ReadAll(static_cast<int>(sink));
  EXPECT_EQ(~o.fileCrc, ~UpdateCrc(f.d().crc, 0xFFFFFFFFu, out.data(), static_cast<uint32_t>(out.size())));
  return out;
}

TEST(CallFilter, OperandRules) {
  DecoderFixture f;
  // 16-bit: w = 0 at operand offset 1 wraps to 0xFFFF.
  std::vector<uint8_t> in = {0xE8, 0, 0, 9};
  EXPECT_EQ(Filter(f, in, 2, {}), (std::vector<uint8_t>{0xE8, 0xFF, 0xFF, 9}));
  // 32-bit in a 100-byte file: w = 5 at offset 1 -> 4; w = -1 at offset 10 -> 90; 100 and -11 stay.
  std::vector<uint8_t> file(100, 0);
  auto put = [&](uint32_t at, uint32_t w) {
    file[at - 1] = 0xE8;
    for (int i = 0; i < 4; ++i) file[at + i] = static_cast<uint8_t>(w >> (8 * i));
  };
  put(1, 5);
  put(10, 0xFFFFFFFFu);
  put(20, 100);
  put(30, 0u - 31);  // below -o: stays
  put(40, 0u - 40);  // -o: the lowest folded value
  std::vector<uint8_t> out = Filter(f, file, 4, {});
  auto at = [&](uint32_t o) { return out[o] | (out[o + 1] << 8) | (out[o + 2] << 16) | (uint32_t(out[o + 3]) << 24); };
  EXPECT_EQ(at(1), 4u);
  EXPECT_EQ(at(10), 90u);
  EXPECT_EQ(at(20), 100u);
  EXPECT_EQ(at(30), 0u - 31);
  EXPECT_EQ(at(40), 100u - 40 - 1 + 40);
  EXPECT_EQ(out, Reference(file, 4));
  std::vector<uint8_t> other(100, 0);
  other[9] = 0xE8;
  other[10] = 0xF5;  // w = -11 at offset 10
  other[11] = other[12] = other[13] = 0xFF;
  EXPECT_EQ(Filter(f, other, 4, {}), other);
}

TEST(CallFilter, OpcodeAtTheFileEndKeepsItsShortOperand) {
  DecoderFixture f;
  for (uint32_t k : {2u, 4u}) {
    for (uint32_t tail = 0; tail <= k; ++tail) {
      std::vector<uint8_t> in = {1, 2, 3, 0xE8};
      for (uint32_t i = 0; i < tail; ++i) in.push_back(i == 0 ? 1 : 0);  // w = 1 when complete
      std::vector<uint8_t> out = Filter(f, in, k, {});
      if (tail < k)
        EXPECT_EQ(out, in) << k << " " << tail;
      else
        EXPECT_NE(out, in) << k << " " << tail;
      EXPECT_EQ(out, Reference(in, k));
    }
  }
}

TEST(CallFilter, SecondOpcodeInARowIsAnOperandByte) {
  DecoderFixture f;
  std::vector<uint8_t> in = {0xE8, 0xE8, 0x00, 7, 7};
  std::vector<uint8_t> out = Filter(f, in, 2, {});
  EXPECT_EQ(out, (std::vector<uint8_t>{0xE8, 0xE7, 0x00, 7, 7}));  // 0x00E8 - 1
}

TEST(CallFilter, EveryChunkingEqualsTheWholeFile) {
  std::mt19937 rng(99);
  for (uint32_t k : {2u, 4u}) {
    std::vector<uint8_t> in(64);
    for (auto& c : in) c = rng() % 3 == 0 ? 0xE8 : static_cast<uint8_t>(rng() % 8);
    std::vector<uint8_t> want = Reference(in, k);
    for (uint32_t a = 1; a < 12; ++a) {
      for (uint32_t b = 1; b < 12; ++b) {
        DecoderFixture f;
        std::vector<uint32_t> chunks;
        for (int i = 0; i < 40; ++i) chunks.push_back(i % 2 ? a : b);
        ASSERT_EQ(Filter(f, in, k, chunks), want) << k << " " << a << " " << b;
      }
    }
  }
}

TEST(CallFilter, BatchesLargerThanTheStagingBuffer) {
  // Opcodes right at the batch limits (16381 and 16379 input bytes) and a dense stretch of them.
  for (uint32_t k : {2u, 4u}) {
    std::vector<uint8_t> in(70000);
    std::mt19937 rng(k);
    for (auto& c : in) c = static_cast<uint8_t>(rng());
    for (uint32_t at : {16378u, 16379u, 16380u, 16381u, 32760u, 32761u, 49140u})
      in[at] = 0xE8;
    for (uint32_t i = 50000; i < 60000; ++i) in[i] = 0xE8;
    std::vector<uint8_t> want = Reference(in, k);
    DecoderFixture f;
    EXPECT_EQ(Filter(f, in, k, {}), want);
    DecoderFixture g;
    EXPECT_EQ(Filter(g, in, k, {20000, 3, 16381, 1, 30000}), want);
  }
}

TEST(CallFilter, WriteFailureAndCancel) {
  DecoderFixture f;
  std::vector<uint8_t> in(100, 0xE8);
  int readOnly = open("/dev/null", O_RDONLY);
  f.d().output.filterKind = CallFilter::kCalls16;
  f.d().output.filterCarryLength = 0;
  EXPECT_EQ(FilterChunk(f.d(), readOnly, in.data(), 100, 0, 100, true), kErrorWrite);
  EXPECT_EQ(TranslateCalls32(f.d(), readOnly, in.data(), 10, 0, 100), kErrorWrite);
  close(readOnly);
  f.cancel = true;
  EXPECT_EQ(TranslateCalls16(f.d(), f.NewSink(), in.data(), 10, 0), kErrorCancelled);
}

TEST(CallFilter, TranslatorsReportBytesConsumedPastTheirRange) {
  DecoderFixture f;
  std::vector<uint8_t> in = {1, 0xE8, 5, 6, 7, 8};
  f.d().output.fileCrc = 0xFFFFFFFFu;
  EXPECT_EQ(TranslateCalls16(f.d(), f.NewSink(), in.data(), 2, 0), 2);
  EXPECT_EQ(TranslateCalls32(f.d(), f.NewSink(), in.data(), 3, 0, 6), 3);
  EXPECT_EQ(TranslateCalls16(f.d(), f.NewSink(), in.data(), 1, 0), 0);
}

}  // namespace
}  // namespace zor
