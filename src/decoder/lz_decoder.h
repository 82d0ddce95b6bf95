// The LZ block decoder (block types 1 and 3, and directory blocks) and the delta filter it can switch on.
#pragma once

#include <cstdint>

#include "decoder/segment_decoder.h"
#include "extract/file_layer.h"

namespace zor {

struct Extraction;

// Decodes one LZ block from the reader's bit 50 into window[historyLength .. historyLength + blockLength);
// window[0 .. historyLength) is the history matches may copy from. Returns the bytes produced (fewer than
// blockLength when the block's input runs out or meets an invalid code), or -2, -11, -25 or a Refill
// failure. With useDeltaMarks the block's marks replace x.deltaMarks and are applied before returning;
// without (directory blocks) marks are read and ignored. The reader ends on the byte boundary behind the
// block's last bit.
int32_t DecodeLzBlock(Extraction& x, uint8_t* window, uint32_t historyLength, uint32_t blockLength,
                      bool useDeltaMarks);

// Undoes the byte-delta filter over window[first mark .. end): each mark's region runs to the next mark.
// A source byte before the window's start counts as 0.
void ApplyDeltaMarks(uint8_t* window, uint32_t end, const DeltaMark* marks, uint32_t count);

}  // namespace zor
