// Process entry of the stub: no C runtime start-up, just the main routine and ExitProcess.
#include <windows.h>

#include "startup/stub_main.h"

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

extern "C" void WINAPI entry() {
  // Self-extractors are run from download folders, where a planted DLL would otherwise be found first:
  // load DLLs from the system folder only where the system can, else at least drop the current folder.
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  auto setDefaultDllDirectories = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories")));
  if (setDefaultDllDirectories) {
    setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  } else {
    SetDllDirectoryA("");
  }
  HINSTANCE instance = GetModuleHandleA(nullptr);
  LPSTR commandLine = GetCommandLineA();
  ExitProcess(static_cast<UINT>(zor::StubMain(instance, nullptr, commandLine, 1)));
}
