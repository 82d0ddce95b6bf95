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
};

ErrorCode FilterChunk(Extraction& x, FileHandle output, const uint8_t* chunk, uint32_t length,
                      uint32_t fileOffset, uint32_t fileLength, bool lastChunk);

}  // namespace zor
