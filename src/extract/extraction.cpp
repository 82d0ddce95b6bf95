// Start-up state of an extraction context, and the start-up choices it takes from the stub header.
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
  x.files.sink = nullptr;
  x.files.sinkContext = nullptr;
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
  x.chooseEntry = nullptr;
  x.chooseEntryContext = nullptr;
  x.entryWriter = nullptr;
  InitDecoder(x.decoder, &x.files, &x.cancelRequested);
  x.directory = DirectoryReader{};
}

void SetDisplayName(Extraction& x, const char* path) {
  const char* name = DisplayNameOf(path);
  uint32_t i = 0;
  for (; name[i] && i < kDisplayNameSize - 1; ++i) x.displayName[i] = name[i];
  x.displayName[i] = 0;
}

ErrorCode LocateArchive(Extraction& x, uint32_t appendedDataOffset, StubHeaderInfo& stub) {
  const ErrorCode rc = ReadArchiveHeaders(x.files, appendedDataOffset, stub, {x.windowTitle, x.options.targetFolder},
                                          x.archiveOffset, x.archiveHeader);
  if (stub.present && !stub.titleCutShort)
    x.options.overwriteWithoutPrompting = (stub.header.flags & kStubFlagOverwrite) != 0;
  return rc;
}

}  // namespace zor
