// The compression stage: the match finder against brute force, segments of every kind of content
// coded at every level and read back by the engine's decoders, delta regions, call-filter choice,
// table sets and the file order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "archive/archive_format.h"
#include "encoder/archive_writer.h"
#include "encoder/call_filter_choice.h"
#include "encoder/compressor.h"
#include "encoder/compressor_config.h"
#include "encoder/delta_filter.h"
#include "encoder/file_order.h"
#include "encoder/lz_optimal.h"
#include "encoder/match_finder.h"
#include "encoder/table_sets.h"
#include "support/archive_reader.h"
#include "support/sample_data.h"

namespace zor {
namespace {

using namespace encoder;
using test::Sample;
using test::SampleKind;

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// Codes the files as one segment with `config` and reads the archive back with the engine.
void ExpectSegmentRoundTrip(const std::vector<std::vector<uint8_t>>& files, const CompressionConfig& config,
                            const std::string& what, const std::vector<uint8_t>& flags = {}) {
  SegmentStream stream;
  std::vector<StoredFile> stored;
  for (size_t i = 0; i < files.size(); ++i) {
    uint8_t f = i < flags.size() ? flags[i] : 0;
    stored.push_back(stream.AddFile(files[i].data(), static_cast<uint32_t>(files[i].size()), f));
  }
  std::vector<uint8_t> segment = CompressSegmentWith(stream.bytes(), config);
  ArchiveBuilder builder;
  uint32_t offset = builder.AddSegment(segment);
  for (size_t i = 0; i < files.size(); ++i) {
    EntryRecord e;
    e.path = "f" + std::to_string(i);
    e.flags = i < flags.size() ? flags[i] : 0;
    e.segmentOffset = offset;
    e.position = stored[i].position;
    e.length = stored[i].length;
    e.crc = stored[i].crc;
    builder.AddEntry(e);
  }
  std::vector<uint8_t> archive;
  ASSERT_EQ(builder.Finish(DirectoryOptions(), archive), EncodeStatus::kOk) << what;
  test::ReadArchive read = test::ReadWholeArchive(archive);
  ASSERT_EQ(read.result, 0) << what;
  ASSERT_EQ(read.entries.size(), files.size()) << what;
  for (size_t i = 0; i < files.size(); ++i) EXPECT_TRUE(read.entries[i].data == files[i]) << what << " file " << i;
}

// Small blocks, so that little data crosses many blocks and their history.
CompressionConfig SmallBlocks(int level, uint32_t first = 30000, uint32_t later = 17000) {
  CompressionConfig c = ConfigForLevel(level);
  c.firstBlock = first;
  c.laterBlock = later;
  return c;
}

TEST(MatchFinder, FindsTheLongestMatchAndOnlyRealOnes) {
  std::vector<uint8_t> data = Concat({Sample(SampleKind::kText, 6000, 1), Sample(SampleKind::kRepeats, 6000, 2),
                                      Sample(SampleKind::kRuns, 3000, 3), Sample(SampleKind::kCode, 4000, 4)});
  const uint32_t n = static_cast<uint32_t>(data.size());
  for (uint32_t windowStart : {0u, 5000u}) {
    BinaryTreeMatchFinder finder;
    MatchFinderOptions options;
    options.depth = 100000;  // exhaustive
    options.niceLength = 40;
    finder.Reset(data.data(), n, options);
    for (uint32_t p = windowStart; p < windowStart + 2000; ++p) finder.Skip(p, windowStart);
    Match found[BinaryTreeMatchFinder::kMaxMatches];
    for (uint32_t p = windowStart + 2000; p < n; ++p) {
      uint32_t end = std::min(n, p + 300);  // a block end close by
      uint32_t count = finder.Find(p, windowStart, end, found);
      uint32_t longest = 0;
      for (uint32_t q = windowStart; q < p; ++q) longest = std::max(longest, CommonLength(&data[p], &data[q], end - p));
      uint32_t previous = 1;
      for (uint32_t k = 0; k < count; ++k) {
        ASSERT_GT(found[k].length, previous) << p;
        ASSERT_LE(found[k].distance, p - windowStart) << p;
        ASSERT_EQ(CommonLength(&data[p], &data[p - found[k].distance], found[k].length), found[k].length) << p;
        previous = found[k].length;
      }
      // The longest match, or one at least as long as the trees compare.
      if (longest >= 4) {
        ASSERT_GT(count, 0u) << p;
        EXPECT_GE(found[count - 1].length, std::min(longest, options.niceLength)) << p;
        EXPECT_LE(found[count - 1].length, longest) << p;
      }
    }
  }
}

TEST(OptimalParser, ParsesBackToTheBlockWithoutCrossingBarriers) {
  std::vector<uint8_t> window = Concat({Sample(SampleKind::kText, 20000, 5), Sample(SampleKind::kRepeats, 30000, 6)});
  const uint32_t history = 20000, size = 30000;
  BinaryTreeMatchFinder finder;
  finder.Reset(window.data(), history + size, MatchFinderOptions());
  for (uint32_t p = 0; p < history; ++p) finder.Skip(p, 0);
  OptimalParser parser;
  parser.CollectMatches(finder, 0, history, size, 32);
  PriceSet prices;
  InitialPrices(window.data() + history, size, prices);
  const std::vector<uint32_t> barriers = {1, 777, 778, 20000};
  for (uint32_t m = 1; m <= 3; ++m) {
    std::vector<LzItem> items;
    parser.Parse(window.data(), history, {{0, &prices}}, barriers, m, items);
    std::vector<uint8_t> check(window.begin(), window.begin() + history);
    check.resize(window.size());
    ASSERT_EQ(ApplyLzItems(items, check.data(), history, size, nullptr), size);
    EXPECT_TRUE(check == window) << m;
    uint32_t offset = 0;
    for (const LzItem& it : items) {
      uint32_t length = it.kind == LzItemKind::kMatch ? it.value : 1;
      for (uint32_t b : barriers) EXPECT_FALSE(offset < b && offset + length > b) << "item at " << offset;
      if (m == 1) {
        EXPECT_FALSE(it.kind == LzItemKind::kMatch && it.value == 2);
      }
      if (m == 3 && it.kind == LzItemKind::kMatch && it.value == 3 && it.distanceSymbol >= 6) {
        EXPECT_LE(it.distance, 8192u);
      }
      offset += length;
    }
  }
}

TEST(CompressSegment, EveryKindOfContentAtEveryLevel) {
  std::vector<std::vector<uint8_t>> files;
  uint32_t seed = 1;
  for (SampleKind kind : test::kAllSampleKinds) {
    files.push_back(Sample(kind, 9000 + 1000 * seed, seed));
    ++seed;
  }
  files.push_back({});
  files.push_back(std::vector<uint8_t>(40000, 0x41));  // one long run: matches beyond the nice length
  for (int level : {0, 1, 2, 3, 6, 7, 9}) ExpectSegmentRoundTrip(files, SmallBlocks(level), "level " + std::to_string(level));
}

TEST(CompressSegment, LongMatchesAndLargeBlocks) {
  // A repeat longer than the largest match length, and blocks of the sizes archives use.
  std::vector<uint8_t> base = Sample(SampleKind::kText, 50000, 9);
  std::vector<uint8_t> data = base;
  for (int i = 0; i < 3; ++i) data.insert(data.end(), base.begin(), base.end());
  data.insert(data.end(), 70000, 'x');
  CompressionConfig c = ConfigForLevel(6);
  c.firstBlock = 150000;
  c.laterBlock = 60000;
  ExpectSegmentRoundTrip({data}, c, "long");
}

TEST(CompressSegment, DeltaRegionsAcrossBlocksAndBlockTypes) {
  // Tables and bitmaps between text, over many small blocks; once with LZ blocks only, once where the
  // other types may win (a delta-planned block that ends up sorted or stored makes the match finder
  // start over).
  std::vector<std::vector<uint8_t>> files = {Sample(SampleKind::kTable, 40000, 11), Sample(SampleKind::kText, 7000, 12),
                                             Sample(SampleKind::kBitmap, 30000, 13), Sample(SampleKind::kRandom, 9000, 14),
                                             Sample(SampleKind::kTable, 20000, 15)};
  CompressionConfig c = SmallBlocks(6, 25000, 14000);
  ExpectSegmentRoundTrip(files, c, "delta");
  c.blockSorting = false;
  ExpectSegmentRoundTrip(files, c, "delta, LZ only");
  c = SmallBlocks(6, 25000, 14000);
  c.lzBlocks = false;
  ExpectSegmentRoundTrip(files, c, "delta planned, no LZ blocks");
  c = SmallBlocks(9, 25000, 14000);
  ExpectSegmentRoundTrip(files, c, "delta, level 9");
}

TEST(CompressSegment, CallFilteredFilesAndTableSets) {
  std::vector<std::vector<uint8_t>> files = {Sample(SampleKind::kCode, 30000, 21), Sample(SampleKind::kMixed, 40000, 22),
                                             Sample(SampleKind::kCode, 5000, 23)};
  ExpectSegmentRoundTrip(files, SmallBlocks(9, 60000, 40000), "calls", {kEntryCalls32, 0, kEntryCalls16});
}

TEST(CompressSegment, IsDeterministicAcrossThreads) {
  SegmentStream stream;
  std::vector<uint8_t> a = Sample(SampleKind::kMixed, 60000, 31), b = Sample(SampleKind::kTable, 30000, 32);
  stream.AddFile(a.data(), static_cast<uint32_t>(a.size()), 0);
  stream.AddFile(b.data(), static_cast<uint32_t>(b.size()), 0);
  CompressionConfig c = SmallBlocks(6);
  std::vector<uint8_t> first = CompressSegmentWith(stream.bytes(), c), second, third;
  std::thread t1([&] { second = CompressSegmentWith(stream.bytes(), c); });
  std::thread t2([&] { third = CompressSegmentWith(stream.bytes(), c); });
  t1.join();
  t2.join();
  EXPECT_TRUE(first == second);
  EXPECT_TRUE(first == third);
}

TEST(CompressSegment, PaysForItsLevel) {
  std::vector<uint8_t> data = Concat({Sample(SampleKind::kText, 60000, 41), Sample(SampleKind::kMixed, 60000, 42)});
  SegmentStream stream;
  stream.AddFile(data.data(), static_cast<uint32_t>(data.size()), 0);
  size_t stored = CompressSegment(stream.bytes(), PackSettings{0}).size();
  size_t fast = CompressSegment(stream.bytes(), PackSettings{1}).size();
  size_t normal = CompressSegment(stream.bytes(), PackSettings{6}).size();
  size_t best = CompressSegment(stream.bytes(), PackSettings{9}).size();
  EXPECT_GT(stored, stream.bytes().size());
  EXPECT_LT(fast, stored / 2);
  EXPECT_LT(normal, fast);
  EXPECT_LE(best, normal);
}

TEST(DeltaFilter, FindsTheStrideOfTablesAndBitmapsAndLeavesTextAlone) {
  std::vector<uint8_t> table = Sample(SampleKind::kTable, 30000, 51);
  std::vector<DeltaMarkSpec> marks = ChooseDeltaMarks(table.data(), 30000, DeltaOptions());
  ASSERT_FALSE(marks.empty());
  EXPECT_EQ(marks[0].offset, 0u);
  EXPECT_EQ(marks[0].d % 2, 0u);
  EXPECT_FALSE(ConfirmDeltaMarks(table.data(), 30000, marks).empty());

  std::vector<uint8_t> bitmap = Sample(SampleKind::kBitmap, 30000, 52);
  marks = ChooseDeltaMarks(bitmap.data(), 30000, DeltaOptions());
  ASSERT_FALSE(marks.empty());
  EXPECT_EQ(marks[0].d % 3, 0u);

  std::vector<uint8_t> mixed = Concat({Sample(SampleKind::kText, 20000, 53), table});
  marks = ChooseDeltaMarks(mixed.data(), 50000, DeltaOptions());
  ASSERT_FALSE(marks.empty());
  EXPECT_GE(marks[0].offset, 16384u);  // the text keeps its bytes
  EXPECT_LE(marks[0].offset, 20480u);
  EXPECT_NE(marks[0].d, 0u);
  EXPECT_LE(marks.size(), kMaxDeltaMarks);
}

// A minimal PE image: headers and one section with the given characteristics over `body`.
std::vector<uint8_t> PeImage(const std::vector<uint8_t>& body, uint16_t machine, uint32_t characteristics) {
  std::vector<uint8_t> image(0x200, 0);
  image[0] = 'M';
  image[1] = 'Z';
  image[0x3C] = 0x80;
  std::memcpy(&image[0x80], "PE\0\0", 4);
  std::memcpy(&image[0x84], &machine, 2);
  image[0x86] = 1;     // one section
  image[0x94] = 0xE0;  // optional header size
  uint8_t* section = &image[0x80 + 24 + 0xE0];
  uint32_t rawSize = static_cast<uint32_t>(body.size()), rawPointer = 0x200;
  std::memcpy(section, ".text", 5);
  std::memcpy(section + 16, &rawSize, 4);
  std::memcpy(section + 20, &rawPointer, 4);
  std::memcpy(section + 36, &characteristics, 4);
  image.insert(image.end(), body.begin(), body.end());
  return image;
}

TEST(CallFilterChoice, CodeByHeadersOrByItsCalls) {
  std::vector<uint8_t> code = Sample(SampleKind::kCode, 60000, 61);
  std::vector<uint8_t> text = Sample(SampleKind::kText, 60000, 62);
  std::vector<uint8_t> random = Sample(SampleKind::kRandom, 60000, 63);
  EXPECT_EQ(ChooseCallFilterFor(PeImage(code, 0x014C, 0x60000020).data(), 60512, "a.dll", false), kEntryCalls32);
  EXPECT_EQ(ChooseCallFilterFor(PeImage(code, 0x8664, 0x60000020).data(), 60512, "a.exe", false), kEntryCalls32);
  // A resource-only image has no code to gain on.
  EXPECT_EQ(ChooseCallFilterFor(PeImage(random, 0x014C, 0x40000040).data(), 60512, "a.dll", false), 0);
  // Without headers: by the share of calls that land inside the file, confirmed by a trial.
  EXPECT_EQ(ChooseCallFilterFor(code.data(), code.size(), "code.bin", true), kEntryCalls32);
  EXPECT_EQ(ChooseCallFilterFor(text.data(), text.size(), "a.exe", true), 0);
  EXPECT_EQ(ChooseCallFilterFor(random.data(), random.size(), "a.dll", true), 0);
}

TEST(TableSets, SplitWhereTheStatisticsChange) {
  std::vector<LzItem> items;
  std::vector<uint8_t> text = Sample(SampleKind::kText, 40000, 71), random = Sample(SampleKind::kRandom, 40000, 72);
  AppendLiterals(text.data(), 40000, items);
  AppendLiterals(random.data(), 40000, items);
  std::vector<uint32_t> starts = ChooseTableSetStarts(items, 2, TableSetOptions());
  ASSERT_FALSE(starts.empty());
  EXPECT_TRUE(std::find(starts.begin(), starts.end(), 40960u) != starts.end() ||
              std::find(starts.begin(), starts.end(), 39936u) != starts.end() ||
              std::find(starts.begin(), starts.end(), 40000u) != starts.end());
  std::vector<LzItem> uniform;
  AppendLiterals(random.data(), 40000, uniform);
  EXPECT_TRUE(ChooseTableSetStarts(uniform, 2, TableSetOptions()).empty());

  InsertSetEnds(items, starts);
  size_t ends = std::count_if(items.begin(), items.end(), [](const LzItem& it) { return it.kind == LzItemKind::kEndOfSet; });
  EXPECT_EQ(ends, starts.size());
}

TEST(FileOrder, SimilarFilesTogetherOtherwiseByExtensionAndName) {
  std::vector<uint8_t> shared = Sample(SampleKind::kText, 20000, 81);
  std::vector<uint8_t> variant = shared;
  variant[100] ^= 1;
  variant.insert(variant.end(), 300, 'z');
  std::vector<std::vector<uint64_t>> sketches = {SketchContent(shared.data(), shared.size()),
                                                 SketchContent(variant.data(), variant.size())};
  std::vector<uint8_t> other = Sample(SampleKind::kRandom, 5000, 82);
  std::vector<uint64_t> otherSketch = SketchContent(other.data(), other.size());
  std::vector<OrderInput> files = {{"docs\\b.txt", 20000, &sketches[0]},
                                   {"c.dat", 5000, &otherSketch},
                                   {"a.txt", 5000, &otherSketch},
                                   {"src\\z.c", 20300, &sketches[1]},
                                   {"a.c", 5000, nullptr}};
  std::vector<size_t> order = OrderFiles(files);
  std::vector<size_t> sorted = order;
  std::sort(sorted.begin(), sorted.end());
  ASSERT_EQ(sorted, (std::vector<size_t>{0, 1, 2, 3, 4}));
  size_t b = std::find(order.begin(), order.end(), 0) - order.begin();
  size_t z = std::find(order.begin(), order.end(), 3) - order.begin();
  EXPECT_EQ(b > z ? b - z : z - b, 1u);  // the two similar files are neighbours
  EXPECT_EQ(order, OrderFiles(files));

  std::vector<OrderInput> plain = {{"b.txt", 1, nullptr}, {"a.TXT", 1, nullptr}, {"z.c", 1, nullptr}};
  EXPECT_EQ(OrderFiles(plain), (std::vector<size_t>{2, 1, 0}));
  // Copies (same key and size) right behind the first of them.
  std::vector<OrderInput> copies = {{"x.bin", 9, nullptr, 7}, {"m.c", 9, nullptr, 7}, {"a.txt", 1, nullptr, 5},
                                    {"q.bin", 8, nullptr, 7}, {"z.zz", 9, nullptr, 7}};
  EXPECT_EQ(OrderFiles(copies), (std::vector<size_t>{3, 0, 1, 4, 2}));  // q.bin differs in size
}

TEST(PlanSegments, BoundedSegmentsOfEveryFileOnce) {
  std::vector<PackFileInfo> files;
  for (int i = 0; i < 40; ++i) files.push_back({"f" + std::to_string(i) + (i % 3 ? ".txt" : ".bin"), 3000u * (i % 7), {}});
  files.push_back({"huge.iso", 50u << 20, {}});
  CompressionConfig c = ConfigForLevel(6);
  c.segmentBound = 10000;
  std::vector<std::vector<size_t>> groups = PlanSegmentsWith(files, c);
  std::vector<size_t> all;
  for (const auto& g : groups) {
    ASSERT_FALSE(g.empty());
    uint64_t bytes = 0;
    for (size_t i : g) bytes += files[i].size;
    EXPECT_TRUE(bytes <= c.segmentBound || g.size() == 1);
    all.insert(all.end(), g.begin(), g.end());
  }
  std::sort(all.begin(), all.end());
  for (size_t i = 0; i < files.size(); ++i) EXPECT_EQ(all[i], i);
}

}  // namespace
}  // namespace zor
