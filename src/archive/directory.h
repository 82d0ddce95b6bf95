// The directory reader: decodes the directory segments, one chunk of whole entries at a time.
#pragma once

#include <cstdint>

#include "archive/archive_format.h"
#include "extract/file_layer.h"

namespace zor {

struct Extraction;

inline constexpr uint32_t kDirectoryBufferSize = 8192;

struct DirectoryReader {
  uint8_t* directoryBuffer;         // kDirectoryBufferSize bytes, owned by the extract driver
  const uint8_t* directoryCursor;   // the next entry
  const uint8_t* directoryEnd;      // end of the decoded bytes
  uint32_t directoryPos;            // program-file offset of the next directory segment's signature
};

ErrorCode ReadDirectoryChunk(Extraction& x);

}  // namespace zor
