// The directory reader: decodes the directory segments, one chunk of whole entries at a time, and walks
// their entries.
#pragma once

#include <cstdint>

#include "archive/archive_format.h"
#include "platform/file_layer.h"

namespace zor {

struct Decoder;

// Cursor and end are offsets into directoryBuffer: a damaged entry's extra areas can carry the cursor far
// past the buffer, which an offset can say without pointing outside it.
// The directory blocks are decoded with the bit reader and tables of the Decoder passed to each call; the
// segment decoder shares them, and the reader sets them up afresh for every chunk.
struct DirectoryReader {
  uint8_t* directoryBuffer;         // kDirectoryChunkMax bytes, held from BeginWalk to EndWalk
  uint32_t directoryCursor;         // the next entry
  uint32_t directoryEnd;            // end of the decoded bytes
  uint32_t directoryPos;            // program-file offset of the next directory segment's signature
};

// Starts a walk over the directory whose first segment's signature lies at program-file offset
// `directoryPos`: obtains directoryBuffer and the decoder's input buffer (AllocateInput), which the
// decoder also needs for the files' data during the walk. The first entry reads the first chunk.
// 0, or -2 with nothing held.
// 0, or -2; EndWalk releases what was obtained either way.
ErrorCode BeginWalk(DirectoryReader& d, Decoder& decoder, uint32_t directoryPos);
// Ends the walk: releases what BeginWalk obtained and the segment decoder's window. Harmless when
// BeginWalk failed, or was never called on a zeroed reader.
void EndWalk(DirectoryReader& d, Decoder& decoder);

// The next entry of the walk: its fixed part in `entry` and its stored path (entry.nameLength bytes, not
// terminated) at `name`, pointing into directoryBuffer until the next call. Reads chunks as needed.
// 0, or the code that ends the walk (-11 for entries that run past their chunk).
ErrorCode NextDirectoryEntry(DirectoryReader& d, Decoder& decoder, DirectoryEntry& entry, const uint8_t*& name);

// Decodes the next directory segment into directoryBuffer. 0 or negative.
ErrorCode ReadDirectoryChunk(DirectoryReader& d, Decoder& decoder);

}  // namespace zor
