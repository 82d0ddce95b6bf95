// Code page conversions for names and messages, with glibc's iconv: it knows every Windows and DOS code
// page we offer, the multi-byte ones included, so the tool carries no tables of its own.
#include "cli/code_page.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace zor {
namespace {

constexpr unsigned kKnown[] = {437,  850,  852,  866,  874,  932,  936,  949,  950,
                               1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258};

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

bool IsKnown(unsigned number) {
  for (unsigned n : kKnown)
    if (n == number) return true;
  return false;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

// Writes code point c (below 0x100) as UTF-8.
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

}  // namespace

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
  return IsKnown(number) ? number : 0;
}

CodePage::~CodePage() { Close(); }

void CodePage::Close() {
  if (toUtf8_ != kNoConverter) iconv_close(toUtf8_);
  if (fromUtf8_ != kNoConverter) iconv_close(fromUtf8_);
  toUtf8_ = fromUtf8_ = kNoConverter;
  number_ = 0;
}

bool CodePage::Open(unsigned number) {
  Close();
  if (!IsKnown(number)) return false;
  char name[16];
  std::snprintf(name, sizeof name, "CP%u", number);
  toUtf8_ = iconv_open("UTF-8", name);
  fromUtf8_ = iconv_open(name, "UTF-8");
  if (toUtf8_ == kNoConverter || fromUtf8_ == kNoConverter) {
    Close();
    return false;
  }
  number_ = number;
  return true;
}

bool CodePage::ToUtf8(const char* text, size_t length, char* out, size_t size, size_t* written) {
  if (size == 0 || toUtf8_ == kNoConverter) return false;
  char* in = const_cast<char*>(text);
  char* to = out;
  size_t left = size - 1;  // the terminator's byte
  iconv(toUtf8_, nullptr, nullptr, nullptr, nullptr);
  while (length > 0) {
    if (iconv(toUtf8_, &in, &length, &to, &left) != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) return false;
    // EILSEQ or EINVAL: let out what a stateful code page (1255, 1258) holds back, then the byte itself.
    if (iconv(toUtf8_, nullptr, nullptr, &to, &left) == static_cast<size_t>(-1)) return false;
    if (!PutLatin1(static_cast<unsigned char>(*in), to, left)) return false;
    ++in;
    --length;
  }
  if (iconv(toUtf8_, nullptr, nullptr, &to, &left) == static_cast<size_t>(-1)) return false;
  *to = 0;
  if (written) *written = static_cast<size_t>(to - out);
  return true;
}

std::string CodePage::ToUtf8(std::string_view text) {
  // Four bytes of UTF-8 per byte of input are always enough (a code page character of one or two
  // bytes is at most three bytes of UTF-8; a combining pair of 1258 at most five for two bytes).
  std::vector<char> out(text.size() * 4 + 1);
  size_t written = 0;
  if (!ToUtf8(text.data(), text.size(), out.data(), out.size(), &written)) return std::string();
  return std::string(out.data(), written);
}

std::string CodePage::ToNativePath(std::string_view text) {
  std::string path = ToUtf8(text);
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

bool CodePage::FromUtf8(std::string_view text, std::string& out) {
  out.clear();
  if (fromUtf8_ == kNoConverter) return false;
  std::vector<char> buffer(text.size() * 2 + 8);
  char* in = const_cast<char*>(text.data());
  size_t length = text.size();
  char* to = buffer.data();
  size_t left = buffer.size();
  iconv(fromUtf8_, nullptr, nullptr, nullptr, nullptr);
  if (iconv(fromUtf8_, &in, &length, &to, &left) == static_cast<size_t>(-1)) return false;
  if (iconv(fromUtf8_, nullptr, nullptr, &to, &left) == static_cast<size_t>(-1)) return false;
  out.assign(buffer.data(), static_cast<size_t>(to - buffer.data()));
  return true;
}

bool CodePage::ConvertPath(void* context, const char* path, char* out, uint32_t size) {
  return static_cast<CodePage*>(context)->ToUtf8(path, std::strlen(path), out, size);
}

}  // namespace zor
