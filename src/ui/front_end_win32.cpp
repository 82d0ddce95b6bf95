// The Win32 front-end: message boxes, the status line, the overwrite prompt and message pumping.
#include "ui/resource_ids.h"
#include "ui/stub_ui.h"

namespace zor {

int Win32FrontEnd::ShowMessage(WindowRef owner, const char* text, const char* caption, uint32_t style) {
  return MessageBoxA(static_cast<HWND>(owner), text, caption, style);
}

void Win32FrontEnd::SetStatus(WindowRef dialog, const char* text) {
  SetDlgItemTextA(static_cast<HWND>(dialog), ZID_STATUS, text);
}

int Win32FrontEnd::AskOverwrite(const char* fullPath) {
  theStub.question = fullPath;
  return static_cast<int>(DialogBoxParamA(theStub.instance, MAKEINTRESOURCEA(ZDLG_OVERWRITE), nullptr,
                                          OverwriteDialogProc, 0));
}

// Every waiting message of the thread goes straight to its window, not through the dialog's keyboard
// navigation: while a walk runs, the main dialog answers the mouse (Cancel, the close box), Alt+F4 and
// the keys a focused control handles itself, but not Tab, Enter or mnemonics.
void Win32FrontEnd::PumpMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

}  // namespace zor
