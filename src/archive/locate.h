// Finding the archive in the program file: the image's end, its integrity stamp, the optional stub header
// and the archive header. The stub's start-up and the zor tool's info command share these steps.
#pragma once

#include <cstdint>

#include "archive/archive_format.h"
#include "archive/pe_image.h"
#include "extract/file_layer.h"

namespace zor {

struct Extraction;

// The displayName rule: the text after the path's last backslash; without one, after its last colon;
// with neither, the whole path.
const char* DisplayNameOf(const char* path);
// Copies DisplayNameOf(path) into x.displayName, cut to fit.
void SetDisplayName(Extraction& x, const char* path);

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

// Reads x.files.programFile from the start, works out where the image ends and computes its stamp.
// Returns 0, or -2 (no memory), -17 (seek failed) or -6 (read failed).
ErrorCode InspectProgramFile(Extraction& x, ImageCheck& check);

// The image is what the build produced: a complete executable whose stamp matches.
inline bool ImageIsIntact(const ImageCheck& check) {
  return check.kind == ImageKind::kExecutable && check.storedStamp == check.actualStamp;
}

struct StubHeaderInfo {
  bool present;       // a stub header with the "SX" signature stands at appendedDataOffset
  StubHeader header;  // valid when present
};

// Reads the optional stub header at appendedDataOffset (title into x.windowTitle, default folder into
// x.options.targetFolder, overwrite flag) and then the archive header behind it into x.archiveHeader,
// setting x.archiveOffset. A missing or unreadable stub header leaves the defaults alone. Returns 0, or
// -6 when fewer than 42 bytes of archive header could be read.
ErrorCode ReadArchiveHeaders(Extraction& x, uint32_t appendedDataOffset, StubHeaderInfo& stub);

}  // namespace zor
