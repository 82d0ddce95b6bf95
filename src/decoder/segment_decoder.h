// The segment decoder: turns a request for one file (segment, stream position, length) into its bytes.
#pragma once

#include <cstdint>

#include "extract/file_layer.h"

namespace zor {

struct Extraction;

// The delta marks of the LZ block decoded last: d in the top 8 bits, window offset in the low 24.
inline constexpr uint32_t kMaxDeltaMarks = 1024;
using DeltaMark = uint32_t;

struct SegmentDecoder {
  uint32_t segmentPos;       // program-file offset of the segment's first block; all ones = none
  uint8_t* window;           // history, then the current block's bytes; null after a restart
  uint32_t windowCapacity;
  uint32_t historyLength;    // window offset of the current block's first byte
  uint32_t blockLength;
  uint32_t blockStart;       // stream position of the current block's first byte
  bool lastBlock;
  bool hasHistory;           // a block has been decoded since the restart (read by OpenBlock)
  bool busy;                 // set while a block is being opened and decoded; found set = unusable
  uint32_t resumePos;        // program-file position of the segment's next block
};

// The first 11 bytes of each file's stretch of the decoded stream; only extraLength is used.
struct LocalHeader {
  uint8_t bytes[11];
  uint16_t extraLength;
};
inline constexpr uint32_t kLocalHeaderSize = 11;

ErrorCode DecodeFileData(Extraction& x, FileHandle output, uint32_t segmentOffset, uint32_t position,
                         uint32_t length, uint8_t flags);
// Forgets the current segment: the next request restarts. Frees the window.
void ResetSegmentDecoder(Extraction& x);

}  // namespace zor
