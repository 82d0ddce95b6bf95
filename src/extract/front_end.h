// The one interface through which the engine talks to a person: the stub's dialogs, the tool's terminal and
// the tests' scripted answers each implement it. The engine never shows, asks or pumps anything itself.
#pragma once

#include <cstdint>

namespace zor {

// An owner window as the front-end knows it (an HWND in the stub); null = no owner.
using WindowRef = void*;

// Message box styles and answers, with their Win32 values.
inline constexpr uint32_t kMessageOk = 0;                 // MB_OK, no icon
inline constexpr uint32_t kMessageOkExclamation = 48;     // MB_ICONEXCLAMATION | MB_OK
inline constexpr uint32_t kMessageOkCancelExclamation = 49;  // MB_ICONEXCLAMATION | MB_OKCANCEL
inline constexpr int kAnswerOk = 1;      // IDOK
inline constexpr int kAnswerCancel = 2;  // IDCANCEL

// Answers of the overwrite prompt: the identifiers of its buttons.
inline constexpr int kOverwriteYesToAll = 108;
inline constexpr int kOverwriteYes = 109;
inline constexpr int kOverwriteNo = 110;

class FrontEnd {
 public:
  // A message box with MessageBoxA's contract: returns kAnswerOk, kAnswerCancel, or 0 when no box could
  // be shown.
  virtual int ShowMessage(WindowRef owner, const char* text, const char* caption, uint32_t style) = 0;
  // The line at the bottom of the main dialog (control 102).
  virtual void SetStatus(WindowRef dialog, const char* text) = 0;
  // Whether an existing file may be replaced; fullPath is the complete output path. Returns one of the
  // kOverwrite answers, or -1 when the question could not be asked (taken as Yes).
  virtual int AskOverwrite(const char* fullPath) = 0;
  // Drains the waiting messages, so that Cancel can reach the extraction.
  virtual void PumpMessages() = 0;

 protected:
  ~FrontEnd() = default;
};

}  // namespace zor
