// The one interface through which the engine talks to a person: the stub's dialogs, the tool's terminal and
// the tests' scripted answers each implement it. The engine never shows, asks or pumps anything itself.
#pragma once

#include <cstdint>

namespace zor {

struct DirectoryEntry;

// An owner window as the front-end knows it (an HWND in the stub); null = no owner.
using WindowRef = void*;

// The kind of message the engine asks a front-end to show.
enum class Notice : uint8_t {
  kInformation = 0,   // something to read, with OK (the help text, "Archive contains no files")
  kFailure = 1,       // a failure, with OK
  kFailureOrGoOn = 2, // a failure after which the user may go on (OK) or stop (Cancel)
};
enum class NoticeAnswer : uint8_t {
  kNotShown = 0,  // no message could be shown
  kOk = 1,
  kCancel = 2,
};

// Answers to the overwrite question.
enum class OverwriteAnswer : uint8_t {
  kYes,       // replace this file
  kNo,        // keep the existing file, skip this one
  kYesToAll,  // replace this one and every later one without asking
  kNotAsked,  // the question could not be asked: taken as Yes
};

// What became of one directory entry of the walk, as EntryFinished reports it.
enum class EntryOutcome : uint8_t {
  kDone,       // the folder exists, or the file was written (in test mode: decoded) and its CRC matched
  kSkipped,    // an existing file was kept: the overwrite question was answered No
  kTooLong,    // its full path would pass 259 characters: skipped without a message
  kRefused,    // its stored path would lead out of the target folder: reported as damaged data
  kDevice,     // its stored path names a device on Windows (CON, NUL, COM1...): reported as damaged data
  kFailed,     // a failure was reported for it: folder or file not created, CRC mismatch, decoding failed
  kCancelled,  // the decoding saw cancelRequested: the file was closed and deleted, nothing was shown
};

class FrontEnd {
 public:
  // A message box owned by `owner` with `caption`; the answer, or kNotShown when none could be shown.
  virtual NoticeAnswer ShowMessage(WindowRef owner, const char* text, const char* caption, Notice kind) = 0;
  // The line at the bottom of the main dialog (control 102).
  virtual void SetStatus(WindowRef dialog, const char* text) = 0;
  // Whether an existing file may be replaced; fullPath is the complete output path.
  virtual OverwriteAnswer AskOverwrite(const char* fullPath) = 0;
  // Drains the waiting messages, so that Cancel can reach the extraction.
  virtual void PumpMessages() = 0;

  // Progress, for front-ends that count or show it; the defaults do nothing (the stub's dialog keeps them).
  // Every entry the walk reads gets one EntryStarted, then one EntryFinished. storedPath is the entry's
  // path as the archive stores it: `length` bytes in the Windows ANSI code page with backslashes, not
  // terminated, valid until EntryFinished returns. The full output path is in options.targetFolder from
  // just after EntryStarted until EntryFinished.
  virtual void EntryStarted(const DirectoryEntry& /*entry*/, const char* /*storedPath*/,
                            uint32_t /*length*/) {}
  virtual void EntryFinished(const DirectoryEntry& /*entry*/, const char* /*storedPath*/,
                             uint32_t /*length*/, EntryOutcome /*outcome*/) {}

 protected:
  ~FrontEnd() = default;
};

}  // namespace zor
