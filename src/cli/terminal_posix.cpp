// Terminals and signals (Ctrl-C, TERM, HUP, the file-size limit) on POSIX.
#include "cli/terminal.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace zor {
namespace {

constexpr int kCaughtSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kCaughtSignalCount = sizeof kCaughtSignals / sizeof kCaughtSignals[0];

// A handler reaches the run only through globals; what it touches is lock-free or written before it is
// published (the name before gWritingFolder).
std::atomic<std::atomic<bool>*> gCancelFlag{nullptr};
std::atomic<int> gSignal{0};
std::atomic<int> gWritingFolder{-1};
char gWritingName[256];
bool gHandlerSet[kCaughtSignalCount];
struct sigaction gPreviousFileSize;
bool gFileSizeSet = false;

void OnSignal(int signal) {
  int expected = 0;
  if (gSignal.compare_exchange_strong(expected, signal)) {
    if (std::atomic<bool>* flag = gCancelFlag.load()) flag->store(true);
    return;
  }
  // The second: the file being written goes, then the process, by the signal's own default action.
  const int folder = gWritingFolder.load();
  if (folder >= 0) unlinkat(folder, gWritingName, 0);
  ::signal(signal, SIG_DFL);
  raise(signal);
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
  gCancelFlag.store(flag);
  gSignal.store(0);
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  for (int s : kCaughtSignals) sigaddset(&action.sa_mask, s);  // one handler at a time
  // No SA_RESTART: a read waiting for an answer returns.
  for (int i = 0; i < kCaughtSignalCount; ++i) {
    struct sigaction old;
    gHandlerSet[i] = sigaction(kCaughtSignals[i], nullptr, &old) == 0 && old.sa_handler != SIG_IGN &&
                     sigaction(kCaughtSignals[i], &action, nullptr) == 0;
  }
  struct sigaction ignore;
  std::memset(&ignore, 0, sizeof ignore);
  ignore.sa_handler = SIG_IGN;
  gFileSizeSet = sigaction(SIGXFSZ, &ignore, &gPreviousFileSize) == 0;
}

void ReleaseInterrupt() {
  for (int i = 0; i < kCaughtSignalCount; ++i) {
    if (gHandlerSet[i]) signal(kCaughtSignals[i], SIG_DFL);
    gHandlerSet[i] = false;
  }
  if (gFileSizeSet) sigaction(SIGXFSZ, &gPreviousFileSize, nullptr);
  gFileSizeSet = false;
  gCancelFlag.store(nullptr);
  WritingFile(-1, nullptr);
}

int InterruptingSignal() { return gSignal.load(); }

void WithSignalsHeld(const std::function<void()>& start) {
  sigset_t held, old;
  sigemptyset(&held);
  for (int s : kCaughtSignals) sigaddset(&held, s);
  pthread_sigmask(SIG_BLOCK, &held, &old);
  start();
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

void WritingFile(int folder, const char* name) {
  gWritingFolder.store(-1);
  if (!name || folder < 0) return;
  size_t i = 0;
  for (; name[i] && i + 1 < sizeof gWritingName; ++i) gWritingName[i] = name[i];
  gWritingName[i] = 0;
  gWritingFolder.store(folder);
}

}  // namespace zor
