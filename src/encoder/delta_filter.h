// Where the byte-delta filter pays: tables of numbers, bitmaps, audio, found per chunk of a block by
// how much the differences at each stride 1..7 lower the bytes' order-0 entropy.
#pragma once

#include <cstdint>
#include <vector>

#include "encoder/segment_writer.h"

namespace zor::encoder {

struct DeltaOptions {
  uint32_t chunk = 4096;       // the finest region, in bytes
  double minGain = 0.35;       // bits per byte a chunk must gain to be filtered
};

// Marks for a block (offsets in the block, increasing; d = 0 ends a filtered region). Empty when no
// region gains enough. At most kMaxDeltaMarks marks.
std::vector<DeltaMarkSpec> ChooseDeltaMarks(const uint8_t* bytes, uint32_t size, const DeltaOptions& options);

// Keeps the filtered regions of `marks` where a quick LZ coding of the block with the filter spends
// fewer bits than one without it (the entropy test does not see what matches would take).
std::vector<DeltaMarkSpec> ConfirmDeltaMarks(const uint8_t* bytes, uint32_t size, const std::vector<DeltaMarkSpec>& marks);

}  // namespace zor::encoder
