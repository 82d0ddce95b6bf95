// PE header parsing: real mingw executables, and damaged headers that must fail without reading outside
// the bytes given (run under the asan preset, every case copies its bytes into a buffer of exact size).
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "archive/pe_image.h"
#include "platform/bytes.h"

namespace zor {
namespace {

std::vector<uint8_t> ReadData(const std::string& name) {
  std::ifstream in(std::string(ZOR_TEST_DATA_DIR) + "/" + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Parses a copy of exactly `size` bytes, so that any read past them is caught by the sanitizer.
bool ParsePrefix(const std::vector<uint8_t>& bytes, size_t size, PeLayout& layout) {
  std::vector<uint8_t> copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
  return ParsePeImage(copy.data(), static_cast<uint32_t>(copy.size()), layout);
}

void Store16(std::vector<uint8_t>& b, uint32_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Store32(std::vector<uint8_t>& b, uint32_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

class PeImage : public ::testing::Test {
 protected:
  void SetUp() override {
    exe = ReadData("tiny32.exe");
    ASSERT_GT(exe.size(), 1024u);
    pe = LoadLE32(exe.data() + 0x3C);
    sections = pe + 24 + LoadLE16(exe.data() + pe + 20);
  }
  std::vector<uint8_t> exe;
  uint32_t pe = 0;
  uint32_t sections = 0;
};

TEST_F(PeImage, StrippedExecutableEndsWhereItsFileEnds) {
  PeLayout layout;
  ASSERT_TRUE(ParsePeImage(exe.data(), static_cast<uint32_t>(exe.size()), layout));
  EXPECT_EQ(layout.appendedDataOffset, exe.size());
  EXPECT_FALSE(layout.is64Bit);
  EXPECT_EQ(layout.checkSumOffset, pe + 24 + 64);
  EXPECT_EQ(layout.certificateEntryOffset, pe + 24 + 96 + 4 * 8);
  EXPECT_EQ(layout.sectionCount, 4);

  auto exe64 = ReadData("tiny64.exe");
  ASSERT_TRUE(ParsePeImage(exe64.data(), static_cast<uint32_t>(exe64.size()), layout));
  EXPECT_TRUE(layout.is64Bit);
  EXPECT_EQ(layout.appendedDataOffset, exe64.size());
  uint32_t pe64 = LoadLE32(exe64.data() + 0x3C);
  EXPECT_EQ(layout.certificateEntryOffset, pe64 + 24 + 112 + 4 * 8);
}

TEST_F(PeImage, HeadersAloneAreEnoughAndAppendedBytesDoNotCount) {
  PeLayout layout;
  // Only the headers are read: the first kPeHeadReadSize bytes of a larger file give the same answer.
  ASSERT_TRUE(ParsePrefix(exe, 1024, layout));
  EXPECT_EQ(layout.appendedDataOffset, exe.size());
  // A signature or payload behind the image changes nothing.
  exe.insert(exe.end(), 5000, 0xAB);
  ASSERT_TRUE(ParsePeImage(exe.data(), static_cast<uint32_t>(exe.size()), layout));
  EXPECT_EQ(layout.appendedDataOffset, exe.size() - 5000);
}

TEST_F(PeImage, EveryTruncationBeforeTheSectionTableEndFails) {
  uint32_t tableEnd = sections + 4 * 40;
  PeLayout layout;
  for (uint32_t size = 0; size < tableEnd; ++size) {
    EXPECT_FALSE(ParsePrefix(exe, size, layout)) << "size " << size;
  }
  EXPECT_TRUE(ParsePrefix(exe, tableEnd, layout));
}

TEST_F(PeImage, LfanewOutOfRangeFails) {
  PeLayout layout;
  for (uint32_t bad : {0xFFFFFFFFu, 0xFFFFFFF0u, 0x80000000u, static_cast<uint32_t>(exe.size()),
                       static_cast<uint32_t>(exe.size()) - 10, 1024u - 20}) {
    Store32(exe, 0x3C, bad);
    EXPECT_FALSE(ParsePrefix(exe, 1024, layout)) << bad;
  }
}

TEST_F(PeImage, ForeignSignaturesFail) {
  PeLayout layout;
  auto copy = exe;
  copy[1] = 'Y';
  EXPECT_FALSE(ParsePrefix(copy, copy.size(), layout));
  copy = exe;
  copy[pe + 1] = 'X';
  EXPECT_FALSE(ParsePrefix(copy, copy.size(), layout));
  copy = exe;
  Store16(copy, pe + 24, 0x107);  // optional header magic of a ROM image
  EXPECT_FALSE(ParsePrefix(copy, copy.size(), layout));
}

TEST_F(PeImage, AbsurdSectionCountsFail) {
  PeLayout layout;
  for (uint16_t count : {uint16_t{0xFFFF}, uint16_t{96}, uint16_t{23}}) {
    Store16(exe, pe + 6, count);
    EXPECT_FALSE(ParsePrefix(exe, 1024, layout)) << count;
  }
}

TEST_F(PeImage, OptionalHeaderSizeIsChecked) {
  PeLayout layout;
  for (uint16_t size : {uint16_t{0}, uint16_t{1}, uint16_t{60}, uint16_t{95}, uint16_t{0xFFFF}}) {
    auto copy = exe;
    Store16(copy, pe + 20, size);
    EXPECT_FALSE(ParsePrefix(copy, 1024, layout)) << size;
  }
  // Fewer than five data directories: no certificate entry to leave out of the stamp.
  Store32(exe, pe + 24 + 92, 4);
  ASSERT_TRUE(ParsePrefix(exe, exe.size(), layout));
  EXPECT_EQ(layout.certificateEntryOffset, 0u);
}

TEST_F(PeImage, SectionEndsThatOverflowFail) {
  PeLayout layout;
  Store32(exe, sections + 16, 0x200);        // SizeOfRawData
  Store32(exe, sections + 20, 0xFFFFFF00u);  // PointerToRawData
  EXPECT_FALSE(ParsePrefix(exe, exe.size(), layout));
  // A section without raw data does not count, wherever it claims to be.
  Store32(exe, sections + 16, 0);
  ASSERT_TRUE(ParsePrefix(exe, exe.size(), layout));
  EXPECT_EQ(layout.appendedDataOffset, exe.size());
}

TEST_F(PeImage, ImageIsAtLeastItsHeaders) {
  PeLayout layout;
  Store16(exe, pe + 6, 0);  // no sections
  ASSERT_TRUE(ParsePrefix(exe, 1024, layout));
  EXPECT_EQ(layout.appendedDataOffset, LoadLE32(exe.data() + pe + 24 + 60));
  Store32(exe, pe + 24 + 60, 0);  // SizeOfHeaders 0: still no less than the headers themselves
  ASSERT_TRUE(ParsePrefix(exe, 1024, layout));
  EXPECT_EQ(layout.appendedDataOffset, sections);
}

TEST_F(PeImage, RandomlyDamagedHeadersNeverReadOutside) {
  std::mt19937 random(12345);
  PeLayout layout;
  for (int round = 0; round < 20000; ++round) {
    auto copy = exe;
    copy.resize(random() % 1024 + 1);
    for (int k = random() % 8; k >= 0; --k) {
      uint32_t at = random() % std::min<uint32_t>(static_cast<uint32_t>(copy.size()), 0x200);
      copy[at] = static_cast<uint8_t>(random());
    }
    if (ParsePrefix(copy, copy.size(), layout)) {
      EXPECT_GE(layout.appendedDataOffset, layout.checkSumOffset + 4);
    }
  }
}

TEST_F(PeImage, ClearUnstampedFieldsWorksOnAnyWindowOfTheFile) {
  PeLayout layout;
  ASSERT_TRUE(ParsePrefix(exe, exe.size(), layout));
  auto whole = exe;
  ClearUnstampedFields(layout, whole.data(), static_cast<uint32_t>(whole.size()), 0);
  // The same, done window by window with windows cutting through the fields, gives the same bytes.
  auto pieces = exe;
  for (uint32_t at = 0; at < pieces.size(); at += 3) {
    uint32_t n = std::min<uint32_t>(3, static_cast<uint32_t>(pieces.size()) - at);
    ClearUnstampedFields(layout, pieces.data() + at, n, at);
  }
  EXPECT_EQ(whole, pieces);
  for (uint32_t i = 0; i < 4; ++i) {
    EXPECT_EQ(whole[kImageStampOffset + i], 0);
    EXPECT_EQ(whole[layout.checkSumOffset + i], 0);
  }
  for (uint32_t i = 0; i < 8; ++i) EXPECT_EQ(whole[layout.certificateEntryOffset + i], 0);
  size_t changed = 0;
  for (size_t i = 0; i < exe.size(); ++i) changed += whole[i] != exe[i];
  EXPECT_LE(changed, 16u);
}

}  // namespace
}  // namespace zor
