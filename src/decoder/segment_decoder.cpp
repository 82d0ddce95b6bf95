// The segment decoder: one file's bytes from its segment's stream, through the window and its history.
#include "decoder/segment_decoder.h"

#include <cstring>

#include "decoder/decoder.h"
#include "decoder/lz_decoder.h"
#include "decoder/sorted_decoder.h"
#include "platform/bytes.h"

namespace zor {
namespace {

constexpr uint32_t kWindowGrowth = 512;

// Grows the window to hold n bytes; it never shrinks while the segment is decoded.
ErrorCode EnsureWindow(SegmentDecoder& s, uint32_t n) {
  if (n <= s.windowCapacity) return 0;
  uint8_t* w = static_cast<uint8_t*>(MemResize(s.window, n + kWindowGrowth + kWindowSlack));
  if (!w) return kErrorNoMemory;
  s.window = w;
  s.windowCapacity = n + kWindowGrowth;
  return 0;
}

// Keeps the last `keep` bytes of history (re-encoded first), moving them to the window's start.
void SlideHistory(Decoder& d, uint32_t keep) {
  SegmentDecoder& s = d.segment;
  ReencodeHistory(d, keep);
  if (s.historyLength > keep) {
    std::memmove(s.window, s.window + s.historyLength - keep, keep);
    s.historyLength = keep;
  }
}

void Restart(Decoder& d, uint32_t segmentPos) {
  SegmentDecoder& s = d.segment;
  s.historyLength = 0;
  s.blockLength = 0;
  s.blockStart = 0;
  s.lastBlock = false;
  s.hasHistory = false;
  s.busy = false;
  s.segmentPos = segmentPos;
}

// Opens and decodes the segment's next block into the window. 1 when the segment had no more blocks.
ErrorCode NextBlock(Decoder& d) {
  SegmentDecoder& s = d.segment;
  BitReader& r = d.bitReader;
  if (CancelRequested(d)) return kErrorCancelled;
  if (s.busy) return kErrorDamaged;
  s.busy = true;
  if (s.lastBlock) return 1;
  ErrorCode rc = OpenBlock(d);
  if (rc < 0) return rc;
  s.historyLength += s.blockLength;
  s.blockStart += s.blockLength;
  BlockHeader h = ReadBlockHeader(r.buffer);
  if (h.type > 3) return kErrorDamaged;
  s.lastBlock = h.last;
  s.blockLength = h.size;
  if (!s.window) {
    s.windowCapacity = s.blockLength + kWindowGrowth;
    s.window = static_cast<uint8_t*>(MemAlloc(s.windowCapacity + kWindowSlack));
    if (!s.window) return kErrorNoMemory;
  }
  if (h.type == 1 || h.type == 3) {
    if (s.hasHistory) {
      SlideHistory(d, HistorySize((r.buffer[5] >> 5) | ((r.buffer[6] & 3) << 3)));
      if ((rc = EnsureWindow(s, s.historyLength + s.blockLength)) < 0) return rc;
    }
    r.cursor = r.buffer + kLzDataBit / 8;
    r.bitOffset = kLzDataBit % 8;
    int32_t n = DecodeLzBlock(d, s.window, s.historyLength, s.blockLength, true);
    if (n < 0) return n;
    if (static_cast<uint32_t>(n) < s.blockLength) {
      s.blockLength = static_cast<uint32_t>(n);
      s.lastBlock = true;
    }
  } else {
    if ((rc = EnsureWindow(s, s.blockLength)) < 0) return rc;
    if (s.lastBlock) {
      s.historyLength = 0;
    } else {
      uint32_t keep = s.blockLength < kMaxHistory ? kMaxHistory - s.blockLength : 0;
      if (keep > s.windowCapacity - s.blockLength) keep = s.windowCapacity - s.blockLength;
      SlideHistory(d, keep);
    }
    d.deltaMarkCount = 0;
    r.cursor = r.buffer + kBlockHeaderBits / 8;
    r.bitOffset = kBlockHeaderBits % 8;
    uint8_t* at = s.window + s.historyLength;
    if (h.type == 2) {
      // The last column takes one byte more than the block; kWindowSlack provides it.
      if ((rc = DecodeSortedBlock(d, at, s.blockLength)) < 0) return rc;
    } else {
      int32_t n = CopyStored(d, at, s.blockLength);
      if (n < 0) return n;
      if (static_cast<uint32_t>(n) < s.blockLength) {
        s.blockLength = static_cast<uint32_t>(n);
        s.lastBlock = true;
      }
    }
  }
  s.resumePos = r.nextBlockPos;
  s.busy = false;
  s.hasHistory = true;
  return 0;
}

}  // namespace

void ReencodeHistory(Decoder& d, uint32_t keep) {
  SegmentDecoder& s = d.segment;
  const uint32_t end = s.historyLength;
  const uint32_t cut = end > keep ? end - keep : 0;
  uint8_t* w = s.window;
  // Backwards, region by region: each byte is turned back while the byte `delta` places before it still holds
  // its decoded value.
  for (uint32_t i = d.deltaMarkCount; i-- > 0;) {
    const uint32_t delta = d.deltaMarks[i] >> 24;
    uint32_t start = d.deltaMarks[i] & 0xFFFFFF;
    if (delta != 0) {
      uint32_t stop = i + 1 < d.deltaMarkCount ? d.deltaMarks[i + 1] & 0xFFFFFF : end;
      if (stop > end) stop = end;
      uint32_t low = start > cut ? start : cut;
      uint32_t j = stop;
      for (; j > low && j - 1 >= delta; --j) w[j - 1] = static_cast<uint8_t>(w[j - 1] - w[j - 1 - delta]);
      // below delta the source lies before the window's start and counts as 0
    }
    if (start <= cut) break;
  }
}

void ResetSegmentDecoder(Decoder& d) {
  SegmentDecoder& s = d.segment;
  if (s.window) MemFree(s.window);
  s.window = nullptr;
  s.windowCapacity = 0;
  Restart(d, 0xFFFFFFFFu);
}

ErrorCode DecodeFileData(Decoder& d, FileHandle output, uint32_t segmentPos, uint32_t position,
                         uint32_t length, CallFilter filter) {
  OutputFilter& o = d.output;
  SegmentDecoder& s = d.segment;
  o.fileCrc = 0xFFFFFFFFu;
  if (length == 0) {
    o.fileCrc = ~o.fileCrc;
    return 0;
  }
  o.filterCarryLength = 0;
  o.filterKind = filter;
  uint32_t gathered = 0, skipped = 0, handedOver = 0, left = length;
  uint64_t pos = position;

  if (segmentPos != s.segmentPos || pos < s.blockStart) {
    Restart(d, segmentPos);
    FileLayer& f = *d.files;
    if (FileSeek(f, f.programFile, static_cast<int32_t>(segmentPos), kSeekBegin) == kSeekFailed)
      return kErrorSeek;
    f.programFilePos = segmentPos;
    if (s.window) MemFree(s.window);
    s.window = nullptr;
    s.windowCapacity = 0;
    ResetBitReader(d.bitReader);
  }

  while (left > 0) {
    if (s.busy) return kErrorDamaged;
    if (pos < s.blockStart + s.blockLength) {
      uint32_t available = static_cast<uint32_t>(s.blockStart + s.blockLength - pos);
      const uint8_t* at = s.window + s.historyLength + static_cast<uint32_t>(pos - s.blockStart);
      if (gathered < kLocalHeaderSize) {
        uint32_t n = kLocalHeaderSize - gathered < available ? kLocalHeaderSize - gathered : available;
        std::memcpy(d.localHeader.bytes + gathered, at, n);
        gathered += n;
        pos += n;
        if (gathered == kLocalHeaderSize) d.localHeader.extraLength = LoadLE16(d.localHeader.bytes + 4);
        continue;
      }
      if (skipped < d.localHeader.extraLength) {
        uint32_t rest = d.localHeader.extraLength - skipped;
        uint32_t n = rest < available ? rest : available;
        skipped += n;
        pos += n;
        continue;
      }
      uint32_t n = available < left ? available : left;
      if (o.filterKind == CallFilter::kNone) {
        o.fileCrc = UpdateCrc(d.crc, o.fileCrc, at, n);
        if (FileWrite(*d.files, output, at, n) != static_cast<int32_t>(n)) return kErrorWrite;
      } else {
        ErrorCode rc = FilterChunk(d, output, at, n, handedOver, length, n == left);
        if (rc < 0) return rc;
        handedOver += n;
      }
      left -= n;
      pos += n;
      if (left == 0) break;
    }
    ErrorCode rc = NextBlock(d);
    if (rc < 0) return rc;
    if (rc > 0) break;  // the segment ended first: a short file, judged by the caller's CRC check
  }
  o.fileCrc = ~o.fileCrc;
  return 0;
}

}  // namespace zor
