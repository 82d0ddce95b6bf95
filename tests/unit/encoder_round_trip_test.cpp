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
      for (uint32_t blockSize : {700u, 5000u, 40000u}) {
        ++seed;
        ExpectRoundTrip(OneFile(Sample(kind, 9000 + seed * 37, seed), Uniform(blockSize, type)), "types");
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
  for (uint32_t sets : {1u, 2u, 3u, 7u, 31u, 63u}) {
    for (SampleKind kind : {SampleKind::kText, SampleKind::kMixed, SampleKind::kBitmap}) {
      for (uint32_t m : {1u, 3u}) {
        ++seed;
        auto tweak = [=](BlockPlan& b) {
          b.tableSets = sets;
          b.lz.distanceAlphabets = m;
        };
        ExpectRoundTrip(OneFile(Sample(kind, 15000, seed), Uniform(7000, seed % 2 ? 1 : 3, tweak)), "sets");
      }
    }
  }
}

TEST(RoundTrip, EveryHistorySizeCode) {
  // Far repeats, so that what the decoder keeps matters: the writer may only refer to what it keeps.
  std::vector<uint8_t> base = Sample(SampleKind::kRandom, 40000, 7);
  std::vector<uint8_t> data = base;
  for (int i = 0; i < 4; ++i) data.insert(data.end(), base.begin() + 5000 * i, base.begin() + 5000 * i + 30000);
  for (uint32_t code = 0; code < 32; ++code) {
    auto tweak = [=](BlockPlan& b) { b.historyCode = code; };
    ExpectRoundTrip(OneFile(data, Uniform(33000, 1, tweak)), "history code");
  }
}

TEST(RoundTrip, LargeBlocksAsArchivesAreWritten) {
  // The default layout: 0xFF000, then 0x7F000 with 512 KB of history; far matches into the history.
  std::vector<uint8_t> data = Sample(SampleKind::kMixed, 1300000, 3);
  for (size_t i = 1100000; i < data.size(); ++i) data[i] = data[i - 900000];
  ExpectRoundTrip(OneFile(data), "large");
}

}  // namespace
}  // namespace zor
