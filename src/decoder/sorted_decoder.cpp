// The block-sorting decoder: rebuilds the last column from its move-to-front coding, then inverts the sort.
#include "decoder/sorted_decoder.h"

#include <cstring>

#include "decoder/bit_stream.h"
#include "decoder/decoder.h"
#include "decoder/huffman.h"

namespace zor {
namespace {

constexpr uint32_t kNoOrigin = 0xFFFFFFFFu;

}  // namespace

ErrorCode DecodeSortedBlock(Decoder& d, uint8_t* out, uint32_t size) {
  BitReader& r = d.bitReader;
  auto& tables = d.tables.sorted;
  BitStream in;
  in.Load(r);
  const uint32_t bias = in.Take(8);
  const uint32_t tableCount = in.Take(3);
  if (tableCount == 0 || tableCount > kMaxSortedTables) return kErrorDamaged;
  in.Store(r);
  for (uint32_t k = 0; k < tableCount; ++k) {
    ErrorCode rc = ReadCodeLengths(d, tables.lengths, kSortedSymbols, 1, 0);
    if (rc < 0) return rc;
    rc = BuildHuffmanTable({tables.table[k], kSortedTableBits}, tables.lengths, kSortedSymbols,
                           kSortedLookupBits, nullptr);
    if (rc < 0) return rc;
  }
  if (r.bitOffset > 0) ++r.cursor;
  r.bitOffset = 0;
  in.Load(r);

  uint8_t bytes[256];
  uint8_t tableList[kMaxSortedTables];
  uint32_t counts[256];
  for (uint32_t i = 0; i < 256; ++i) {
    bytes[i] = static_cast<uint8_t>(i);
    counts[i] = 0;
  }
  for (uint32_t i = 0; i < kMaxSortedTables; ++i) tableList[i] = static_cast<uint8_t>(i);

  const uint32_t positions = size + 1;
  uint32_t weight = 1, origin = kNoOrigin, p = 0, inGroup = kSelectorGroup;
  const uint32_t* table = tables.table[0];
  while (p < positions) {
    if (in.AtLimit(r.limit)) {
      if (CancelRequested(d)) return kErrorCancelled;
      in.Store(r);
      ErrorCode rc = Refill(d);
      if (rc < 0) return rc;
      in.Load(r);
      continue;
    }
    in.Fill();
    if (inGroup == kSelectorGroup) {
      // Selector: j one-bits and a zero-bit, a move-to-front index into the table numbers.
      uint32_t j = 0;
      while (in.Take(1)) {
        if (++j >= tableCount) return kErrorDamaged;
      }
      uint8_t chosen = tableList[j];
      for (; j > 0; --j) tableList[j] = tableList[j - 1];
      tableList[0] = chosen;
      table = tables.table[chosen];
      inGroup = 0;
      continue;
    }
    ++inGroup;
    uint32_t e = LookUpEntry(table, kSortedTableBits, in.bits);
    if (e & kEntryInvalid) return kErrorDamaged;
    in.Drop(e & kEntryBitsMask);
    uint32_t s = e >> 16;
    if (s <= 1) {
      uint32_t n = weight << s;
      if (n > positions - p) return kErrorDamaged;
      std::memset(out + p, bytes[0], n);
      counts[bytes[0]] += n;
      p += n;
      weight <<= 1;
    } else if (s < kOriginMarker) {
      uint32_t j = s - 1;
      uint8_t b = bytes[j];
      // Move-to-front: most indices are small, where a loop beats a call.
      if (j < 16) {
        for (; j > 0; --j) bytes[j] = bytes[j - 1];
      } else {
        std::memmove(bytes + 1, bytes, j);
      }
      bytes[0] = b;
      out[p++] = b;
      ++counts[b];
      weight = 1;
    } else {
      if (origin != kNoOrigin) return kErrorDamaged;  // the sentinel has one position
      origin = p++;
      weight = 1;
    }
  }
  in.StoreAligned(r);
  if (origin == kNoOrigin) origin = 0;

  // Rows of each byte value in the sorted first column; row 0 is the sentinel's.
  uint32_t next[256];
  next[0] = 1;
  for (uint32_t b = 1; b < 256; ++b) next[b] = next[b - 1] + counts[b - 1];
  uint32_t* link = static_cast<uint32_t*>(MemAlloc(positions * 4));
  if (!link) return kErrorNoMemory;
  link[origin] = 0;
  for (uint32_t i = 0; i < positions; ++i) {
    if (i == origin) continue;
    uint32_t b = out[i];
    link[i] = (b << 24) | next[b]++;
  }
  if (CancelRequested(d)) {
    MemFree(link);
    return kErrorCancelled;
  }
  // Rows stay inside the vector: with its one origin marker the column fills rows 1..size exactly, and
  // without one the walk never leaves row 0 (link[0] = 0).
  uint32_t row = 0;
  for (uint32_t k = size; k-- > 0;) {
    uint32_t e = link[row];
    row = e & 0xFFFFFF;
    out[k] = static_cast<uint8_t>((e >> 24) + bias);
  }
  MemFree(link);
  return 0;
}

}  // namespace zor
