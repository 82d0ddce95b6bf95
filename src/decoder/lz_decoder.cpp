// The LZ block decoder: table sets, literals, matches with recent distances, delta marks.
#include "decoder/lz_decoder.h"

#include <cstring>

#include "decoder/bit_stream.h"
#include "decoder/huffman.h"
#include "extract/extraction.h"

namespace zor {
namespace {

// Literal/length leaf data (bits 8..31 of a table entry): a literal byte, the end of the table set, a delta
// mark, or a match length's base with the number of its extra bits in bits 8..11.
constexpr uint32_t kLzLiteral = 1u << 15;
constexpr uint32_t kLzEndOfSet = 1u << 14;
constexpr uint32_t kLzDeltaMark = 1u << 13;
constexpr uint32_t kLzSpecial = kEntryInvalid | kLzEndOfSet | kLzDeltaMark;

constexpr uint32_t kSetLength = 344;        // m = 1 or 2: literal/length and distance alphabets 0 and 1
constexpr uint32_t kSetLengthThree = 372;   // m = 3: and distance alphabet 2

void BuildLitLenInfo(uint32_t* info) {
  for (uint32_t s = 0; s < 256; ++s) info[s] = (s << 16) | kLzLiteral;
  info[256] = kLzEndOfSet;
  for (uint32_t s = 257; s <= 265; ++s) info[s] = (s - 255) << 16;
  for (uint32_t i = 0; i < 20; ++i) {
    uint32_t extra = i / 4 + 1;
    info[266 + i] = ((((4 + (i & 3)) << extra) + 3) << 16) | (extra << 8);
  }
  info[286] = (259u << 16) | (15u << 8);
  info[287] = kLzDeltaMark;
}

// Copies a match of n bytes from `distance` back. Whole 8-byte words when the source lies at least a word
// behind (each word then reads only finished bytes) and the block has room for the last word's overshoot;
// byte by byte otherwise, so that a short distance repeats the bytes just written.
inline uint8_t* CopyMatch(uint8_t* out, uint32_t distance, uint32_t n, const uint8_t* outEnd) {
  const uint8_t* src = out - distance;
  uint8_t* end = out + n;
  if (distance >= 8 && static_cast<uint32_t>(outEnd - out) >= n + 15) {
    do {
      uint64_t a, b;
      std::memcpy(&a, src, 8);
      std::memcpy(out, &a, 8);
      std::memcpy(&b, src + 8, 8);
      std::memcpy(out + 8, &b, 8);
      src += 16;
      out += 16;
    } while (out < end);
    return end;
  }
  if (distance == 1) {
    std::memset(out, out[-1], n);
    return end;
  }
  while (out < end) *out++ = *src++;
  return end;
}

}  // namespace

void ApplyDeltaMarks(uint8_t* window, uint32_t end, const DeltaMark* marks, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t d = marks[i] >> 24;
    if (d == 0) continue;
    uint32_t p = marks[i] & 0xFFFFFF;
    uint32_t stop = i + 1 < count ? marks[i + 1] & 0xFFFFFF : end;
    if (stop > end) stop = end;
    if (p < d) p = d < stop ? d : stop;  // sources before the window's start add 0
    for (; p < stop; ++p) window[p] = static_cast<uint8_t>(window[p] + window[p - d]);
  }
}

int32_t DecodeLzBlock(Extraction& x, uint8_t* window, uint32_t historyLength, uint32_t blockLength,
                      bool useDeltaMarks) {
  BitReader& r = x.bitReader;
  if (useDeltaMarks) x.deltaMarkCount = 0;

  BitStream in;
  in.Load(r);
  const uint32_t mu = in.Take(8);
  const uint32_t m = mu & 3, u = mu >> 2;
  // m = 0 names no distance alphabet; the built-in lengths have none for alphabet 2.
  if (m == 0 || (m == 3 && u == 0)) return kErrorDamaged;
  in.Store(r);

  const uint32_t t = m == 3 ? kSetLengthThree : kSetLength;
  uint8_t* lengths = static_cast<uint8_t*>(MemAlloc(u ? u * t : kSetLength));
  if (!lengths) return kErrorNoMemory;
  const int32_t reach = static_cast<int32_t>(historyLength + blockLength);
  ErrorCode rc = ReadCodeLengths(x, lengths, t, u, reach);
  if (rc < 0) {
    MemFree(lengths);
    return rc;
  }
  in.Load(r);

  auto& tables = x.tables.lz;
  BuildLitLenInfo(tables.litLenInfo);
  const HuffmanTable litLen{tables.litLen, kLitLenTableBits};
  uint32_t* const distance0 = tables.distance0;
  uint32_t* const distance1 = tables.distance1;
  uint32_t* const distance2 = tables.distance2;
  // Distance table by match length: 2 uses alphabet 1, 3 uses alphabet 2 when m = 3, the rest alphabet 0.
  const uint32_t* distanceFor[4] = {distance0, distance0, m >= 2 ? distance1 : nullptr,
                                    m == 3 ? distance2 : distance0};

  uint8_t* const start = window + historyLength;
  uint8_t* out = start;
  uint8_t* const outEnd = start + blockLength;
  const uint8_t* lim = r.limit;  // moved by every Refill
  uint32_t recent0 = 0, recent1 = 0;
  const uint32_t sets = u ? u : 1;
  uint32_t set = 0;
  DeltaMark* const marks = x.deltaMarks;

  for (;;) {
    // A new table set.
    if (x.cancelRequested.load(std::memory_order_relaxed)) {
      rc = kErrorCancelled;
      goto fail;
    }
    if (set == sets) break;
    {
      const uint8_t* l = lengths + set * t;
      ++set;
      if ((rc = BuildHuffmanTable(litLen, l, kLitLenSymbols, kLitLenLookupBits, tables.litLenInfo)) < 0 ||
          (rc = BuildHuffmanTable({distance0, kDistanceTableBits}, l + 288, 42, kDistanceLookupBits,
                                  nullptr)) < 0 ||
          (m >= 2 && (rc = BuildHuffmanTable({distance1, kDistanceTableBits}, l + 330, 14,
                                             kDistanceLookupBits, nullptr)) < 0) ||
          (m == 3 && (rc = BuildHuffmanTable({distance2, kDistanceTableBits}, l + 344, 28,
                                             kDistanceLookupBits, nullptr)) < 0))
        goto fail;
    }

    while (out < outEnd) {
      if (in.AtLimit(lim)) {
        in.Store(r);
        rc = Refill(x);
        if (rc == kErrorInputExhausted) goto done;
        if (rc < 0) goto fail;
        in.Load(r);
        lim = r.limit;
        continue;
      }
      in.Fill();
      uint32_t e = LookUpEntry(tables.litLen, kLitLenTableBits, in.bits);
      if (e & kLzLiteral) {
        in.Drop(e & kEntryLengthMask);
        *out++ = static_cast<uint8_t>(e >> 16);
        continue;
      }
      if (e & kLzSpecial) {
        if (e & kEntryInvalid) goto done;
        in.Drop(e & kEntryLengthMask);
        if (e & kLzEndOfSet) goto next_set;
        uint32_t d = in.Take(3);
        if (useDeltaMarks) {
          if (x.deltaMarkCount == kMaxDeltaMarks) {
            rc = kErrorDamaged;
            goto fail;
          }
          marks[x.deltaMarkCount++] = (d << 24) | static_cast<uint32_t>(out - window);
        }
        continue;
      }
      in.Drop(e & kEntryLengthMask);
      uint32_t length = (e >> 16) + in.Take((e >> 8) & 15);
      const uint32_t* dt = distanceFor[length < 4 ? length : 0];
      if (!dt) {  // a length-2 match in a block without distance alphabet 1
        rc = kErrorDamaged;
        goto fail;
      }
      in.Fill();
      uint32_t de = LookUpEntry(dt, kDistanceTableBits, in.bits);
      if (de & kEntryInvalid) goto done;
      in.Drop(de & kEntryLengthMask);
      uint32_t ds = de >> 16;
      uint32_t dist;
      if (ds >= 6) {
        uint32_t extra = ((ds - 6) >> 1) + 1;
        dist = ((2 | (ds & 1)) << extra) + 1 + in.Take(extra);
        recent1 = recent0;
        recent0 = dist;
      } else if (ds >= 2) {
        dist = ds - 1;
      } else {
        if (ds == 1) {
          uint32_t swap = recent0;
          recent0 = recent1;
          recent1 = swap;
        }
        dist = recent0;
        if (dist == 0) {  // a recent distance used before any was set
          rc = kErrorDamaged;
          goto fail;
        }
      }
      if (dist > static_cast<uint32_t>(out - window)) continue;  // reaches before the window: skipped
      uint32_t room = static_cast<uint32_t>(outEnd - out);
      out = CopyMatch(out, dist, length < room ? length : room, outEnd);
    }
    break;  // the block's output is complete
  next_set:;
  }

done:
  in.StoreAligned(r);
  MemFree(lengths);
  {
    uint32_t produced = static_cast<uint32_t>(out - start);
    if (useDeltaMarks) ApplyDeltaMarks(window, historyLength + produced, marks, x.deltaMarkCount);
    return static_cast<int32_t>(produced);
  }

fail:
  MemFree(lengths);
  return rc;
}

}  // namespace zor
