// The pattern rules of entry selection: one row per rule, each path tried as an include pattern (extract,
// test, list) and as an exclude pattern (those and create).
#include <gtest/gtest.h>

#include "cli/pattern.h"

namespace zor {
namespace {

TEST(EntrySelection, PatternRules) {
  struct Row {
    const char* pattern;
    const char* path;
    bool included;  // EntrySelection({pattern}, {}) takes the path
    bool excluded;  // EntrySelection({}, {pattern}) leaves it out
  };
  static const Row kRows[] = {
      // '*' and '?' stay within a component; an exclude also matches names at any depth.
      {"*.txt", "a.txt", true, true},
      {"*.txt", "docs/a.txt", false, true},
      {"docs/*.txt", "docs/sub/a.txt", false, false},
      {"?.txt", "a.txt", true, true},
      {"?.txt", "ab.txt", false, false},
      {"a?b", "a/b", false, false},
      {"src/*.o", "lib/src/a.o", false, false},
      // '**' as a component spans any number of them, none included; elsewhere any run across them.
      {"**/*.txt", "a.txt", true, true},
      {"**/*.txt", "docs/sub/a.txt", true, true},
      {"a/**/b", "a/b", true, true},
      {"a/**/b", "a/x/y/b", true, true},
      {"a/**/b", "ab", false, false},
      {"a/**", "a/x/y", true, true},
      {"a/**", "a", false, false},
      {"**.txt", "docs/sub/a.txt", true, true},
      {"***", "a/b", true, true},
      // A folder's pattern takes everything in it, at component boundaries only.
      {"docs", "docs/sub/a.txt", true, true},
      {"docs/*", "docs/sub/a.txt", true, true},
      {"doc", "docs/a.txt", false, false},
      {"build", "src/build/x.o", false, true},
      // Case as Windows ignores it, beyond ASCII too.
      {"DOCS/README.TXT", "docs/readme.txt", true, true},
      {"\xD0\x9F\xD0\xA0\xD0\x98*", "\xD0\xBF\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82.txt", true, true},  // ПРИ*, привет
      {"\xC3\x84*", "\xC3\xA4pfel", true, true},  // Ä*, äpfel
      // Sets; a '[' without its ']' is itself.
      {"[a-c]*.log", "B1.log", true, true},
      {"[!a-c]*.log", "b1.log", false, false},
      {"[]x]", "]", true, true},
      {"[x", "[x", true, true},
      {"a[/]b", "a/b", false, false},
      // Backslashes are separators; a leading "./" or '/' and a trailing '/' go.
      {"./docs\\a.txt", "docs/a.txt", true, true},
      {"/docs/", "docs/a.txt", true, true},
      {"docs//a.txt", "docs/a.txt", true, true},
      {"", "a", false, false},
  };
  for (const Row& r : kRows) {
    EntrySelection include({r.pattern}, {});
    EntrySelection exclude({}, {r.pattern});
    EXPECT_EQ(include.Selects(r.path), r.included) << r.pattern << " on " << r.path;
    EXPECT_EQ(!exclude.Selects(r.path), r.excluded) << "excluding " << r.pattern << " from " << r.path;
  }
}

TEST(EntrySelection, ExcludesWinAndUnmatchedPatternsAreNamed) {
  EntrySelection s({"docs", "*.md", "**/*.tmp"}, {"*.tmp"});
  EXPECT_TRUE(s.Selects("docs/a.txt"));
  EXPECT_FALSE(s.Selects("docs/b.tmp"));
  EXPECT_FALSE(s.Selects("readme.txt"));
  // "**/*.tmp" matched only entries that were left out: it took nothing.
  EXPECT_EQ(s.Unmatched(), (std::vector<std::string>{"*.md", "**/*.tmp"}));
}

}  // namespace
}  // namespace zor
