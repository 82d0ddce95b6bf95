// Consoles and Ctrl-C on Windows. Output to a console is UTF-8 (main sets its code page); a progress bar
// needs the console's handling of escape sequences, which is switched on when asked for.
#include <io.h>

#include <cstdlib>
#include <cstring>

#include "cli/terminal.h"
#include "cli/windows_text.h"

namespace zor {
namespace {

std::atomic<std::atomic<bool>*> gCancelFlag{nullptr};
std::atomic<bool> gInterrupted{false};
std::atomic<bool> gHandlerSet{false};

bool IsConsole(DWORD which) {
  DWORD mode;
  return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

// The first Ctrl-C (or Ctrl-Break) sets the flag and is handled; a second one goes to the default handler,
// which ends the process.
BOOL WINAPI OnControl(DWORD kind) {
  if (kind != CTRL_C_EVENT && kind != CTRL_BREAK_EVENT) return FALSE;
  if (gInterrupted.exchange(true)) return FALSE;
  if (std::atomic<bool>* flag = gCancelFlag.load()) flag->store(true);
  return TRUE;
}

}  // namespace

bool CanAskQuestions() { return IsConsole(STD_INPUT_HANDLE) && IsConsole(STD_ERROR_HANDLE); }

bool CanDrawProgressBar() {
  if (!IsConsole(STD_OUTPUT_HANDLE) || !IsConsole(STD_ERROR_HANDLE)) return false;
  const char* term = std::getenv("TERM");
  if ((term && std::strcmp(term, "dumb") == 0) || std::getenv("NO_COLOR")) return false;
  for (DWORD which : {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
    HANDLE h = GetStdHandle(which);
    DWORD mode;
    if (!GetConsoleMode(h, &mode) || !SetConsoleMode(h, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) return false;
  }
  return true;
}

int TerminalWidth(std::FILE* stream) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  if (GetConsoleScreenBufferInfo(h, &info)) return info.srWindow.Right - info.srWindow.Left + 1;
  return 80;
}

void CatchInterrupt(std::atomic<bool>* flag) {
  gCancelFlag.store(flag);
  gHandlerSet.store(SetConsoleCtrlHandler(OnControl, TRUE) != 0);
}

void ReleaseInterrupt() {
  if (!gHandlerSet.exchange(false)) return;
  SetConsoleCtrlHandler(OnControl, FALSE);
  gCancelFlag.store(nullptr);
}

int InterruptingSignal() { return gInterrupted.load() ? 2 : 0; }  // as SIGINT

// Nothing to remove in a hurry: a second Ctrl-C ends the process by the console's default handler.
void WritingFile(int, const char*) {}

// Console control events come on a thread of their own, never on the tool's.
void WithSignalsHeld(const std::function<void()>& start) { start(); }

}  // namespace zor
