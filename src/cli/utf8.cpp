// UTF-8 decoding and encoding, and upper-casing through glibc's C.UTF-8 locale.
#include "cli/utf8.h"

#include <clocale>
#include <cstdint>
#include <cwctype>

namespace zor {

bool NextUtf8(std::string_view text, size_t& at, char32_t& c) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
  uint8_t first = byte(at);
  size_t length = first < 0x80 ? 1 : (first >> 5) == 6 ? 2 : (first >> 4) == 14 ? 3 : (first >> 3) == 30 ? 4 : 0;
  if (length == 0 || at + length > text.size()) {
    ++at;
    return false;
  }
  char32_t value = length == 1 ? first : first & (0x7F >> length);
  for (size_t k = 1; k < length; ++k) {
    if ((byte(at + k) & 0xC0) != 0x80) {
      ++at;
      return false;
    }
    value = (value << 6) | (byte(at + k) & 0x3F);
  }
  static constexpr char32_t kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < kSmallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    ++at;
    return false;
  }
  at += length;
  c = value;
  return true;
}

void AppendUtf8(char32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

char32_t UpperCase(char32_t c) {
  // Made once and kept for the process; without the locale only ASCII letters change.
  static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  if (locale) return static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), locale));
  return c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c;
}

std::string UpperCase(std::string_view utf8) {
  std::string out;
  size_t at = 0;
  while (at < utf8.size()) {
    size_t start = at;
    char32_t c;
    if (!NextUtf8(utf8, at, c)) {
      out.append(utf8.substr(start, at - start));
      continue;
    }
    AppendUtf8(UpperCase(c), out);
  }
  return out;
}

}  // namespace zor
