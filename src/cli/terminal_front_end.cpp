// Messages and questions on the terminal for the zor tool.
#include "cli/terminal_front_end.h"

#include <cctype>

namespace zor {

namespace {

constexpr uint32_t kButtonsMask = 0x0F;
constexpr uint32_t kOkCancel = 1;  // MB_OKCANCEL

}  // namespace

int TerminalFrontEnd::ReadAnswer() {
  int c = std::fgetc(in_);
  int first = c;
  while (c != EOF && c != '\n') c = std::fgetc(in_);
  return first == EOF ? 0 : std::tolower(first);
}

int TerminalFrontEnd::ShowMessage(WindowRef, const char* text, const char*, uint32_t style) {
  std::fprintf(err_, "zor: %s\n", text);
  if ((style & kButtonsMask) != kOkCancel) return kAnswerOk;
  if (!interactive_) return kAnswerCancel;
  for (;;) {
    std::fprintf(err_, "Continue? [o]k / [c]ancel: ");
    std::fflush(err_);
    switch (ReadAnswer()) {
      case 'o': case 'y': return kAnswerOk;
      case 'c': case 'n': case 0: return kAnswerCancel;
    }
  }
}

void TerminalFrontEnd::SetStatus(WindowRef, const char* text) { std::fprintf(err_, "%s\n", text); }

int TerminalFrontEnd::AskOverwrite(const char* fullPath) {
  if (!interactive_) return kOverwriteNo;
  for (;;) {
    std::fprintf(err_, "File \"%s\" already exists. Replace it? [y]es / [n]o / [a]ll: ", fullPath);
    std::fflush(err_);
    switch (ReadAnswer()) {
      case 'y': return kOverwriteYes;
      case 'a': return kOverwriteYesToAll;
      case 'n': case 0: return kOverwriteNo;
    }
  }
}

}  // namespace zor
