// Writes the golden archives of tests/data: valid ones with the content they must decode to, and
// damaged ones with the error code they must give. Run by hand after a deliberate format change:
//   zor_make_golden tests/data
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "decoder/crc32.h"
#include "encoder/archive_writer.h"
#include "platform/bytes.h"
#include "support/sample_data.h"

namespace zor::encoder {
namespace {

using test::Sample;
using test::SampleKind;

std::string gRoot;
std::string gValidManifest, gDamagedManifest;

uint32_t Crc(const std::vector<uint8_t>& d) {
  static CrcTable t;
  static bool built = false;
  if (!built) BuildCrcTable(t), built = true;
  return ~UpdateCrc(t, 0xFFFFFFFFu, d.data(), static_cast<uint32_t>(d.size()));
}

bool Save(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

bool gFailed = false;

void Valid(const std::string& name, const ArchiveInput& in, const std::vector<uint8_t>& prefix = {}) {
  HashChainParser parser;
  std::vector<uint8_t> archive;
  if (BuildArchive(in, parser, archive) != EncodeStatus::kOk) {
    std::fprintf(stderr, "cannot build %s\n", name.c_str());
    gFailed = true;
    return;
  }
  archive.insert(archive.begin(), prefix.begin(), prefix.end());
  gFailed |= !Save(gRoot + "/valid/" + name + ".zor", archive);
  for (const std::string& folder : in.folders) gValidManifest += name + ".zor\tD\t" + folder + "\t0\t0\n";
  std::vector<FileRef> order = in.order;
  if (order.empty())
    for (uint32_t s = 0; s < in.segments.size(); ++s)
      for (uint32_t f = 0; f < in.segments[s].files.size(); ++f) order.push_back({s, f});
  for (const FileRef& r : order) {
    const FileInput& f = in.segments[r.segment].files[r.file];
    char line[64];
    std::snprintf(line, sizeof line, "\t%zu\t%08x\n", f.data.size(), Crc(f.data));
    gValidManifest += name + ".zor\tF\t" + f.path + line;
  }
}

// A hand-made archive of one file "file.bin" that must decode to data.
void ValidRaw(const std::string& name, const std::vector<uint8_t>& archive, const std::vector<uint8_t>& data) {
  gFailed |= !Save(gRoot + "/valid/" + name + ".zor", archive);
  char line[64];
  std::snprintf(line, sizeof line, "\t%zu\t%08x\n", data.size(), Crc(data));
  gValidManifest += name + ".zor\tF\tfile.bin" + line;
}

void Damaged(const std::string& name, const std::vector<uint8_t>& archive, int code) {
  gFailed |= !Save(gRoot + "/damaged/" + name + ".zor", archive);
  gDamagedManifest += name + ".zor\t" + std::to_string(code) + "\n";
}

using PlanFn = std::function<SegmentPlan(const std::vector<uint8_t>&)>;

ArchiveInput One(std::vector<uint8_t> data, PlanFn plan, uint8_t flags = 0, std::string path = "file.bin") {
  ArchiveInput in;
  SegmentInput seg;
  FileInput f;
  f.path = std::move(path);
  f.data = std::move(data);
  f.flags = flags;
  seg.files.push_back(std::move(f));
  seg.plan = std::move(plan);
  in.segments.push_back(std::move(seg));
  return in;
}

PlanFn Blocks(std::vector<uint32_t> types, std::vector<uint32_t> sizes, std::function<void(size_t, BlockPlan&)> tweak = {}) {
  return [=](const std::vector<uint8_t>& stream) {
    SegmentPlan p;
    uint32_t done = 0, n = static_cast<uint32_t>(stream.size());
    for (size_t k = 0; k < types.size() && done < n; ++k) {
      BlockPlan b;
      b.type = types[k];
      b.size = k + 1 == types.size() ? n - done : std::min(sizes[k], n - done);
      if (tweak) tweak(k, b);
      done += b.size;
      p.blocks.push_back(std::move(b));
    }
    return p;
  };
}

// An archive of one file whose one segment is the given raw blocks (hand-made, possibly damaged).
std::vector<uint8_t> RawArchive(const std::vector<uint8_t>& data, const std::vector<std::vector<uint8_t>>& blocks) {
  ArchiveBuilder b;
  std::vector<uint8_t> segment(kDataSignature, kDataSignature + kSegmentSignatureSize);
  for (const auto& block : blocks) segment.insert(segment.end(), block.begin(), block.end());
  EntryRecord e;
  e.path = "file.bin";
  e.length = static_cast<uint32_t>(data.size());
  e.crc = Crc(data);
  e.segmentOffset = b.AddSegment(segment);
  b.AddEntry(e);
  std::vector<uint8_t> archive;
  b.Finish({}, archive);
  return archive;
}

// The stream of one file "file.bin" holding data.
std::vector<uint8_t> StreamOf(const std::vector<uint8_t>& data) {
  SegmentStream s;
  s.AddFile(data.data(), static_cast<uint32_t>(data.size()), 0);
  return s.bytes();
}

LzBlockCoding LiteralCoding(const std::vector<LzItem>& items, uint32_t reach, LzBlockOptions o = {}) {
  std::vector<LzSymbol> symbols;
  ResolveLzItems(items, symbols);
  LzBlockCoding c;
  PlanLzBlock(symbols, reach, o, c);
  return c;
}

void SetPackedSize(std::vector<uint8_t>& block, uint32_t packed) {
  uint64_t v = 0;
  for (int i = 0; i < 6; ++i) v |= static_cast<uint64_t>(block[i]) << (8 * i);
  v = (v & ~(0xFFFFFull << 25)) | (static_cast<uint64_t>(packed) << 25);
  for (int i = 0; i < 6; ++i) block[i] = static_cast<uint8_t>(v >> (8 * i));
}

void MakeValid() {
  auto lz = [](std::function<void(BlockPlan&)> f) {
    return [f](size_t, BlockPlan& b) { f(b); };
  };
  Valid("stored-blocks", One(Sample(SampleKind::kText, 2000, 1), Blocks({0, 0, 0}, {700, 11, 0})));
  Valid("lz-built-in-tables", One(Sample(SampleKind::kText, 3000, 2), Blocks({1}, {0}, lz([](BlockPlan& b) {
                                        b.lz.tables = TableChoice::kBuiltIn;
                                      }))));
  Valid("lz-built-in-tables-far-reach", One(Sample(SampleKind::kRepeats, 9000, 2), Blocks({1}, {0}, lz([](BlockPlan& b) {
                                                  b.lz.tables = TableChoice::kBuiltIn;
                                                }))));
  Valid("lz-two-table-sets", One(Sample(SampleKind::kMixed, 3000, 3), Blocks({1}, {0}, lz([](BlockPlan& b) {
                                       b.tableSets = 2;
                                     }))));
  Valid("lz-63-table-sets", One(Sample(SampleKind::kText, 4000, 4), Blocks({3}, {0}, lz([](BlockPlan& b) {
                                      b.tableSets = 63;
                                    }))));
  for (uint32_t m = 1; m <= 3; ++m) {
    Valid("lz-m" + std::to_string(m), One(Sample(SampleKind::kRepeats, 4000, 5), Blocks({1}, {0}, lz([m](BlockPlan& b) {
                                                b.lz.distanceAlphabets = m;
                                                b.lz.tables = TableChoice::kDynamic;
                                              }))));
  }
  Valid("lz-delta-marks", One(Sample(SampleKind::kBitmap, 3000, 6), Blocks({1, 1, 1}, {1000, 1000, 0}, [](size_t k, BlockPlan& b) {
                                    b.historyCode = 1;
                                    b.deltaMarks = {{0, 3}, {500, 0}, {600, static_cast<uint32_t>(1 + k)}};
                                  })));
  Valid("lz-history-code-0", One(Sample(SampleKind::kRepeats, 80000, 7), Blocks({1, 1, 1}, {40000, 20000, 0}, [](size_t, BlockPlan& b) {
                                       b.historyCode = 0;
                                     })));
  // One run long enough for the longest match (33026 bytes, symbol 286 with all 15 extra bits set).
  Valid("lz-longest-match", One(std::vector<uint8_t>(33100, 'z'), Blocks({1}, {0})));
  {
    // Forced symbols: recent distances 0 and 1, distances 1..4, a length-2 match.
    std::vector<uint8_t> data = Sample(SampleKind::kText, 300, 8);
    PlanFn plan = [](const std::vector<uint8_t>& stream) {
      SegmentPlan p;
      BlockPlan b;
      b.size = static_cast<uint32_t>(stream.size());
      b.useItems = true;
      AppendLiterals(stream.data(), b.size, b.items);
      return p.blocks.push_back(b), p;
    };
    std::vector<uint8_t> text = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'};
    data.clear();
    for (int i = 0; i < 40; ++i) data.insert(data.end(), text.begin(), text.begin() + 1 + i % 8);
    ArchiveInput in = One(data, plan);
    in.segments[0].plan = [](const std::vector<uint8_t>& stream) {
      SegmentPlan p;
      BlockPlan b;
      b.size = static_cast<uint32_t>(stream.size());
      b.useItems = true;
      b.lz.distanceAlphabets = 2;
      // The stream repeats bytes at distances 8 and 12 in places; literals elsewhere. Matches with
      // forced symbols are placed where they reproduce the stream.
      uint32_t i = 0;
      uint32_t r0 = 0, r1 = 0;
      while (i < b.size) {
        uint32_t best = 0, bestD = 0;
        int8_t sym = -1;
        for (uint32_t d : {r0, r1, 1u, 2u, 3u, 4u, 9u, 17u}) {
          if (d == 0 || d > i) continue;
          uint32_t n = 0;
          while (i + n < b.size && stream[i + n] == stream[i + n - d] && n < 40) ++n;
          if (n > best) best = n, bestD = d;
        }
        if (best >= 2) {
          sym = static_cast<int8_t>(bestD == r0 ? 0 : bestD == r1 ? 1 : bestD <= 4 ? bestD + 1
                                                                    : ExplicitDistanceSymbol(bestD).symbol);
          if (best == 2 && sym >= 14) sym = -1;
        }
        if (sym < 0) {
          b.items.push_back(LzItem::Literal(stream[i++]));
          continue;
        }
        b.items.push_back(LzItem::Match(best, bestD, sym));
        if (sym == 1) std::swap(r0, r1);
        if (sym >= 6) r1 = r0, r0 = bestD;
        i += best;
      }
      p.blocks.push_back(b);
      return p;
    };
    Valid("lz-recent-distances", in);
  }
  Valid("sorted-size-0", One(Sample(SampleKind::kText, 500, 9), Blocks({1, 2, 1}, {200, 0, 0})));
  Valid("sorted-size-1", One(Sample(SampleKind::kText, 500, 9), Blocks({1, 2, 1}, {200, 1, 0})));
  Valid("sorted-six-tables", One(Sample(SampleKind::kMixed, 5000, 10), Blocks({2}, {0}, lz([](BlockPlan& b) {
                                       b.sorted.tableCount = 6;
                                       b.sorted.bias = 255;
                                     }))));
  Valid("sorted-fills-the-window", One(Sample(SampleKind::kRepeats, 3000, 11), Blocks({1, 2, 1}, {1000, 600, 0})));
  Valid("stored-block-larger-than-the-window", One(Sample(SampleKind::kRepeats, 4000, 12), Blocks({1, 0, 1}, {300, 2000, 0})));
  Valid("calls-16", One(Sample(SampleKind::kCode, 3000, 13), Blocks({1, 1}, {1001, 0}), kEntryCalls16));
  Valid("calls-32", One(Sample(SampleKind::kCode, 3000, 13), Blocks({1, 1}, {1001, 0}), kEntryCalls32));
  {
    ArchiveInput in;
    in.folders = {"empty folder", "docs"};
    for (uint32_t s = 0; s < 2; ++s) {
      SegmentInput seg;
      for (uint32_t f = 0; f < 4; ++f)
        seg.files.push_back({"docs\\s" + std::to_string(s) + "f" + std::to_string(f) + ".txt",
                             Sample(SampleKind::kText, f == 2 ? 0 : 300 + 100 * f, s * 4 + f)});
      seg.plan = Blocks({1, 0, 2, 3}, {500, 300, 400, 0});
      in.segments.push_back(seg);
    }
    Valid("several-files-per-segment", in);
    in.order = {{0, 3}, {1, 0}, {0, 1}, {0, 0}, {1, 3}, {1, 2}, {0, 2}, {1, 1}};
    Valid("files-out-of-stream-order", in);
    in.order.clear();
    in.directory.blockType = 0;
    Valid("dir-stored-chunk", in);
    in.directory.blockType = 1;
    in.directory.entriesPerChunk = {3, 1, 4};
    Valid("dir-three-chunks", in);
  }
  Valid("local-header-straddles-blocks", One(Sample(SampleKind::kText, 200, 14), Blocks({1, 0, 1}, {5, 9, 0}), 0, "a\\b\\c.txt"));
  Valid("zero-length-file", One({}, {}));
  Valid("with-stub-header", One(Sample(SampleKind::kText, 500, 15), {}), WriteStubHeader(2, "Golden Title", "C:\\Golden"));
}

void MakeDamaged() {
  std::vector<uint8_t> data = Sample(SampleKind::kText, 600, 20);
  std::vector<uint8_t> stream = StreamOf(data);
  uint32_t n = static_cast<uint32_t>(stream.size());
  std::vector<LzItem> literals;
  AppendLiterals(stream.data(), n, literals);
  auto lzBlock = [&](const LzBlockCoding& c) { return WriteLzBlock(c, 1, true, n); };

  std::vector<uint8_t> good = WriteStoredBlock(stream.data(), n, true);
  {
    std::vector<uint8_t> b = good;
    b[0] = static_cast<uint8_t>((b[0] & 0xF0) | 4);
    Damaged("block-type-4", RawArchive(data, {b}), -11);
    b = good;
    SetPackedSize(b, 5);
    Damaged("block-packed-size-5", RawArchive(data, {b}), -11);
    b = good;
    b[100] ^= 1;
    Damaged("stored-crc-mismatch", RawArchive(data, {b}), -12);
  }
  {
    LzBlockCoding c = LiteralCoding(literals, n);
    c.m = 0;
    Damaged("lz-m0", RawArchive(data, {lzBlock(c)}), -11);
  }
  {
    LzBlockCoding c = LiteralCoding(literals, n, {1, 2, TableChoice::kDynamic});
    for (uint32_t s = 0; s < 288; ++s) c.lengths[s] = 8;  // 288 codes of 8 bits: over-subscribed
    c.lengthEncoding = EncodeCodeLengths(c.lengths.data(), kSetLengthSmall, 1);
    Damaged("lz-oversubscribed-lengths", RawArchive(data, {lzBlock(c)}), -11);
  }
  {
    std::vector<LzItem> items;
    for (int i = 0; i < 1025; ++i) items.push_back(LzItem::DeltaMark(0));
    items.insert(items.end(), literals.begin(), literals.end());
    Damaged("lz-1025-delta-marks", RawArchive(data, {lzBlock(LiteralCoding(items, n))}), -11);
  }
  {
    std::vector<LzItem> items(literals.begin(), literals.begin() + 20);
    items.push_back(LzItem::Match(2, 4));
    items.insert(items.end(), literals.begin() + 22, literals.end());
    LzBlockCoding c = LiteralCoding(items, n, {1, 2, TableChoice::kDynamic});
    c.m = 1;
    Damaged("lz-length-2-with-m1", RawArchive(data, {lzBlock(c)}), -11);
  }
  {
    LzBlockCoding c = LiteralCoding(literals, n, {1, 2, TableChoice::kBuiltIn});
    c.m = 3;
    Damaged("lz-built-in-with-m3", RawArchive(data, {lzBlock(c)}), -11);
  }
  {
    std::vector<LzItem> items(literals.begin(), literals.begin() + 20);
    items.push_back(LzItem::Match(3, 0, 0));  // recent distance before any distance was set
    items.insert(items.end(), literals.begin() + 23, literals.end());
    Damaged("lz-recent-distance-unset", RawArchive(data, {lzBlock(LiteralCoding(items, n))}), -11);
  }
  {
    // Output cut short by the input: the file comes out short and its CRC differs.
    std::vector<uint8_t> b = lzBlock(LiteralCoding(literals, n));
    SetPackedSize(b, static_cast<uint32_t>(b.size() - 100));
    Damaged("lz-input-ends-early", RawArchive(data, {b}), -12);
  }
  {
    // Block-sorting blocks with one full table (every symbol has a code) and hand-made symbols.
    SortedBlockCoding c = PlanSortedBlock(stream.data(), n, {});
    c.tables.assign(1, std::vector<uint8_t>(kSortedSymbols, 8));
    for (uint32_t s = 254; s < kSortedSymbols; ++s) c.tables[0][s] = 9;
    c.selectors.assign((c.symbols.size() + 49) / 50, 0);
    c.tableCountField = 1;
    EncodeSortedTables(c);
    ValidRaw("sorted-one-full-table", RawArchive(data, {WriteSortedBlock(c, true, n)}), data);
    SortedBlockCoding d = c;
    d.tableCountField = 0;
    Damaged("sorted-table-count-0", RawArchive(data, {WriteSortedBlock(d, true, n)}), -11);
    d.tableCountField = 7;
    Damaged("sorted-table-count-7", RawArchive(data, {WriteSortedBlock(d, true, n)}), -11);
    d = c;
    d.selectors[1] = 1;
    Damaged("sorted-selector-beyond-tables", RawArchive(data, {WriteSortedBlock(d, true, n)}), -11);
    d = c;
    d.symbols.insert(d.symbols.end() - 1, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1});
    d.selectors.assign((d.symbols.size() + 49) / 50, 0);
    Damaged("sorted-run-past-the-end", RawArchive(data, {WriteSortedBlock(d, true, n)}), -11);
    d = c;
    d.symbols.insert(d.symbols.begin(), kOriginMarker);
    d.selectors.assign((d.symbols.size() + 49) / 50, 0);
    Damaged("sorted-second-origin-marker", RawArchive(data, {WriteSortedBlock(d, true, n)}), -11);
    std::vector<uint8_t> b = WriteSortedBlock(c, true, n);
    SetPackedSize(b, static_cast<uint32_t>(b.size() - 50));
    Damaged("sorted-input-ends-early", RawArchive(data, {b}), -50);
  }
  {
    std::vector<uint8_t> archive = RawArchive(data, {good});
    uint32_t dir = LoadLE32(archive.data() + 4);
    archive[dir + 4] = 'X';
    Damaged("dir-bad-signature", archive, -11);
    // Directory blocks of a type the reader does not take, or larger than its buffer.
    EntryRecord e;
    e.path = "file.bin";
    std::vector<uint8_t> entry = SerializeEntry(e);
    archive.resize(dir);
    std::vector<uint8_t> seg = EncodeDirectorySegment(entry, 2);
    Damaged("dir-block-type-2", [&] { auto a = archive; a.insert(a.end(), seg.begin(), seg.end()); return a; }(), -11);
    std::vector<uint8_t> big = entry;
    big.resize(8193, 0);  // one entry and zero padding: a chunk of 8193 bytes
    seg = EncodeDirectorySegment(big, 1);
    Damaged("dir-block-size-8193", [&] { auto a = archive; a.insert(a.end(), seg.begin(), seg.end()); return a; }(), -11);
  }
  {
    // The directory asks for more bytes than the segment holds: a short file, judged by its CRC.
    ArchiveBuilder b;
    std::vector<uint8_t> segment;
    HashChainParser parser;
    EncodeSegment(stream.data(), n, DefaultSegmentPlan(n), parser, segment);
    EntryRecord e;
    e.path = "file.bin";
    e.length = static_cast<uint32_t>(data.size()) + 10;
    e.crc = Crc(data);
    e.segmentOffset = b.AddSegment(segment);
    b.AddEntry(e);
    std::vector<uint8_t> archive;
    b.Finish({}, archive);
    Damaged("file-longer-than-its-segment", archive, -12);
  }
}

}  // namespace
}  // namespace zor::encoder

int main(int argc, char** argv) {
  using namespace zor::encoder;
  if (argc != 2) {
    std::fprintf(stderr, "usage: zor_make_golden DATA_FOLDER\n");
    return 1;
  }
  gRoot = argv[1];
  MakeValid();
  MakeDamaged();
  gFailed |= !Save(gRoot + "/valid/MANIFEST", std::vector<uint8_t>(gValidManifest.begin(), gValidManifest.end()));
  gFailed |= !Save(gRoot + "/damaged/MANIFEST", std::vector<uint8_t>(gDamagedManifest.begin(), gDamagedManifest.end()));
  return gFailed ? 1 : 0;
}
