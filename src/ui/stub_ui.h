// The stub's one extraction context and the Win32 front-end that shows its messages and dialogs.
#pragma once

#include <windows.h>

#include "extract/extraction.h"
#include "extract/front_end.h"

namespace zor {

// Message boxes, the status line, the overwrite prompt and message pumping, with the real Win32 calls.
class Win32FrontEnd final : public FrontEnd {
 public:
  NoticeAnswer ShowMessage(WindowRef owner, const char* text, const char* caption, Notice kind) override;
  void SetStatus(WindowRef dialog, const char* text) override;
  OverwriteAnswer AskOverwrite(const char* fullPath) override;
  void PumpMessages() override;
};

// Everything the stub keeps for its whole run, in static storage and constant-initialised (the stub has
// no C runtime to run constructors); it is all zeros, so it takes no room in the file.
struct Stub {
  Extraction extraction;
  HINSTANCE instance;   // kept for the overwrite prompt
  HFONT dialogFont;     // both dialogs' controls
  HBRUSH dialogBrush;   // both dialogs' background
  const char* question; // the path the overwrite prompt asks about
};
extern Stub theStub;

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK OverwriteDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace zor
