// The seam between the walk and the disk. ExtractAll reads each entry, joins, checks and shortens its path
// and reports what became of it; what an entry puts on disk is the self-extractor's designed sequence
// (extract_all.cpp) unless the context names an EntryWriter. The tool names its own: files written under
// temporary names and renamed into place, no link followed, data decoded ahead on other threads.
#pragma once

#include <cstdint>

#include "extract/front_end.h"

namespace zor {

struct DirectoryEntry;
struct Extraction;

class EntryWriter {
 public:
  // Writes the folder or file `entry`, the index-th of the directory (0 = the first), whose full path
  // x.options.targetFolder holds, the stored path starting at `joinPoint`. Reports its own problems through
  // ReportError. Returns what became of the entry, and sets `stop` when the walk must end there (a failure
  // reported with OK only, or Cancel chosen in an OK-Cancel message).
  virtual EntryOutcome Write(Extraction& x, const DirectoryEntry& entry, uint32_t index, uint32_t joinPoint,
                             bool& stop) = 0;

 protected:
  ~EntryWriter() = default;
};

}  // namespace zor
