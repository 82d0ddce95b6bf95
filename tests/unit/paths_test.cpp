// Path work of the extraction: 8.3 shortening of components and whole paths, folder creation with missing
// parents, and the byte scans.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "extract/extraction.h"
#include "extract/paths.h"
#include "support/extract_fixture.h"
#include "support/test_extraction.h"

namespace zor {
namespace {

using test::ScratchFolder;

std::string ShortComponent(const std::string& component) {
  char out[300];
  char* end = ShortenComponent(out, component.data(), component.data() + component.size());
  return std::string(out, end);
}

TEST(ShortenComponent, KeepsEightAndThreeCharacters) {
  EXPECT_EQ(ShortComponent("LongFileName.text"), "LongFile.tex");
  EXPECT_EQ(ShortComponent("My Documents"), "MyDocume");
  EXPECT_EQ(ShortComponent("readme.txt"), "readme.txt");
  EXPECT_EQ(ShortComponent("ABCDEFGH.IJK"), "ABCDEFGH.IJK");
}

TEST(ShortenComponent, OnlyTheLastPeriodStartsTheExtension) {
  EXPECT_EQ(ShortComponent("a.b.c"), "ab.c");
  EXPECT_EQ(ShortComponent(".profile"), ".pro");  // empty base
  EXPECT_EQ(ShortComponent("abc."), "abc.");      // the trailing period stays
  EXPECT_EQ(ShortComponent(".."), ".");
  EXPECT_EQ(ShortComponent("..."), ".");
  EXPECT_EQ(ShortComponent("archive.tar.gz"), "archivet.gz");
}

TEST(ShortenComponent, DropsOnlyTheListedCharacters) {
  EXPECT_EQ(ShortComponent("a b:c*d?e\"f<g>h|i/j"), "abcdefgh");
  EXPECT_EQ(ShortComponent("x.t :*?\"<>|/xt"), "x.txt");
  EXPECT_EQ(ShortComponent(" :*?"), "");  // nothing left, no period
  // Lower case, bytes above 127 and what 8.3 names would not accept otherwise all stay.
  EXPECT_EQ(ShortComponent("a+b,c;d=.[]"), "a+b,c;d=.[]");
  EXPECT_EQ(ShortComponent("\xe9t\xe9.\xe0\xe0\xe0\xe0"), "\xe9t\xe9.\xe0\xe0\xe0");
}

TEST(ShortenComponent, RewritesInPlace) {
  char text[] = "Some Long Name.text";
  char* end = ShortenComponent(text, text, text + std::strlen(text));
  EXPECT_EQ(std::string(text, end), "SomeLong.tex");
}

class ShortenPathTest : public ::testing::Test {
 protected:
  std::string Shorten(const std::string& path, bool shortNames = true) {
    x_->shortNames = shortNames;
    char buffer[kTargetFolderSize] = {};
    std::memcpy(buffer, path.data(), path.size() < sizeof buffer ? path.size() : sizeof buffer);
    ShortenPath(*x_, buffer);
    return std::string(buffer, strnlen(buffer, sizeof buffer));
  }

  std::unique_ptr<Extraction> x_ = test::MakeTestExtraction(nullptr);
};

TEST_F(ShortenPathTest, LeavesEveryPathAloneWithoutShortNames) {
  const std::string path = "C:\\Program Files\\Some Folder\\..\\read me.text";
  EXPECT_EQ(Shorten(path, false), path);
  const std::string longest = "C:\\" + std::string(256, 'x');
  EXPECT_EQ(Shorten(longest, false), longest);
}

TEST_F(ShortenPathTest, ShortensEveryComponentBehindTheDrive) {
  EXPECT_EQ(Shorten("C:\\Program Files\\Some Folder\\readme.text"), "C:\\ProgramF\\SomeFold\\readme.tex");
  EXPECT_EQ(Shorten("C:Long Name.text"), "C:LongName.tex");  // relative to the drive's folder
  EXPECT_EQ(Shorten("Long Folder\\Long File.text"), "LongFold\\LongFile.tex");
  EXPECT_EQ(Shorten("C:\\Long Folder\\"), "C:\\LongFold\\");
}

TEST_F(ShortenPathTest, KeepsTheLeadingBackslashesOfARootOrANetworkName) {
  EXPECT_EQ(Shorten("\\\\server name\\share name\\file name.text"), "\\\\serverna\\sharenam\\filename.tex");
  EXPECT_EQ(Shorten("\\Long Folder"), "\\LongFold");
}

TEST_F(ShortenPathTest, EmptyComponentsStayEmpty) {
  EXPECT_EQ(Shorten("C:\\a\\\\b"), "C:\\a\\\\b");
  EXPECT_EQ(Shorten("C:\\?*\\file"), "C:\\\\file");  // a component of dropped characters only
  EXPECT_EQ(Shorten("C:\\dir\\.."), "C:\\dir\\.");
}

TEST_F(ShortenPathTest, AColonInARelativeNameStartsTheConversion) {
  // The first colon is taken for a drive's, so what stands in front of it is left alone.
  EXPECT_EQ(Shorten("Long Folder\\odd:Long Name.text"), "Long Folder\\odd:LongName.tex");
  EXPECT_EQ(Shorten("a:b:c d"), "a:bcd");
}

TEST_F(ShortenPathTest, ShorteningAShortPathChangesNothing) {
  const std::string once = Shorten("C:\\Program Files\\a.b.c\\.profile\\x y.text");
  EXPECT_EQ(once, "C:\\ProgramF\\ab.c\\.pro\\xy.tex");
  EXPECT_EQ(Shorten(once), once);
}

TEST_F(ShortenPathTest, APathNotTerminatedWithinItsBufferIsLeftAlone) {
  x_->shortNames = true;
  char buffer[kTargetFolderSize];
  std::memset(buffer, 'a', sizeof buffer);
  buffer[3] = ' ';
  buffer[kTargetFolderSize - 1] = 0;  // 261 characters
  ShortenPath(*x_, buffer);
  EXPECT_EQ(buffer[3], ' ');
  // 259 characters are shortened.
  std::string longest = "C:\\" + std::string(200, 'a') + "\\" + std::string(55, 'b');
  ASSERT_EQ(longest.size(), kMaxPathLength);
  EXPECT_EQ(Shorten(longest), "C:\\aaaaaaaa\\bbbbbbbb");
}

TEST(FindChar, SearchesUpToAndIncludingTheTerminator) {
  const char text[] = "a\\b\\c";
  EXPECT_EQ(FindChar(text, '\\'), text + 1);
  EXPECT_EQ(FindLastChar(text, '\\'), text + 3);
  EXPECT_EQ(FindChar(text, 0), text + 5);
  EXPECT_EQ(FindLastChar(text, 0), text + 5);
  EXPECT_EQ(FindChar(text, ':'), nullptr);
  EXPECT_EQ(FindLastChar(text, ':'), nullptr);
  EXPECT_EQ(FindByte(text, 'c', 5), text + 4);
  EXPECT_EQ(FindByte(text, 'c', 4), nullptr);
  EXPECT_EQ(FindByte(text, 'a', 0), nullptr);
}

// CreateFolderPath against the POSIX file layer, which takes backslashes as separators.
class CreateFolderPathTest : public ::testing::Test {
 protected:
  int Create(const std::string& native) {
    layer_.lastSystemError = 0;
    return CreateFolderPath(layer_, test::EnginePath(native).c_str());
  }

  ScratchFolder dir_;
  FileLayer layer_{};
};

TEST_F(CreateFolderPathTest, CreatesMissingParentsTwoLevelsUp) {
  EXPECT_EQ(Create(dir_.Native("a/b/c")), 1);
  EXPECT_TRUE(test::IsFolder(dir_.Native("a/b/c")));
  EXPECT_EQ(Create(dir_.Native("a/x/y/")), 1);  // a trailing backslash
  EXPECT_TRUE(test::IsFolder(dir_.Native("a/x/y")));
}

TEST_F(CreateFolderPathTest, WhatExistsCountsAsCreated) {
  ASSERT_EQ(mkdir(dir_.Native("folder").c_str(), 0755), 0);
  test::WriteFile(dir_.Native("file"), "x");
  EXPECT_EQ(Create(dir_.Native("folder")), 1);
  EXPECT_EQ(Create(dir_.Native("file")), 1);  // a file of that name counts too
  EXPECT_EQ(layer_.lastSystemError, 0u);
  EXPECT_EQ(Create(""), 1);
  EXPECT_EQ(Create("/"), 1);  // a bare root: nothing is tried
}

TEST_F(CreateFolderPathTest, AFailureIsToldByTheDeepestFolderNotByTheNamesAboveIt) {
  // The climb reaches the file, which the platform calls "already exists" (no text of its own): the
  // failure is the first one, a path that cannot be found.
  test::WriteFile(dir_.Native("file"), "x");
  EXPECT_EQ(Create(dir_.Native("file/sub/deeper")), 0);
  EXPECT_EQ(layer_.lastSystemError, kSystemErrorPathNotFound);
  EXPECT_FALSE(test::Exists(dir_.Native("file/sub")));
  EXPECT_EQ(Create(dir_.Native("file/sub")), 0);
  EXPECT_EQ(layer_.lastSystemError, kSystemErrorPathNotFound);
}

TEST_F(CreateFolderPathTest, DotComponentsNameTheFolderTheyStandIn) {
  EXPECT_EQ(Create(dir_.Native("a/./b/.")), 1);
  EXPECT_TRUE(test::IsFolder(dir_.Native("a/b")));
}

TEST_F(CreateFolderPathTest, AReadOnlyParentFails) {
  std::string parent = dir_.Native("locked");
  if (geteuid() == 0) {
    // Permissions do not stop root; a kernel file system that refuses new folders does.
    if (mkdir("/sys/zor-probe", 0755) == 0) {
      rmdir("/sys/zor-probe");
      GTEST_SKIP() << "no folder here refuses root";
    }
    if (errno != EPERM && errno != EACCES && errno != EROFS) GTEST_SKIP() << "no folder here refuses root";
    parent = "/sys";
  } else {
    ASSERT_EQ(mkdir(parent.c_str(), 0555), 0);
  }
  EXPECT_EQ(Create(parent + "/new/deeper"), 0);
  EXPECT_FALSE(test::Exists(parent + "/new"));
  EXPECT_NE(layer_.lastSystemError, 0u);
}

TEST_F(CreateFolderPathTest, PathsOf260CharactersAreRefusedWithoutTouchingTheDisk) {
  std::string path = dir_.Native("");
  while (path.size() + 51 <= kMaxPathLength) path += "/" + std::string(50, 'd');
  path += "/" + std::string(kMaxPathLength - path.size() - 1, 'e');
  ASSERT_EQ(path.size(), kMaxPathLength);
  EXPECT_EQ(Create(path + "x"), 0);
  EXPECT_EQ(layer_.lastSystemError, kSystemErrorBadPathname);
  EXPECT_FALSE(test::Exists(dir_.Native(std::string(50, 'd'))));
  EXPECT_EQ(Create(path), 1);
  EXPECT_TRUE(test::IsFolder(path));
  EXPECT_EQ(Create(path + "\\"), 0);  // 260 characters, even though the last is a backslash
}

}  // namespace
}  // namespace zor
