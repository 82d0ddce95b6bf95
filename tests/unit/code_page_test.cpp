// Code pages: Windows-1252 both ways over every byte, the bytes it leaves undefined, the other single-byte
// pages from the system's converters, and the double-byte pages that are refused.
#include <gtest/gtest.h>

#include <string>

#include "cli/code_page.h"

namespace zor {
namespace {

TEST(CodePage, Windows1252RoundTripsEveryDefinedByte) {
  CodePage page;
  for (int b = 1; b < 256; ++b) {
    std::string byte(1, static_cast<char>(b));
    std::string utf8 = page.ToUtf8(byte), back;
    bool undefined = b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D;
    EXPECT_EQ(page.FromUtf8(utf8, back), !undefined) << b;
    if (!undefined) {
      EXPECT_EQ(back, byte) << b;
    }
  }
  std::string out;
  EXPECT_TRUE(page.FromUtf8("\xE2\x82\xAC \xC5\xA0 caf\xC3\xA9", out));  // euro sign, S caron, e acute
  EXPECT_EQ(out, "\x80 \x8A caf\xE9");
}

TEST(CodePage, WhatCannotBeConvertedIsNamed) {
  CodePage page;
  std::string out, bad;
  EXPECT_FALSE(page.FromUtf8("ok \xE6\x97\xA5 no", out, &bad));
  EXPECT_EQ(bad, "\xE6\x97\xA5");
  EXPECT_FALSE(page.FromUtf8("\xC2\x81", out, &bad));  // U+0081: a control, not the undefined byte 0x81
  // Not UTF-8: a lone continuation byte, an overlong form, a surrogate, a cut-off sequence.
  for (const char* text : {"a\x80", "\xC0\xAF", "\xED\xA0\x80", "\xE2\x82"}) {
    EXPECT_FALSE(page.FromUtf8(text, out, &bad)) << text;
  }
}

TEST(CodePage, OtherSingleBytePagesComeFromTheSystem) {
  CodePage page;
  std::string error, out;
  ASSERT_TRUE(page.Select("cp1251", error)) << error;
  EXPECT_EQ(page.number(), 1251);
  EXPECT_TRUE(page.FromUtf8("\xD0\x9F\xD1\x80\xD0\xB8", out));  // Cyrillic
  EXPECT_EQ(out, "\xCF\xF0\xE8");
  EXPECT_FALSE(page.FromUtf8("caf\xC3\xA9", out));  // no e acute in 1251
  EXPECT_EQ(page.ToUtf8("\xCF"), "\xD0\x9F");
  ASSERT_TRUE(page.Select("1252", error));
  EXPECT_TRUE(page.FromUtf8("caf\xC3\xA9", out));
}

TEST(CodePage, DoubleByteAndUnknownPagesAreRefused) {
  CodePage page;
  std::string error;
  EXPECT_FALSE(page.Select("932", error));
  EXPECT_NE(error.find("double-byte"), std::string::npos);
  EXPECT_FALSE(page.Select("utf-8", error));
  EXPECT_NE(error.find("unknown code page"), std::string::npos);
  EXPECT_FALSE(page.Select("437", error));  // an OEM page: not what Windows programs use for names
  EXPECT_EQ(page.number(), 1252);           // a refused choice changes nothing
}

}  // namespace
}  // namespace zor
