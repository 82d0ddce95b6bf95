// The x86 call filters: undo the archiver's transform of call operands, chunk by chunk, on the way to disk.
#include "decoder/call_filter.h"

#include <cstring>

#include "decoder/decoder.h"
#include "platform/bytes.h"

namespace zor {
namespace {

constexpr uint8_t kCallOpcode = 0xE8;

// One operand at file offset o, turned back into the call's displacement.
inline void TranslateOperand(const uint8_t* in, uint8_t* out, uint32_t k, uint32_t o, uint32_t fileLength) {
  if (k == 2) {
    uint32_t v = (LoadLE16(in) - o) & 0xFFFF;
    out[0] = static_cast<uint8_t>(v);
    out[1] = static_cast<uint8_t>(v >> 8);
    return;
  }
  const int64_t w = static_cast<int32_t>(LoadLE32(in));
  uint32_t v = static_cast<uint32_t>(w);
  if (w >= 0 && w < static_cast<int64_t>(fileLength))
    v -= o;
  else if (w < 0 && w >= -static_cast<int64_t>(o))
    v = fileLength - o - 1 - v;
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Batches of input small enough that the staged output (plain bytes, then at most one opcode with its
// operand) fits the staging buffer.
int32_t TranslateCalls(Decoder& d, FileHandle output, const uint8_t* bytes, uint32_t count, uint32_t start,
                       uint32_t k, uint32_t fileLength) {
  OutputFilter& f = d.output;
  uint8_t* stage = f.stagingBuffer;
  const uint32_t batchMax = kStagingBufferSize - 1 - k;
  uint32_t i = 0;
  while (i < count) {
    uint32_t batchEnd = count - i < batchMax ? count : i + batchMax;
    uint32_t staged = 0;
    while (i < batchEnd) {
      const void* hit = std::memchr(bytes + i, kCallOpcode, batchEnd - i);
      uint32_t plainEnd = hit ? static_cast<uint32_t>(static_cast<const uint8_t*>(hit) - bytes) : batchEnd;
      std::memcpy(stage + staged, bytes + i, plainEnd - i);
      staged += plainEnd - i;
      i = plainEnd;
      if (!hit) break;
      stage[staged++] = kCallOpcode;
      ++i;
      // The operand is taken whole, also past the batch's or the range's end.
      TranslateOperand(bytes + i, stage + staged, k, start + i, fileLength);
      staged += k;
      i += k;
    }
    f.fileCrc = UpdateCrc(d.crc, f.fileCrc, stage, staged);
    if (CancelRequested(d)) return kErrorCancelled;
    if (FileWrite(*d.files, output, stage, staged) != static_cast<int32_t>(staged)) return kErrorWrite;
  }
  return static_cast<int32_t>(i - count);
}

}  // namespace

int32_t TranslateCalls16(Decoder& d, FileHandle output, const uint8_t* bytes, uint32_t count,
                         uint32_t start) {
  return TranslateCalls(d, output, bytes, count, start, 2, 0);
}

int32_t TranslateCalls32(Decoder& d, FileHandle output, const uint8_t* bytes, uint32_t count,
                         uint32_t start, uint32_t fileLength) {
  return TranslateCalls(d, output, bytes, count, start, 4, fileLength);
}

ErrorCode FilterChunk(Decoder& d, FileHandle output, const uint8_t* chunk, uint32_t length,
                      uint32_t fileOffset, uint32_t fileLength, bool lastChunk) {
  OutputFilter& f = d.output;
  const uint32_t k = static_cast<uint32_t>(f.filterKind);
  const uint8_t* work = chunk;
  uint32_t workLength = length, workOffset = fileOffset;
  const uint32_t m = f.filterCarryLength;
  if (m > 0) {
    // Complete the carried opcode's operand from this chunk's first bytes.
    uint32_t take = 8 - m < length ? 8 - m : length;
    std::memcpy(f.filterCarry + m, chunk, take);
    if (m + take == 8) {
      int32_t r = TranslateCalls(d, output, f.filterCarry, m, fileOffset - m, k, fileLength);
      if (r < 0) return r;
      work = chunk + r;
      workLength = length - static_cast<uint32_t>(r);
      workOffset = fileOffset + static_cast<uint32_t>(r);
    } else {
      work = f.filterCarry;
      workLength = m + length;
      workOffset = fileOffset - m;
    }
  }
  uint32_t i = 0;
  if (workLength > k) {
    int32_t r = TranslateCalls(d, output, work, workLength - k, workOffset, k, fileLength);
    if (r < 0) return r;
    i = workLength - k + static_cast<uint32_t>(r);
  }
  // The last k bytes may hold an opcode whose operand lies in the next chunk; only the file's end says
  // that it has none.
  const uint32_t plainStart = i;
  while (i < workLength && (work[i] != kCallOpcode || lastChunk)) ++i;
  if (i > plainStart) {
    f.fileCrc = UpdateCrc(d.crc, f.fileCrc, work + plainStart, i - plainStart);
    if (FileWrite(*d.files, output, work + plainStart, i - plainStart) != static_cast<int32_t>(i - plainStart))
      return kErrorWrite;
  }
  f.filterCarryLength = workLength - i;
  std::memmove(f.filterCarry, work + i, workLength - i);
  return 0;
}

}  // namespace zor
