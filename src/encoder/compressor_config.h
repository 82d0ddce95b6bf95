// The compression stage's settings behind the levels, for the tests and the benchmark tool that try
// them one by one. The packer uses compressor.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "encoder/compressor.h"
#include "encoder/format_tables.h"
#include "encoder/lz_items.h"
#include "encoder/match_finder.h"

namespace zor::encoder {

// A block-sorting block decodes at about 60 MB/s on our test machine, an LZ block at about 800 MB/s:
// each decoded byte of it costs the extractor some 16 ns more. So it is taken only where it is smaller
// than the LZ block by this share of its decoded bytes: then the bytes it saves outweigh the time it
// costs for any download slower than about 1.2 MB/s. A share of the packed size would keep blocks of
// very repetitive data, which pack to a few per cent, for almost nothing saved: 2 % of the LZ block kept
// 10 such blocks on installer at -9 (10.4 MB decoded from 0.58 MB), half of its decoding time. With
// this rule, -9 keeps none on installer and source and 1 of 5 on mixed, for 0.27 / 0.05 / 0.70 % more
// bytes, and extracts installer 1.8 times and mixed 1.2 times as fast.
inline constexpr double kSortingSaving = 0.02;

inline bool SortingPays(size_t sortedBytes, size_t lzBytes, uint32_t decodedBytes, double saving) {
  return static_cast<double>(sortedBytes) + decodedBytes * saving < static_cast<double>(lzBytes);
}

struct CompressionConfig {
  bool store = false;             // stored blocks only
  bool fast = false;              // hash chains with lazy matching instead of the optimal parser
  ParseOptions fastOptions;
  MatchFinderOptions finder;
  uint32_t niceLength = 64;       // the parser takes a match this long at once
  uint32_t passes = 2;            // parses per block, each priced by the one before
  uint32_t setPasses = 0;         // further parses priced per table set
  uint32_t maxTableSets = kMaxTableSets;
  double setCharge = 0;           // bits a table set must save besides its code lengths (decoder time)
  bool delta = true;              // delta-filter regions where they pay
  bool blockSorting = true;       // try block-sorting blocks
  bool alwaysTrySorting = false;  // for every block, not only where earlier trials came close
  double sortingSaving = 0;       // a block-sorting block must save this share of its decoded bytes
  bool lzBlocks = true;           // false: block-sorting and stored blocks only (for tests)
  uint32_t firstBlock = kFirstBlockSize;
  uint32_t laterBlock = kLaterBlockSize;  // with the largest history (history-size code 30)
  uint64_t segmentBound = 16u << 20;      // bytes of files per solid segment (a larger file gets its own)
};

CompressionConfig ConfigForLevel(int level);

// Sets one field by name ("passes=3"); false for an unknown name or a bad value. For experiments.
bool SetConfigField(CompressionConfig& config, const std::string& assignment);

std::vector<std::vector<size_t>> PlanSegmentsWith(const std::vector<PackFileInfo>& files,
                                                  const CompressionConfig& config);
std::vector<uint8_t> CompressSegmentWith(const std::vector<uint8_t>& stream, const CompressionConfig& config);

}  // namespace zor::encoder
