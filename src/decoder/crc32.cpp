// CRC-32 (reflected, polynomial 0xEDB88320), eight bytes per step with the slicing-by-8 tables.
#include "decoder/output_filter.h"

namespace zor {

void BuildCrcTable(CrcTable& crc) {
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t x = n;
    for (int k = 0; k < 8; ++k) x = (x & 1) ? (x >> 1) ^ 0xEDB88320u : x >> 1;
    crc.table[0][n] = x;
  }
  // table[k][n] is the CRC of byte n followed by k zero bytes, so eight table lookups advance eight bytes.
  for (uint32_t n = 0; n < 256; ++n) {
    for (int k = 1; k < 8; ++k) {
      uint32_t prev = crc.table[k - 1][n];
      crc.table[k][n] = crc.table[0][prev & 0xFF] ^ (prev >> 8);
    }
  }
}

uint32_t UpdateCrc(const CrcTable& crc, uint32_t value, const uint8_t* bytes, uint32_t count) {
  const auto& t = crc.table;
  while (count >= 8) {
    uint32_t lo = value ^ (bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<uint32_t>(bytes[3]) << 24));
    uint32_t hi = bytes[4] | (bytes[5] << 8) | (bytes[6] << 16) | (static_cast<uint32_t>(bytes[7]) << 24);
    value = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
            t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
    bytes += 8;
    count -= 8;
  }
  while (count--) value = t[0][(value ^ *bytes++) & 0xFF] ^ (value >> 8);
  return value;
}

}  // namespace zor
