// The zor tool's front-end: messages on standard error, questions on the terminal, progress and counts.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "cli/code_page.h"
#include "cli/progress.h"
#include "extract/front_end.h"

namespace zor {

class TerminalFrontEnd final : public FrontEnd {
 public:
  // Questions are asked only when `interactive` (a person at the terminal). Otherwise an OK-Cancel message
  // is answered OK, so the run goes on and ends with the error counted, and the overwrite question is
  // answered No with a note, so nothing is replaced unasked.
  TerminalFrontEnd(std::FILE* in, std::FILE* err, bool interactive) : in_(in), err_(err), interactive_(interactive) {}

  // Texts and names are shown in UTF-8 through this code page (null: as they are).
  void SetCodePage(CodePage* codePage) { codePage_ = codePage; }
  // Where extraction progress goes (null: nowhere).
  void SetProgress(Progress* progress) { progress_ = progress; }
  // --skip-existing: existing files are kept without a question or a note.
  void SetKeepExisting(bool keep) { keepExisting_ = keep; }

  const RunCounts& counts() const { return counts_; }
  // An error the tool reported on its own.
  void CountError() { ++counts_.errors; }
  // The current entry is not extracted, for `reason` (UTF-8): "zor: refused "NAME": REASON". The entry's
  // outcome counts it.
  void ReportRefused(const std::string& reason);

  NoticeAnswer ShowMessage(WindowRef owner, const char* text, const char* caption, Notice kind) override;
  void SetStatus(WindowRef dialog, const char* text) override;
  OverwriteAnswer AskOverwrite(const char* fullPath) override;
  void PumpMessages() override;
  void EntryStarted(const DirectoryEntry& entry, const char* storedPath, uint32_t length) override;
  void EntryFinished(const DirectoryEntry& entry, const char* storedPath, uint32_t length,
                     EntryOutcome outcome) override;

 private:
  // The first character of the answer line, lowered; 0 at the end of the input or after Ctrl-C.
  int ReadAnswer();
  // A text of the engine (code page, backslashes) as shown here: UTF-8, '/', no control characters
  // but line breaks.
  std::string Shown(std::string_view text) const;

  std::FILE* in_;
  std::FILE* err_;
  bool interactive_;
  CodePage* codePage_ = nullptr;
  Progress* progress_ = nullptr;
  bool keepExisting_ = false;
  RunCounts counts_;
  bool inEntry_ = false;        // between EntryStarted and EntryFinished: its errors count with it
  std::string entryName_;       // the current entry as shown: UTF-8, '/', folders with a '/' at the end
};

}  // namespace zor
