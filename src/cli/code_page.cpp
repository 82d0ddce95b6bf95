// Windows ANSI code pages: Windows-1252 from its table, the other single-byte pages through iconv.
#include "cli/code_page.h"

#include <iconv.h>


namespace zor {

namespace {

// Windows-1252 is ISO 8859-1 except for 0x80-0x9F, where it has printable characters; the five bytes
// marked 0 have none.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,       // 88-8F
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,  // 98-9F
};

constexpr int kSingleBytePages[] = {874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258};
constexpr int kDoubleBytePages[] = {932, 936, 949, 950};

// "1252", "cp1252", "CP1252", "windows-1252": the number, or -1.
int ParsePageName(std::string_view name) {
  for (std::string_view prefix : {"windows-", "Windows-", "WINDOWS-", "cp", "CP"}) {
    if (name.substr(0, prefix.size()) == prefix) {
      name.remove_prefix(prefix.size());
      break;
    }
  }
  if (name.empty() || name.size() > 5) return -1;
  int n = 0;
  for (char c : name) {
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
  }
  return n;
}

}  // namespace

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

CodePage::CodePage() {
  for (int b = 0; b < 256; ++b) characters_[b] = static_cast<char32_t>(b);
  for (int b = 0; b < 32; ++b) characters_[0x80 + b] = kWindows1252High[b] ? kWindows1252High[b] : kUnmapped;
}

bool CodePage::Select(std::string_view name, std::string& error) {
  const int n = ParsePageName(name);
  for (int page : kDoubleBytePages) {
    if (n == page) {
      error = "code page " + std::to_string(n) +
              " is a double-byte code page; names in it can hold backslash bytes inside characters, which "
              "the self-extractor would take for folder separators";
      return false;
    }
  }
  bool known = false;
  for (int page : kSingleBytePages) known = known || n == page;
  if (!known) {
    error = "unknown code page \"" + std::string(name) + "\" (choose 874 or 1250 to 1258)";
    return false;
  }
  *this = CodePage();  // the 1252 table, also the start for the others' ASCII half
  number_ = n;
  if (n == kDefaultCodePage) return true;

  // Every byte on its own through iconv: the single-byte pages have no shift states.
  const std::string system = "CP" + std::to_string(n);
  iconv_t cd = iconv_open("UTF-32LE", system.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    error = "this system has no converter for code page " + std::to_string(n);
    return false;
  }
  for (int b = 0x80; b < 256; ++b) {
    char in = static_cast<char>(b);
    unsigned char out[16];
    char* inp = &in;
    char* outp = reinterpret_cast<char*>(out);
    size_t inLeft = 1, outLeft = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &inp, &inLeft, &outp, &outLeft) == static_cast<size_t>(-1) || sizeof out - outLeft != 4) {
      characters_[b] = kUnmapped;
      continue;
    }
    char32_t c = out[0] | (out[1] << 8) | (out[2] << 16) | (static_cast<char32_t>(out[3]) << 24);
    characters_[b] = (c >= 0x80 && c <= 0x9F) ? kUnmapped : c;  // C1 controls are not characters there
  }
  iconv_close(cd);
  return true;
}

bool CodePage::FromUtf8(std::string_view utf8, std::string& out, std::string* bad) const {
  out.clear();
  size_t at = 0;
  while (at < utf8.size()) {
    size_t start = at;
    char32_t c = 0;
    bool ok = NextUtf8(utf8, at, c);
    int byte = -1;
    if (ok) {
      if (c < 0x80) {
        byte = static_cast<int>(c);
      } else {
        for (int b = 0x80; b < 256 && byte < 0; ++b) {
          if (characters_[b] == c) byte = b;
        }
      }
    }
    if (byte < 0) {
      if (bad) bad->assign(utf8.substr(start, at - start));
      return false;
    }
    out += static_cast<char>(byte);
  }
  return true;
}

std::string CodePage::ToUtf8(std::string_view text) const {
  std::string out;
  for (char ch : text) {
    char32_t c = characters_[static_cast<uint8_t>(ch)];
    AppendUtf8(c == kUnmapped ? 0xFFFD : c, out);
  }
  return out;
}

}  // namespace zor
