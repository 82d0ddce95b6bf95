// Bit input: the one buffered reader through which every compressed byte reaches the block decoders.
//
// A block's bytes arrive in pieces of at most 61424 bytes behind 8 carried lookahead bytes. A decoder tests
// `cursor` against `limit` once per group of items (at most 65 bits) and calls Refill when it has reached it;
// while more of the block is in the file, the 8 bytes at `limit` are real data, so a group that starts before
// `limit` never needs bytes that have not arrived. When the block's bytes are all in, `limit` is the end of
// the data and the bytes behind it are kept zero: a damaged block that reads on before its next test reads
// zeros from our own slack, never outside the buffer.
#pragma once

#include <cstdint>

#include "platform/file_layer.h"

namespace zor {

struct Decoder;

inline constexpr uint32_t kBitReaderBufferSize = 61440;
inline constexpr uint32_t kBitReaderFreshMax = 61424;
inline constexpr uint32_t kBitReaderLookahead = 8;
// Zeroed bytes behind the end of the data. A group that starts before `limit` ends within 9 bytes behind
// it, and the decoders' 64-bit loads run at most 16 bytes ahead of their cursor.
inline constexpr uint32_t kBitReaderSlack = 64;
// What AllocateInput allocates for BitReader::buffer (contents need not be cleared).
inline constexpr uint32_t kBitReaderAllocSize = kBitReaderBufferSize + kBitReaderSlack;

struct BitReader {
  uint8_t* buffer;          // kBitReaderAllocSize bytes (AllocateInput)
  const uint8_t* cursor;    // byte holding the next unread bit
  uint32_t bitOffset;       // low bits of *cursor already consumed, 0..7
  const uint8_t* limit;     // decoders call Refill before the next group of items once cursor >= limit
  uint32_t remaining;       // bytes of the current block still in the file
  uint32_t nextBlockPos;    // program-file offset of the segment's next block: this block's start + packedSize
};

// The 45 bits at the start of every compressed block.
struct BlockHeader {
  uint32_t type;        // 0 stored, 1 and 3 LZ, 2 block-sorting; 4..15 damaged
  bool last;            // last block of its segment
  uint32_t size;        // decoded bytes
  uint32_t packedSize;  // bytes in the file, header included
};

// Reads the next block of the current segment into the buffer; the reader then stands at its first bit.
// -17 when the seek back to the segment fails, the file layer's code when a read fails, -11 when fewer
// than 6 bytes arrive, packedSize is below 6 or the file ends before the block's packedSize bytes.
ErrorCode OpenBlock(Decoder& d);
// More of the current block: -50 when none is left, -25 when cancelled, -11 when the file ends inside the
// block, or a read failure.
ErrorCode Refill(Decoder& d);
// Copies a stored payload from the next byte boundary on: the count copied (fewer when the block's
// packedSize ends first), -25 when cancelled, -11 when the file ends inside the block, or a read failure.
int32_t CopyStored(Decoder& d, uint8_t* destination, uint32_t count);
// The header fields from a block's first 6 bytes.
BlockHeader ReadBlockHeader(const uint8_t* first);
// Empties the reader (after a segment restart).
void ResetBitReader(BitReader& reader);
// Keeps the bytes behind [buffer + end] zero up to the slack's end, after a read ending there.
void ClearBitReaderSlack(BitReader& reader, uint32_t end);

}  // namespace zor
