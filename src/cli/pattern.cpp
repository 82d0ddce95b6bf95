// Matching shell-style patterns: the pattern becomes a list of tokens, matched against the upper-cased path
// by dynamic programming over (token, character), so no pattern takes more than tokens x characters steps.
#include "cli/pattern.h"

#include "cli/utf8.h"

namespace zor {
namespace {

// The text as upper-cased characters; a byte that is not UTF-8 stands for itself in the low surrogates,
// where no character of a name lies.
std::u32string Characters(std::string_view text) {
  std::u32string out;
  for (size_t at = 0; at < text.size();) {
    const size_t start = at;
    char32_t c;
    if (NextUtf8(text, at, c)) {
      out += UpperCase(c);
    } else {
      out += static_cast<char32_t>(0xDC00 + static_cast<unsigned char>(text[start]));
    }
  }
  return out;
}

// Separators as '/', no doubled ones, no leading "./" or '/', no trailing '/'.
std::u32string Normalise(std::u32string p) {
  std::u32string out;
  for (char32_t c : p) {
    if (c == '\\') c = '/';
    if (c == '/' && !out.empty() && out.back() == '/') continue;
    out += c;
  }
  for (;;) {
    if (out.size() >= 2 && out[0] == '.' && out[1] == '/') {
      out.erase(0, 2);
    } else if (!out.empty() && out[0] == '/') {
      out.erase(0, 1);
    } else {
      break;
    }
  }
  while (!out.empty() && out.back() == '/') out.pop_back();
  return out;
}

// The prefixes of a path that end at a component's end: "a", "a/b", "a/b/c" for "a/b/c".
template <typename Visit>
bool AnyPrefix(std::string_view path, Visit visit) {
  for (size_t end = path.find('/'); end != std::string_view::npos; end = path.find('/', end + 1)) {
    if (visit(path.substr(0, end))) return true;
  }
  return visit(path);
}

}  // namespace

PathPattern::PathPattern(std::string_view text) : text_(text) {
  const std::u32string p = Normalise(Characters(text));
  for (size_t i = 0; i < p.size(); ++i) {
    Token t;
    const char32_t c = p[i];
    if (c == '*') {
      if (i + 1 < p.size() && p[i + 1] == '*') {
        const bool atStart = i == 0 || p[i - 1] == '/';
        while (i + 1 < p.size() && p[i + 1] == '*') ++i;
        if (atStart && i + 1 < p.size() && p[i + 1] == '/') {
          t.kind = Kind::kAnyFolders;  // "**/": the '/' is part of it
          ++i;
        } else {
          t.kind = Kind::kAnyRun;
        }
      } else {
        t.kind = Kind::kStar;
      }
    } else if (c == '?') {
      t.kind = Kind::kAnyChar;
    } else if (c == '[') {
      // The set ends at the first ']' after its first character; without one, '[' is itself.
      size_t j = i + 1;
      if (j < p.size() && (p[j] == '!' || p[j] == '^')) ++j;
      size_t close = p.find(']', j + 1);
      if (j < p.size() && close != std::u32string::npos && p.find('/', j) > close) {
        t.kind = Kind::kSet;
        t.negated = j > i + 1;
        for (size_t k = j; k < close; ++k) {
          const char32_t first = p[k];
          char32_t last = first;
          if (k + 2 < close && p[k + 1] == '-') {
            last = p[k + 2];
            k += 2;
          }
          t.ranges += first;
          t.ranges += last;
        }
        i = close;
      } else {
        t.c = c;
      }
    } else {
      t.c = c;
    }
    tokens_.push_back(std::move(t));
  }
}

bool PathPattern::Matches(std::string_view path) const {
  const std::u32string s = Characters(path);
  const size_t n = s.size();
  // next[i]: the tokens behind the current one match s from i on. Built from the last token back.
  std::vector<char> next(n + 1, 0), here(n + 1, 0);
  next[n] = 1;
  for (size_t t = tokens_.size(); t-- > 0;) {
    const Token& k = tokens_[t];
    bool folders = false;  // kAnyFolders: some j > i behind a '/' where the rest matches
    for (size_t i = n + 1; i-- > 0;) {
      const bool more = i < n;
      const char32_t c = more ? s[i] : 0;
      bool ok = false;
      switch (k.kind) {
        case Kind::kChar:
          ok = more && c == k.c && next[i + 1];
          break;
        case Kind::kAnyChar:
          ok = more && c != '/' && next[i + 1];
          break;
        case Kind::kSet: {
          bool in = false;
          for (size_t r = 0; r + 1 < k.ranges.size(); r += 2) in = in || (c >= k.ranges[r] && c <= k.ranges[r + 1]);
          ok = more && c != '/' && in != k.negated && next[i + 1];
          break;
        }
        case Kind::kStar:
          ok = next[i] || (more && c != '/' && here[i + 1]);
          break;
        case Kind::kAnyRun:
          ok = next[i] || (more && here[i + 1]);
          break;
        case Kind::kAnyFolders:
          folders = folders || (more && c == '/' && next[i + 1]);
          ok = next[i] || folders;
          break;
      }
      here[i] = ok;
    }
    next.swap(here);
  }
  return next[0] != 0;
}

EntrySelection::EntrySelection(const std::vector<std::string>& include, const std::vector<std::string>& exclude)
    : matched_(include.size(), false) {
  for (const std::string& p : include) include_.emplace_back(p);
  for (const std::string& p : exclude) exclude_.emplace_back(p);
}

bool EntrySelection::Excludes(std::string_view path) const {
  for (const PathPattern& p : exclude_) {
    if (AnyPrefix(path, [&](std::string_view prefix) {
          return p.Matches(prefix) || p.Matches(prefix.substr(prefix.rfind('/') + 1));
        }))
      return true;
  }
  return false;
}

bool EntrySelection::Selects(std::string_view path) {
  if (Excludes(path)) return false;
  if (include_.empty()) return true;
  bool taken = false;
  for (size_t i = 0; i < include_.size(); ++i) {
    if (AnyPrefix(path, [&](std::string_view prefix) { return include_[i].Matches(prefix); })) {
      matched_[i] = true;
      taken = true;
    }
  }
  return taken;
}

std::vector<std::string> EntrySelection::Unmatched() const {
  std::vector<std::string> out;
  for (size_t i = 0; i < include_.size(); ++i) {
    if (!matched_[i]) out.push_back(include_[i].text());
  }
  return out;
}

size_t ReportUnmatched(const EntrySelection& selection, std::FILE* err) {
  const std::vector<std::string> unmatched = selection.Unmatched();
  for (const std::string& pattern : unmatched) std::fprintf(err, "zor: no entry matches \"%s\"\n", pattern.c_str());
  return unmatched.size();
}

}  // namespace zor
