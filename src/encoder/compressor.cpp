// A plain compression stage: runs of files in input order, no call filter, hash-chain LZ blocks of the
// sizes archives are written with (stored blocks at level 0).
#include "encoder/compressor.h"

#include "encoder/lz_items.h"
#include "encoder/segment_writer.h"

namespace zor::encoder {

namespace {

// A new segment starts once this much is queued: small enough that a file near the end of a large
// archive does not wait behind everything before it.
constexpr uint64_t kSegmentTarget = 8u << 20;

}  // namespace

std::vector<std::vector<size_t>> PlanSegments(const std::vector<PackFileInfo>& files, const PackSettings&) {
  std::vector<std::vector<size_t>> groups;
  uint64_t queued = 0;
  for (size_t i = 0; i < files.size(); ++i) {
    if (groups.empty() || queued >= kSegmentTarget || queued + files[i].size > kSegmentTarget) {
      if (groups.empty() || !groups.back().empty()) groups.emplace_back();
      queued = 0;
    }
    groups.back().push_back(i);
    queued += files[i].size;
  }
  return groups;
}

uint8_t ChooseCallFilter(const uint8_t*, size_t, const std::string&, const PackSettings&) { return 0; }

std::vector<uint8_t> CompressSegment(const std::vector<uint8_t>& stream, const PackSettings& settings) {
  uint32_t length = static_cast<uint32_t>(stream.size());
  SegmentPlan plan = DefaultSegmentPlan(length);
  if (settings.level <= 0) {
    for (BlockPlan& b : plan.blocks) b.type = 0;
  }
  ParseOptions options;
  if (settings.level <= 3) {
    options.maxChain = 8;
    options.lazy = false;
  }
  HashChainParser parser(options);
  std::vector<uint8_t> out;
  EncodeSegment(stream.data(), length, plan, parser, out);
  return out;
}

}  // namespace zor::encoder
