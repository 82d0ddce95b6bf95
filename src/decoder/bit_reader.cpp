// Bit input: opening a block, refilling its bytes, copying stored payloads, and the block header.
#include "decoder/bit_reader.h"

#include <cstring>

#include "decoder/decoder.h"
#include "platform/bytes.h"

namespace zor {

void ClearBitReaderSlack(BitReader& reader, uint32_t end) {
  if (end < kBitReaderAllocSize) {
    uint32_t n = kBitReaderAllocSize - end;
    std::memset(reader.buffer + end, 0, n < kBitReaderSlack ? n : kBitReaderSlack);
  }
}

void ResetBitReader(BitReader& reader) {
  reader.cursor = reader.buffer;
  reader.limit = reader.buffer;
  reader.bitOffset = 0;
  reader.remaining = 0;
}

BlockHeader ReadBlockHeader(const uint8_t* first) {
  BlockHeader h;
  uint32_t low = LoadLE32(first);
  h.type = low & 15;
  h.last = (low >> 4) & 1;
  h.size = (low >> 5) & 0xFFFFF;
  h.packedSize = (LoadLE32(first + 3) >> 1) & 0xFFFFF;
  return h;
}

namespace {

// Reads `want` fresh bytes of the block behind the 8 carried ones and places `limit`. A short read means
// the program file ends inside the block: the archive was cut, and the block is damaged data. (Decoding
// what did arrive would take the missing tail for zeros and could pass a cut archive as good.)
ErrorCode ReadFresh(Decoder& d, uint32_t want) {
  BitReader& r = d.bitReader;
  int32_t n = ArchiveRead(*d.files, r.buffer + kBitReaderLookahead, want);
  if (n < 0) return n;
  uint32_t got = static_cast<uint32_t>(n);
  if (got < want) return kErrorDamaged;
  r.remaining -= got;
  uint32_t end = kBitReaderLookahead + got;
  r.limit = r.buffer + (r.remaining > 0 ? end - kBitReaderLookahead : end);
  if (r.remaining == 0) ClearBitReaderSlack(r, end);
  return 0;
}

}  // namespace

ErrorCode OpenBlock(Decoder& d) {
  BitReader& r = d.bitReader;
  FileLayer& f = *d.files;
  SegmentDecoder& s = d.segment;
  if (s.hasHistory && f.programFilePos != s.resumePos) {
    if (FileSeek(f, f.programFile, static_cast<int32_t>(s.resumePos), kSeekBegin) == kSeekFailed)
      return kErrorSeek;
    f.programFilePos = s.resumePos;
  }
  uint32_t start = f.programFilePos;
  int32_t n = ArchiveRead(f, r.buffer, kBitReaderLookahead);
  if (n < 0) return n;
  if (n < 6) return kErrorDamaged;
  uint32_t packedSize = ReadBlockHeader(r.buffer).packedSize;
  if (packedSize < 6) return kErrorDamaged;
  r.nextBlockPos = start + packedSize;
  r.cursor = r.buffer;
  r.bitOffset = 0;
  uint32_t got = static_cast<uint32_t>(n);
  if (packedSize > kBitReaderLookahead && got == kBitReaderLookahead) {
    r.remaining = packedSize - kBitReaderLookahead;
    return ReadFresh(d, r.remaining < kBitReaderFreshMax ? r.remaining : kBitReaderFreshMax);
  }
  // The whole block is in. Bytes read beyond packedSize belong to the next block and are not this block's
  // data; fewer than packedSize mean the file ends inside the block.
  if (got < packedSize && got < kBitReaderLookahead) return kErrorDamaged;
  uint32_t end = packedSize < got ? packedSize : got;
  r.remaining = 0;
  r.limit = r.buffer + end;
  ClearBitReaderSlack(r, end);
  return 0;
}

ErrorCode Refill(Decoder& d) {
  BitReader& r = d.bitReader;
  if (r.remaining == 0) return kErrorInputExhausted;
  if (CancelRequested(d)) return kErrorCancelled;
  uint32_t carry = static_cast<uint32_t>(r.cursor - r.limit);
  if (r.cursor < r.limit || carry > kBitReaderLookahead) return kErrorDamaged;  // decoders never do this
  std::memmove(r.buffer, r.limit, kBitReaderLookahead);
  r.cursor = r.buffer + carry;
  return ReadFresh(d, r.remaining < kBitReaderFreshMax ? r.remaining : kBitReaderFreshMax);
}

int32_t CopyStored(Decoder& d, uint8_t* destination, uint32_t count) {
  BitReader& r = d.bitReader;
  if (r.bitOffset > 0) ++r.cursor;
  // A damaged stored block can leave the cursor behind the data; that is nothing to copy, not a negative count.
  int64_t available = (r.limit - r.cursor) + (r.remaining > 0 ? kBitReaderLookahead : 0);
  if (available < 0) available = 0;
  uint32_t take = available < count ? static_cast<uint32_t>(available) : count;
  std::memcpy(destination, r.cursor, take);
  r.cursor += take;
  if (CancelRequested(d)) return kErrorCancelled;
  if (take < count) {
    // The rest straight from the file, as far as packedSize says the block reaches. A payload longer than
    // that ends early (the caller shortens the block); the file ending first means the archive was cut.
    uint32_t more = count - take < r.remaining ? count - take : r.remaining;
    if (more > 0) {
      int32_t n = ArchiveRead(*d.files, destination + take, more);
      if (n < 0) return n;
      if (static_cast<uint32_t>(n) < more) return kErrorDamaged;
      take += more;
    }
  }
  return static_cast<int32_t>(take);
}

}  // namespace zor
