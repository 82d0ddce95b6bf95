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
  double sortingMargin = 0;       // a block-sorting block must be this share smaller than the LZ block
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
