// The segment writer's model of the decoder's window against the decoder itself: after each file the
// decoder's history length and window capacity must be what the writer assumed for that block.
#include <gtest/gtest.h>

#include <random>

#include "encoder/archive_writer.h"
#include "support/archive_reader.h"
#include "support/sample_data.h"

namespace zor {
namespace {

using namespace encoder;

struct Layout {
  std::vector<uint32_t> types, sizes, codes;
};

// Many small files in one segment with the given blocks (the last block takes the rest of the stream);
// decodes file by file and compares the decoder's state with the writer's report for the block that
// holds each file's last byte.
void ExpectModelMatchesDecoder(const Layout& layout, uint32_t seed, std::vector<BlockReport>* reportsOut = nullptr) {
  ArchiveInput in;
  SegmentInput seg;
  std::mt19937 rng(seed);
  for (uint32_t f = 0; f < 40; ++f) {
    FileInput file;
    file.path = "f" + std::to_string(f);
    file.data = test::Sample(test::kAllSampleKinds[rng() % 8], 20 + rng() % 700, seed + f);
    seg.files.push_back(std::move(file));
  }
  seg.plan = [&](const std::vector<uint8_t>& stream) {
    SegmentPlan plan;
    uint32_t done = 0, length = static_cast<uint32_t>(stream.size());
    for (size_t k = 0; k < layout.sizes.size() && done < length; ++k) {
      BlockPlan b;
      b.type = layout.types[k];
      b.size = k + 1 == layout.sizes.size() ? length - done : std::min(layout.sizes[k], length - done);
      b.historyCode = layout.codes[k];
      if (b.type == 1 && k % 3 == 1) b.deltaMarks = {{b.size / 4, static_cast<uint32_t>(1 + k % 7)}};
      done += b.size;
      plan.blocks.push_back(b);
    }
    return plan;
  };
  in.segments.push_back(seg);
  HashChainParser parser;
  std::vector<uint8_t> archive;
  std::vector<SegmentReport> reports;
  ASSERT_EQ(BuildArchive(in, parser, archive, &reports), EncodeStatus::kOk);
  const std::vector<BlockReport>& blocks = reports[0].blocks;
  if (reportsOut) *reportsOut = blocks;

  test::DecoderFixture f;
  Decoder& x = f.d();
  f.SetProgram(archive);
  const ArchiveHeader header = ParseArchiveHeader(archive.data());
  ASSERT_EQ(f.BeginDirectory(header.directoryOffset), 0);
  for (uint32_t i = 0; i < header.fileCount; ++i) {
    DirectoryEntry e;
    const uint8_t* name;
    ASSERT_EQ(NextDirectoryEntry(f.directory(), f.d(), e, name), 0);
    FileHandle sink = f.NewSink();
    ASSERT_EQ(f.DecodeFile(sink, e.segmentOffset, e.position, e.length, e.flags), 0);
    ASSERT_EQ(test::ReadAll(static_cast<int>(sink)), seg.files[i].data);
    if (e.length == 0) continue;
    uint64_t lastByte = e.position + 11 + e.length - 1, start = 0;
    size_t k = 0;
    while (start + blocks[k].size <= lastByte) start += blocks[k++].size;
    ASSERT_EQ(x.segment.blockStart, start) << "file " << i;
    EXPECT_EQ(x.segment.historyLength, blocks[k].historyLength) << "block " << k << " type " << blocks[k].type;
    EXPECT_EQ(x.segment.windowCapacity, blocks[k].windowCapacity) << "block " << k << " type " << blocks[k].type;
  }
}

TEST(SegmentModel, BlockSortingBlockThatFillsTheWindowExactly) {
  // First block 1000 bytes: capacity 1512. A block-sorting block of 600 keeps 912 bytes of history:
  // history and block fill the window to the last byte, and the decoder still has its byte of room.
  // The LZ block after it matches into that history.
  Layout l{{1, 2, 1, 0, 2}, {1000, 600, 3000, 700, 0}, {30, 30, 2, 30, 30}};
  std::vector<BlockReport> r;
  ExpectModelMatchesDecoder(l, 1, &r);
  ASSERT_GE(r.size(), 3u);
  EXPECT_EQ(r[1].historyLength, 912u);
  EXPECT_EQ(r[1].historyLength + r[1].size, r[1].windowCapacity);
}

TEST(SegmentModel, StoredAndSortedBlocksGrowTheWindowOnlyForThemselves) {
  // A stored block larger than the window grows it to its size + 512 and keeps 512 bytes of history.
  Layout l{{1, 0, 1, 2, 3}, {300, 2000, 5000, 6000, 0}, {30, 30, 7, 30, 1}};
  std::vector<BlockReport> r;
  ExpectModelMatchesDecoder(l, 2, &r);
  ASSERT_GE(r.size(), 3u);
  EXPECT_EQ(r[1].windowCapacity, 2512u);
  EXPECT_EQ(r[1].historyLength, 300u);
}

TEST(SegmentModel, RandomLayoutsOfEveryTypeAndHistoryCode) {
  for (uint32_t seed = 1; seed <= 12; ++seed) {
    std::mt19937 rng(seed);
    Layout l;
    for (int k = 0; k < 10; ++k) {
      l.types.push_back(rng() % 4);
      l.sizes.push_back(rng() % 4 == 0 ? 4000 + rng() % 6000 : 100 + rng() % 2000);
      l.codes.push_back(rng() % 32);
    }
    ExpectModelMatchesDecoder(l, seed);
  }
}

TEST(SegmentModel, LocalHeaderStraddlesBlocks) {
  // Blocks end inside the second file's LocalHeader, right behind it, and inside its bytes.
  for (uint32_t cut : {3u, 10u, 11u, 14u}) {
    ArchiveInput in;
    SegmentInput seg;
    seg.files.push_back({"first", test::Sample(test::SampleKind::kText, 100, 1)});
    seg.files.push_back({"second\\with a path", test::Sample(test::SampleKind::kText, 100, 2)});
    seg.files.push_back({"", {}});
    seg.files.push_back({"empty path is fine", {}});
    seg.plan = [cut](const std::vector<uint8_t>& stream) {
      SegmentPlan p;
      uint32_t first = 11 + 100 + cut;
      for (uint32_t size : {first, 10u, static_cast<uint32_t>(stream.size()) - first - 10}) {
        BlockPlan b;
        b.size = size;
        b.type = cut % 2 ? 0 : 1;
        p.blocks.push_back(b);
      }
      return p;
    };
    in.segments.push_back(seg);
    HashChainParser parser;
    std::vector<uint8_t> archive;
    ASSERT_EQ(BuildArchive(in, parser, archive), EncodeStatus::kOk);
    test::ReadArchive read = test::ReadWholeArchive(archive);
    ASSERT_EQ(read.result, 0);
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(read.entries[i].data, seg.files[i].data);
  }
}

// A copy points at the LocalHeader of the file stored right before it, when that file lies within one
// block (so the block that ended it is still the decoder's); an empty file takes no bytes at all.
TEST(SegmentStream, CopiesShareTheFirstOnesBytesWithinOneBlock) {
  SegmentStream stream(1000, 500);
  std::vector<uint8_t> a = test::Sample(test::SampleKind::kCode, 300, 1);
  std::vector<uint8_t> b = test::Sample(test::SampleKind::kText, 800, 2);
  std::vector<uint8_t> a2 = a;
  a2[299] ^= 1;
  StoredFile first = stream.AddFile(a.data(), 300, kEntryCalls32);
  size_t length = stream.bytes().size();
  StoredFile copy = stream.AddFile(a.data(), 300, 0);  // filtered as the first one is
  EXPECT_TRUE(copy.shared && copy.position == first.position && copy.flags == kEntryCalls32);
  EXPECT_EQ(stream.bytes().size(), length);
  EXPECT_FALSE(stream.AddFile(a2.data(), 300, 0).shared);  // same length, other bytes
  EXPECT_FALSE(stream.AddFile(a.data(), 300, kEntryCalls32).shared);  // no longer the file stored last
  StoredFile straddling = stream.AddFile(b.data(), 800, 0);
  EXPECT_FALSE(stream.AddFile(b.data(), 800, 0).shared);
  EXPECT_FALSE(straddling.shared);
  length = stream.bytes().size();
  EXPECT_TRUE(stream.AddFile(nullptr, 0, 0).shared);
  EXPECT_EQ(stream.bytes().size(), length);
}

}  // namespace
}  // namespace zor
