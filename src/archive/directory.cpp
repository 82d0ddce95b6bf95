// The directory reader: directory segments decoded chunk by chunk, and the walk over their entries.
#include "archive/directory.h"

#include <cstring>

#include "decoder/decoder.h"

namespace zor {

ErrorCode ReadDirectoryChunk(DirectoryReader& d, Decoder& decoder) {
  FileLayer& f = *decoder.files;
  BitReader& r = decoder.bitReader;
  if (f.programFilePos != d.directoryPos) {
    if (FileSeek(f, f.programFile, static_cast<int32_t>(d.directoryPos), kSeekBegin) == kSeekFailed)
      return kErrorSeek;
    f.programFilePos = d.directoryPos;
  }
  d.directoryCursor = 0;
  d.directoryEnd = 0;
  uint8_t signature[kSegmentSignatureSize];
  int32_t n = ArchiveRead(f, signature, kSegmentSignatureSize);
  if (n < 0) return n;
  if (n < static_cast<int32_t>(kSegmentSignatureSize) ||
      std::memcmp(signature, kDirectorySignature, kSegmentSignatureSize) != 0)
    return kErrorDamaged;

  n = ArchiveRead(f, r.buffer, kDirectoryBlockBytesMax);
  if (n < 0) return n;
  r.cursor = r.buffer;
  r.bitOffset = 0;
  r.limit = r.buffer + n;
  r.remaining = 0;
  ClearBitReaderSlack(r, static_cast<uint32_t>(n));

  // A read shorter than the window means the file ends within it, and the block must lie whole before
  // that end: a decoding that runs out of the bytes read, or on past them into the zeroed slack, means
  // the archive was cut (decoded on, the missing tail would read as zeros and make up entries). The
  // directory block's packedSize is not relied on.
  const bool fileEnds = static_cast<uint32_t>(n) < kDirectoryBlockBytesMax;
  BlockHeader h = ReadBlockHeader(r.buffer);
  if (h.type > 1 || h.size > kDirectoryChunkMax) return kErrorDamaged;
  // Both types skip the history-size code; a stored block's payload then begins at the next byte
  // boundary, the block's eighth byte.
  r.cursor = r.buffer + kLzDataBit / 8;
  r.bitOffset = kLzDataBit % 8;
  int32_t produced = h.type == 1 ? DecodeLzBlock(decoder, d.directoryBuffer, 0, h.size, false)
                                 : CopyStored(decoder, d.directoryBuffer, h.size);
  if (produced < 0) return produced;
  if (fileEnds && (r.cursor > r.limit || (static_cast<uint32_t>(produced) < h.size && r.cursor >= r.limit)))
    return kErrorDamaged;
  d.directoryEnd = static_cast<uint32_t>(produced);
  d.directoryPos += kSegmentSignatureSize + static_cast<uint32_t>(r.cursor - r.buffer);
  return 0;
}

ErrorCode BeginWalk(DirectoryReader& d, Decoder& decoder, uint32_t directoryPos) {
  d.directoryPos = directoryPos;
  d.directoryCursor = 0;
  d.directoryEnd = 0;
  d.directoryBuffer = static_cast<uint8_t*>(MemAlloc(kDirectoryChunkMax));
  const ErrorCode rc = AllocateInput(decoder);
  return d.directoryBuffer ? rc : kErrorNoMemory;
}

void EndWalk(DirectoryReader& d, Decoder& decoder) {
  FreeInput(decoder);
  MemFree(d.directoryBuffer);
  d.directoryBuffer = nullptr;
}

ErrorCode NextDirectoryEntry(DirectoryReader& d, Decoder& decoder, DirectoryEntry& entry, const uint8_t*& name) {
  if (d.directoryCursor > d.directoryEnd) return kErrorDamaged;  // extra areas ran past the chunk
  if (d.directoryEnd - d.directoryCursor < kDirectoryEntryFixedSize) {
    ErrorCode rc = ReadDirectoryChunk(d, decoder);
    if (rc != 0) return rc;
    if (d.directoryEnd - d.directoryCursor < kDirectoryEntryFixedSize) return kErrorDamaged;
  }
  entry = ParseDirectoryEntry(d.directoryBuffer + d.directoryCursor);
  d.directoryCursor += kDirectoryEntryFixedSize;
  if (d.directoryEnd - d.directoryCursor < entry.nameLength) return kErrorDamaged;
  name = d.directoryBuffer + d.directoryCursor;
  d.directoryCursor += entry.nameLength + entry.extra1Length + entry.extra2Length;
  return 0;
}

}  // namespace zor
