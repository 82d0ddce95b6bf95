// The zor tool's terminal front-end: what it answers with and without a person at the terminal.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "cli/terminal_front_end.h"

namespace zor {
namespace {

// A front-end reading `input` and writing its messages into `err`.
struct Terminal {
  Terminal(const std::string& input, bool interactive)
      : text(input), in(fmemopen(text.data(), text.size() + 1, "r")), err(open_memstream(&errText, &errSize)),
        frontEnd(in, err, interactive) {}
  ~Terminal() {
    std::fclose(in);
    std::fclose(err);
    std::free(errText);
  }
  std::string Written() {
    std::fflush(err);
    return std::string(errText, errSize);
  }
  std::string text;
  std::FILE* in;
  char* errText = nullptr;
  size_t errSize = 0;
  std::FILE* err;
  TerminalFrontEnd frontEnd;
};

TEST(TerminalFrontEnd, MessagesGoToStandardErrorAndPlainBoxesAnswerOk) {
  Terminal t("", false);
  EXPECT_EQ(t.frontEnd.ShowMessage(nullptr, "Cannot read x.exe\nRead fault", "Title", kMessageOkExclamation),
            kAnswerOk);
  EXPECT_EQ(t.Written(), "zor: Cannot read x.exe\nRead fault\n");
}

TEST(TerminalFrontEnd, WithoutAPersonNothingIsGoneAheadWith) {
  Terminal t("o\ny\n", false);  // input that is not a terminal is never taken as an answer
  EXPECT_EQ(t.frontEnd.ShowMessage(nullptr, "File \"a\" fails error check", "T", kMessageOkCancelExclamation),
            kAnswerCancel);
  EXPECT_EQ(t.frontEnd.AskOverwrite("C:\\out\\a.txt"), kOverwriteNo);
}

TEST(TerminalFrontEnd, AnswersAreReadLineByLine) {
  Terminal t("x\nok\ncancel\n", true);
  EXPECT_EQ(t.frontEnd.ShowMessage(nullptr, "m", "T", kMessageOkCancelExclamation), kAnswerOk);  // asks again after x
  EXPECT_EQ(t.frontEnd.ShowMessage(nullptr, "m", "T", kMessageOkCancelExclamation), kAnswerCancel);
  EXPECT_EQ(t.frontEnd.ShowMessage(nullptr, "m", "T", kMessageOkCancelExclamation), kAnswerCancel);  // end of input

  Terminal u("Y\nn\nall\n", true);
  EXPECT_EQ(u.frontEnd.AskOverwrite("a"), kOverwriteYes);
  EXPECT_EQ(u.frontEnd.AskOverwrite("a"), kOverwriteNo);
  EXPECT_EQ(u.frontEnd.AskOverwrite("a"), kOverwriteYesToAll);
  EXPECT_EQ(u.frontEnd.AskOverwrite("a"), kOverwriteNo);  // end of input
}

}  // namespace
}  // namespace zor
