// Shell-style patterns over stored paths: which entries extract, test and list take, and which inputs
// create leaves out. Paths are UTF-8 with '/' between components, as the tool shows them.
//
//   *     any run of characters within one component
//   ?     one character, not '/'
//   [set] one character of the set, not '/': "a-z" a range, '!' or '^' first negates, ']' first is itself;
//         a '[' without its ']' is itself
//   **    as a whole component, any number of components, none included ("**/x" finds x at any depth,
//         "a/**" everything below a); elsewhere any run of characters across components ("**.txt")
//
// A backslash in a pattern is a separator, like '/'. A leading "./" or '/' and a trailing '/' are dropped.
// Letters match in either case, as Windows compares names (Unicode simple upper-casing).
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace zor {

class PathPattern {
 public:
  explicit PathPattern(std::string_view text);

  const std::string& text() const { return text_; }
  // Whether the pattern matches the whole of `path`.
  bool Matches(std::string_view path) const;
  // For every i from 0 to the text's length, whether the pattern matches its first i characters (in
  // ends[i]); the text upper-cased, one character each.
  void MatchEnds(std::u32string_view text, std::vector<char>& ends) const;

 private:
  enum class Kind : char { kChar, kAnyChar, kSet, kStar, kAnyRun, kAnyFolders };
  struct Token {
    Kind kind = Kind::kChar;
    bool negated = false;
    char32_t c = 0;                 // kChar
    std::u32string ranges;          // kSet: first and last of each range
  };
  std::string text_;
  std::vector<Token> tokens_;
};

// The entries a command takes: with no include pattern all of them, else those an include pattern matches
// by their own path or by the path of a folder above them (a folder's pattern takes what is in it). Exclude
// patterns take precedence, and match the path or the name of the entry or of a folder above it ("*.o"
// leaves out object files at any depth, "build" every folder named build).
class EntrySelection {
 public:
  EntrySelection(const std::vector<std::string>& include, const std::vector<std::string>& exclude);

  bool SelectsAll() const { return include_.empty() && exclude_.empty(); }
  // Whether the entry at `path` is taken. Notes which include patterns matched it.
  bool Selects(std::string_view path);
  bool Excludes(std::string_view path) const;
  // The include patterns, as given, that have matched no entry taken so far.
  std::vector<std::string> Unmatched() const;

 private:
  std::vector<PathPattern> include_, exclude_;
  std::vector<bool> matched_;
};

// Names each include pattern that selected nothing on `err`, as an error; returns how many there were.
size_t ReportUnmatched(const EntrySelection& selection, std::FILE* err);

}  // namespace zor
