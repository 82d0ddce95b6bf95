// The compression stage: segment planning, call-filter choice and the coding of a segment's stream.
//
// A segment is coded block by block with the decoder's window modelled exactly (segment_writer.h).
// Each block is the smallest of: an LZ block from the optimal parser, a block-sorting block, a stored
// block. One match finder runs over the whole stream as the window holds it ("level" bytes: the
// delta filter taken off where a block uses it), so the history a block starts with is already in its
// trees. The delta regions of every block are therefore chosen before any block is coded; a block
// that ends up stored or sorted holds its plain bytes instead, and the finder is rebuilt behind it.
#include "encoder/compressor.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "archive/archive_format.h"
#include "encoder/block_writer.h"
#include "encoder/call_filter_choice.h"
#include "encoder/compressor_config.h"
#include "encoder/delta_filter.h"
#include "encoder/file_order.h"
#include "encoder/lz_items.h"
#include "encoder/lz_optimal.h"
#include "encoder/lz_prices.h"
#include "encoder/match_finder.h"
#include "encoder/segment_writer.h"
#include "encoder/table_sets.h"
#include "encoder/trial_coding.h"

namespace zor::encoder {

namespace {

std::vector<uint32_t> BlockSizes(uint32_t length, const CompressionConfig& config) {
  std::vector<uint32_t> sizes;
  uint32_t done = 0;
  do {
    uint32_t size = std::min(done == 0 ? config.firstBlock : config.laterBlock, length - done);
    sizes.push_back(size);
    done += size;
  } while (done < length);
  return sizes;
}

// Data that a quick coding cannot shrink (compressed images, archives): sampled order-0 statistics
// first, since most blocks fail that test at once.
bool Incompressible(const uint8_t* bytes, uint32_t size) {
  constexpr uint32_t kStep = 8;
  if (size < 4096) return false;
  uint32_t histogram[256] = {}, samples = 0;
  for (uint32_t i = 0; i < size; i += kStep, ++samples) ++histogram[bytes[i]];
  double bits = XLog2X(samples);
  for (uint32_t h : histogram) bits -= XLog2X(h);
  if (bits < 7.8 * samples) return false;
  return QuickLzBits(bytes, size) >= static_cast<uint64_t>(size) * 8 - size / 16;
}

class SegmentCompressor {
 public:
  explicit SegmentCompressor(const CompressionConfig& config) : config_(config) {}
  std::vector<uint8_t> Compress(const std::vector<uint8_t>& stream);

 private:
  std::vector<DeltaMarkSpec> PlanDelta(const uint8_t* bytes, uint32_t size) const;
  void LevelBytes(const std::vector<uint8_t>& stream, uint32_t blockStart, uint32_t size,
                  const std::vector<DeltaMarkSpec>& marks);
  std::vector<uint8_t> LzBlock(uint32_t blockStart, uint32_t size, uint32_t history, bool last,
                               const std::vector<DeltaMarkSpec>& marks);

  const CompressionConfig& config_;
  std::vector<uint8_t> level_;  // the stream as the decoder's window holds it
  std::vector<uint8_t> check_;  // the decoder's view of a parse, to check it
  BinaryTreeMatchFinder finder_;
  OptimalParser parser_;
  PriceSet prices_;             // carried from block to block as the next block's first guess
  bool havePrices_ = false;
};

std::vector<DeltaMarkSpec> SegmentCompressor::PlanDelta(const uint8_t* bytes, uint32_t size) const {
  if (!config_.delta) return {};
  return ConfirmDeltaMarks(bytes, size, ChooseDeltaMarks(bytes, size, DeltaOptions()));
}

// The block's level bytes: its stream bytes with the delta filter taken off, the sources in front of
// the block read from the level bytes before it.
void SegmentCompressor::LevelBytes(const std::vector<uint8_t>& stream, uint32_t blockStart, uint32_t size,
                                   const std::vector<DeltaMarkSpec>& marks) {
  std::memcpy(level_.data() + blockStart, stream.data() + blockStart, size);
  RemoveDeltaMarks(level_.data(), blockStart, size, marks);
}

std::vector<uint8_t> SegmentCompressor::LzBlock(uint32_t blockStart, uint32_t size, uint32_t history, bool last,
                                                const std::vector<DeltaMarkSpec>& marks) {
  const uint32_t windowStart = blockStart - history;
  const uint8_t* window = level_.data() + windowStart;
  std::vector<uint32_t> barriers;
  for (const DeltaMarkSpec& mark : marks) barriers.push_back(mark.offset);
  parser_.CollectMatches(finder_, windowStart, blockStart, size, config_.niceLength);
  // Without a block before it to learn prices from, a block gets a second parse.
  uint32_t passes = config_.passes;
  if (!havePrices_) {
    InitialPrices(window + history, size, prices_);
    passes = std::max(passes, 2u);
  }
  havePrices_ = true;

  // The parser assumes m = 3 (length-3 matches in their own alphabet, up to 8192 back); such a parse
  // is also valid with m = 2, and the block writer takes the cheaper.
  const uint32_t m = 3;
  std::vector<LzItem> items;
  std::vector<SymbolCounts> counts;
  for (uint32_t pass = 0; pass < passes; ++pass) {
    parser_.Parse(window, history, {{0, &prices_}}, barriers, m, items);
    CountItems(items, m, counts);
    PricesFromCounts(counts[0], prices_);
  }
  InsertDeltaMarks(items, marks);

  LzBlockCoding best;
  std::vector<LzItem> bestItems;
  LzBlockOptions options;  // the first parse picks m; the others keep it
  auto consider = [&](std::vector<LzItem>&& parse) {
    std::vector<LzSymbol> symbols;
    LzBlockCoding coding;
    coding.historyCode = kHistoryCodeLargest;
    if (ResolveLzItems(parse, symbols) != EncodeStatus::kOk ||
        PlanLzBlock(std::move(symbols), history + size, options, coding) != EncodeStatus::kOk)
      return;
    options.distanceAlphabets = coding.m;
    if (bestItems.empty() || LzBlockBits(coding) < LzBlockBits(best)) {
      best = std::move(coding);
      bestItems = std::move(parse);
    }
  };
  consider(std::vector<LzItem>(items));
  if (bestItems.empty()) return {};
  if (config_.maxTableSets > 1) {
    TableSetOptions setOptions;
    setOptions.maxSets = config_.maxTableSets;
    setOptions.setCharge = config_.setCharge;
    std::vector<uint32_t> starts = ChooseTableSetStarts(items, m, setOptions);
    for (uint32_t pass = 0; pass < config_.setPasses && !starts.empty(); ++pass) {
      // Parse again, each stretch priced by its own set, and split that parse.
      InsertSetEnds(items, starts);
      CountItems(items, m, counts);
      std::vector<PriceSet> setPrices(counts.size());
      std::vector<PriceRegion> regions;
      for (size_t k = 0; k < counts.size(); ++k) {
        PricesFromCounts(counts[k], setPrices[k]);
        regions.push_back({k == 0 ? 0 : starts[k - 1], &setPrices[k]});
      }
      consider(std::vector<LzItem>(items));
      parser_.Parse(window, history, regions, barriers, m, items);
      InsertDeltaMarks(items, marks);
      consider(std::vector<LzItem>(items));
      starts = ChooseTableSetStarts(items, m, setOptions);
    }
    if (!starts.empty()) {
      InsertSetEnds(items, starts);
      consider(std::move(items));
    }
  }
  // The parse must give back the block's level bytes as the decoder applies it.
  check_.assign(window, window + history);
  check_.resize(history + size, 0);
  if (ApplyLzItems(bestItems, check_.data(), history, size, nullptr) != size ||
      !std::equal(check_.begin() + history, check_.end(), window + history))
    return {};
  return WriteLzBlock(best, 1, last, size);
}

std::vector<uint8_t> SegmentCompressor::Compress(const std::vector<uint8_t>& stream) {
  const uint32_t length = static_cast<uint32_t>(stream.size());
  std::vector<uint8_t> out(kDataSignature, kDataSignature + kSegmentSignatureSize);
  std::vector<uint32_t> sizes = BlockSizes(length, config_);

  level_ = stream;
  std::vector<std::vector<DeltaMarkSpec>> marks(sizes.size());
  for (size_t k = 0, start = 0; k < sizes.size(); start += sizes[k++]) {
    marks[k] = PlanDelta(stream.data() + start, sizes[k]);
    if (!marks[k].empty()) LevelBytes(stream, static_cast<uint32_t>(start), sizes[k], marks[k]);
  }
  finder_.Reset(level_.data(), length, config_.finder);
  bool finderStale = false;
  bool sortingCloseCall = true;
  uint32_t blocksSinceSorting = 0;

  WindowModel model;
  uint32_t blockStart = 0;
  for (size_t k = 0; k < sizes.size(); ++k) {
    const uint32_t size = sizes[k];
    const bool last = k + 1 == sizes.size();
    const uint8_t* bytes = stream.data() + blockStart;
    uint32_t history, capacity;
    PlaceBlock(model, 1, size, last, kHistoryCodeLargest, history, capacity);
    if (!marks[k].empty()) {
      // The delta sources in front of the block change when a block before it changed its bytes.
      std::vector<uint8_t> before(level_.begin() + blockStart, level_.begin() + blockStart + size);
      LevelBytes(stream, blockStart, size, marks[k]);
      if (!std::equal(before.begin(), before.end(), level_.begin() + blockStart)) finderStale = true;
    }
    if (finderStale) {
      finder_.Reset(level_.data(), length, config_.finder);
      for (uint32_t p = blockStart - history; p < blockStart; ++p) finder_.Skip(p, blockStart - history);
      finderStale = false;
    }

    uint32_t type = 1;
    std::vector<uint8_t> best;
    // Data a quick coding cannot shrink (compressed images and archives) is stored without a parse.
    bool incompressible = marks[k].empty() && Incompressible(bytes, size);
    if (config_.lzBlocks && !incompressible) best = LzBlock(blockStart, size, history, last, marks[k]);
    // Block sorting wins on some text and on very repetitive data. Below the strongest levels it is
    // tried where the last trial came close, on very repetitive blocks, and now and then.
    bool trySorting = config_.blockSorting && size > 0 && !incompressible;
    if (trySorting && !config_.alwaysTrySorting && !best.empty()) {
      trySorting = sortingCloseCall || blocksSinceSorting >= 4 || best.size() < size / 16;
    }
    if (trySorting) {
      SortedBlockOptions sortedOptions;
      if (!config_.alwaysTrySorting) sortedOptions.tableCount = kMaxSortedTables;  // no search over the count
      std::vector<uint8_t> sorted = WriteSortedBlock(PlanSortedBlock(bytes, size, sortedOptions), last, size);
      // A close call: within a sixteenth of the LZ block of paying for its slower decoding.
      sortingCloseCall = best.empty() || SortingPays(sorted.size(), best.size() + best.size() / 16, size, config_.sortingSaving);
      blocksSinceSorting = 0;
      if (best.empty() || SortingPays(sorted.size(), best.size(), size, config_.sortingSaving)) {
        best = std::move(sorted);
        type = 2;
      }
    } else {
      ++blocksSinceSorting;
    }
    if (best.empty() || size + 6 < best.size()) {
      best = WriteStoredBlock(bytes, size, last);
      type = 0;
    }
    if (type != 1) {
      PlaceBlock(model, type, size, last, 0, history, capacity);
      if (!marks[k].empty()) {
        std::memcpy(level_.data() + blockStart, bytes, size);
        finderStale = true;
      }
    }
    model.Advance(history, capacity, size);
    out.insert(out.end(), best.begin(), best.end());
    blockStart += size;
  }
  return out;
}

}  // namespace

CompressionConfig ConfigForLevel(int level) {
  CompressionConfig c;
  c.laterBlock = kFirstBlockSize;  // a larger block reaches further back on average: 0.4 % smaller
  if (level <= 0) {
    c.store = true;
    return c;
  }
  if (level <= 2) {
    c.fast = true;
    c.fastOptions.maxChain = level == 1 ? 8 : 24;
    c.fastOptions.lazy = level > 1;
    c.delta = false;
    c.blockSorting = false;
    return c;
  }
  // Tree depth, the length taken at once, parses per block and per table set.
  struct Row {
    uint32_t depth, nice, passes, setPasses;
  };
  // Levels 7-9 parse once per block (the first block twice) with the prices the block before left, and
  // once more per table set: on installer at -9 that packs in less than half the CPU time of three
  // parses and two more per set with a tree of depth 128 (24 s against 52 s), for 0.15 % more bytes.
  static constexpr Row kRows[7] = {
      {6, 16, 1, 0}, {8, 24, 1, 0}, {10, 24, 1, 0}, {12, 32, 1, 0},  // levels 3-6
      {24, 64, 1, 1}, {32, 96, 1, 1}, {48, 128, 1, 1},               // levels 7-9
  };
  const Row& r = kRows[std::min(level, 9) - 3];
  c.finder.depth = r.depth;
  c.finder.niceLength = c.niceLength = r.nice;
  c.finder.hashBits = level >= 7 ? 20 : 18;
  c.passes = r.passes;
  c.setPasses = r.setPasses;

  // What the extractor pays: a block-sorting block decodes about ten times slower than an LZ block, and
  // each table set costs it the building of its tables. A charge of 1000 bits per set takes LZ blocks
  // from 20 sets to 4 on the source tree at -6 for 0.01 % more bytes. For block sorting see
  // kSortingSaving.
  c.sortingSaving = kSortingSaving;
  c.setCharge = 1000;
  return c;
}

bool SetConfigField(CompressionConfig& c, const std::string& assignment) {
  size_t eq = assignment.find('=');
  if (eq == std::string::npos) return false;
  std::string name = assignment.substr(0, eq);
  char* end = nullptr;
  unsigned long long v = std::strtoull(assignment.c_str() + eq + 1, &end, 0);
  if (end == assignment.c_str() + eq + 1 || *end != '\0') return false;
  uint32_t v32 = static_cast<uint32_t>(v);
  if (name == "depth") c.finder.depth = v32;
  else if (name == "finderNice") c.finder.niceLength = v32;
  else if (name == "hashBits") c.finder.hashBits = v32;
  else if (name == "nice") c.niceLength = c.finder.niceLength = v32;
  else if (name == "passes") c.passes = v32;
  else if (name == "setPasses") c.setPasses = v32;
  else if (name == "sets") c.maxTableSets = v32;
  else if (name == "setCharge") c.setCharge = static_cast<double>(v);
  else if (name == "sortingSaving") c.sortingSaving = static_cast<double>(v) / 1000;  // per mille
  else if (name == "delta") c.delta = v != 0;
  else if (name == "sorting") c.blockSorting = v != 0;
  else if (name == "lz") c.lzBlocks = v != 0;
  else if (name == "alwaysSort") c.alwaysTrySorting = v != 0;
  else if (name == "firstBlock") c.firstBlock = v32;
  else if (name == "laterBlock") c.laterBlock = v32;
  else if (name == "segment") c.segmentBound = v;
  else return false;
  return true;
}

std::vector<uint8_t> CompressSegmentWith(const std::vector<uint8_t>& stream, const CompressionConfig& config) {
  uint32_t length = static_cast<uint32_t>(stream.size());
  if (config.store || config.fast) {
    SegmentPlan plan;
    for (uint32_t size : BlockSizes(length, config)) {
      BlockPlan b;
      b.type = config.store ? 0 : 1;
      b.size = size;
      b.storeIfSmaller = true;
      plan.blocks.push_back(std::move(b));
    }
    HashChainParser parser(config.fastOptions);
    std::vector<uint8_t> out;
    EncodeSegment(stream.data(), length, plan, parser, out);
    return out;
  }
  SegmentCompressor compressor(config);
  return compressor.Compress(stream);
}

std::vector<std::vector<size_t>> PlanSegmentsWith(const std::vector<PackFileInfo>& files,
                                                  const CompressionConfig& config) {
  std::vector<OrderInput> inputs;
  inputs.reserve(files.size());
  for (const PackFileInfo& f : files) inputs.push_back({f.storedPath, f.size, &f.sketch, f.contentKey});
  std::vector<std::vector<size_t>> groups;
  uint64_t queued = 0;
  for (size_t i : OrderFiles(inputs)) {
    if (groups.empty() || (!groups.back().empty() && queued + files[i].size > config.segmentBound)) {
      groups.emplace_back();
      queued = 0;
    }
    groups.back().push_back(i);
    queued += files[i].size;
  }
  return groups;
}

std::vector<uint64_t> SketchFile(const uint8_t* data, size_t size) { return SketchContent(data, size); }

uint64_t ContentKey(const uint8_t* data, size_t size) { return ContentHash(data, size); }

bool UsesSketches(const PackSettings& settings) { return settings.level >= 1; }

BlockLayout SegmentBlockLayout(const PackSettings& settings) {
  CompressionConfig c = ConfigForLevel(settings.level);
  return {c.firstBlock, c.laterBlock};
}

std::vector<std::vector<size_t>> PlanSegments(const std::vector<PackFileInfo>& files, const PackSettings& settings) {
  return PlanSegmentsWith(files, ConfigForLevel(settings.level));
}

uint8_t ChooseCallFilter(const uint8_t* data, size_t size, const std::string& storedPath, const PackSettings& settings) {
  if (settings.level <= 0) return 0;
  return ChooseCallFilterFor(data, size, storedPath, settings.level >= 3);
}

std::vector<uint8_t> CompressSegment(const std::vector<uint8_t>& stream, const PackSettings& settings) {
  return CompressSegmentWith(stream, ConfigForLevel(settings.level));
}

}  // namespace zor::encoder
