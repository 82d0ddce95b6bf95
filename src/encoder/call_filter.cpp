// The archiver's side of the x86 call filters: the exact inverses of the extractor's translations.
#include "encoder/call_filter.h"

#include "platform/bytes.h"

namespace zor::encoder {

void EncodeCalls16(uint8_t* bytes, uint32_t length) {
  for (uint32_t i = 0; i < length;) {
    if (bytes[i] != 0xE8 || i + 2 >= length) {
      ++i;
      continue;
    }
    uint32_t o = i + 1;
    uint32_t w = (LoadLE16(bytes + o) + o) & 0xFFFF;
    StoreLE16(bytes + o, static_cast<uint16_t>(w));
    i += 3;
  }
}

void EncodeCalls32(uint8_t* bytes, uint32_t length) {
  // The extractor maps a stored w in [0, n) to w - o and one in [-o, 0) to n - o - 1 - w, and leaves
  // all else alone: a bijection of [-o, n) onto [-o, n - 1]. Its inverse, with v the real displacement:
  const int64_t n = length;
  for (uint32_t i = 0; i < length;) {
    if (bytes[i] != 0xE8 || i + 4 >= length) {
      ++i;
      continue;
    }
    const int64_t o = i + 1;
    int64_t v = static_cast<int32_t>(LoadLE32(bytes + o));
    int64_t w = v;
    if (v >= -o && v < n - o) {
      w = v + o;
    } else if (v >= n - o && v <= n - 1) {
      w = n - o - 1 - v;
    }
    StoreLE32(bytes + o, static_cast<uint32_t>(w));
    i += 5;
  }
}

}  // namespace zor::encoder
