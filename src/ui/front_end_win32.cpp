// The Win32 front-end: message boxes, the status line, the overwrite prompt and message pumping.
#include "ui/resource_ids.h"
#include "ui/stub_ui.h"

namespace zor {

// Information has no icon; failures an exclamation mark, with OK and Cancel when the user may go on. With
// those buttons MessageBoxA answers IDOK, IDCANCEL or 0 (no box), which are the answers' own values.
static_assert(static_cast<int>(NoticeAnswer::kNotShown) == 0 && static_cast<int>(NoticeAnswer::kOk) == IDOK &&
              static_cast<int>(NoticeAnswer::kCancel) == IDCANCEL);
NoticeAnswer Win32FrontEnd::ShowMessage(WindowRef owner, const char* text, const char* caption, Notice kind) {
  if (theStub.silent) return NoticeAnswer::kOk;
  static constexpr uint8_t kStyles[] = {MB_OK, MB_ICONEXCLAMATION | MB_OK, MB_ICONEXCLAMATION | MB_OKCANCEL};
  static_assert(static_cast<int>(Notice::kFailureOrGoOn) == 2);
  return static_cast<NoticeAnswer>(
      MessageBoxA(static_cast<HWND>(owner), text, caption, kStyles[static_cast<uint8_t>(kind)]));
}

void Win32FrontEnd::SetStatus(WindowRef dialog, const char* text) {
  SetDlgItemTextA(static_cast<HWND>(dialog), ZID_STATUS, text);
}

// The prompt ends with the identifier of the button pressed; -1 when it could not be shown.
OverwriteAnswer Win32FrontEnd::AskOverwrite(const char* fullPath) {
  if (theStub.silent) return OverwriteAnswer::kNo;
  static constexpr OverwriteAnswer kByButton[] = {OverwriteAnswer::kYesToAll, OverwriteAnswer::kYes,
                                                  OverwriteAnswer::kNo};
  static_assert(ZID_YES == ZID_YES_TO_ALL + 1 && ZID_NO == ZID_YES_TO_ALL + 2);
  theStub.question = fullPath;
  const uint32_t button = static_cast<uint32_t>(
      DialogBoxParamA(theStub.instance, MAKEINTRESOURCEA(ZDLG_OVERWRITE), nullptr, OverwriteDialogProc, 0) -
      ZID_YES_TO_ALL);
  return button < 3 ? kByButton[button] : OverwriteAnswer::kNotAsked;
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

void Win32FrontEnd::EntryFinished(const DirectoryEntry&, const char*, uint32_t, EntryOutcome outcome) {
  if (outcome == EntryOutcome::kDone) ++theStub.entriesDone;
}

}  // namespace zor
