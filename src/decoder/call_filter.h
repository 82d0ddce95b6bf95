// Output stage: the x86 call filters and the file's CRC-32, between the segment decoder and the disk.
#pragma once

#include <cstdint>

#include "platform/file_layer.h"

namespace zor {

struct Decoder;

// Which call filter a file's bytes pass; the value is the operand size in bytes.
enum class CallFilter : uint8_t {
  kNone = 0,
  kCalls16 = 2,  // 2-byte operands behind every 0xE8
  kCalls32 = 4,  // 4-byte operands
};

inline constexpr uint32_t kStagingBufferSize = 16384;

struct OutputFilter {
  uint32_t fileCrc;            // running CRC-32 of the current request
  CallFilter filterKind;
  uint8_t filterCarry[8];      // a 0xE8 whose operand was cut off at a chunk's end, with what follows it
  uint32_t filterCarryLength;
  uint8_t stagingBuffer[kStagingBufferSize];  // a translator's output, collected for one FileWrite
};

// Hands one chunk of a filtered file to the call filter: writes what is complete, keeps a cut-off operand
// in filterCarry for the next chunk, updates fileCrc. 0, -8 or -25.
ErrorCode FilterChunk(Decoder& d, FileHandle output, const uint8_t* chunk, uint32_t length,
                      uint32_t fileOffset, uint32_t fileLength, bool lastChunk);
// Undo the call transforms over bytes[0 .. count) (file offset `start`), writing the result in batches.
// The bytes consumed past `count` by the last operand (0..2 or 0..4), or -8 or -25.
int32_t TranslateCalls16(Decoder& d, FileHandle output, const uint8_t* bytes, uint32_t count,
                         uint32_t start);
int32_t TranslateCalls32(Decoder& d, FileHandle output, const uint8_t* bytes, uint32_t count,
                         uint32_t start, uint32_t fileLength);

}  // namespace zor
