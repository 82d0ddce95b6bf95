// Stored names are in a Windows code page; the tool shows and writes them as UTF-8 (through glibc's iconv
// on POSIX, code_page_posix.cpp, and Windows' own conversion functions there, code_page_win32.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zor {

inline constexpr unsigned kDefaultCodePage = 1252;

// The code pages the tool offers, for messages: "437, 850, ...".
const char* KnownCodePages();
// "1251", "cp1251" or "windows-1251" (any case) as a known code page number; 0 for anything else.
unsigned ParseCodePage(std::string_view text);

// For the back-ends.
bool IsKnownCodePage(unsigned number);
// Writes code point c (below 0x100) as UTF-8 at out, within left bytes; false when they are too few.
bool PutLatin1(unsigned char c, char*& out, size_t& left);

class CodePage {
 public:
  CodePage() = default;
  ~CodePage();
  CodePage(const CodePage&) = delete;
  CodePage& operator=(const CodePage&) = delete;

  // Sets up the conversions of a known code page. False when the number is not known or the system lacks
  // a converter for it.
  bool Open(unsigned number);
  unsigned number() const { return number_; }

  // Code page bytes to UTF-8 in out (size bytes, terminator included). Never refuses a name: a byte the
  // code page leaves undefined, or a cut multi-byte character, becomes the character of the same number
  // (U+0080 to U+00FF), as Windows maps the holes of 1252. False only when out is too small.
  bool ToUtf8(const char* text, size_t length, char* out, size_t size, size_t* written = nullptr);
  std::string ToUtf8(std::string_view text);
  // A stored path or a message naming one, as the platform writes it: UTF-8, backslashes become '/'.
  std::string ToNativePath(std::string_view text);
  // UTF-8 to the code page, exactly: false when text is not UTF-8 or holds a character the code page
  // cannot write.
  bool FromUtf8(std::string_view text, std::string& out);
  // The same for a text that is only shown: a character the code page cannot write, or a byte that is not
  // UTF-8, becomes '?'.
  std::string FromUtf8Shown(std::string_view text);

  // The file layer's NativeNameConverter; context is a CodePage.
  static bool ConvertPath(void* context, const char* path, char* out, uint32_t size);

 private:
  void Close();

  unsigned number_ = 0;
  void* toUtf8_ = nullptr;    // the back-end's converters (iconv's), if it needs any
  void* fromUtf8_ = nullptr;
};

}  // namespace zor
