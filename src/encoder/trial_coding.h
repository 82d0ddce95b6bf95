// Quick trial codings, for choices that are cheaper to try than to predict: a greedy parse with one
// candidate per position, one table set, no history. Good for comparing two ways to code the same data.
#pragma once

#include <cstdint>
#include <vector>

#include "encoder/segment_writer.h"

namespace zor::encoder {

// Bits of an LZ block of these bytes (level bytes of a block with these delta marks), split by the
// stretches that begin at each offset of `stretches` (the first stretch begins at 0).
std::vector<uint64_t> QuickStretchBits(const uint8_t* window, uint32_t size, const std::vector<DeltaMarkSpec>& marks,
                                       const std::vector<uint32_t>& stretches);

// Bits of an LZ block of these bytes.
uint64_t QuickLzBits(const uint8_t* bytes, uint32_t size);

}  // namespace zor::encoder
