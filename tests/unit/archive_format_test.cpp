// Decoding of the fixed records from their little-endian bytes.
#include <gtest/gtest.h>

#include "archive/archive_format.h"

namespace zor {
namespace {

TEST(ArchiveFormat, StubHeaderFromItsBytes) {
  const uint8_t bytes[] = {0x53, 0x58, 0x02, 0x00, 0x16, 0x00, 0x0A, 0x00};
  StubHeader h = ParseStubHeader(bytes);
  EXPECT_EQ(h.signature, kStubSignature);
  EXPECT_EQ(h.flags, 0x02);
  EXPECT_EQ(h.titleLength, 22);
  EXPECT_EQ(h.folderLength, 10);
}

TEST(ArchiveFormat, DirectoryEntryFieldsAtTheirOffsets) {
  uint8_t b[kDirectoryEntryFixedSize];
  for (uint32_t i = 0; i < kDirectoryEntryFixedSize; ++i) b[i] = static_cast<uint8_t>(i + 1);
  DirectoryEntry e = ParseDirectoryEntry(b);
  EXPECT_EQ(e.segmentOffset, 0x08070605u);
  EXPECT_EQ(e.attributes, 9);
  EXPECT_EQ(e.extra1Length, 11);
  EXPECT_EQ(e.flags, 12);
  EXPECT_EQ(e.position, 0x100F0E0Du);
  EXPECT_EQ(e.length, 0x14131211u);
  EXPECT_EQ(e.crc, 0x18171615u);
  EXPECT_EQ(e.extra2Length, 0x1A19);
  EXPECT_EQ(e.nameLength, 0x1C1B);
  EXPECT_EQ(e.createTime, 0x1E1D);
  EXPECT_EQ(e.createDate, 0x201F);
  EXPECT_EQ(e.writeTime, 0x2221);
  EXPECT_EQ(e.writeDate, 0x2423);
}

}  // namespace
}  // namespace zor
