// The directory reader: decodes the directory segments, one chunk of whole entries at a time.
#pragma once

#include <cstdint>

#include "archive/archive_format.h"
#include "extract/file_layer.h"

namespace zor {

struct Extraction;

inline constexpr uint32_t kDirectoryBufferSize = 8192;

// Cursor and end are offsets into directoryBuffer: a damaged entry's extra areas can carry the cursor far
// past the buffer, which an offset can say without pointing outside it.
struct DirectoryReader {
  uint8_t* directoryBuffer;         // kDirectoryBufferSize bytes, owned by the extract driver
  uint32_t directoryCursor;         // the next entry
  uint32_t directoryEnd;            // end of the decoded bytes
  uint32_t directoryPos;            // program-file offset of the next directory segment's signature
};

// Decodes the next directory segment into directoryBuffer (needs x.bitReader.buffer). 0 or negative.
ErrorCode ReadDirectoryChunk(Extraction& x);

// Before a walk: the driver has set directoryBuffer; the first entry will read the first chunk.
void StartDirectoryWalk(Extraction& x);
// The next entry of the walk: its fixed part in `entry` and its stored path (entry.nameLength bytes, not
// terminated) at `name`, pointing into directoryBuffer until the next call. Reads chunks as needed.
// 0, or the code that ends the walk (-11 for entries that run past their chunk).
ErrorCode NextDirectoryEntry(Extraction& x, DirectoryEntry& entry, const uint8_t*& name);

}  // namespace zor
