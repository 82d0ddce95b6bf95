// What the tool asks of the terminal and of Ctrl-C: terminal_posix.cpp (isatty, ioctl, sigaction) and
// terminal_win32.cpp (the console).
#pragma once

#include <atomic>
#include <cstdio>

namespace zor {

// Whether a person can answer questions: standard input and standard error are terminals.
bool CanAskQuestions();
// Whether a progress bar may be drawn: standard output and standard error are terminals, TERM is set and
// not "dumb", and NO_COLOR is unset.
bool CanDrawProgressBar();
// Columns of the terminal behind `stream`; 80 when it cannot be told.
int TerminalWidth(std::FILE* stream);

// From now on the first Ctrl-C (SIGINT) sets *flag, interrupts a pending read of an answer and restores
// the default handling, so that a second Ctrl-C ends the process. Nothing changes when SIGINT is ignored
// (as for a job started in the background by a non-interactive shell).
void CatchInterrupt(std::atomic<bool>* flag);
// Restores the default handling of SIGINT if CatchInterrupt set a handler.
void ReleaseInterrupt();
// Whether Ctrl-C was pressed since CatchInterrupt.
bool WasInterrupted();

}  // namespace zor
