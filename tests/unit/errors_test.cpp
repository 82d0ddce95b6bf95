// Messages: the system error line, the text of every ErrorCode, ReportError's answers and the bounded composer.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "extract/errors.h"
#include "support/recording_front_end.h"
#include "support/test_extraction.h"

namespace zor {
namespace {

using test::RecordingFrontEnd;

TEST(SystemErrorText, EveryKnownNumberAndTheRangeEdges) {
  const struct {
    uint32_t error;
    const char* text;
  } known[] = {
      {0, ""},
      {2, "\nFile not found"},
      {3, "\nPath not found"},
      {5, "\nAccess denied"},
      {15, "\nInvalid drive"},
      {19, "\nDisk is write protected"},
      {21, "\nDevice not ready"},
      {25, "\nTrack not found"},
      {26, "\nNot a DOS disk"},
      {27, "\nSector not found"},
      {29, "\nWrite fault"},
      {30, "\nRead fault"},
      {31, "\nGeneral failure"},
      {39, "\nDisk full"},
      {80, "\nFile exists"},
      {112, "\nDisk full"},
      {161, "\nInvalid path"},
      {49, ""},
      {50, "\nNetwork error"},
      {64, "\nNetwork error"},
      {71, "\nNetwork error"},
      {72, ""},
      {1, ""},
      {4, ""},
      {183, ""},
      {0xFFFFFFFFu, ""},
  };
  for (const auto& k : known) EXPECT_STREQ(SystemErrorText(k.error), k.text) << k.error;
}

class ReportErrorTest : public ::testing::Test {
 protected:
  RecordingFrontEnd frontEnd;
  std::unique_ptr<Extraction> x = test::MakeTestExtraction(&frontEnd, "setup.exe");
  WindowRef dialog = reinterpret_cast<WindowRef>(0x1234);
};

TEST_F(ReportErrorTest, EveryShownCodeWithItsExactText) {
  const struct {
    ErrorCode code;
    const char* text;
  } shown[] = {
      {-2, "Not enough memory"},
      {-3, "Cannot create C:\\out\\a.txt\nAccess denied"},
      {-5, "Cannot open C:\\out\\a.txt\nAccess denied"},
      {-6, "Cannot read C:\\out\\a.txt\nAccess denied"},
      {-8, "Cannot write C:\\out\\a.txt\nAccess denied"},
      {-9, "Cannot create folder C:\\out\\a.txt\nAccess denied"},
      {-11, "Archive data is damaged, probably caused by\na corrupt disk or download error"},
      {-12, "File \"C:\\out\\a.txt\" fails error check"},
      {-17, "Cannot read C:\\out\\a.txt\nAccess denied"},
      {-50, "Archive data is damaged, probably caused by\na corrupt disk or download error"},
  };
  for (const auto& s : shown) {
    frontEnd.messages.clear();
    x->files.lastSystemError = 5;
    EXPECT_EQ(ReportError(*x, dialog, false, s.code, "C:\\out\\a.txt"), 1) << s.code;
    ASSERT_EQ(frontEnd.messages.size(), 1u) << s.code;
    EXPECT_EQ(frontEnd.messages[0].text, s.text);
    EXPECT_EQ(frontEnd.messages[0].caption, "Ostrel Self-Extractor");
    EXPECT_EQ(frontEnd.messages[0].owner, dialog);
    EXPECT_EQ(frontEnd.messages[0].kind, Notice::kFailure);
    EXPECT_STREQ(x->files.messageBuffer, s.text);
    EXPECT_EQ(x->files.lastSystemError, 0u) << "a shown error is forgotten";
  }
}

TEST_F(ReportErrorTest, SilentCodesShowNothingAndKeepTheRecordedError) {
  const ErrorCode silent[] = {-1, -4, -7, -10, -13, -14, -15, -16, -18, -25, -49, -51,
                              0,  1,  42, INT32_MIN, INT32_MAX};
  for (ErrorCode code : silent) {
    for (bool okCancel : {false, true}) {
      x->files.lastSystemError = 112;
      frontEnd.defaultMessageAnswer = NoticeAnswer::kCancel;
      EXPECT_EQ(ReportError(*x, dialog, okCancel, code, "a.txt"), 0) << code;
      EXPECT_EQ(x->files.lastSystemError, 112u) << code;
    }
  }
  EXPECT_TRUE(frontEnd.messages.empty());
}

TEST_F(ReportErrorTest, OnlyOkInAnOkCancelBoxGoesOn) {
  const struct {
    bool okCancel;
    NoticeAnswer answer;
    int result;
  } cases[] = {
      {false, NoticeAnswer::kOk, 1}, {false, NoticeAnswer::kCancel, 1}, {false, NoticeAnswer::kNotShown, 1},
      {true, NoticeAnswer::kOk, 0},  {true, NoticeAnswer::kCancel, 1},  {true, NoticeAnswer::kNotShown, 1},
  };
  for (const auto& c : cases) {
    frontEnd.messages.clear();
    frontEnd.messageAnswers = {c.answer};
    EXPECT_EQ(ReportError(*x, dialog, c.okCancel, kErrorCrc, "a.txt"), c.result);
    ASSERT_EQ(frontEnd.messages.size(), 1u);
    EXPECT_EQ(frontEnd.messages[0].kind, c.okCancel ? Notice::kFailureOrGoOn : Notice::kFailure);
  }
}

TEST_F(ReportErrorTest, NoNameMeansTheProgramFileAndAShortReadHasNoSecondLine) {
  x->files.lastSystemError = 0;
  ReportError(*x, nullptr, false, kErrorRead, nullptr);
  ASSERT_EQ(frontEnd.messages.size(), 1u);
  EXPECT_EQ(frontEnd.messages[0].text, "Cannot read setup.exe");
  EXPECT_EQ(frontEnd.messages[0].owner, nullptr);
}

TEST_F(ReportErrorTest, ALongNameIsShortenedAndTheSuffixStays) {
  std::string name = "C:\\" + std::string(300, 'd') + "\\last.txt";
  x->files.lastSystemError = 19;
  ReportError(*x, dialog, false, kErrorCreateFolder, name.c_str());
  // 299 characters: 45 of fixed text and suffix, 254 for the name: its first 125, "...", its last 126.
  const std::string expected = "Cannot create folder " + name.substr(0, 125) + "..." +
                               name.substr(name.size() - 126) + "\nDisk is write protected";
  EXPECT_EQ(std::string(x->files.messageBuffer), expected);
  EXPECT_EQ(expected.size(), kMessageBufferSize - 1);
}

TEST(ComposeMessage, ANameThatJustFitsIsKeptWhole) {
  char buffer[32];
  // The CRC text without its placeholder is 25 characters: 6 are left for the name in 32 bytes.
  EXPECT_EQ(ComposeMessage(buffer, sizeof buffer, "File \"%s\" fails error check", "abcdef", nullptr), 31u);
  EXPECT_STREQ(buffer, "File \"abcdef\" fails error check");
  EXPECT_EQ(ComposeMessage(buffer, sizeof buffer, "File \"%s\" fails error check", "abcdefg", nullptr), 31u);
  EXPECT_STREQ(buffer, "File \"a...fg\" fails error check");
}

TEST(ComposeMessage, KeepsTheEndOfTheNameAndTheWholeSuffix) {
  char buffer[40];
  const char* name = "C:\\Program Files\\Some Folder\\readme.txt";
  EXPECT_EQ(ComposeMessage(buffer, sizeof buffer, "Cannot write %s%s", name, "\nDisk full"), 39u);
  EXPECT_STREQ(buffer, "Cannot write C:\\Pro...dme.txt\nDisk full");
}

TEST(ComposeMessage, StaysInsideTinyBuffers) {
  char buffer[8] = "xxxxxxx";
  EXPECT_EQ(ComposeMessage(buffer, 0, "Extracting %s", "a", nullptr), 0u);
  EXPECT_EQ(buffer[0], 'x');
  EXPECT_EQ(ComposeMessage(buffer, 1, "Extracting %s", "a", nullptr), 0u);
  EXPECT_STREQ(buffer, "");
  // The fixed text alone is too long: it is cut, never overrun.
  EXPECT_EQ(ComposeMessage(buffer, sizeof buffer, "Extracting %s", "a", nullptr), 7u);
  EXPECT_STREQ(buffer, "Extract");
}

}  // namespace
}  // namespace zor
