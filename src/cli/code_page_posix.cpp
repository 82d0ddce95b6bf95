// Code page conversions with glibc's iconv: it knows every Windows and DOS code page we offer, the
// multi-byte ones included, so the tool carries no tables of its own.
#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "cli/code_page.h"

namespace zor {
namespace {

iconv_t Converter(void* c) { return c ? static_cast<iconv_t>(c) : reinterpret_cast<iconv_t>(-1); }

}  // namespace

void CodePage::Close() {
  if (toUtf8_) iconv_close(Converter(toUtf8_));
  if (fromUtf8_) iconv_close(Converter(fromUtf8_));
  toUtf8_ = fromUtf8_ = nullptr;
  number_ = 0;
}

bool CodePage::Open(unsigned number) {
  Close();
  if (!IsKnownCodePage(number)) return false;
  char name[16];
  std::snprintf(name, sizeof name, "CP%u", number);
  const iconv_t kNone = reinterpret_cast<iconv_t>(-1);
  iconv_t to = iconv_open("UTF-8", name), from = iconv_open(name, "UTF-8");
  if (to != kNone) toUtf8_ = to;
  if (from != kNone) fromUtf8_ = from;
  if (to == kNone || from == kNone) {
    Close();
    return false;
  }
  number_ = number;
  return true;
}

bool CodePage::ToUtf8(const char* text, size_t length, char* out, size_t size, size_t* written) {
  if (size == 0 || !toUtf8_) return false;
  iconv_t toUtf8 = Converter(toUtf8_);
  char* in = const_cast<char*>(text);
  char* to = out;
  size_t left = size - 1;  // the terminator's byte
  iconv(toUtf8, nullptr, nullptr, nullptr, nullptr);
  while (length > 0) {
    if (iconv(toUtf8, &in, &length, &to, &left) != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) return false;
    // EILSEQ or EINVAL: let out what a stateful code page (1255, 1258) holds back, then the byte itself.
    if (iconv(toUtf8, nullptr, nullptr, &to, &left) == static_cast<size_t>(-1)) return false;
    if (!PutLatin1(static_cast<unsigned char>(*in), to, left)) return false;
    ++in;
    --length;
  }
  if (iconv(toUtf8, nullptr, nullptr, &to, &left) == static_cast<size_t>(-1)) return false;
  *to = 0;
  if (written) *written = static_cast<size_t>(to - out);
  return true;
}

bool CodePage::FromUtf8(std::string_view text, std::string& out) {
  out.clear();
  if (!fromUtf8_) return false;
  iconv_t fromUtf8 = Converter(fromUtf8_);
  std::vector<char> buffer(text.size() * 2 + 8);
  char* in = const_cast<char*>(text.data());
  size_t length = text.size();
  char* to = buffer.data();
  size_t left = buffer.size();
  iconv(fromUtf8, nullptr, nullptr, nullptr, nullptr);
  if (iconv(fromUtf8, &in, &length, &to, &left) == static_cast<size_t>(-1)) return false;
  if (iconv(fromUtf8, nullptr, nullptr, &to, &left) == static_cast<size_t>(-1)) return false;
  out.assign(buffer.data(), static_cast<size_t>(to - buffer.data()));
  return true;
}

}  // namespace zor
