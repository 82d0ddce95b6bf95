// What zor shows while it runs: the bar line within the terminal's width, names fit for a terminal, the
// closing line; and the listing's JSON strings and dates.
#include <gtest/gtest.h>

#include <string>

#include "cli/list_command.h"
#include "cli/progress.h"

namespace zor {
namespace {

TEST(ProgressLine, FitsTheWidthAndKeepsTheEndOfTheName) {
  ProgressLine line{3, 10, 5 * 1024 * 1024, 20 * 1024 * 1024, 2.0, "docs/very/long/path/to/the/file/readme.txt"};
  const std::string wide = FormatProgressLine(line, 200);
  EXPECT_EQ(wide, " 25% [=====>              ] 3/10  5.0 MiB  2.5 MiB/s  docs/very/long/path/to/the/file/readme.txt");
  for (int width : {70, 60, 40, 30, 12, 1}) {
    const std::string text = FormatProgressLine(line, width);
    EXPECT_LT(DisplayWidth(text), width) << text;  // the last column stays free
  }
  // The bar gives way to the name first, then the name is cut at its start.
  EXPECT_EQ(FormatProgressLine(line, 80), " 25% 3/10  5.0 MiB  2.5 MiB/s  docs/very/long/path/to/the/file/readme.txt");
  const std::string cut = FormatProgressLine(line, 60);
  EXPECT_EQ(cut, " 25% 3/10  5.0 MiB  2.5 MiB/s  ...th/to/the/file/readme.txt");
}

TEST(ProgressLine, CountsEntriesWhenTheBytesAreUnknownAndCutsWideCharactersWhole) {
  ProgressLine line{5, 10, 100, 0, 0.0, "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt"};  // 日本語.txt
  // No throughput before any time has passed; 本語.txt would take one column too many.
  EXPECT_EQ(FormatProgressLine(line, 32), " 50% 5/10  100 bytes  ...\xE8\xAA\x9E.txt");
}

TEST(ProgressLine, WidthsAndPrintableNames) {
  EXPECT_EQ(DisplayWidth("abc"), 3);
  EXPECT_EQ(DisplayWidth("caf\xC3\xA9"), 4);
  EXPECT_EQ(DisplayWidth("\xE6\x97\xA5"), 2);
  EXPECT_EQ(DisplayWidth("e\xCC\x81"), 1);  // e + combining acute
  // C0, DEL and C1 controls could drive the terminal: they are shown as '?'.
  EXPECT_EQ(Printable("a\x1B[31mb\x7F\xC2\x9B" "c\xC3\xA9"), "a?[31mb??c\xC3\xA9");
}

TEST(ClosingLine, SaysWhatWasWrittenKeptAndFailed) {
  RunCounts counts;
  counts.files = 1;
  counts.folders = 2;
  EXPECT_EQ(ClosingLine(counts, false, false), "Done: 1 file and 2 folders written, 0 errors.");
  counts.files = 3;
  counts.folders = 1;
  counts.kept = 1;
  counts.errors = 1;
  EXPECT_EQ(ClosingLine(counts, false, false), "Done: 3 files and 1 folder written, 1 existing file kept, 1 error.");
  counts.kept = 0;
  counts.errors = 2;
  EXPECT_EQ(ClosingLine(counts, true, false), "Done: 3 files tested, 2 errors.");
  EXPECT_EQ(ClosingLine(counts, false, true), "Cancelled: 3 files and 1 folder written, 2 errors.");
  EXPECT_EQ(FormatBytes(1), "1 byte");
  EXPECT_EQ(FormatBytes(1023), "1023 bytes");
  EXPECT_EQ(FormatBytes(1536), "1.5 KiB");
  EXPECT_EQ(FormatBytes(3u << 30), "3.00 GiB");
}

TEST(Listing, JsonStringsEscapeWhatWouldBreakThem) {
  EXPECT_EQ(JsonString("a \"b\" \\ c"), "\"a \\\"b\\\" \\\\ c\"");
  EXPECT_EQ(JsonString("tab\tnl\ncr\r\x01\x7F"), "\"tab\\tnl\\ncr\\u000d\\u0001\\u007f\"");
  EXPECT_EQ(JsonString("\xC2\x81 caf\xC3\xA9 \xE6\x97\xA5"), "\"\\u0081 caf\xC3\xA9 \xE6\x97\xA5\"");
}

TEST(Listing, DosTimesThatAreNoCalendarTimeAreNotShown) {
  const uint16_t date = (43 << 9) | (6 << 5) | 15, time = (14 << 11) | (30 << 5) | 10;
  EXPECT_EQ(FormatDosTime(date, time, 'T'), "2023-06-15T14:30:20");
  EXPECT_EQ(FormatDosTime((20 << 9) | (2 << 5) | 29, 0, ' '), "2000-02-29 00:00:00");
  EXPECT_EQ(FormatDosTime(0, time, ' '), "");                          // no date stored
  EXPECT_EQ(FormatDosTime((21 << 9) | (2 << 5) | 29, 0, ' '), "");     // 2001 is no leap year
  EXPECT_EQ(FormatDosTime((43 << 9) | (13 << 5) | 1, 0, ' '), "");     // month 13
  EXPECT_EQ(FormatDosTime(date, (24 << 11), ' '), "");                 // hour 24
  EXPECT_EQ(FormatDosTime(date, 30, ' '), "");                         // 60 seconds
}

}  // namespace
}  // namespace zor
