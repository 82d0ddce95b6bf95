// Prefix-code tables: canonical codes, decode tables (with the model's node pool), code-length transmission.
#include "decoder/huffman.h"

#include <cstring>

#include "decoder/bit_stream.h"
#include "decoder/decoder.h"

namespace zor {

void AssignCanonicalCodes(const uint8_t* lengths, uint32_t count, uint32_t* codes) {
  uint32_t lengthCount[kMaxCodeLength + 1] = {};
  for (uint32_t s = 0; s < count; ++s) ++lengthCount[lengths[s]];
  lengthCount[0] = 0;
  uint32_t next[kMaxCodeLength + 1];
  uint32_t code = 0;
  next[0] = 0;
  for (uint32_t len = 1; len <= kMaxCodeLength; ++len) {
    code = (code + lengthCount[len - 1]) << 1;
    next[len] = code;
  }
  for (uint32_t s = 0; s < count; ++s) {
    uint32_t len = lengths[s];
    if (len == 0) continue;
    // The bits go out first bit first: reverse all 16 by halves, then drop the unused low end.
    uint32_t v = next[len]++;
    v = ((v >> 1) & 0x5555) | ((v & 0x5555) << 1);
    v = ((v >> 2) & 0x3333) | ((v & 0x3333) << 2);
    v = ((v >> 4) & 0x0F0F) | ((v & 0x0F0F) << 4);
    v = ((v >> 8) & 0x00FF) | ((v & 0x00FF) << 8);
    codes[s] = v >> (kMaxCodeLength - len);
  }
}

namespace {

// The first symbol that the model's tree would leave out of an incomplete code: replays its node
// numbering (nodes 1..count-1, created symbol by symbol in ascending order). `count` when none is left out.
uint32_t FirstSymbolBeyondNodePool(const uint8_t* lengths, const uint32_t* codes, uint32_t count,
                                   uint32_t lookupBits) {
  uint16_t primary[1u << kSortedLookupBits];  // node at each primary entry; 0 = none yet
  uint16_t slots[2 * kLitLenSymbols];         // child node of node k for bit b at 2k + b; 0 = none
  std::memset(primary, 0, sizeof(uint16_t) << lookupBits);
  std::memset(slots, 0, sizeof(uint16_t) * 2 * count);
  uint32_t nextNode = 1;
  for (uint32_t s = 0; s < count; ++s) {
    uint32_t len = lengths[s];
    if (len <= lookupBits) continue;
    uint32_t code = codes[s];
    uint16_t* slot = &primary[code & ((1u << lookupBits) - 1)];
    code >>= lookupBits;
    // One node for each of the code's bits beyond the primary lookup; the last bit selects the leaf slot.
    for (uint32_t level = lookupBits; level < len; ++level) {
      if (*slot == 0) {
        if (nextNode == count) return s;
        *slot = static_cast<uint16_t>(nextNode++);
      }
      slot = &slots[2 * *slot + (code & 1)];
      code >>= 1;
    }
  }
  return count;
}

}  // namespace

ErrorCode BuildHuffmanTable(const HuffmanTable& table, const uint8_t* lengths, uint32_t count,
                            uint32_t lookupBits, const uint32_t* info) {
  uint32_t codes[kLitLenSymbols];
  uint32_t* t = table.entries;
  const uint32_t tb = table.tableBits;
  const uint32_t mainSize = 1u << tb;

  // Kraft sum in units of 2^-16: above 2^16 the list is over-subscribed.
  uint32_t space = 0;
  for (uint32_t s = 0; s < count; ++s)
    if (lengths[s]) space += 1u << (kMaxCodeLength - lengths[s]);
  if (space > (1u << kMaxCodeLength)) return kErrorDamaged;
  AssignCanonicalCodes(lengths, count, codes);
  uint32_t end = space < (1u << kMaxCodeLength)
                     ? FirstSymbolBeyondNodePool(lengths, codes, count, lookupBits)
                     : count;

  for (uint32_t i = 0; i < mainSize; ++i) t[i] = kEntryInvalid;
  // Subtable widths: the longest code behind each main entry decides.
  bool anyLong = false;
  for (uint32_t s = 0; s < end; ++s) {
    uint32_t len = lengths[s];
    if (len <= tb) continue;
    anyLong = true;
    uint32_t& e = t[codes[s] & (mainSize - 1)];
    uint32_t bits = len - tb;
    if (!(e & kEntryLink) || ((e >> 8) & 15) < bits) e = kEntryLink | (bits << 8);
  }
  if (anyLong) {
    uint32_t offset = mainSize;
    for (uint32_t i = 0; i < mainSize; ++i) {
      if (!(t[i] & kEntryLink)) continue;
      uint32_t size = 1u << ((t[i] >> 8) & 15);
      t[i] |= offset << 16;
      for (uint32_t j = 0; j < size; ++j) t[offset + j] = kEntryInvalid;
      offset += size;
    }
  }
  for (uint32_t s = 0; s < end; ++s) {
    uint32_t len = lengths[s];
    if (len == 0) continue;
    uint32_t leaf = (info ? info[s] : s << 16) + len + (len << kEntryCodeShift);
    uint32_t code = codes[s];
    if (len <= tb) {
      for (uint32_t j = code; j < mainSize; j += 1u << len) t[j] = leaf;
    } else {
      uint32_t link = t[code & (mainSize - 1)];
      uint32_t* sub = t + (link >> 16);
      uint32_t size = 1u << ((link >> 8) & 15);
      for (uint32_t j = code >> tb; j < size; j += 1u << (len - tb)) sub[j] = leaf;
    }
  }
  return 0;
}

void SetFixedCodeLengths(uint8_t* d, int32_t reach) {
  std::memset(d, 8, 244);
  std::memset(d + 244, 9, 261 - 244);
  d[256] = 0;
  std::memset(d + 261, 10, 5);
  std::memset(d + 266, 11, 288 - 266);
  uint8_t* dist = d + 288;
  if (reach > 8192) {
    std::memset(dist, 5, 22);
    std::memset(dist + 22, 6, 20);
  } else {
    std::memset(dist, 4, 4);
    std::memset(dist + 4, 5, 24);
    std::memset(dist + 28, 0, 14);
  }
  std::memset(d + 330, 3, 2);
  std::memset(d + 332, 4, 12);
}

// Run weights double with every consecutive run symbol; beyond any list's length they only need to stay
// large, not exact.
static inline uint32_t DoubleWeight(uint32_t w) { return w < (1u << 24) ? w << 1 : w; }

ErrorCode ReadCodeLengths(Decoder& d, uint8_t* destination, uint32_t setLength, uint32_t setCount,
                          int32_t reach) {
  if (setCount == 0) {
    SetFixedCodeLengths(destination, reach);
    return 0;
  }
  BitReader& r = d.bitReader;
  BitStream in;
  in.Load(r);
  ErrorCode rc = 0;
  // Before every field: the reader's limit test, with a Refill when it is reached.
  auto ready = [&]() -> ErrorCode {
    if (in.AtLimit(r.limit)) {
      in.Store(r);
      ErrorCode e = Refill(d);
      if (e < 0) return e;
      in.Load(r);
    }
    in.Fill();
    return 0;
  };

  uint8_t pre[kPreCodeSymbols] = {};
  uint32_t i = 0, w = 1;
  while (i < kPreCodeSymbols) {
    if ((rc = ready()) < 0) return rc;
    uint32_t v = in.Take(5);
    if (v <= 1) {
      i += w << v;
      w = DoubleWeight(w);
    } else {
      pre[i++] = static_cast<uint8_t>(v - 1);
      w = 1;
    }
  }
  for (uint32_t s = 0; s < kPreCodeSymbols; ++s)
    if (pre[s] > kMaxCodeLength) return kErrorDamaged;
  const HuffmanTable preTable{d.tables.preCode, kPreCodeTableBits};
  if ((rc = BuildHuffmanTable(preTable, pre, kPreCodeSymbols, kPreCodeLookupBits, nullptr)) < 0) return rc;

  const uint32_t total = setLength * setCount;
  uint32_t p = 0, ref = 0, z = 1, y = 1;
  while (p < total) {
    if ((rc = ready()) < 0) return rc;
    uint32_t e = LookUpEntry(d.tables.preCode, kPreCodeTableBits, in.bits);
    if (e & kEntryInvalid) return kErrorDamaged;
    in.Drop(e & kEntryBitsMask);
    uint32_t s = e >> 16;
    if (s <= 16) {
      if (p >= setLength && destination[p - setLength] != 0) ref = destination[p - setLength];
      ref += s;
      if (ref > 16) ref -= 17;
      destination[p++] = static_cast<uint8_t>(ref);
      z = y = 1;
    } else if (s <= 18) {
      uint32_t n = z << (s - 17);
      uint32_t room = total - p;
      if (n > room) n = room;
      std::memset(destination + p, 0, n);
      p += n;
      z = DoubleWeight(z);
      y = 1;
    } else {
      uint32_t n = y << (s - 19);
      for (; n > 0 && p < total; --n, ++p) {
        if (p >= setLength && destination[p - setLength] != 0) ref = destination[p - setLength];
        destination[p] = static_cast<uint8_t>(ref);
      }
      y = DoubleWeight(y);
      z = 1;
    }
  }
  in.Store(r);
  for (uint32_t k = 0; k < total; ++k)
    if (destination[k] > kMaxCodeLength) return kErrorDamaged;
  return 0;
}

}  // namespace zor
