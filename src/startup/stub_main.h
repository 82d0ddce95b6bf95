// The stub's main routine: start-up, the main dialog, teardown.
#pragma once

#include <windows.h>

namespace zor {

// Uses the module handle and the command line's switches; returns the process's exit code (kExitAllWritten,
// kExitIncomplete or kExitNotDone).
int StubMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand);

}  // namespace zor
