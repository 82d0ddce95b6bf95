// The stub's main routine: start-up, the main dialog, teardown.
#pragma once

#include <windows.h>

namespace zor {

// Uses only the module handle; always returns 0.
int StubMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand);

}  // namespace zor
