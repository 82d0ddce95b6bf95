// What the tool asks of the terminal and of Ctrl-C: terminal_posix.cpp (isatty, ioctl, sigaction) and
// terminal_win32.cpp (the console).
#pragma once

#include <atomic>
#include <cstdio>
#include <functional>

namespace zor {

// Whether a person can answer questions: standard input and standard error are terminals.
bool CanAskQuestions();
// Whether a progress bar may be drawn: standard output and standard error are terminals, TERM is set and
// not "dumb", and NO_COLOR is unset.
bool CanDrawProgressBar();
// Columns of the terminal behind `stream`; 80 when it cannot be told.
int TerminalWidth(std::FILE* stream);

// From now on the first Ctrl-C (SIGINT), SIGTERM or SIGHUP sets *flag and interrupts a pending read of an
// answer; the second ends the process at once, as its default action would, after removing the file that
// WritingFile named. A signal the process was started with ignored (nohup, a background job of a
// non-interactive shell) stays ignored. SIGXFSZ is ignored, so that a write past the file-size limit fails
// with its message instead of killing the process with the file half written. (On Windows: Ctrl-C and
// Ctrl-Break, counted as SIGINT.)
void CatchInterrupt(std::atomic<bool>* flag);
// Restores what CatchInterrupt changed.
void ReleaseInterrupt();
// The signal that cancelled the run since CatchInterrupt, or 0.
int InterruptingSignal();
// The temporary file being written (`name` in the folder open as `folder`), for a second signal to remove;
// null: none. The writer names each file before it writes it and clears the name before it renames it.
void WritingFile(int folder, const char* name);
// Runs `start` with the signals above held back from this thread, so that threads it starts never take
// them: they reach the main thread, and with it a read waiting for an answer.
void WithSignalsHeld(const std::function<void()>& start);

}  // namespace zor
