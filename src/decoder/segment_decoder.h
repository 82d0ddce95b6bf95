// The segment decoder: turns a request for one file (segment, stream position, length) into its bytes.
#pragma once

#include <cstdint>

#include "decoder/call_filter.h"
#include "platform/file_layer.h"

namespace zor {

struct Decoder;

// The window is allocated this much beyond windowCapacity: a block-sorting block needs one byte of room
// behind its output, which the history rules (in terms of windowCapacity) do not always leave.
inline constexpr uint32_t kWindowSlack = 16;

struct SegmentDecoder {
  uint32_t segmentPos;       // program-file offset of the segment's first block; all ones = none
  uint8_t* window;           // history, then the current block's bytes; null after a restart
  uint32_t windowCapacity;   // usable bytes; the allocation has kWindowSlack more
  uint32_t historyLength;    // window offset of the current block's first byte
  uint32_t blockLength;
  uint64_t blockStart;       // stream position of the current block's first byte (64-bit: a damaged
                             // segment can decode past 4 GiB without wrapping onto earlier positions)
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

// Writes `length` bytes of the file whose LocalHeader lies at stream `position` of the segment whose first
// block begins at file offset `segmentPos`, to `output`, through `filter`. 0 with d.output.fileCrc holding
// the CRC-32 of what was written (fewer than `length` bytes when the segment ends first), or a negative
// ErrorCode. Continues in the current segment when it can; restarts it otherwise. Needs the input buffer
// (AllocateInput).
ErrorCode DecodeFileData(Decoder& d, FileHandle output, uint32_t segmentPos, uint32_t position,
                         uint32_t length, CallFilter filter);
// Forgets the current segment and frees the window: the next request restarts. AllocateInput and FreeInput
// call it, before a walk's first request and after its last (a fresh decoder is already in this state).
void ResetSegmentDecoder(Decoder& d);

// The history the next block keeps: turns the delta-filtered bytes of the last `keep` bytes of history
// back into the form the LZ decoder produced, which is what the next block's matches refer to.
void ReencodeHistory(Decoder& d, uint32_t keep);

}  // namespace zor
