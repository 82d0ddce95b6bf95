// The LZ block decoder: table sets, literals, matches with recent distances, delta marks.
#include "decoder/lz_decoder.h"

#include <cstddef>
#include <cstring>

#include "decoder/bit_stream.h"
#include "decoder/decoder.h"
#include "decoder/huffman.h"

namespace zor {
namespace {

// Literal/length leaf data: a literal byte (bits 16..23); a match length's base (bits 16..24) with its extra
// bits counted into the bits to consume and the number of the distance alphabet that follows it (bits
// 25..26); or one of the specials: the end of the table set (data 0), a delta mark (1), or a length that
// names a distance alphabet the block lacks (2, damaged data). The fast tables also pair two literals whose
// codes fit the main table together: the second byte in bits 24..31, both codes in the bits to consume,
// the first code alone as the code length.
constexpr uint32_t kLzLiteral = 1u << 7;
constexpr uint32_t kLzLiteralPair = 1u << 6;
constexpr uint32_t kLzSpecial = 1u << 15;
constexpr uint32_t kLzStop = kEntryInvalid | kLzSpecial;
constexpr uint32_t kLzEndOfSet = 0, kLzDeltaMark = 1;
// Distance leaf data: the distance is (factor << extra) + 1 + the extra bits, with the factor in bits
// 16..31: 2 or 3 for symbols 6..41, which make it the new recent distance; 0..3 for symbols 2..5 (no extra
// bits). Symbols 0 and 1 take a recent distance instead, 1 after swapping the two.
constexpr uint32_t kNewDistance = 1u << 15;
constexpr uint32_t kRecentDistance = 1u << 7;
constexpr uint32_t kSwapRecent = 1u << 6;

// The fast loop runs while the cursor is this far before the limit (the symbols of one round, at most two
// literal entries or one 65-bit match, need no limit test) and the block has room for a 258-byte match with
// its word overshoot.
constexpr ptrdiff_t kFastInputMargin = 40;
constexpr ptrdiff_t kFastOutputMargin = 258 + 40;

inline uint32_t CodeLength(uint32_t e) { return (e >> kEntryCodeShift) & kEntryCodeMask; }
// The extra bits that follow a leaf's code.
inline uint32_t ExtraBits(uint32_t e) { return (e & kEntryBitsMask) - CodeLength(e); }
// The distance table that follows a length's entry.
inline const uint32_t* DistanceTable(const uint32_t* distance, uint32_t e) {
  return distance + ((e >> 25) & 3) * kDistanceTableStride;
}

// Length 2 uses distance alphabet 1 (which m = 1 lacks), length 3 alphabet 2 when m = 3, the rest alphabet 0.
void BuildLitLenInfo(uint32_t* info, uint32_t m) {
  for (uint32_t s = 0; s < 256; ++s) info[s] = (s << 16) | kLzLiteral;
  info[256] = kLzSpecial | (kLzEndOfSet << 16);
  for (uint32_t s = 257; s <= 265; ++s) info[s] = (s - 255) << 16;
  info[257] = m == 1 ? kLzSpecial | (2u << 16) : (2u << 16) | (1u << 25);
  if (m == 3) info[258] |= 2u << 25;
  for (uint32_t i = 0; i < 20; ++i) {
    uint32_t extra = i / 4 + 1;
    info[266 + i] = ((((4 + (i & 3)) << extra) + 3) << 16) | extra;
  }
  info[286] = (259u << 16) | 15u;
  info[287] = kLzSpecial | (kLzDeltaMark << 16);
}

void BuildDistanceInfo(uint32_t* info) {
  info[0] = kRecentDistance;
  info[1] = kRecentDistance | kSwapRecent;
  for (uint32_t s = 2; s < 6; ++s) info[s] = (s - 2) << 16;
  for (uint32_t s = 6; s < 42; ++s) info[s] = ((2 | (s & 1)) << 16) | (((s - 6) >> 1) + 1) | kNewDistance;
}

// The distance of a match whose distance entry is `e` and whose explicit distance (symbols 2..41) would
// be `fresh`; updates the recent distances. Written without branches: which kind of distance symbol
// comes next is hard to predict.
inline uint32_t MatchDistance(uint32_t e, uint32_t fresh, uint32_t& recent0, uint32_t& recent1) {
  const bool swap = e & kSwapRecent;
  const uint32_t r0 = swap ? recent1 : recent0, r1 = swap ? recent0 : recent1;
  const uint32_t dist = (e & kRecentDistance) ? r0 : fresh;
  const bool push = e & kNewDistance;
  recent1 = push ? r0 : r1;
  recent0 = push ? fresh : r0;
  return dist;
}

// Copies a match of n bytes from `distance` back, so that an overlapping copy repeats the bytes it has
// just written. With `room` for 15 bytes beyond the match, whole words: a word that lies at least 8 bytes
// behind its destination reads only finished bytes; a shorter distance repeats its pattern word by word,
// each word's first `distance` bytes final and the rest overwritten by the next. Byte by byte otherwise.
inline void CopyWord(uint8_t* to, const uint8_t* from) {
  uint64_t w;
  std::memcpy(&w, from, 8);
  std::memcpy(to, &w, 8);
}

inline uint8_t* CopyMatch(uint8_t* out, uint32_t distance, uint32_t n, uint32_t room) {
  const uint8_t* src = out - distance;
  uint8_t* const end = out + n;
#ifndef __OPTIMIZE_SIZE__
  if (room >= n + 15) {
    if (distance >= 8) {
      do {
        uint64_t a, b;
        std::memcpy(&a, src, 8);
        std::memcpy(out, &a, 8);
        std::memcpy(&b, src + 8, 8);
        std::memcpy(out + 8, &b, 8);
        src += 16;
        out += 16;
      } while (out < end);
    } else if (distance == 1) {
      const uint64_t v = 0x0101010101010101ull * out[-1];
      do {
        std::memcpy(out, &v, 8);
        std::memcpy(out + 8, &v, 8);
        out += 16;
      } while (out < end);
    } else {
      do {
        uint64_t a;
        std::memcpy(&a, src, 8);
        std::memcpy(out, &a, 8);
        src += distance;
        out += distance;
      } while (out < end);
    }
    return end;
  }
#else
  (void)room;
#endif
  while (out < end) *out++ = *src++;
  return end;
}

// The symbol loop's fast part: runs while the cursor is far enough before the limit that no symbol needs
// the limit test and the block has room for any match up to 258 bytes with its word overshoot. The next
// symbol's entry is looked up before the current match is copied. Whatever needs more care (the end of a
// set, a delta mark, an invalid length code) is left unconsumed for the careful loop. Kept out of line so
// that its few variables live in registers. 0, 1 when an invalid distance code ends the block, or -11.
// The stub, built for size with a 32-bit bit buffer, decodes everything in the careful loop (and so does a
// differential fuzz build).
#if !defined(__OPTIMIZE_SIZE__) && !defined(ZOR_LZ_CAREFUL_ONLY) && defined(ZOR_WIDE_BIT_BUFFER)
#define ZOR_LZ_FAST_LOOP 1

// Pairs of literals: an entry whose literal code leaves room in the main table for a second literal's
// whole code becomes both. Walked downwards, so that the entry for the second code (at a lower index, the
// bits behind the first code) is still a single one when it is read.
void PairLiterals(uint32_t* t) {
  for (uint32_t i = 1u << kLitLenTableBits; i-- > 0;) {
    const uint32_t e = t[i];
    if (!(e & kLzLiteral)) continue;
    const uint32_t first = e & kEntryBitsMask;
    if (first >= kLitLenTableBits) continue;
    const uint32_t e2 = t[i >> first];
    if ((e2 & kLzLiteral) && (e2 & kEntryBitsMask) <= kLitLenTableBits - first)
      t[i] = e + (e2 & kEntryBitsMask) + ((e2 >> 16) << 24) + kLzLiteralPair;
  }
}

// The extra bits behind an entry's code, from the bit buffer as it was before the entry was consumed.
inline uint32_t ExtraValue(uint64_t saved, uint32_t e) {
  return static_cast<uint32_t>((saved & ((uint64_t{1} << (e & kEntryBitsMask)) - 1)) >> CodeLength(e));
}
struct FastState {
  BitStream in;
  uint8_t* out;
  uint32_t recent0, recent1;
};

[[gnu::noinline]] ErrorCode DecodeFast(FastState& st, const uint32_t* litLen, const uint32_t* distance,
                                      uint8_t* window, uint8_t* outEnd, const uint8_t* lim) {
  BitStream in = st.in;
  uint8_t* out = st.out;
  uint32_t recent0 = st.recent0, recent1 = st.recent1;
  const uint8_t* const inLast = lim - kFastInputMargin;
  uint8_t* const outLast = outEnd - kFastOutputMargin;
  ErrorCode rc = 0;
  // Each table entry is looked up as soon as its bits are there, and the bit buffer is topped up after
  // the lookup rather than before: a refill only adds bits above the ones in use, so it runs alongside.
  // At the top of the loop `e` is looked up and at least 56 bits are valid.
  in.Fill();
  uint32_t e = LookUpEntry(litLen, kLitLenTableBits, in.bits);
  do {
    if (e & kLzLiteral) {
      // Up to two literal entries from one refill (each at most 16 bits), then the next entry (16 more).
      // Both bytes of an entry are stored; a single literal's second byte is overwritten next.
      in.Drop(e & kEntryBitsMask);
      uint32_t bytes = e >> 16, count = 1 + ((e >> 6) & 1);
      e = LookUpEntry(litLen, kLitLenTableBits, in.bits);
      out[0] = static_cast<uint8_t>(bytes);
      out[1] = static_cast<uint8_t>(bytes >> 8);
      out += count;
      if (e & kLzLiteral) {
        in.Drop(e & kEntryBitsMask);
        bytes = e >> 16;
        count = 1 + ((e >> 6) & 1);
        e = LookUpEntry(litLen, kLitLenTableBits, in.bits);
        out[0] = static_cast<uint8_t>(bytes);
        out[1] = static_cast<uint8_t>(bytes >> 8);
        out += count;
      }
      in.Fill();
      continue;
    }
    if (e & kLzStop) break;
    uint64_t saved = in.bits;
    in.Drop(e & kEntryBitsMask);  // code and extra bits, at most 31: 25 are left
    const uint32_t length = ((e >> 16) & 511) + ExtraValue(saved, e);
    uint32_t de = LookUpEntry(DistanceTable(distance, e), kDistanceTableBits, in.bits);
    in.Fill();
    if (de & kEntryInvalid) {
      rc = 1;
      break;
    }
    saved = in.bits;
    in.Drop(de & kEntryBitsMask);  // at most 34: 22 are left
    uint32_t dist;
    if (de & kNewDistance) {
      dist = ((de >> 16) << ExtraBits(de)) + 1 + ExtraValue(saved, de);
      recent1 = recent0;
      recent0 = dist;
    } else if (!(de & kRecentDistance)) {
      dist = (de >> 16) + 1;
    } else {
      if (de & kSwapRecent) {
        uint32_t swap = recent0;
        recent0 = recent1;
        recent1 = swap;
      }
      dist = recent0;
      if (dist == 0) {  // a recent distance used before any was set
        rc = kErrorDamaged;
        break;
      }
    }
    e = LookUpEntry(litLen, kLitLenTableBits, in.bits);
    in.Fill();
    if (dist > static_cast<uint32_t>(out - window)) continue;  // reaches before the window: skipped
    const uint32_t room = static_cast<uint32_t>(outEnd - out);
    if (length + 40 > room) {  // a long match near the block's end (lengths reach 33026)
      out = CopyMatch(out, dist, length < room ? length : room, room);
      continue;
    }
    // Five words without a test cover most matches; longer ones go on a word at a time.
    uint8_t* const end = out + length;
    if (dist >= 8) {
      const uint8_t* src = out - dist;
      for (int i = 0; i < 5; ++i) CopyWord(out + 8 * i, src + 8 * i);
      for (out += 40, src += 40; out < end; out += 8, src += 8) CopyWord(out, src);
      out = end;
    } else if (dist == 1) {
      const uint64_t v = 0x0101010101010101ull * out[-1];
      for (int i = 0; i < 5; ++i) std::memcpy(out + 8 * i, &v, 8);
      for (out += 40; out < end; out += 8) std::memcpy(out, &v, 8);
      out = end;
    } else {
      const uint8_t* src = out - dist;
      do {
        CopyWord(out, src);
        src += dist;
        out += dist;
      } while (out < end);
      out = end;
    }
  } while (in.in < inLast && out <= outLast);
  st.in = in;
  st.out = out;
  st.recent0 = recent0;
  st.recent1 = recent1;
  return rc;
}
#endif

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

int32_t DecodeLzBlock(Decoder& d, uint8_t* window, uint32_t historyLength, uint32_t blockLength,
                      bool useDeltaMarks) {
  BitReader& r = d.bitReader;
  if (useDeltaMarks) d.deltaMarkCount = 0;

  BitStream in;
  in.Load(r);
  const uint32_t mu = in.Take(8);
  const uint32_t m = mu & 3, u = mu >> 2;
  // m = 0 names no distance alphabet; the built-in lengths have none for alphabet 2.
  if (m == 0 || (m == 3 && u == 0)) return kErrorDamaged;
  in.Store(r);

  const uint32_t t = m == 3 ? kSetLengthLarge : kSetLengthSmall;
  uint8_t* lengths = static_cast<uint8_t*>(MemAlloc(u ? u * t : kSetLengthSmall));
  if (!lengths) return kErrorNoMemory;
  const int32_t reach = static_cast<int32_t>(historyLength + blockLength);
  ErrorCode rc = ReadCodeLengths(d, lengths, t, u, reach);
  if (rc < 0) {
    MemFree(lengths);
    return rc;
  }
  in.Load(r);

  auto& tables = d.tables.lz;
  BuildLitLenInfo(tables.litLenInfo, m);
  BuildDistanceInfo(tables.distanceInfo);
  const HuffmanTable litLen{tables.litLen, kLitLenTableBits};

  uint8_t* const start = window + historyLength;
  uint8_t* out = start;
  uint8_t* const outEnd = start + blockLength;
  const uint8_t* lim = r.limit;  // moved by every Refill
  uint32_t recent0 = 0, recent1 = 0;
  const uint32_t sets = u ? u : 1;
  uint32_t set = 0;
  DeltaMark* const marks = d.deltaMarks;

  for (;;) {
    // A new table set.
    if (CancelRequested(d)) {
      rc = kErrorCancelled;
      goto fail;
    }
    if (set == sets) break;
    {
      const uint8_t* l = lengths + set * t;
      ++set;
      if ((rc = BuildHuffmanTable(litLen, l, kLitLenSymbols, kLitLenLookupBits, tables.litLenInfo)) < 0)
        goto fail;
      // The first m distance alphabets: 42, 14 and 28 lengths behind the 288 literal/length lengths.
      for (uint32_t k = 0, at = kLitLenSymbols; k < m; at += kDistanceSymbols[k++]) {
        if ((rc = BuildHuffmanTable({tables.distance[k], kDistanceTableBits}, l + at, kDistanceSymbols[k],
                                    kDistanceLookupBits, tables.distanceInfo)) < 0)
          goto fail;
      }
#ifdef ZOR_LZ_FAST_LOOP
      PairLiterals(tables.litLen);
#endif
    }

    while (out < outEnd) {
#ifdef ZOR_LZ_FAST_LOOP
      if (lim - in.in > kFastInputMargin && outEnd - out >= kFastOutputMargin) {
        FastState st{in, out, recent0, recent1};
        rc = DecodeFast(st, tables.litLen, tables.distance[0], window, outEnd, lim);
        in = st.in;
        out = st.out;
        recent0 = st.recent0;
        recent1 = st.recent1;
        if (rc < 0) goto fail;
        if (rc > 0) goto done;
        if (out >= outEnd) break;
      }
#endif
      uint32_t e;
      if (in.AtLimit(lim)) {
        in.Store(r);
        rc = Refill(d);
        if (rc == kErrorInputExhausted) goto done;
        if (rc < 0) goto fail;
        in.Load(r);
        lim = r.limit;
        continue;
      }
      in.Fill();
      e = LookUpEntry(tables.litLen, kLitLenTableBits, in.bits);
      if (e & kLzLiteral) {  // the first of a pair alone
        in.Drop(CodeLength(e));
        *out++ = static_cast<uint8_t>(e >> 16);
        continue;
      }
      if (e & kLzStop) {
        if (e & kEntryInvalid) goto done;
        in.Drop(e & kEntryBitsMask);
        if ((e >> 16) == kLzEndOfSet) goto next_set;
        if ((e >> 16) != kLzDeltaMark) {  // a length-2 match in a block without distance alphabet 1
          rc = kErrorDamaged;
          goto fail;
        }
        const uint32_t delta = in.Take(3);
        if (useDeltaMarks) {
          if (d.deltaMarkCount == kMaxDeltaMarks) {
            rc = kErrorDamaged;
            goto fail;
          }
          marks[d.deltaMarkCount++] = (delta << 24) | static_cast<uint32_t>(out - window);
        }
        continue;
      }
      // One item per refill here, as a 32-bit buffer needs: code, extra bits, code, extra bits.
      in.Drop(CodeLength(e));
      in.Fill();
      uint32_t length = ((e >> 16) & 511) + in.Take(ExtraBits(e));
      in.Fill();
      uint32_t de = LookUpEntry(DistanceTable(tables.distance[0], e), kDistanceTableBits, in.bits);
      if (de & kEntryInvalid) goto done;
      uint32_t extra = ExtraBits(de);
      in.Drop(CodeLength(de));
      in.Fill();
      uint32_t dist = MatchDistance(de, ((de >> 16) << extra) + 1 + in.Take(extra), recent0, recent1);
      if (dist == 0) {  // a recent distance used before any was set
        rc = kErrorDamaged;
        goto fail;
      }
      if (dist > static_cast<uint32_t>(out - window)) continue;  // reaches before the window: skipped
      uint32_t room = static_cast<uint32_t>(outEnd - out);
      out = CopyMatch(out, dist, length < room ? length : room, room);
    }
    break;  // the block's output is complete
  next_set:;
  }

done:
  in.StoreAligned(r);
  MemFree(lengths);
  {
    uint32_t produced = static_cast<uint32_t>(out - start);
    if (useDeltaMarks) ApplyDeltaMarks(window, historyLength + produced, marks, d.deltaMarkCount);
    return static_cast<int32_t>(produced);
  }

fail:
  MemFree(lengths);
  return rc;
}

}  // namespace zor
