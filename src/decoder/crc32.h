// CRC-32 of everything the engine checks: each extracted file, and the stub's own image.
#pragma once

#include <cstdint>

namespace zor {

// The standard reflected CRC-32 (polynomial 0xEDB88320). table[0] is the classic byte table; the others
// let UpdateCrc take several bytes per step with identical results.
struct CrcTable {
  uint32_t table[8][256];
  bool carryless;  // x86-64 with PCLMULQDQ: long runs are folded 64 bytes per step instead
};
void BuildCrcTable(CrcTable& crc);
// No inversion inside: start from all ones, complement at the end.
uint32_t UpdateCrc(const CrcTable& crc, uint32_t value, const uint8_t* bytes, uint32_t count);

}  // namespace zor
