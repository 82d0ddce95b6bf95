// Output stage: the file's CRC-32 and the x86 call filters, between the segment decoder and the disk.
#pragma once

#include <cstdint>

#include "extract/file_layer.h"

namespace zor {

struct Extraction;

// The standard reflected CRC-32 (polynomial 0xEDB88320). table[0] is the classic byte table; the others
// let UpdateCrc take several bytes per step with identical results.
struct CrcTable {
  uint32_t table[8][256];
  bool carryless;  // x86-64 with PCLMULQDQ: long runs are folded 64 bytes per step instead
};
void BuildCrcTable(CrcTable& crc);
// No inversion inside: start from all ones, complement at the end.
uint32_t UpdateCrc(const CrcTable& crc, uint32_t value, const uint8_t* bytes, uint32_t count);

inline constexpr uint32_t kStagingBufferSize = 16384;

struct OutputFilter {
  uint32_t fileCrc;            // running CRC-32 of the current request
  uint32_t filterKind;         // 0 none, 2 16-bit call filter, 4 32-bit call filter
  uint8_t filterCarry[8];      // a 0xE8 whose operand was cut off at a chunk's end, with what follows it
  uint32_t filterCarryLength;
  uint8_t stagingBuffer[kStagingBufferSize];  // a translator's output, collected for one FileWrite
};

// Hands one chunk of a filtered file to the call filter: writes what is complete, keeps a cut-off operand
// in filterCarry for the next chunk, updates fileCrc. 0, -8 or -25.
ErrorCode FilterChunk(Extraction& x, FileHandle output, const uint8_t* chunk, uint32_t length,
                      uint32_t fileOffset, uint32_t fileLength, bool lastChunk);
// Undo the call transforms over bytes[0 .. count) (file offset `start`), writing the result in batches.
// The bytes consumed past `count` by the last operand (0..2 or 0..4), or -8 or -25.
int32_t TranslateCalls16(Extraction& x, FileHandle output, const uint8_t* bytes, uint32_t count,
                         uint32_t start);
int32_t TranslateCalls32(Extraction& x, FileHandle output, const uint8_t* bytes, uint32_t count,
                         uint32_t start, uint32_t fileLength);

}  // namespace zor
