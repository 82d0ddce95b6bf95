// The decoders' local view of the BitReader: a bit buffer of the machine's word in registers, for use
// inside one decoder.
//
// The BitReader's model is a 32-bit load at `cursor` shifted by `bitOffset` per item. Here the same bits
// come from a word-sized buffer that is topped up with one unaligned load (libdeflate's branchless refill):
// after Fill() at least kFillBits bits are ready (56 in a 64-bit buffer, 24 in the 32-bit stub's). No item
// is wider than 18 bits, so one Fill before each item always suffices; the 64-bit fast paths decode several
// per Fill. The stream position is (in - buffer) * 8 - left, from which `cursor` and `bitOffset` follow
// exactly; Store() writes them back before a Refill and on exit, Load() takes them up again. `in` runs at
// most one word ahead of `cursor`, and its loads read at most one word further, inside the reader's zeroed
// slack.
#pragma once

#include <cstdint>
#include <cstring>

#include "decoder/bit_reader.h"

namespace zor {

#if UINTPTR_MAX > 0xFFFFFFFFu && !defined(ZOR_NARROW_BIT_BUFFER)  // (forced narrow: a fuzz build)
using BitBuffer = uint64_t;
#define ZOR_WIDE_BIT_BUFFER 1
#else
using BitBuffer = uint32_t;
#endif
inline constexpr uint32_t kBufferBits = 8 * sizeof(BitBuffer);
inline constexpr uint32_t kFillBits = kBufferBits - 8;

inline BitBuffer LoadWordLE(const uint8_t* p) {
  BitBuffer v;
  std::memcpy(&v, p, sizeof v);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  v = sizeof v == 8 ? static_cast<BitBuffer>(__builtin_bswap64(v)) : static_cast<BitBuffer>(__builtin_bswap32(v));
#endif
  return v;
}

struct BitStream {
  const uint8_t* in;  // next byte not yet in `bits`
  BitBuffer bits;     // unread bits, least significant first; bits above `left` repeat the input
  uint32_t left;      // number of valid bits in `bits`

  void Load(const BitReader& r) {
    in = r.cursor;
    bits = 0;
    left = 0;
    Fill();
    Drop(r.bitOffset);
  }
  // Afterwards at least kFillBits bits are valid.
  void Fill() {
    bits |= LoadWordLE(in) << left;
    in += (kBufferBits - 1 - left) >> 3;
    left |= kFillBits;
  }
  uint32_t Peek(uint32_t n) const { return static_cast<uint32_t>(bits) & ((1u << n) - 1); }
  void Drop(uint32_t n) {
    bits >>= n;
    left -= n;
  }
  uint32_t Take(uint32_t n) {
    uint32_t v = Peek(n);
    Drop(n);
    return v;
  }
  const uint8_t* Cursor() const { return in - ((left + 7) >> 3); }
  uint32_t BitOffset() const { return (0u - left) & 7; }
  // cursor >= limit, cheaply: `in` is never behind the cursor.
  bool AtLimit(const uint8_t* limit) const { return in >= limit && Cursor() >= limit; }
  void Store(BitReader& r) const {
    r.cursor = Cursor();
    r.bitOffset = BitOffset();
  }
  // Moves to the next byte boundary, as every block decoder does at its end.
  void StoreAligned(BitReader& r) const {
    r.cursor = Cursor() + (BitOffset() > 0 ? 1 : 0);
    r.bitOffset = 0;
  }
};

}  // namespace zor
