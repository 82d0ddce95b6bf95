// Field-by-field decoding of the stub header, the archive header and a directory entry's fixed part.
#include "archive/archive_format.h"
#include "platform/bytes.h"

namespace zor {

StubHeader ParseStubHeader(const uint8_t bytes[kStubHeaderSize]) {
  StubHeader h;
  h.signature = LoadLE16(bytes);
  h.flags = bytes[2];
  h.titleLength = LoadLE16(bytes + 4);
  h.folderLength = LoadLE16(bytes + 6);
  return h;
}

ArchiveHeader ParseArchiveHeader(const uint8_t bytes[kArchiveHeaderSize]) {
  ArchiveHeader h;
  for (int i = 0; i < 4; ++i) h.magic[i] = bytes[i];
  h.directoryOffset = LoadLE32(bytes + 4);
  h.fileCount = LoadLE32(bytes + 8);
  h.archiveLength = LoadLE32(bytes + 20);
  h.dataLength = LoadLE32(bytes + 24);
  return h;
}

DirectoryEntry ParseDirectoryEntry(const uint8_t bytes[kDirectoryEntryFixedSize]) {
  DirectoryEntry e;
  e.segmentOffset = LoadLE32(bytes + 4);
  e.attributes = bytes[8];
  e.extra1Length = bytes[10];
  e.flags = bytes[11];
  e.position = LoadLE32(bytes + 12);
  e.length = LoadLE32(bytes + 16);
  e.crc = LoadLE32(bytes + 20);
  e.extra2Length = LoadLE16(bytes + 24);
  e.nameLength = LoadLE16(bytes + 26);
  e.createTime = LoadLE16(bytes + 28);
  e.createDate = LoadLE16(bytes + 30);
  e.writeTime = LoadLE16(bytes + 32);
  e.writeDate = LoadLE16(bytes + 34);
  return e;
}

}  // namespace zor
