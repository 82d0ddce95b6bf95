// Windows ANSI code pages: the one-byte character sets in which archives store names, titles and folders,
// converted from and to the UTF-8 of the tool's command line and of Linux file names.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace zor {

inline constexpr int kDefaultCodePage = 1252;

class CodePage {
 public:
  // Windows-1252, without asking the system.
  CodePage();

  // A code page by number, "cp1252" or "windows-1252". Only the single-byte ANSI code pages (874 and
  // 1250 to 1258) are offered: in the double-byte ones (932, 936, 949, 950) a backslash byte can be half
  // of a character, and the extractor splits paths at every backslash byte. Pages other than 1252 come
  // from the system's converters. False with `error` set when the page cannot be used.
  bool Select(std::string_view name, std::string& error);

  int number() const { return number_; }

  // UTF-8 to the code page. False when the text is not UTF-8 or holds a character the code page lacks;
  // `bad` then receives the first such character (as UTF-8), or the bytes that are not UTF-8.
  bool FromUtf8(std::string_view utf8, std::string& out, std::string* bad = nullptr) const;
  // The code page to UTF-8; bytes without a character become U+FFFD.
  std::string ToUtf8(std::string_view text) const;

 private:
  static constexpr char32_t kUnmapped = 0xFFFF;

  int number_ = kDefaultCodePage;
  std::array<char32_t, 256> characters_;  // per byte, or kUnmapped
};

// Decodes one UTF-8 character at text[at], advancing `at`; false (and `at` past one byte) for bytes that
// are not shortest-form UTF-8 of a Unicode scalar value.
bool NextUtf8(std::string_view text, size_t& at, char32_t& c);
void AppendUtf8(char32_t c, std::string& out);

}  // namespace zor
