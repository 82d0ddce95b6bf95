// The directory reader: directory segments decoded chunk by chunk, and the walk over their entries.
#include "archive/directory.h"

#include <cstring>

#include "decoder/lz_decoder.h"
#include "extract/extraction.h"

namespace zor {
namespace {

constexpr uint32_t kDirectoryBlockMax = 8184;  // a directory block lies within this many bytes
constexpr uint32_t kDirectoryDataBit = 50;     // both block types skip the 5-bit history-size code

}  // namespace

ErrorCode ReadDirectoryChunk(Extraction& x) {
  DirectoryReader& d = x.directory;
  FileLayer& f = x.files;
  BitReader& r = x.bitReader;
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

  n = ArchiveRead(f, r.buffer, kDirectoryBlockMax);
  if (n < 0) return n;
  r.cursor = r.buffer;
  r.bitOffset = 0;
  r.limit = r.buffer + n;
  r.remaining = 0;
  ClearBitReaderSlack(r, static_cast<uint32_t>(n));

  BlockHeader h = ReadBlockHeader(r.buffer);
  if (h.type > 1 || h.size > kDirectoryBufferSize) return kErrorDamaged;
  // Stored blocks too: their payload begins at the next byte boundary, the block's eighth byte.
  r.cursor = r.buffer + kDirectoryDataBit / 8;
  r.bitOffset = kDirectoryDataBit % 8;
  int32_t produced = h.type == 1 ? DecodeLzBlock(x, d.directoryBuffer, 0, h.size, false)
                                 : CopyStored(x, d.directoryBuffer, h.size);
  if (produced < 0) return produced;
  d.directoryEnd = static_cast<uint32_t>(produced);
  d.directoryPos += kSegmentSignatureSize + static_cast<uint32_t>(r.cursor - r.buffer);
  return 0;
}

void StartDirectoryWalk(Extraction& x) {
  DirectoryReader& d = x.directory;
  d.directoryPos = x.archiveOffset + x.archiveHeader.directoryOffset;
  d.directoryCursor = 0;
  d.directoryEnd = 0;
}

ErrorCode NextDirectoryEntry(Extraction& x, DirectoryEntry& entry, const uint8_t*& name) {
  DirectoryReader& d = x.directory;
  if (d.directoryCursor > d.directoryEnd) return kErrorDamaged;  // extra areas ran past the chunk
  if (d.directoryEnd - d.directoryCursor < kDirectoryEntryFixedSize) {
    ErrorCode rc = ReadDirectoryChunk(x);
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
