// Finding the archive in the program file: the image's end, its integrity stamp, the optional stub header
// and the archive header. The stub's start-up and the zor tool's info command share these steps.
#pragma once

#include <cstdint>

#include "archive/archive_format.h"
#include "archive/pe_image.h"
#include "decoder/crc32.h"
#include "platform/file_layer.h"

namespace zor {

// The displayName rule: the text after the path's last backslash; without one, after its last colon;
// with neither, the whole path.
const char* DisplayNameOf(const char* path);

enum class ImageKind : uint8_t {
  kBareArchive,        // no executable in front: the appended data starts at offset 0
  kExecutable,         // a PE image; the appended data starts at layout.appendedDataOffset
  kDamagedExecutable,  // starts like an executable, but its headers are unusable or the file is cut short
};

struct ImageCheck {
  ImageKind kind;
  PeLayout layout;        // appendedDataOffset is 0 for a bare archive
  uint32_t storedStamp;   // the CRC-32 the build wrote into the image
  uint32_t actualStamp;   // the CRC-32 of the image as it is now
};

// Reads files.programFile from the start, works out where the image ends and computes its stamp.
// Returns 0, or -2 (no memory), -17 (seek failed) or -6 (read failed).
ErrorCode InspectProgramFile(FileLayer& files, const CrcTable& crc, ImageCheck& check);

// The image is what the build produced: a complete executable whose stamp matches.
inline bool ImageIsIntact(const ImageCheck& check) {
  return check.kind == ImageKind::kExecutable && check.storedStamp == check.actualStamp;
}

struct StubHeaderInfo {
  bool present;        // a stub header with the "SX" signature stands at appendedDataOffset
  StubHeader header;   // valid when present
  bool titleCutShort;  // the file ends inside the title: the title is empty and the folder was not read
};

// Where a reader keeps the stub header's strings: the first 79 characters of the title and the first 259
// of the folder, terminated.
struct StubStrings {
  char* title;   // kStubTitleKept + 1 bytes
  char* folder;  // kStubFolderKept + 1 bytes
};

// Reads the optional stub header at appendedDataOffset, its strings into `strings` (left alone without a
// stub header; the folder emptied when the file ends inside it), then the archive header behind them
// (however their reads turn out) into `header`, with its file offset in `archiveOffset`. Returns 0, or -6
// when fewer than 42 bytes of archive header could be read.
ErrorCode ReadArchiveHeaders(FileLayer& files, uint32_t appendedDataOffset, StubHeaderInfo& stub,
                             const StubStrings& strings, uint32_t& archiveOffset, ArchiveHeader& header);

}  // namespace zor
