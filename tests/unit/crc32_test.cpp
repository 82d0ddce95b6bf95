// CRC-32 against known check values, and the multi-byte path against the byte-at-a-time definition.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "decoder/crc32.h"

namespace zor {
namespace {

TEST(Crc32, CheckValueAndEmptyInput) {
  static CrcTable crc;
  BuildCrcTable(crc);
  const char* text = "123456789";
  EXPECT_EQ(~UpdateCrc(crc, 0xFFFFFFFFu, reinterpret_cast<const uint8_t*>(text), 9), 0xCBF43926u);
  EXPECT_EQ(~UpdateCrc(crc, 0xFFFFFFFFu, nullptr, 0), 0u);
}

TEST(Crc32, EveryLengthAndSplitMatchesBytewise) {
  static CrcTable crc;
  BuildCrcTable(crc);
  std::vector<uint8_t> data(100);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 37 + 11);
  for (uint32_t len = 0; len <= data.size(); ++len) {
    uint32_t slow = 0xFFFFFFFFu;
    for (uint32_t i = 0; i < len; ++i) slow = crc.table[0][(slow ^ data[i]) & 0xFF] ^ (slow >> 8);
    for (uint32_t split = 0; split <= len; split += 7) {
      uint32_t fast = UpdateCrc(crc, 0xFFFFFFFFu, data.data(), split);
      fast = UpdateCrc(crc, fast, data.data() + split, len - split);
      ASSERT_EQ(fast, slow) << "len " << len << " split " << split;
    }
  }
}

TEST(Crc32, LongRunsAtEveryAlignmentMatchTheTablePath) {
  // The carry-less path (where the CPU has it) takes runs of 64 bytes and more, at any alignment.
  static CrcTable crc, tableOnly;
  BuildCrcTable(crc);
  BuildCrcTable(tableOnly);
  tableOnly.carryless = false;
  std::vector<uint8_t> data(1 << 20);
  uint32_t v = 1;
  for (auto& b : data) b = static_cast<uint8_t>((v = v * 1103515245u + 12345u) >> 24);
  for (uint32_t offset = 0; offset < 16; ++offset) {
    for (uint32_t len : {63u, 64u, 65u, 79u, 80u, 127u, 128u, 129u, 191u, 255u, 256u, 1000u, 4097u}) {
      ASSERT_EQ(UpdateCrc(crc, 0x12345678u, data.data() + offset, len),
                UpdateCrc(tableOnly, 0x12345678u, data.data() + offset, len))
          << "offset " << offset << " len " << len;
    }
  }
  EXPECT_EQ(UpdateCrc(crc, 0xFFFFFFFFu, data.data(), 1 << 20),
            UpdateCrc(tableOnly, 0xFFFFFFFFu, data.data(), 1 << 20));
}

}  // namespace
}  // namespace zor
