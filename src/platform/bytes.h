// Little-endian loads and stores at any alignment: the archive's fields, the compressed data and the
// encoder's hashes all read bytes this way. One memcpy each, which compilers turn into one move.
#pragma once

#include <cstdint>
#include <cstring>

namespace zor {

inline uint16_t LoadLE16(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, sizeof v);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  v = __builtin_bswap16(v);
#endif
  return v;
}

inline uint32_t LoadLE32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  v = __builtin_bswap32(v);
#endif
  return v;
}

inline void StoreLE16(uint8_t* p, uint16_t v) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  v = __builtin_bswap16(v);
#endif
  std::memcpy(p, &v, sizeof v);
}

inline void StoreLE32(uint8_t* p, uint32_t v) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  v = __builtin_bswap32(v);
#endif
  std::memcpy(p, &v, sizeof v);
}

}  // namespace zor
