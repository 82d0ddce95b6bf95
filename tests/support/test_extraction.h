// A heap-held Extraction for tests that need the context but not a whole start-up.
#pragma once

#include <cstring>
#include <memory>

#include "extract/extraction.h"

namespace zor::test {

// Everything zero, no program file, the default title and the given display name: enough for the file
// layer and ReportError (InitExtraction would also build the CRC table).
inline std::unique_ptr<Extraction> MakeTestExtraction(FrontEnd* frontEnd, const char* displayName = "setup.exe") {
  auto x = std::make_unique<Extraction>();
  x->files.programFile = kInvalidFileHandle;
  x->frontEnd = frontEnd;
  std::strncpy(x->windowTitle, kDefaultWindowTitle, kWindowTitleSize - 1);
  std::strncpy(x->displayName, displayName, kDisplayNameSize - 1);
  return x;
}

}  // namespace zor::test
