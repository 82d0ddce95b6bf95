// Round trips: archives made by the writers, read back by the engine's decoders, over many seeds and
// every block type, m, table-set count, history code, delta distance, call filter and segment layout.
#include <gtest/gtest.h>

#include "encoder/archive_writer.h"
#include "support/archive_reader.h"
#include "support/sample_data.h"

namespace zor {
namespace {

using namespace encoder;
using test::Sample;
using test::SampleKind;

// Builds an archive of the segments and checks that every file comes back with its bytes and CRC.
void ExpectRoundTrip(const ArchiveInput& input, const char* what) {
  HashChainParser parser;
  std::vector<uint8_t> archive;
  ASSERT_EQ(BuildArchive(input, parser, archive), EncodeStatus::kOk) << what;
  test::ReadArchive read = test::ReadWholeArchive(archive);
  ASSERT_EQ(read.result, 0) << what;
  size_t e = input.folders.size();
  ASSERT_EQ(read.entries.size(), e + (input.order.empty() ? [&] {
                                    size_t n = 0;
                                    for (auto& s : input.segments) n += s.files.size();
                                    return n;
                                  }()
                                                         : input.order.size()))
      << what;
  for (size_t i = 0; i < input.folders.size(); ++i) EXPECT_EQ(read.entries[i].path, input.folders[i]) << what;
  std::vector<FileRef> order = input.order;
  if (order.empty()) {
    for (uint32_t s = 0; s < input.segments.size(); ++s)
      for (uint32_t f = 0; f < input.segments[s].files.size(); ++f) order.push_back({s, f});
  }
  for (const FileRef& r : order) {
    const FileInput& want = input.segments[r.segment].files[r.file];
    const test::ReadEntry& got = read.entries[e++];
    EXPECT_EQ(got.path, want.path) << what;
    ASSERT_EQ(got.data.size(), want.data.size()) << what << " " << want.path;
    EXPECT_TRUE(got.data == want.data) << what << " " << want.path;
  }
}

ArchiveInput OneFile(std::vector<uint8_t> data, std::function<SegmentPlan(const std::vector<uint8_t>&)> plan = {},
                     uint8_t flags = 0) {
  ArchiveInput in;
  SegmentInput seg;
  FileInput f;
  f.path = "dir\\file.bin";
  f.data = std::move(data);
  f.flags = flags;
  seg.files.push_back(std::move(f));
  seg.plan = std::move(plan);
  in.segments.push_back(std::move(seg));
  return in;
}

TEST(RoundTrip, EverySampleKindWithTheDefaultBlocks) {
  for (SampleKind kind : test::kAllSampleKinds) {
    for (uint32_t seed = 1; seed <= 3; ++seed) {
      ExpectRoundTrip(OneFile(Sample(kind, 3000 * seed, seed)), "default");
    }
  }
}

// Blocks of one type and size over the whole stream.
std::function<SegmentPlan(const std::vector<uint8_t>&)> Uniform(uint32_t blockSize, uint32_t type,
                                                                   std::function<void(BlockPlan&)> tweak = {}) {
  return [=](const std::vector<uint8_t>& stream) {
    SegmentPlan plan = UniformSegmentPlan(static_cast<uint32_t>(stream.size()), blockSize, type);
    if (tweak)
      for (BlockPlan& b : plan.blocks) tweak(b);
    return plan;
  };
}

TEST(RoundTrip, EveryBlockTypeAndSize) {
  uint32_t seed = 10;
  for (SampleKind kind : test::kAllSampleKinds) {
    for (uint32_t type = 0; type <= 3; ++type) {
      for (uint32_t blockSize : {700u, 5000u}) {
        ++seed;
        ExpectRoundTrip(OneFile(Sample(kind, 3000 + seed * 37, seed), Uniform(blockSize, type)), "types");
      }
    }
  }
}

TEST(RoundTrip, EveryDistanceAlphabetCountAndTableChoice) {
  uint32_t seed = 100;
  for (SampleKind kind : {SampleKind::kText, SampleKind::kRepeats, SampleKind::kCode, SampleKind::kMixed}) {
    for (uint32_t m = 1; m <= 3; ++m) {
      for (TableChoice tables : {TableChoice::kBuiltIn, TableChoice::kDynamic}) {
        ++seed;
        auto tweak = [=](BlockPlan& b) {
          b.lz.distanceAlphabets = m;
          b.lz.tables = m == 3 ? TableChoice::kDynamic : tables;
        };
        ExpectRoundTrip(OneFile(Sample(kind, 20000, seed), Uniform(6000, 1, tweak)), "m");
      }
    }
  }
}

TEST(RoundTrip, BuiltInTablesOnEitherSideOfTheReachLimit) {
  // The built-in distance lengths change at a reach (history + block) of 8192.
  for (uint32_t size : {8000u, 8192u, 8193u, 9000u}) {
    auto tweak = [](BlockPlan& b) { b.lz.tables = TableChoice::kBuiltIn; };
    ExpectRoundTrip(OneFile(Sample(SampleKind::kRepeats, size - 41, size)), "reach plain");
    ArchiveInput in = OneFile(Sample(SampleKind::kRepeats, size - 26, size), Uniform(1u << 20, 1, tweak));
    ExpectRoundTrip(in, "reach");
  }
}

TEST(RoundTrip, EveryTableSetCount) {
  uint32_t seed = 200;
  for (uint32_t sets : {2u, 3u, 7u, 63u}) {
    for (SampleKind kind : {SampleKind::kText, SampleKind::kMixed}) {
      for (uint32_t m : {1u, 3u}) {
        ++seed;
        auto tweak = [=](BlockPlan& b) {
          b.tableSets = sets;
          b.lz.distanceAlphabets = m;
        };
        ExpectRoundTrip(OneFile(Sample(kind, 9000, seed), Uniform(7000, seed % 2 ? 1 : 3, tweak)), "sets");
      }
    }
  }
}

TEST(RoundTrip, EveryHistorySizeCode) {
  // Far repeats, so that what the decoder keeps matters: the writer may only refer to what it keeps.
  std::vector<uint8_t> base = Sample(SampleKind::kRandom, 36000, 7);
  std::vector<uint8_t> data = base;
  for (int i = 0; i < 3; ++i) data.insert(data.end(), base.begin() + 3000 * i, base.begin() + 3000 * i + 20000);
  for (uint32_t code = 0; code < 32; ++code) {
    auto tweak = [=](BlockPlan& b) { b.historyCode = code; };
    ExpectRoundTrip(OneFile(data, Uniform(24000, 1, tweak)), "history code");
  }
}

TEST(RoundTrip, LargeBlocksAsArchivesAreWritten) {
  // The default layout: 0xFF000, then 0x7F000 with 512 KB of history; far matches into the history.
  std::vector<uint8_t> data = Sample(SampleKind::kMixed, 1300000, 3);
  for (size_t i = 1100000; i < data.size(); ++i) data[i] = data[i - 900000];
  ExpectRoundTrip(OneFile(data), "large");
}

TEST(RoundTrip, DeltaMarksOfEveryDistanceAcrossBlocks) {
  // Marks switch the filter on and off within blocks; later blocks match into history whose bytes the
  // decoder has turned back, and their first delta sources fall in that history.
  uint32_t seed = 300;
  for (SampleKind kind : {SampleKind::kTable, SampleKind::kBitmap}) {
    for (uint32_t d = 0; d <= 7; ++d) {
      ++seed;
      std::vector<uint8_t> data = Sample(kind, 16000, seed);
      for (size_t i = 10000; i < data.size(); ++i) data[i] = data[i - 9000 + (i % 3)];
      for (uint32_t type : {1u + d % 3}) {
        auto plan = [=](const std::vector<uint8_t>& stream) {
          SegmentPlan p = UniformSegmentPlan(static_cast<uint32_t>(stream.size()), 5000, 1);
          for (size_t k = 0; k < p.blocks.size(); ++k) {
            BlockPlan& b = p.blocks[k];
            b.historyCode = static_cast<uint32_t>(seed + k) % 32;
            if (k == 2) b.type = type;  // a stored or block-sorting block between LZ blocks
            b.deltaMarks = {{0, d}, {b.size / 3, (d + 3) % 8}, {b.size / 3, d}, {b.size / 2, 0}, {b.size - 1, 1 + d % 7}};
          }
          return p;
        };
        ExpectRoundTrip(OneFile(data, plan), "delta");
      }
    }
  }
}

TEST(RoundTrip, CallFiltersOverBlockBoundaries) {
  // Filtered files straddle blocks, so the extractor's carry across chunks is exercised, and end with
  // E8 bytes whose operands would run past the end.
  uint32_t seed = 400;
  for (uint8_t flags : {kEntryCalls16, kEntryCalls32, static_cast<uint8_t>(kEntryCalls16 | kEntryCalls32)}) {
    for (uint32_t blockSize : {97u, 1000u, 65536u}) {
      for (uint32_t tail : {0u, 1u, 3u, 5u}) {
        ++seed;
        std::vector<uint8_t> data = Sample(SampleKind::kCode, std::min(20000u, blockSize * 9) + seed % 50, seed);
        for (uint32_t k = 0; k < tail; ++k) data[data.size() - 1 - k] = k % 2 ? 0x10 : 0xE8;
        ExpectRoundTrip(OneFile(data, Uniform(blockSize, seed % 4), flags), "filter");
      }
    }
  }
}

ArchiveInput ManyFiles(uint32_t segments, uint32_t filesPerSegment, uint32_t seed, uint32_t blockSize) {
  ArchiveInput in;
  in.folders = {"docs", "docs\\empty"};
  for (uint32_t s = 0; s < segments; ++s) {
    SegmentInput seg;
    for (uint32_t f = 0; f < filesPerSegment; ++f) {
      FileInput file;
      file.path = "seg" + std::to_string(s) + "\\f" + std::to_string(f) + ".dat";
      uint32_t size = (seed + f * 7) % 5 == 0 ? 0 : 10 + (seed * 31 + f * 977) % 9000;
      file.data = Sample(test::kAllSampleKinds[(seed + f) % 8], size, seed * 10 + f);
      file.flags = f % 4 == 3 ? kEntryCalls32 : 0;
      seg.files.push_back(std::move(file));
    }
    seg.plan = Uniform(blockSize, (s + seed) % 4);
    in.segments.push_back(std::move(seg));
  }
  return in;
}

TEST(RoundTrip, SeveralFilesPerSegmentInStreamOrder) {
  for (uint32_t seed = 1; seed <= 6; ++seed)
    ExpectRoundTrip(ManyFiles(1 + seed % 3, 2 + seed, seed, 3000 + seed * 1000), "segments");
}

TEST(RoundTrip, FilesOutOfStreamOrderRestartTheirSegment) {
  for (uint32_t seed = 1; seed <= 6; ++seed) {
    ArchiveInput in = ManyFiles(2, 5, seed, 2000);
    // Backwards within each segment, segments interleaved: every file but a few restarts.
    for (uint32_t f = 5; f-- > 0;) {
      in.order.push_back({0, f});
      in.order.push_back({1, (f + seed) % 5});
    }
    ExpectRoundTrip(in, "order");
  }
}

TEST(RoundTrip, DirectoryOfManyChunksAndStoredChunks) {
  ArchiveInput in;
  SegmentInput seg;
  for (uint32_t f = 0; f < 400; ++f) {
    FileInput file;
    file.path = "a rather long folder name\\with a subfolder\\file number " + std::to_string(f * 7919) + ".txt";
    file.data = Sample(SampleKind::kText, f % 50, f);
    seg.files.push_back(std::move(file));
  }
  in.segments.push_back(std::move(seg));
  ExpectRoundTrip(in, "chunks");
  in.directory.chunkLimit = 8192;
  ExpectRoundTrip(in, "chunks 8192");
  in.directory.blockType = 0;
  in.directory.chunkLimit = 3000;
  ExpectRoundTrip(in, "stored chunks");
}

}  // namespace
}  // namespace zor
