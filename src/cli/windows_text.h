// For the tool's Windows back-ends only: UTF-8 paths as the wide calls take them, and Windows' own texts
// for its error numbers.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>

#include "encoder/utf8.h"

namespace zor {

// UTF-8 as UTF-16; text that is not UTF-8 gives an empty string, which no call accepts as a path.
inline std::wstring Wide(const std::string& utf8) {
  std::u16string wide;
  if (!Utf8ToUtf16(utf8, wide)) return std::wstring();
  return std::wstring(wide.begin(), wide.end());
}

inline std::string Utf8(const wchar_t* wide) {
  std::u16string text;
  for (; *wide; ++wide) text.push_back(static_cast<char16_t>(*wide));
  return Utf16ToUtf8(text);
}

// "Access denied"-style text for a Win32 error number, without the trailing line break and period.
inline std::string ErrorText(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string out = n && text ? Utf8(text) : "error " + std::to_string(error);
  if (text) LocalFree(text);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == '.' || out.back() == ' '))
    out.pop_back();
  return out;
}

}  // namespace zor
