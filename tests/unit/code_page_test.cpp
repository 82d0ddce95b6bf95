// Stored names through the tool's code pages: what reaches the file system and the screen.
#include <gtest/gtest.h>

#include <string>

#include "cli/code_page.h"

namespace zor {
namespace {

std::string ToUtf8(unsigned number, const std::string& text) {
  CodePage cp;
  EXPECT_TRUE(cp.Open(number));
  return cp.ToUtf8(text);
}

TEST(CodePage, NamesOfTheCommonCodePages) {
  EXPECT_EQ(ToUtf8(1252, "caf\xE9 \x80"), "caf\xC3\xA9 \xE2\x82\xAC");  // café €
  EXPECT_EQ(ToUtf8(1251, "\xCF\xF0\xE8\xE2\xE5\xF2"), "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");  // Привет
  EXPECT_EQ(ToUtf8(866, "\x8F"), "\xD0\x9F");                                  // П in the DOS Cyrillic page
  EXPECT_EQ(ToUtf8(437, "\x82"), "\xC3\xA9");                                  // é in the US DOS page
  EXPECT_EQ(ToUtf8(932, "\x93\xFA\x96\x7B"), "\xE6\x97\xA5\xE6\x9C\xAC");      // 日本
}

TEST(CodePage, UndefinedBytesStayDistinctCharacters) {
  // 0x81 and 0x8D are holes of 1252; Windows maps them to U+0081 and U+008D, and so do we, instead of
  // refusing the name or folding both into one replacement character.
  EXPECT_EQ(ToUtf8(1252, "a\x81" "b\x8D"), "a\xC2\x81" "b\xC2\x8D");
  // A lead byte of 932 with nothing behind it (a name cut short) keeps its byte as a character too.
  EXPECT_EQ(ToUtf8(932, "x\x93"), "x\xC2\x93");
}

TEST(CodePage, StatefulCodePagesLoseNoCharacterAtTheEnd) {
  // 1258 holds a letter back to see whether a combining mark follows; the end must let it out.
  EXPECT_EQ(ToUtf8(1258, "abc"), "abc");
  EXPECT_EQ(ToUtf8(1258, "a\xEC"), "\xC3\xA1");  // a + combining acute = á
}

TEST(CodePage, ABackslashInsideAMultiByteCharacterIsNoSeparator) {
  // 表 is 0x95 0x5C in 932: its second byte is a backslash. Decoding comes first, as in Win32's "A" calls.
  CodePage cp;
  ASSERT_TRUE(cp.Open(932));
  EXPECT_EQ(cp.ToNativePath("dir\\\x95\x5C.txt"), "dir/\xE8\xA1\xA8.txt");
}

TEST(CodePage, AFullBufferIsRefused) {
  CodePage cp;
  ASSERT_TRUE(cp.Open(1252));
  char out[6];
  EXPECT_FALSE(cp.ToUtf8("caf\xE9\xE9", 5, out, sizeof out));  // 7 bytes of UTF-8 and the terminator
  size_t written = 0;
  ASSERT_TRUE(cp.ToUtf8("caf\xE9", 4, out, sizeof out, &written));
  EXPECT_EQ(written, 5u);
  EXPECT_STREQ(out, "caf\xC3\xA9");
  EXPECT_TRUE(CodePage::ConvertPath(&cp, "a\\b", out, sizeof out));
  EXPECT_STREQ(out, "a\\b");  // the separators are the file layer's business
}

TEST(CodePage, FolderNamesFromTheCommandLineMustBeWritable) {
  CodePage cp;
  ASSERT_TRUE(cp.Open(1252));
  std::string out;
  EXPECT_TRUE(cp.FromUtf8("out/caf\xC3\xA9", out));
  EXPECT_EQ(out, "out/caf\xE9");
  EXPECT_FALSE(cp.FromUtf8("\xD0\x9F", out));  // П has no place in 1252
  EXPECT_FALSE(cp.FromUtf8("bad\xE9", out));   // not UTF-8
  ASSERT_TRUE(cp.Open(1251));
  EXPECT_TRUE(cp.FromUtf8("\xD0\x9F", out));
  EXPECT_EQ(out, "\xCF");
}

TEST(CodePage, CodePageNumbersOnTheCommandLine) {
  EXPECT_EQ(ParseCodePage("1251"), 1251u);
  EXPECT_EQ(ParseCodePage("CP866"), 866u);
  EXPECT_EQ(ParseCodePage("windows-1250"), 1250u);
  EXPECT_EQ(ParseCodePage("Windows-932"), 932u);
  EXPECT_EQ(ParseCodePage("utf-8"), 0u);
  EXPECT_EQ(ParseCodePage("65001"), 0u);
  EXPECT_EQ(ParseCodePage("1251x"), 0u);
  EXPECT_EQ(ParseCodePage(""), 0u);
  EXPECT_EQ(ParseCodePage("cp"), 0u);
  CodePage cp;
  EXPECT_FALSE(cp.Open(1234));
}

}  // namespace
}  // namespace zor
