// The stub's one extraction context and the Win32 front-end that shows its messages and dialogs.
#pragma once

#include <windows.h>

#include "extract/extraction.h"
#include "extract/front_end.h"

namespace zor {

// Message boxes, the status line, the overwrite prompt and message pumping, with the real Win32 calls.
// In a silent run no window appears: every message is taken as answered OK and every existing file is
// kept (unless /Y chose to overwrite, in which case nothing is asked).
class Win32FrontEnd final : public FrontEnd {
 public:
  NoticeAnswer ShowMessage(WindowRef owner, const char* text, const char* caption, Notice kind) override;
  void SetStatus(WindowRef dialog, const char* text) override;
  OverwriteAnswer AskOverwrite(const char* fullPath) override;
  void PumpMessages() override;
  void EntryFinished(const DirectoryEntry& entry, const char* storedPath, uint32_t length,
                     EntryOutcome outcome) override;
};

// The process's exit code, whether the dialog ran or not.
inline constexpr int kExitAllWritten = 0;  // every folder and file of the archive was written
inline constexpr int kExitIncomplete = 1;  // something failed or was skipped (an existing file kept)
inline constexpr int kExitNotDone = 2;     // cancelled, closed without extracting, or the start failed

// Everything the stub keeps for its whole run, in static storage and constant-initialised (the stub has
// no C runtime to run constructors); it is all zeros, so it takes no room in the file.
struct Stub {
  Extraction extraction;
  HINSTANCE instance;   // kept for the overwrite prompt
  HFONT dialogFont;     // both dialogs' controls
  HBRUSH dialogBrush;   // both dialogs' background
  const char* question; // the path the overwrite prompt asks about
  bool silent;          // /S: no window at all
  uint32_t entriesDone; // entries of the walk written whole
  int exitCode;         // what the process ends with
};
extern Stub theStub;

// The exit code after ExtractAll returned `result`: everything written, or else whether it was cancelled.
int ExitCodeAfterWalk(const Extraction& x, ErrorCode result);

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK OverwriteDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace zor
