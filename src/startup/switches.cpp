// Command-line switches, read without a C runtime.
#include "startup/switches.h"

namespace zor {

namespace {

// Spaces, tabs and other control characters separate words; the terminator ends one too.
bool EndsWord(char c) { return static_cast<unsigned char>(c) <= ' '; }
bool IsBlank(char c) { return c && EndsWord(c); }

}  // namespace

// Out of line: the stub's start-up is smaller for it.
[[gnu::noinline]] void ParseSwitches(const char* p, Switches& s) {
  s = Switches{};
  // The program's name: up to its closing quote, or to the first blank.
  if (*p == '"') {
    for (++p; *p && *p != '"'; ++p) {
    }
    if (*p) ++p;
  }
  while (!EndsWord(*p)) ++p;

  for (;;) {
    while (IsBlank(*p)) ++p;
    if (!*p) return;
    // Tools that quote every argument with a space in it write "/D=C:\Program Files\App".
    const bool quoted = *p == '"';
    p += quoted;
    const char letter = static_cast<char>(p[1] | 0x20);  // lower case; p[2] is read only behind a letter
    if (p[0] == '/' && letter == 'd' && p[2] == '=') {
      const char* begin = p + 3;
      const char* end = begin;
      while (*end) ++end;
      while (end > begin && EndsWord(end[-1])) --end;
      if (end - begin >= (quoted ? 1 : 2) && end[-1] == '"' && (quoted || *begin == '"')) {
        --end;
        begin += !quoted;
      }
      s.folder = begin;
      s.folderLength = static_cast<uint32_t>(end - begin);
      return;
    }
    if (p[0] == '/' && p[1] && EndsWord(p[2])) {
      if (letter == 's') s.silent = true;
      if (letter == 'y') s.overwrite = true;
    }
    while (!EndsWord(*p)) ++p;
  }
}

}  // namespace zor
