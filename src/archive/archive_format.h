// The records of the ZOR archive and of the stub header in front of it, as they lie in the file.
//
// Everything is little-endian. The records are decoded field by field from bytes (never by casting a
// pointer), so the layout of these structs is ours and not the file's.
#pragma once

#include <cstdint>

#include "decoder/call_filter.h"

namespace zor {

// Optional header at appendedDataOffset, followed by the title and the default folder (no terminators).
struct StubHeader {
  uint16_t signature;    // 0x5853 ("SX"); any other value: there is no stub header
  uint8_t flags;         // bit 1: pre-set overwriteWithoutPrompting
  uint16_t titleLength;
  uint16_t folderLength;
};
inline constexpr uint32_t kStubHeaderSize = 8;
inline constexpr uint16_t kStubSignature = 0x5853;
inline constexpr uint8_t kStubFlagOverwrite = 0x02;
// What a reader keeps of the strings behind it: a title of 79 characters and a path of 259.
inline constexpr uint32_t kStubTitleKept = 79;
inline constexpr uint32_t kStubFolderKept = 259;

// The 42-byte header at archiveOffset; every offset stored in the archive counts from its first byte.
struct ArchiveHeader {
  uint8_t magic[4];          // "ZOR\n", not examined
  uint32_t directoryOffset;  // first directory segment's signature
  uint32_t fileCount;        // DirectoryEntry records, folders included
  uint32_t archiveLength;    // from the header to the end of the file; not read
  uint32_t dataLength;       // directoryOffset - 42; not read
};
inline constexpr uint32_t kArchiveHeaderSize = 42;

// Segment signatures: "ZORLH\0" for data, "ZORDE\0" for the directory.
inline constexpr uint32_t kSegmentSignatureSize = 6;
inline constexpr char kDataSignature[kSegmentSignatureSize + 1] = "ZORLH";
inline constexpr char kDirectorySignature[kSegmentSignatureSize + 1] = "ZORDE";

// A directory segment holds one block that decodes into one chunk of whole entries, at most
// kDirectoryChunkMax bytes; the block lies within the kDirectoryBlockBytesMax bytes behind the signature.
inline constexpr uint32_t kDirectoryChunkMax = 8192;
inline constexpr uint32_t kDirectoryBlockBytesMax = 8184;

// The 38-byte fixed part of a directory entry; the stored path and the two extra areas follow it.
struct DirectoryEntry {
  uint32_t segmentOffset;  // data segment's signature, from the ArchiveHeader; 0 for folders
  uint8_t attributes;      // Windows attributes; bits 0-2 are applied after extraction
  uint8_t extra1Length;
  uint8_t flags;           // kEntryFolder, kEntryCalls16, kEntryCalls32
  uint32_t position;       // LocalHeader's position in the segment's decoded stream
  uint32_t length;
  uint32_t crc;
  uint16_t extra2Length;
  uint16_t nameLength;
  uint16_t createTime;     // DOS time and date, local time; a zero date = not set
  uint16_t createDate;
  uint16_t writeTime;
  uint16_t writeDate;
};
inline constexpr uint32_t kDirectoryEntryFixedSize = 38;
inline constexpr uint8_t kEntryFolder = 0x01;
inline constexpr uint8_t kEntryCalls16 = 0x02;
inline constexpr uint8_t kEntryCalls32 = 0x04;

// The call filter an entry's flags choose; the 16-bit filter wins when both bits are set.
inline CallFilter CallFilterOf(uint8_t flags) {
  return (flags & kEntryCalls16) ? CallFilter::kCalls16
         : (flags & kEntryCalls32) ? CallFilter::kCalls32
                                   : CallFilter::kNone;
}

// Field-by-field decoding of the records above from their bytes.
StubHeader ParseStubHeader(const uint8_t bytes[kStubHeaderSize]);
ArchiveHeader ParseArchiveHeader(const uint8_t bytes[kArchiveHeaderSize]);
DirectoryEntry ParseDirectoryEntry(const uint8_t bytes[kDirectoryEntryFixedSize]);

}  // namespace zor
