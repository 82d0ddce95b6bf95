// The self-extractor's command-line switches (/S, /Y, /D=) as administrators write them.
#include <gtest/gtest.h>

#include <string>

#include "startup/switches.h"

namespace zor {
namespace {

TEST(Switches, AsInstallersTakeThem) {
  const struct {
    const char* line;
    bool silent, overwrite;
    const char* folder;  // null: no /D=
  } cases[] = {
      {"setup.exe", false, false, nullptr},
      {"\"C:\\My Downloads\\setup.exe\"", false, false, nullptr},
      {"\"C:\\My Downloads\\setup.exe\" /S", true, false, nullptr},
      {"\"C:\\a /S b\\setup.exe\" /y", false, true, nullptr},  // a switch inside the quoted name is not one
      {"setup.exe /s /Y", true, true, nullptr},
      {"setup.exe\t/S\t/D=C:\\Program Files\\App  ", true, false, "C:\\Program Files\\App"},
      {"setup.exe /D=\"C:\\Program Files\\App\" ", false, false, "C:\\Program Files\\App"},
      {"setup.exe /S \"/D=C:\\Program Files\\App\"", true, false, "C:\\Program Files\\App"},
      {"setup.exe /D=\"", false, false, "\""},
      {"setup.exe /D=C:\\x /S", false, false, "C:\\x /S"},  // /D= takes the rest of the line
      {"setup.exe /d=", false, false, ""},
      {"setup.exe /Silent /YES /X /", false, false, nullptr},  // other words are ignored
      {"setup.exe /S/Y", false, false, nullptr},
      {"setup.exe /", false, false, nullptr},
      {"setup.exe /D", false, false, nullptr},
      {"\"unclosed /S", false, false, nullptr},
      {"", false, false, nullptr},
      {"/S /S", true, false, nullptr},  // the first word is the program's name
  };
  for (const auto& c : cases) {
    Switches s;
    ParseSwitches(c.line, s);
    EXPECT_EQ(s.silent, c.silent) << c.line;
    EXPECT_EQ(s.overwrite, c.overwrite) << c.line;
    ASSERT_EQ(s.folder != nullptr, c.folder != nullptr) << c.line;
    if (c.folder) {
      EXPECT_EQ(std::string(s.folder, s.folderLength), c.folder) << c.line;
    }
  }
}

}  // namespace
}  // namespace zor
