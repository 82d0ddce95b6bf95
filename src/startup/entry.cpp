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
  // The manifest's common controls bring in the theme library and what it uses. A DLL that another DLL
  // imports is looked for by that load's rules, which not every loader takes from the directories set above
  // (Wine's does not): load the usual targets from the system folder now, so that every later load by name
  // finds them loaded. Dependencies first.
  char path[MAX_PATH + 16];
  UINT length = GetSystemDirectoryA(path, MAX_PATH);
  if (length && length < MAX_PATH) {
    path[length++] = '\\';
    for (const char* name = "version.dll\0cryptbase.dll\0dwmapi.dll\0uxtheme.dll\0"; *name;) {
      UINT i = length;
      while ((path[i++] = *name++) != 0) {
      }
      LoadLibraryA(path);
    }
  }
  HINSTANCE instance = GetModuleHandleA(nullptr);
  LPSTR commandLine = GetCommandLineA();
  ExitProcess(static_cast<UINT>(zor::StubMain(instance, nullptr, commandLine, 1)));
}
