// The dialog procedures: the main dialog (folder, overwrite choice, Extract, Help, Cancel) and the overwrite
// prompt.
#include "extract/errors.h"
#include "extract/extract_all.h"
#include "ui/resource_ids.h"
#include "ui/stub_ui.h"

namespace zor {

namespace {

constexpr char kPrompt[] = "Click the Extract button to extract all files in %s to the specified folder.";
constexpr char kHelpText[] =
    "This is a self-extracting ZOR archive. To extract the contents to disk,\n"
    "specify a folder name in the edit box, and click the Extract button.\n"
    "If the folder does not exist, it will be created.";
constexpr int kFolderTextSize = 261;  // the folder box gives at most 260 characters
constexpr char kQuestion[] = "File \"%s\" already exists. Do you want to replace it?";

// Composes format with name into messageBuffer (shortening name in the middle if it would not fit) and
// sets it as the text of control id.
void SetComposedText(HWND dialog, int id, const char* format, const char* name) {
  char* buffer = theStub.extraction.files.messageBuffer;
  ComposeMessage(buffer, kMessageBufferSize, format, name, nullptr);
  SetDlgItemTextA(dialog, id, buffer);
}

void SetFonts(HWND dialog, int first, int last) {
  for (int id = first; id <= last; ++id) {
    SendDlgItemMessageA(dialog, id, WM_SETFONT, reinterpret_cast<WPARAM>(theStub.dialogFont), FALSE);
  }
}

// Static and check-box text is drawn on the dialog's own brush.
INT_PTR ColourControl(WPARAM deviceContext) {
  SetBkMode(reinterpret_cast<HDC>(deviceContext), TRANSPARENT);
  return reinterpret_cast<INT_PTR>(theStub.dialogBrush);
}

INT_PTR CloseMainDialog(HWND dialog) {
  theStub.extraction.cancelRequested.store(true, std::memory_order_relaxed);
  EndDialog(dialog, 0);
  return TRUE;
}

// Extract: the folder and the overwrite choice from the dialog, one walk, its unreported failure if any,
// then the dialog closes whatever the outcome. The button is disabled from here on, so the messages
// pumped during the walk cannot start a second one; a command that arrives anyway (sent by another
// program) is ignored rather than allowed to touch the running walk's folder.
INT_PTR Extract(HWND dialog) {
  Extraction& x = theStub.extraction;
  HWND button = GetDlgItem(dialog, ZID_EXTRACT);
  if (!IsWindowEnabled(button)) return TRUE;
  EnableWindow(button, FALSE);
  GetDlgItemTextA(dialog, ZID_FOLDER, x.options.targetFolder, kFolderTextSize);
  x.options.overwriteWithoutPrompting = IsDlgButtonChecked(dialog, ZID_OVERWRITE) != 0;
  const ErrorCode r = ExtractAll(x, dialog);
  theStub.exitCode = ExitCodeAfterWalk(x, r);
  if (r < 0) ReportError(x, dialog, false, r, nullptr);
  return CloseMainDialog(dialog);
}

}  // namespace

// A Cancel after the last entry changes nothing: everything was written.
int ExitCodeAfterWalk(const Extraction& x, ErrorCode result) {
  if (result >= 0 && theStub.entriesDone == x.archiveHeader.fileCount) return kExitAllWritten;
  return x.cancelRequested.load(std::memory_order_relaxed) ? kExitNotDone : kExitIncomplete;
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  Extraction& x = theStub.extraction;
  switch (message) {
    case WM_INITDIALOG: {
      SetWindowTextA(dialog, x.windowTitle);
      SetComposedText(dialog, ZID_PROMPT, kPrompt, x.displayName);
      if (x.options.overwriteWithoutPrompting) CheckDlgButton(dialog, ZID_OVERWRITE, BST_CHECKED);
      SetFonts(dialog, ZID_FOLDER, ZID_EXTRACT);
      SetDlgItemTextA(dialog, ZID_FOLDER, x.options.targetFolder);
      HWND folder = GetDlgItem(dialog, ZID_FOLDER);
      SetFocus(folder);
      SendMessageA(folder, EM_SETSEL, 0, -1);
      return FALSE;  // the focus is set
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case ZID_HELP:
          x.frontEnd->ShowMessage(dialog, kHelpText, x.windowTitle, Notice::kInformation);
          return TRUE;
        case ZID_CANCEL:
          return CloseMainDialog(dialog);
        case ZID_EXTRACT:
          return Extract(dialog);
      }
      return FALSE;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) return CloseMainDialog(dialog);
      return FALSE;
    case WM_CTLCOLORDLG:
      return reinterpret_cast<INT_PTR>(theStub.dialogBrush);
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      return ColourControl(wParam);
  }
  return FALSE;
}

INT_PTR CALLBACK OverwriteDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      SetWindowTextA(dialog, theStub.extraction.windowTitle);
      SetFonts(dialog, ZID_QUESTION, ZID_NO);
      SetComposedText(dialog, ZID_QUESTION, kQuestion, theStub.question);
      return TRUE;  // the focus goes to the first tab stop, Yes
    case WM_COMMAND: {
      int id = LOWORD(wParam);
      if (id == ZID_YES_TO_ALL || id == ZID_YES || id == ZID_NO) EndDialog(dialog, id);
      return FALSE;
    }
    case WM_CTLCOLORDLG:
      return reinterpret_cast<INT_PTR>(theStub.dialogBrush);
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      return ColourControl(wParam);
  }
  return FALSE;
}

}  // namespace zor
