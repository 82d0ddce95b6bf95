// The segment decoder: one file's bytes from its segment's stream, through the window and its history.
#include "decoder/segment_decoder.h"

#include <cstring>

#include "decoder/lz_decoder.h"
#include "decoder/sorted_decoder.h"
#include "extract/extraction.h"

namespace zor {
namespace {

constexpr uint32_t kMaxHistory = 0x80000;
constexpr uint32_t kWindowGrowth = 512;
constexpr uint32_t kLzDataBit = 50;  // behind the header and the 5-bit history-size code

// History kept in front of an LZ block, by its 5-bit history-size code: the low 2 bits pick the row (0 and 1
// alike, 3 as 2), the upper 3 bits the column.
uint32_t HistorySize(uint32_t code) {
  uint32_t column = code >> 2;
  if (column == 0) return 32768;
  if ((code & 3) >= 2) return (column + 1) * 65536;  // 128 KB .. 512 KB
  return column == 1 ? 65536 : 73728 + (column - 2) * 24576;  // 64 KB, then 72 KB .. 192 KB
}

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
void SlideHistory(Extraction& x, uint32_t keep) {
  SegmentDecoder& s = x.segment;
  ReencodeHistory(x, keep);
  if (s.historyLength > keep) {
    std::memmove(s.window, s.window + s.historyLength - keep, keep);
    s.historyLength = keep;
  }
}

void Restart(Extraction& x, uint32_t segmentPos) {
  SegmentDecoder& s = x.segment;
  s.historyLength = 0;
  s.blockLength = 0;
  s.blockStart = 0;
  s.lastBlock = false;
  s.hasHistory = false;
  s.busy = false;
  s.segmentPos = segmentPos;
}

// Opens and decodes the segment's next block into the window. 1 when the segment had no more blocks.
ErrorCode NextBlock(Extraction& x) {
  SegmentDecoder& s = x.segment;
  BitReader& r = x.bitReader;
  if (x.cancelRequested.load(std::memory_order_relaxed)) return kErrorCancelled;
  if (s.busy) return kErrorDamaged;
  s.busy = true;
  if (s.lastBlock) return 1;
  ErrorCode rc = OpenBlock(x);
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
      SlideHistory(x, HistorySize((r.buffer[5] >> 5) | ((r.buffer[6] & 3) << 3)));
      if ((rc = EnsureWindow(s, s.historyLength + s.blockLength)) < 0) return rc;
    }
    r.cursor = r.buffer + kLzDataBit / 8;
    r.bitOffset = kLzDataBit % 8;
    int32_t n = DecodeLzBlock(x, s.window, s.historyLength, s.blockLength, true);
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
      SlideHistory(x, keep);
    }
    x.deltaMarkCount = 0;
    r.cursor = r.buffer + kBlockHeaderBits / 8;
    r.bitOffset = kBlockHeaderBits % 8;
    uint8_t* at = s.window + s.historyLength;
    if (h.type == 2) {
      // The last column takes one byte more than the block; kWindowSlack provides it.
      if ((rc = DecodeSortedBlock(x, at, s.blockLength)) < 0) return rc;
    } else {
      int32_t n = CopyStored(x, at, s.blockLength);
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

void ReencodeHistory(Extraction& x, uint32_t keep) {
  SegmentDecoder& s = x.segment;
  const uint32_t end = s.historyLength;
  const uint32_t cut = end > keep ? end - keep : 0;
  uint8_t* w = s.window;
  // Backwards, region by region: each byte is turned back while the byte d places before it still holds
  // its decoded value.
  for (uint32_t i = x.deltaMarkCount; i-- > 0;) {
    uint32_t d = x.deltaMarks[i] >> 24;
    uint32_t start = x.deltaMarks[i] & 0xFFFFFF;
    if (d != 0) {
      uint32_t stop = i + 1 < x.deltaMarkCount ? x.deltaMarks[i + 1] & 0xFFFFFF : end;
      if (stop > end) stop = end;
      uint32_t low = start > cut ? start : cut;
      uint32_t j = stop;
      for (; j > low && j - 1 >= d; --j) w[j - 1] = static_cast<uint8_t>(w[j - 1] - w[j - 1 - d]);
      // below d the source lies before the window's start and counts as 0
    }
    if (start <= cut) break;
  }
}

void ResetSegmentDecoder(Extraction& x) {
  SegmentDecoder& s = x.segment;
  if (s.window) MemFree(s.window);
  s.window = nullptr;
  s.windowCapacity = 0;
  Restart(x, 0xFFFFFFFFu);
}

ErrorCode DecodeFileData(Extraction& x, FileHandle output, uint32_t segmentOffset, uint32_t position,
                         uint32_t length, uint8_t flags) {
  OutputFilter& o = x.output;
  SegmentDecoder& s = x.segment;
  o.fileCrc = 0xFFFFFFFFu;
  if (length == 0) {
    o.fileCrc = ~o.fileCrc;
    return 0;
  }
  o.filterCarryLength = 0;
  o.filterKind = (flags & kEntryCalls16) ? 2 : (flags & kEntryCalls32) ? 4 : 0;
  uint32_t gathered = 0, skipped = 0, handedOver = 0, left = length;
  uint64_t pos = position;

  const uint32_t segmentPos = x.archiveOffset + segmentOffset + kSegmentSignatureSize;
  if (segmentPos != s.segmentPos || pos < s.blockStart) {
    Restart(x, segmentPos);
    FileLayer& f = x.files;
    if (FileSeek(f, f.programFile, static_cast<int32_t>(segmentPos), kSeekBegin) == kSeekFailed)
      return kErrorSeek;
    f.programFilePos = segmentPos;
    if (s.window) MemFree(s.window);
    s.window = nullptr;
    s.windowCapacity = 0;
    ResetBitReader(x.bitReader);
  }

  while (left > 0) {
    if (s.busy) return kErrorDamaged;
    if (pos < s.blockStart + s.blockLength) {
      uint32_t available = static_cast<uint32_t>(s.blockStart + s.blockLength - pos);
      const uint8_t* at = s.window + s.historyLength + static_cast<uint32_t>(pos - s.blockStart);
      if (gathered < kLocalHeaderSize) {
        uint32_t n = kLocalHeaderSize - gathered < available ? kLocalHeaderSize - gathered : available;
        std::memcpy(x.localHeader.bytes + gathered, at, n);
        gathered += n;
        pos += n;
        if (gathered == kLocalHeaderSize) x.localHeader.extraLength = LoadLE16(x.localHeader.bytes + 4);
        continue;
      }
      if (skipped < x.localHeader.extraLength) {
        uint32_t rest = x.localHeader.extraLength - skipped;
        uint32_t n = rest < available ? rest : available;
        skipped += n;
        pos += n;
        continue;
      }
      uint32_t n = available < left ? available : left;
      if (o.filterKind == 0) {
        o.fileCrc = UpdateCrc(x.crc, o.fileCrc, at, n);
        if (FileWrite(x.files, output, at, n) != static_cast<int32_t>(n)) return kErrorWrite;
      } else {
        ErrorCode rc = FilterChunk(x, output, at, n, handedOver, length, n == left);
        if (rc < 0) return rc;
        handedOver += n;
      }
      left -= n;
      pos += n;
      if (left == 0) break;
    }
    ErrorCode rc = NextBlock(x);
    if (rc < 0) return rc;
    if (rc > 0) break;  // the segment ended first: a short file, judged by the caller's CRC check
  }
  o.fileCrc = ~o.fileCrc;
  return 0;
}

}  // namespace zor
