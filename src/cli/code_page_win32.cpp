// Code page conversions with Windows' own functions (MultiByteToWideChar, WideCharToMultiByte). Names are
// converted one character at a time, so that a byte the code page leaves undefined becomes the character of
// the same number, as the POSIX back-end does.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>

#include "cli/code_page.h"
#include "encoder/utf8.h"

namespace zor {

void CodePage::Close() { number_ = 0; }

bool CodePage::Open(unsigned number) {
  Close();
  CPINFO info;
  if (!IsKnownCodePage(number) || !GetCPInfo(number, &info)) return false;
  number_ = number;
  return true;
}

bool CodePage::ToUtf8(const char* text, size_t length, char* out, size_t size, size_t* written) {
  if (size == 0 || number_ == 0) return false;
  std::string utf8;
  for (size_t at = 0; at < length;) {
    const size_t take = at + 1 < length && IsDBCSLeadByteEx(number_, static_cast<BYTE>(text[at])) ? 2 : 1;
    wchar_t wide[4];
    int n = MultiByteToWideChar(number_, MB_ERR_INVALID_CHARS, text + at, static_cast<int>(take), wide, 4);
    if (n <= 0 && take == 2) n = 0;  // a lead byte without its partner: the byte alone, below
    if (n > 0) {
      utf8 += Utf16ToUtf8(std::u16string(wide, wide + n));
      at += take;
    } else {
      AppendUtf8(static_cast<unsigned char>(text[at]), utf8);
      ++at;
    }
  }
  if (utf8.size() + 1 > size) return false;
  utf8.copy(out, utf8.size());
  out[utf8.size()] = 0;
  if (written) *written = utf8.size();
  return true;
}

bool CodePage::FromUtf8(std::string_view text, std::string& out) {
  out.clear();
  std::u16string wide;
  if (number_ == 0 || !Utf8ToUtf16(text, wide)) return false;
  if (wide.empty()) return true;
  std::string buffer(wide.size() * 2 + 8, '\0');
  BOOL usedDefault = FALSE;
  const int n = WideCharToMultiByte(number_, WC_NO_BEST_FIT_CHARS, reinterpret_cast<const wchar_t*>(wide.data()),
                                    static_cast<int>(wide.size()), buffer.data(), static_cast<int>(buffer.size()),
                                    nullptr, &usedDefault);
  if (n <= 0 || usedDefault) return false;
  out.assign(buffer.data(), static_cast<size_t>(n));
  return true;
}

}  // namespace zor
