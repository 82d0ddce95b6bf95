// The zor tool's terminal front-end: what it answers with and without a person at the terminal.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "archive/archive_format.h"
#include "cli/code_page.h"
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
  EXPECT_EQ(t.frontEnd.ShowMessage(nullptr, "Cannot read x.exe\nRead fault", "Title", Notice::kFailure),
            NoticeAnswer::kOk);
  EXPECT_EQ(t.Written(), "zor: Cannot read x.exe\nRead fault\n");
}

TEST(TerminalFrontEnd, WithoutAPersonTheRunGoesOnButNothingIsReplaced) {
  Terminal t("o\ny\n", false);  // input that is not a terminal is never taken as an answer
  // OK-Cancel: OK, so the walk goes on; the error is counted for the exit code.
  EXPECT_EQ(t.frontEnd.ShowMessage(nullptr, "File \"a\" fails error check", "T", Notice::kFailureOrGoOn),
            NoticeAnswer::kOk);
  EXPECT_EQ(t.frontEnd.counts().errors, 1u);
  // The overwrite question: No, and a note says so.
  EXPECT_EQ(t.frontEnd.AskOverwrite("out\\a.txt"), OverwriteAnswer::kNo);
  EXPECT_EQ(t.Written(),
            "zor: File \"a\" fails error check\n"
            "zor: File \"out/a.txt\" already exists: kept (--overwrite replaces it)\n");
}

TEST(TerminalFrontEnd, SkipExistingKeepsFilesWithoutANote) {
  Terminal t("y\n", true);
  t.frontEnd.SetKeepExisting(true);
  EXPECT_EQ(t.frontEnd.AskOverwrite("a.txt"), OverwriteAnswer::kNo);
  EXPECT_EQ(t.Written(), "");
}

TEST(TerminalFrontEnd, TextsAreShownInUtf8WithSlashesAndNoControlCharacters) {
  Terminal t("", false);
  CodePage cp;
  ASSERT_TRUE(cp.Open(1252));
  t.frontEnd.SetCodePage(&cp);
  t.frontEnd.ShowMessage(nullptr, "Cannot create out\\caf\xE9\x1B[2J.txt\nAccess denied", "T", Notice::kFailure);
  // A message without an icon is no failure.
  t.frontEnd.ShowMessage(nullptr, "Archive contains no files", "T", Notice::kInformation);
  EXPECT_EQ(t.Written(), "zor: Cannot create out/caf\xC3\xA9?[2J.txt\nAccess denied\nzor: Archive contains no files\n");
  EXPECT_EQ(t.frontEnd.counts().errors, 1u);
}

TEST(TerminalFrontEnd, EveryEntryCountsOnceByItsOutcome) {
  Terminal t("", false);
  DirectoryEntry file{};
  file.length = 10;
  DirectoryEntry folder{};
  folder.flags = kEntryFolder;
  auto entry = [&](const DirectoryEntry& e, const char* name, EntryOutcome outcome, bool message = false) {
    t.frontEnd.EntryStarted(e, name, static_cast<uint32_t>(std::strlen(name)));
    if (message) t.frontEnd.ShowMessage(nullptr, "Cannot create x", "T", Notice::kFailureOrGoOn);
    t.frontEnd.EntryFinished(e, name, static_cast<uint32_t>(std::strlen(name)), outcome);
  };
  entry(folder, "docs", EntryOutcome::kDone);
  entry(file, "docs\\a.txt", EntryOutcome::kDone);
  entry(file, "b.txt", EntryOutcome::kSkipped);
  entry(file, "c.txt", EntryOutcome::kFailed, true);  // the message and the outcome: one error
  entry(file, "..\\d.txt", EntryOutcome::kRefused, true);
  entry(file, "e.txt", EntryOutcome::kTooLong);
  entry(file, "f.txt", EntryOutcome::kCancelled);
  t.frontEnd.ShowMessage(nullptr, "Cannot create folder out", "T", Notice::kFailure);  // outside any entry

  const RunCounts& c = t.frontEnd.counts();
  EXPECT_EQ(c.entriesSeen, 7u);
  EXPECT_EQ(c.files, 1u);
  EXPECT_EQ(c.folders, 1u);
  EXPECT_EQ(c.bytes, 10u);
  EXPECT_EQ(c.kept, 1u);
  EXPECT_EQ(c.errors, 4u);
  EXPECT_EQ(t.Written(),
            "zor: Cannot create x\n"
            "zor: Cannot create x\n"
            "zor: refused \"../d.txt\": it would be written outside the target folder\n"
            "zor: skipped \"e.txt\": its full path would be longer than 259 characters\n"
            "zor: Cannot create folder out\n");
}

TEST(TerminalFrontEnd, AnswersAreReadLineByLine) {
  Terminal t("x\nok\ncancel\n", true);
  EXPECT_EQ(t.frontEnd.ShowMessage(nullptr, "m", "T", Notice::kFailureOrGoOn), NoticeAnswer::kOk);  // asks again after x
  EXPECT_EQ(t.frontEnd.ShowMessage(nullptr, "m", "T", Notice::kFailureOrGoOn), NoticeAnswer::kCancel);
  EXPECT_EQ(t.frontEnd.ShowMessage(nullptr, "m", "T", Notice::kFailureOrGoOn), NoticeAnswer::kCancel);  // end of input

  Terminal u("Y\nn\nall\n", true);
  EXPECT_EQ(u.frontEnd.AskOverwrite("a"), OverwriteAnswer::kYes);
  EXPECT_EQ(u.frontEnd.AskOverwrite("a"), OverwriteAnswer::kNo);
  EXPECT_EQ(u.frontEnd.AskOverwrite("a"), OverwriteAnswer::kYesToAll);
  EXPECT_EQ(u.frontEnd.AskOverwrite("a"), OverwriteAnswer::kNo);  // end of input
  const std::string prompt = "File \"a\" already exists. Do you want to replace it? [y]es / [n]o / [a]ll: ";
  EXPECT_EQ(u.Written(), prompt + prompt + prompt + prompt);
}

}  // namespace
}  // namespace zor
