// The LZ block decoder (block types 1 and 3, and directory blocks) and the delta filter it can switch on.
#pragma once

#include <cstdint>

#include "decoder/format_constants.h"
#include "platform/file_layer.h"

namespace zor {

struct Decoder;

// A delta mark: the delta distance d (0 to 7, 0 = off) in the top 8 bits, the window offset at which it
// takes effect in the low 24. A mark's region runs to the next mark's offset, the last one to the block's
// end. The segment decoder keeps the marks of the block decoded last (Decoder::deltaMarks).
using DeltaMark = uint32_t;

// Decodes one LZ block from the reader's bit 50 into window[historyLength .. historyLength + blockLength);
// window[0 .. historyLength) is the history matches may copy from. Returns the bytes produced (fewer than
// blockLength when the block's input runs out or meets an invalid code), or -2, -11, -25 or a Refill
// failure. With useDeltaMarks the block's marks replace d.deltaMarks and are applied before returning;
// without (directory blocks) marks are read and ignored. The reader ends on the byte boundary behind the
// block's last bit.
int32_t DecodeLzBlock(Decoder& d, uint8_t* window, uint32_t historyLength, uint32_t blockLength,
                      bool useDeltaMarks);

// Undoes the byte-delta filter over window[first mark .. end): each mark's region runs to the next mark.
// A source byte before the window's start counts as 0.
void ApplyDeltaMarks(uint8_t* window, uint32_t end, const DeltaMark* marks, uint32_t count);

}  // namespace zor
