// Bit input: the one buffered reader through which every compressed byte reaches the block decoders.
#pragma once

#include <cstdint>

#include "extract/file_layer.h"

namespace zor {

struct Extraction;

// The work buffer: 8 bytes of carried lookahead, at most 61424 fresh bytes behind them, 8 bytes of slack
// for 32-bit loads near the end of the data. Our own slack beyond that is kept zero, so that a damaged
// block read past its end reads zeros, never outside the buffer.
inline constexpr uint32_t kBitReaderBufferSize = 61440;
inline constexpr uint32_t kBitReaderFreshMax = 61424;
inline constexpr uint32_t kBitReaderSlack = 64;

struct BitReader {
  uint8_t* buffer;          // kBitReaderBufferSize + kBitReaderSlack bytes, owned by the extract driver
  const uint8_t* cursor;    // byte holding the next unread bit
  uint32_t bitOffset;       // low bits of *cursor already consumed, 0..7
  const uint8_t* limit;     // decoders call Refill before the next group of items once cursor >= limit
  uint32_t remaining;       // bytes of the current block still in the file
};

// The 45 bits at the start of every compressed block.
struct BlockHeader {
  uint32_t type;        // 0 stored, 1 and 3 LZ, 2 block-sorting; 4..15 damaged
  bool last;            // last block of its segment
  uint32_t size;        // decoded bytes
  uint32_t packedSize;  // bytes in the file, header included
};

ErrorCode OpenBlock(Extraction& x);
ErrorCode Refill(Extraction& x);
int32_t CopyStored(Extraction& x, uint8_t* destination, uint32_t count);
BlockHeader ReadBlockHeader(const uint8_t* first8);

}  // namespace zor
