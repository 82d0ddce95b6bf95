/* tiny.c - source of tiny32.exe and tiny64.exe, real mingw-built executables for the PE parsing and
   integrity stamp tests. Rebuild them with make_tiny.sh. */
#include <windows.h>

static const char message[] = "tiny";

void WINAPI entry(void) { ExitProcess(lstrlenA(message) == 4 ? 0 : 1); }
