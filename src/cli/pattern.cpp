// Matching shell-style patterns: the pattern becomes a list of tokens, matched against the upper-cased path
// by dynamic programming over (token, character), so no pattern takes more than tokens x characters steps,
// and one pass tells every prefix of the path that it matches.
#include "cli/pattern.h"

#include "cli/host_files.h"
#include "encoder/utf8.h"

namespace zor {
namespace {

// The text as upper-cased characters, as Windows compares names; a byte that is not UTF-8 stands for
// itself in the low surrogates, where no character of a name lies.
std::u32string Characters(std::string_view original) {
  const std::string text = HostFoldCase(original);
  std::u32string out;
  for (size_t at = 0; at < text.size();) {
    const size_t start = at;
    char32_t c;
    if (NextUtf8(text, at, c)) {
      out += c;
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

void PathPattern::MatchEnds(std::u32string_view s, std::vector<char>& ends) const {
  const size_t n = s.size();
  // reach[i]: the tokens so far match s[0, i). Token by token, forward over the text.
  std::vector<char> reach(n + 1, 0), next(n + 1, 0);
  reach[0] = 1;
  for (const Token& k : tokens_) {
    bool any = false;
    bool before = false;  // kAnyFolders: reach[j] for some j < i
    for (size_t i = 0; i <= n; ++i) {
      const bool after = i > 0;  // s[i - 1] is the character the token may take
      const char32_t c = after ? s[i - 1] : 0;
      bool ok = false;
      switch (k.kind) {
        case Kind::kChar:
          ok = after && reach[i - 1] && c == k.c;
          break;
        case Kind::kAnyChar:
          ok = after && reach[i - 1] && c != '/';
          break;
        case Kind::kSet: {
          bool in = false;
          for (size_t r = 0; r + 1 < k.ranges.size(); r += 2) in = in || (c >= k.ranges[r] && c <= k.ranges[r + 1]);
          ok = after && reach[i - 1] && c != '/' && in != k.negated;
          break;
        }
        case Kind::kStar:
          ok = reach[i] || (after && next[i - 1] && c != '/');
          break;
        case Kind::kAnyRun:
          ok = reach[i] || (after && next[i - 1]);
          break;
        case Kind::kAnyFolders:
          ok = reach[i] || (after && c == '/' && before);
          before = before || reach[i];
          break;
      }
      next[i] = ok;
      any = any || ok;
    }
    reach.swap(next);
    if (!any) break;  // nothing left to extend
  }
  ends.swap(reach);
}

bool PathPattern::Matches(std::string_view path) const {
  const std::u32string s = Characters(path);
  std::vector<char> ends;
  MatchEnds(s, ends);
  return ends[s.size()] != 0;
}

EntrySelection::EntrySelection(const std::vector<std::string>& include, const std::vector<std::string>& exclude)
    : matched_(include.size(), false) {
  for (const std::string& p : include) include_.emplace_back(p);
  for (const std::string& p : exclude) exclude_.emplace_back(p);
}

namespace {

// Whether the pattern matches the path up to one of its components' ends.
bool MatchesPrefix(const PathPattern& p, std::u32string_view s, std::vector<char>& ends) {
  p.MatchEnds(s, ends);
  for (size_t i = 1; i <= s.size(); ++i) {
    if (ends[i] && (i == s.size() || s[i] == '/')) return true;
  }
  return false;
}

// Whether the pattern matches a component of the path whole.
bool MatchesName(const PathPattern& p, std::u32string_view s, std::vector<char>& ends) {
  for (size_t start = 0; start <= s.size();) {
    size_t end = s.find(U'/', start);
    if (end == std::u32string_view::npos) end = s.size();
    p.MatchEnds(s.substr(start, end - start), ends);
    if (ends[end - start]) return true;
    start = end + 1;
  }
  return false;
}

bool ExcludedBy(const std::vector<PathPattern>& exclude, std::u32string_view s) {
  std::vector<char> ends;
  for (const PathPattern& p : exclude) {
    if (MatchesPrefix(p, s, ends) || MatchesName(p, s, ends)) return true;
  }
  return false;
}

}  // namespace

bool EntrySelection::Excludes(std::string_view path) const { return ExcludedBy(exclude_, Characters(path)); }

bool EntrySelection::Selects(std::string_view path) {
  const std::u32string s = Characters(path);
  if (ExcludedBy(exclude_, s)) return false;
  if (include_.empty()) return true;
  std::vector<char> ends;
  bool taken = false;
  for (size_t i = 0; i < include_.size(); ++i) {
    if (MatchesPrefix(include_[i], s, ends)) {
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
