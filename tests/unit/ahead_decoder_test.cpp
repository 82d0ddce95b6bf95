// Decoding ahead on worker threads: the walk's side gets every file it asks for, in directory order, with
// its bytes and CRC, whatever it skips (whole runs included) and however far the workers are ahead; after a
// failure the rest of the run is left to the walk.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <string>
#include <vector>

#include "cli/ahead_decoder.h"
#include "decoder/crc32.h"
#include "support/extract_fixture.h"

namespace zor {
namespace {

using test::ScratchFolder;
using test::TestArchive;

std::vector<uint8_t> Data(uint32_t size, uint32_t seed) {
  std::vector<uint8_t> v(size);
  for (auto& b : v) b = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 26);
  return v;
}

struct Case {
  const char* what;
  std::vector<uint32_t> asked;  // indices the walk asks for, in order; the others it skips
  unsigned threads;
};

TEST(AheadDecoder, TheWalkGetsWhatItAsksForInOrderWhateverItSkips) {
  // Four segments: small files, and files of several chunks (more than a worker's reserve).
  constexpr uint32_t kLarge = 3 * AheadDecoder::kChunkSize + 123;
  std::vector<std::vector<uint8_t>> data;
  TestArchive archive;
  for (uint32_t segment = 0; segment < 4; ++segment) {
    if (segment) archive.NextSegment();
    for (uint32_t k = 0; k < 4; ++k) {
      data.push_back(Data(segment == 2 ? kLarge + k : 1000 * k + 1, segment * 10 + k));
      archive.File("f" + std::to_string(data.size()), data.back());
    }
  }
  const std::vector<uint8_t> bytes = archive.Blocks(65536, 1).Build();
  ASSERT_FALSE(bytes.empty());
  ScratchFolder dir;
  const std::string path = dir.Native("a.zor");
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());

  test::ExtractHarness h(bytes);
  std::vector<PlannedFile> planned;
  uint32_t index = 0;
  ASSERT_EQ(BeginWalk(h.x().directory, h.x().decoder, h.x().archiveHeader.directoryOffset), 0);
  for (uint32_t i = 0; i < h.x().archiveHeader.fileCount; ++i, ++index) {
    DirectoryEntry e;
    const uint8_t* name;
    ASSERT_EQ(NextDirectoryEntry(h.x().directory, h.x().decoder, e, name), 0);
    planned.push_back({index, e.segmentOffset + kSegmentSignatureSize, e.position, e.length, CallFilter::kNone});
  }
  EndWalk(h.x().directory, h.x().decoder);

  const Case cases[] = {
      {"everything", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, 2},
      {"every other", {1, 3, 5, 7, 9, 11, 13, 15}, 3},
      {"whole runs skipped", {0, 13, 14}, 4},
      {"the large ones only", {8, 9, 10, 11}, 8},
  };
  CrcTable crc;
  BuildCrcTable(crc);
  const std::atomic<bool> notCancelled{false};
  for (const Case& c : cases) {
    AheadDecoder ahead(planned, false);
    ASSERT_TRUE(ahead.Start(path.c_str(), c.threads)) << c.what;
    for (uint32_t i : c.asked) {
      std::vector<uint8_t> got;
      const AheadResult r = ahead.Take(i, [&](const uint8_t* b, uint32_t n) {
        got.insert(got.end(), b, b + n);
        return true;
      }, notCancelled);
      ASSERT_EQ(r.kind, AheadResult::Kind::kDecoded) << c.what << " " << i;
      EXPECT_EQ(r.rc, 0);
      EXPECT_EQ(got, data[i]) << c.what << " " << i;
      EXPECT_EQ(r.crc, ~UpdateCrc(crc, 0xFFFFFFFFu, data[i].data(), static_cast<uint32_t>(data[i].size())));
    }
    ahead.Stop();
  }
}

TEST(AheadDecoder, AfterAFailureTheRestOfItsRunIsTheWalks) {
  TestArchive archive;
  archive.File("one", Data(3000, 1)).File("two", Data(300000, 2)).File("three", Data(3000, 3)).NextSegment()
      .File("four", Data(3000, 4));
  std::vector<uint32_t> offsets;
  std::vector<encoder::SegmentReport> reports;
  std::vector<uint8_t> bytes = archive.Blocks(65536, 1).Build(&offsets, &reports);
  ASSERT_GE(reports[0].blocks.size(), 3u);
  // The first segment's third block gets an impossible type: "two" fails half-way.
  bytes[offsets[0] + kSegmentSignatureSize + reports[0].blocks[0].packedSize + reports[0].blocks[1].packedSize] |= 0x0F;
  ScratchFolder dir;
  const std::string path = dir.Native("a.zor");
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  const uint32_t first = offsets[0] + kSegmentSignatureSize;
  const uint32_t second = offsets[1] + kSegmentSignatureSize;
  test::ExtractHarness h(bytes);
  std::vector<PlannedFile> planned;
  ASSERT_EQ(BeginWalk(h.x().directory, h.x().decoder, h.x().archiveHeader.directoryOffset), 0);
  for (uint32_t i = 0; i < 4; ++i) {
    DirectoryEntry e;
    const uint8_t* name;
    ASSERT_EQ(NextDirectoryEntry(h.x().directory, h.x().decoder, e, name), 0);
    planned.push_back({i, i < 3 ? first : second, e.position, e.length, CallFilter::kNone});
  }
  EndWalk(h.x().directory, h.x().decoder);

  AheadDecoder ahead(planned, true);
  ASSERT_TRUE(ahead.Start(path.c_str(), 2));
  const std::atomic<bool> notCancelled{false};
  const auto take = [&](uint32_t i) { return ahead.Take(i, [](const uint8_t*, uint32_t) { return true; }, notCancelled); };
  EXPECT_EQ(take(0).rc, 0);
  const AheadResult failed = take(1);
  EXPECT_EQ(failed.kind, AheadResult::Kind::kDecoded);
  EXPECT_EQ(failed.rc, kErrorDamaged);
  EXPECT_EQ(take(2).kind, AheadResult::Kind::kNotDecoded);
  const AheadResult other = take(3);
  EXPECT_EQ(other.kind, AheadResult::Kind::kDecoded);
  EXPECT_EQ(other.rc, 0);
}

}  // namespace
}  // namespace zor
