// Terminals and Ctrl-C on POSIX.
#include "cli/terminal.h"

#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace zor {
namespace {

// The handler can only reach the flag through a global; both are lock-free atomics, safe in a handler.
std::atomic<std::atomic<bool>*> gCancelFlag{nullptr};
std::atomic<bool> gInterrupted{false};
bool gHandlerSet = false;

void OnInterrupt(int) {
  gInterrupted.store(true);
  if (std::atomic<bool>* flag = gCancelFlag.load()) flag->store(true);
}

}  // namespace

bool CanAskQuestions() { return isatty(STDIN_FILENO) && isatty(STDERR_FILENO); }

bool CanDrawProgressBar() {
  if (!isatty(STDOUT_FILENO) || !isatty(STDERR_FILENO)) return false;
  const char* term = std::getenv("TERM");
  if (!term || !*term || std::strcmp(term, "dumb") == 0) return false;
  return std::getenv("NO_COLOR") == nullptr;
}

int TerminalWidth(std::FILE* stream) {
  struct winsize size;
  if (ioctl(fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

void CatchInterrupt(std::atomic<bool>* flag) {
  struct sigaction old;
  if (sigaction(SIGINT, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) return;
  gCancelFlag.store(flag);
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  // One shot, and no SA_RESTART: a read waiting for an answer returns, and the second Ctrl-C kills.
  action.sa_flags = SA_RESETHAND;
  gHandlerSet = sigaction(SIGINT, &action, nullptr) == 0;
}

void ReleaseInterrupt() {
  if (!gHandlerSet) return;
  signal(SIGINT, SIG_DFL);
  gHandlerSet = false;
  gCancelFlag.store(nullptr);
}

bool WasInterrupted() { return gInterrupted.load(); }

}  // namespace zor
