// The extract-all driver end to end: archives made by the writers, extracted into a scratch folder with a
// scripted front-end.
#include <gtest/gtest.h>

#include "support/extract_fixture.h"

namespace zor {
namespace {

using test::Bytes;
using test::ExtractHarness;
using test::ScratchFolder;
using test::TestArchive;

TEST(ExtractAll, WritesFoldersAndFiles) {
  ScratchFolder dir;
  std::vector<uint8_t> archive =
      TestArchive().Folder("docs").Folder("docs\\empty").File("docs\\a.txt", "alpha").File("b.bin", "bravo").Build();
  ASSERT_FALSE(archive.empty());
  ExtractHarness h(archive);
  h.Target(dir.Engine("out"));
  EXPECT_EQ(h.Run(), 0);
  EXPECT_TRUE(h.frontEnd.messages.empty());
  EXPECT_TRUE(test::IsFolder(dir.Native("out/docs/empty")));
  EXPECT_EQ(test::ReadFile(dir.Native("out/docs/a.txt")), Bytes("alpha"));
  EXPECT_EQ(test::ReadFile(dir.Native("out/b.bin")), Bytes("bravo"));
}

}  // namespace
}  // namespace zor
