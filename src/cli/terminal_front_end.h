// The zor tool's front-end: messages on standard error, questions on the terminal.
#pragma once

#include <cstdio>

#include "extract/front_end.h"

namespace zor {

class TerminalFrontEnd final : public FrontEnd {
 public:
  // Questions are asked only when `interactive` (standard input and error are terminals); otherwise an
  // OK-Cancel message is answered Cancel and the overwrite question No, so nothing is lost unasked.
  TerminalFrontEnd(std::FILE* in, std::FILE* err, bool interactive) : in_(in), err_(err), interactive_(interactive) {}

  int ShowMessage(WindowRef owner, const char* text, const char* caption, uint32_t style) override;
  void SetStatus(WindowRef dialog, const char* text) override;
  int AskOverwrite(const char* fullPath) override;
  void PumpMessages() override {}

 private:
  // The first character of the answer line, lowered; 0 at the end of the input.
  int ReadAnswer();

  std::FILE* in_;
  std::FILE* err_;
  bool interactive_;
};

}  // namespace zor
