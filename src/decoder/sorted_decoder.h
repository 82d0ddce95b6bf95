// The block-sorting decoder (block type 2): code tables with selectors, move-to-front with bijective runs,
// and the inverse sort through a packed link vector.
#pragma once

#include <cstdint>

#include "platform/file_layer.h"

namespace zor {

struct Decoder;

// Decodes the block from the reader's bit 45 into out[0 .. size); out[size] must exist too (the last
// column has size + 1 positions). 0, or -2, -11, -25 or a Refill failure (-50 when the input runs out).
// On success the reader stands on the byte boundary behind the symbol stream.
ErrorCode DecodeSortedBlock(Decoder& d, uint8_t* out, uint32_t size);

}  // namespace zor
