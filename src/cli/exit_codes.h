// The tool's exit codes, and how a failure that ends a command is told.
#pragma once

#include "platform/file_layer.h"

namespace zor {

struct Extraction;
class CodePage;

inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 1;      // the command line cannot be carried out as given
inline constexpr int kExitDataError = 2;  // damaged data or an I/O failure: some error was reported
inline constexpr int kExitCancelled = 130;  // stopped by Ctrl-C, as shells count a death by SIGINT

// Reports code naming `name` (a path as the command line gave it, in UTF-8) with the self-extractor's
// message and returns kExitDataError. A code the self-extractor shows no message for (-1, the failed read
// of the archive it passes up) is told as "Cannot read", with the system error that was recorded. The
// engine's messages are in `codePage`, which the name is converted into on its way there (null: as it is).
int ReportFailure(Extraction& x, ErrorCode code, const char* name, CodePage* codePage);

}  // namespace zor
