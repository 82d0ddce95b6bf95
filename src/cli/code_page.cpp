// Code page names and numbers, and what every back-end shares.
#include "cli/code_page.h"

#include <cstring>
#include <vector>

#include "encoder/utf8.h"

namespace zor {
namespace {

constexpr unsigned kKnown[] = {437,  850,  852,  866,  874,  932,  936,  949,  950,
                               1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258};

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

}  // namespace

bool IsKnownCodePage(unsigned number) {
  for (unsigned n : kKnown)
    if (n == number) return true;
  return false;
}

const char* KnownCodePages() {
  return "437, 850, 852, 866, 874, 932, 936, 949, 950, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258";
}

unsigned ParseCodePage(std::string_view text) {
  if (StartsWithNoCase(text, "windows-")) text.remove_prefix(8);
  else if (StartsWithNoCase(text, "cp")) text.remove_prefix(2);
  if (text.empty() || text.size() > 5) return 0;
  unsigned number = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    number = number * 10 + static_cast<unsigned>(c - '0');
  }
  return IsKnownCodePage(number) ? number : 0;
}

CodePage::~CodePage() { Close(); }

std::string CodePage::ToUtf8(std::string_view text) {
  // Four bytes of UTF-8 per byte of input are always enough (a code page character of one or two
  // bytes is at most three bytes of UTF-8; a combining pair of 1258 at most five for two bytes).
  std::vector<char> out(text.size() * 4 + 1);
  size_t written = 0;
  if (!ToUtf8(text.data(), text.size(), out.data(), out.size(), &written)) return std::string();
  return std::string(out.data(), written);
}

std::string CodePage::FromUtf8Shown(std::string_view text) {
  std::string out, one;
  for (size_t at = 0; at < text.size();) {
    const size_t start = at;
    char32_t c;
    const bool ok = NextUtf8(text, at, c);
    out += ok && FromUtf8(text.substr(start, at - start), one) ? one : std::string("?");
  }
  return out;
}

std::string CodePage::ToNativePath(std::string_view text) {
  std::string path = ToUtf8(text);
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

bool CodePage::ConvertPath(void* context, const char* path, char* out, uint32_t size) {
  return static_cast<CodePage*>(context)->ToUtf8(path, std::strlen(path), out, size);
}

bool PutLatin1(unsigned char c, char*& out, size_t& left) {
  if (c < 0x80) {
    if (left < 1) return false;
    *out++ = static_cast<char>(c);
    --left;
    return true;
  }
  if (left < 2) return false;
  *out++ = static_cast<char>(0xC0 | (c >> 6));
  *out++ = static_cast<char>(0x80 | (c & 0x3F));
  left -= 2;
  return true;
}

}  // namespace zor
