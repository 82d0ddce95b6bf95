// The bit reader: opening blocks, refills with carried bytes, the end of a block's data, stored copies.
#include <gtest/gtest.h>

#include <vector>

#include "decoder/bit_reader.h"
#include "support/bit_packer.h"
#include "support/decoder_fixture.h"

namespace zor {
namespace {

using test::BlockBuilder;
using test::DecoderFixture;

// packedSize 0: the block's true length.
std::vector<uint8_t> StoredBlock(uint32_t n, uint32_t seed, uint32_t packedSize = 0) {
  BlockBuilder b(0, true, n);
  std::vector<uint8_t> payload(n);
  for (uint32_t i = 0; i < n; ++i) payload[i] = static_cast<uint8_t>(i * 31 + seed + (i >> 8));
  b.PutBytes(payload);
  return packedSize ? b.Patched(packedSize) : b.Finish();
}

TEST(BitReader, RefillsCarryTheBytesPastTheLimit) {
  DecoderFixture f;
  std::vector<uint8_t> block = StoredBlock(200000, 1);
  ASSERT_EQ(f.OpenAt(block, 0), 0);
  BitReader& r = f.d().bitReader;
  uint64_t consumed = 0;  // block bytes before the cursor
  int refills = 0;
  for (uint32_t carry = 0;; carry = (carry + 3) % 9) {
    // Walk to the limit plus up to 8 bytes, checking every byte on the way.
    while (r.cursor < r.limit + carry && consumed < block.size()) {
      ASSERT_EQ(*r.cursor, block[consumed]) << consumed;
      ++r.cursor;
      ++consumed;
    }
    ErrorCode rc = Refill(f.d());
    if (rc == kErrorInputExhausted) break;
    ASSERT_EQ(rc, 0);
    ++refills;
    EXPECT_LE(r.limit - r.buffer, 61432);
  }
  EXPECT_EQ(consumed, block.size());
  EXPECT_EQ(refills, 3);
  EXPECT_EQ(f.files().programFilePos, block.size());
}

TEST(BitReader, ShortBlocksEndAtTheirPackedSizeAndReadZerosBeyond) {
  DecoderFixture f;
  std::vector<uint8_t> two = StoredBlock(1, 2);  // 7 bytes
  std::vector<uint8_t> next = StoredBlock(1, 3);
  std::vector<uint8_t> file(two);
  file.insert(file.end(), next.begin(), next.end());
  ASSERT_EQ(f.OpenAt(file, 0), 0);
  BitReader& r = f.d().bitReader;
  EXPECT_EQ(r.limit - r.buffer, 7);
  EXPECT_EQ(r.remaining, 0u);
  EXPECT_EQ(r.nextBlockPos, 7u);
  for (int i = 7; i < 7 + 32; ++i) EXPECT_EQ(r.buffer[i], 0) << i;
  EXPECT_EQ(Refill(f.d()), kErrorInputExhausted);
}

TEST(BitReader, OpenBlockFailures) {
  DecoderFixture f;
  EXPECT_EQ(f.OpenAt({1, 2, 3, 4, 5}, 0), kErrorDamaged);  // under 6 bytes
  BlockBuilder tiny(0, true, 0);
  EXPECT_EQ(f.OpenAt(tiny.Patched(5), 0), kErrorDamaged);  // packedSize 5
  EXPECT_EQ(f.OpenAt(tiny.Patched(0), 0), kErrorDamaged);
  // A read failure is passed up unchanged; a failed seek back to the segment is -17.
  f.files().programFile = 1000;
  EXPECT_EQ(OpenBlock(f.d()), -1);
  f.d().segment.hasHistory = true;
  f.d().segment.resumePos = 99;
  EXPECT_EQ(OpenBlock(f.d()), kErrorSeek);
  f.files().programFile = kInvalidFileHandle;
}

TEST(BitReader, AFileEndingInsideTheBlockIsDamagedData) {
  // Cut in its first 8 bytes, in the first piece, and in a later piece: the archive was cut.
  std::vector<uint8_t> block = StoredBlock(100000, 4);
  for (size_t length : {7, 1000, 61431}) {
    DecoderFixture f;
    EXPECT_EQ(f.OpenAt(std::vector<uint8_t>(block.begin(), block.begin() + length), 0), kErrorDamaged) << length;
  }
  DecoderFixture f;
  block.resize(70000);
  ASSERT_EQ(f.OpenAt(block, 0), 0);  // the first piece arrived whole
  BitReader& r = f.d().bitReader;
  EXPECT_EQ(r.remaining, 100006u - 61432);
  r.cursor = r.limit;
  EXPECT_EQ(Refill(f.d()), kErrorDamaged);
  // A block of 8 bytes or less that ends the file exactly is whole.
  DecoderFixture g;
  EXPECT_EQ(g.OpenAt(StoredBlock(1, 2), 0), 0);
}

TEST(BitReader, CopyStoredFromBufferThenStraightFromTheFile) {
  DecoderFixture f;
  std::vector<uint8_t> block = StoredBlock(150000, 5);
  ASSERT_EQ(f.OpenAt(block, 45), 0);
  std::vector<uint8_t> out(150000);
  EXPECT_EQ(CopyStored(f.d(), out.data(), 150000), 150000);
  EXPECT_EQ(out, std::vector<uint8_t>(block.begin() + 6, block.end()));
  // A packedSize shorter than the payload ends it early: the shorter count. The file ending inside the
  // block instead is damaged data.
  DecoderFixture g;
  ASSERT_EQ(g.OpenAt(StoredBlock(150000, 5, 100000), 45), 0);
  EXPECT_EQ(CopyStored(g.d(), out.data(), 150000), 100000 - 6);
  DecoderFixture cut;
  block.resize(100000);
  ASSERT_EQ(cut.OpenAt(block, 45), 0);
  EXPECT_EQ(CopyStored(cut.d(), out.data(), 150000), kErrorDamaged);
  // Cancelled after the buffered part.
  DecoderFixture h;
  ASSERT_EQ(h.OpenAt(StoredBlock(10, 6), 45), 0);
  h.cancel = true;
  EXPECT_EQ(CopyStored(h.d(), out.data(), 10), kErrorCancelled);
  EXPECT_EQ(Refill(h.d()), kErrorInputExhausted);  // nothing left: -50 comes before the cancel test
}

TEST(BitReader, RefillPollsCancel) {
  DecoderFixture f;
  ASSERT_EQ(f.OpenAt(StoredBlock(100000, 7), 0), 0);
  f.d().bitReader.cursor = f.d().bitReader.limit;
  f.cancel = true;
  EXPECT_EQ(Refill(f.d()), kErrorCancelled);
}

}  // namespace
}  // namespace zor
