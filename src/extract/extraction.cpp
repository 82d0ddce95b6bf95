// Start-up state of an extraction context.
#include "extract/extraction.h"

#include <cstring>

namespace zor {

void InitExtraction(Extraction& x, FrontEnd* frontEnd) {
  x.files.lastSystemError = 0;
  x.files.programFile = kInvalidFileHandle;
  x.files.programFilePos = 0;
  x.files.messageBuffer[0] = 0;
  x.files.toNativeName = nullptr;
  x.files.toNativeNameContext = nullptr;
  x.frontEnd = frontEnd;
  x.cancelRequested.store(false, std::memory_order_relaxed);
  std::memcpy(x.windowTitle, kDefaultWindowTitle, sizeof kDefaultWindowTitle);
  x.displayName[0] = 0;
  x.options.targetFolder[0] = 0;
  x.options.overwriteWithoutPrompting = false;
  x.options.testOnly = false;
  x.archiveOffset = 0;
  x.archiveHeader = ArchiveHeader{};
  x.shortNames = false;
  x.extracting = false;
  x.maxComponentLength = nullptr;
  BuildCrcTable(x.crc);
  x.bitReader = BitReader{};
  x.segment = SegmentDecoder{};
  x.segment.segmentPos = 0xFFFFFFFFu;
  x.localHeader = LocalHeader{};
  x.output = OutputFilter{};
  x.deltaMarkCount = 0;
  x.directory = DirectoryReader{};
}

}  // namespace zor
