// zor info: what the self-extractor's start-up finds in a file.
#pragma once

#include <cstdio>

#include "cli/code_page.h"
#include "extract/front_end.h"

namespace zor {

// Prints the image's extent and integrity stamp, the stub header (its texts in codePage) and the archive
// header of `path` to out; with `blocks`, also a table of the data segments: their blocks of each kind,
// decoded and packed bytes, LZ table sets, and the files with a call filter. Failures go to frontEnd as the
// self-extractor's messages. Returns an exit code.
int RunInfo(const char* path, CodePage& codePage, std::FILE* out, FrontEnd& frontEnd, bool blocks = false);

}  // namespace zor
