// The extract-all driver end to end: archives made by the writers, extracted into a scratch folder with a
// scripted front-end; what lands on disk, what is asked and shown, and what the walk does after each problem.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "extract/paths.h"
#include "platform/bytes.h"
#include "support/extract_fixture.h"

namespace zor {
namespace {

using test::Bytes;
using test::ExtractHarness;
using test::ScratchFolder;
using test::TestArchive;

constexpr char kDamagedText[] = "Archive data is damaged, probably caused by\na corrupt disk or download error";

// Every path under a native folder, relative to it, sorted.
std::vector<std::string> Tree(const std::string& native) {
  std::vector<std::string> out;
  for (const auto& e : std::filesystem::recursive_directory_iterator(native))
    out.push_back(std::filesystem::relative(e.path(), native).string());
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<EntryOutcome> Outcomes(const test::RecordingFrontEnd& fe) {
  std::vector<EntryOutcome> out;
  for (const auto& f : fe.finished) out.push_back(f.second);
  return out;
}

std::vector<uint8_t> Pattern(uint32_t size) {
  std::vector<uint8_t> v(size);
  uint32_t s = 12345;
  for (auto& b : v) b = static_cast<uint8_t>((s = s * 1103515245u + 12345u) >> 24);
  return v;
}

// The walk released what it obtained.
void ExpectBuffersReleased(Extraction& x) {
  EXPECT_EQ(x.decoder.bitReader.buffer, nullptr);
  EXPECT_EQ(x.directory.directoryBuffer, nullptr);
  EXPECT_EQ(x.decoder.segment.window, nullptr);
  EXPECT_FALSE(x.extracting);
}

// Runs with the current folder somewhere else, for targets relative to it.
class InFolder {
 public:
  explicit InFolder(const std::string& native) : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(native);
  }
  ~InFolder() { std::filesystem::current_path(previous_); }

 private:
  std::filesystem::path previous_;
};

// ---- The walk ----

TEST(ExtractAll, FoldersFirstThenFilesInNestedFolders) {
  ScratchFolder dir;
  ExtractHarness h(TestArchive()
                       .Folder("docs")
                       .Folder("docs\\empty")
                       .Folder("a\\b\\c")  // parents not listed
                       .File("docs\\a.txt", "alpha")
                       .File("x\\y\\z.bin", "zulu")  // its folder is not listed: made on the retry
                       .File("top.txt", "top")
                       .Build());
  h.Target(dir.Engine("out") + "\\");
  EXPECT_EQ(h.Run(), 0);
  EXPECT_TRUE(h.frontEnd.messages.empty());
  EXPECT_TRUE(test::IsFolder(dir.Native("out/docs/empty")));
  EXPECT_TRUE(test::IsFolder(dir.Native("out/a/b/c")));
  EXPECT_EQ(test::ReadFile(dir.Native("out/docs/a.txt")), Bytes("alpha"));
  EXPECT_EQ(test::ReadFile(dir.Native("out/x/y/z.bin")), Bytes("zulu"));
  EXPECT_EQ(test::ReadFile(dir.Native("out/top.txt")), Bytes("top"));

  EXPECT_EQ(h.frontEnd.statuses,
            (std::vector<std::string>{"Extracting docs\\a.txt", "Extracting x\\y\\z.bin", "Extracting top.txt"}));
  EXPECT_EQ(h.frontEnd.started, (std::vector<std::string>{"docs", "docs\\empty", "a\\b\\c", "docs\\a.txt",
                                                          "x\\y\\z.bin", "top.txt"}));
  EXPECT_EQ(Outcomes(h.frontEnd), std::vector<EntryOutcome>(6, EntryOutcome::kDone));
  // Once before each file's decoding and once after every entry.
  EXPECT_EQ(h.frontEnd.pumpCount, 3 + 6);
  // The folder text ends as the last full path.
  EXPECT_EQ(std::string(h.x().options.targetFolder), dir.Engine("out/top.txt"));
  ExpectBuffersReleased(h.x());
}

TEST(ExtractAll, ManyFilesOverSeveralSegmentsAndDirectoryChunks) {
  ScratchFolder dir;
  TestArchive archive;
  for (int s = 0; s < 3; ++s) {
    for (int i = 0; i < 150; ++i) {
      const std::string name = "segment" + std::to_string(s) + "\\file" + std::to_string(i) + ".dat";
      archive.File(name, Pattern(static_cast<uint32_t>(37 * i + s)));
    }
    archive.NextSegment();
  }
  ExtractHarness h(archive.Build());
  h.Target(dir.Engine("out"));
  EXPECT_EQ(h.Run(), 0);
  EXPECT_TRUE(h.frontEnd.messages.empty());
  ASSERT_EQ(h.frontEnd.finished.size(), 450u);
  for (int s = 0; s < 3; ++s) {
    for (int i = 0; i < 150; i += 7) {
      const std::string name = "out/segment" + std::to_string(s) + "/file" + std::to_string(i) + ".dat";
      EXPECT_EQ(test::ReadFile(dir.Native(name)), Pattern(static_cast<uint32_t>(37 * i + s))) << name;
    }
  }
}

TEST(ExtractAll, AnEmptyFileIsCreatedAndPassesItsCheck) {
  ScratchFolder dir;
  TestArchive archive;
  archive.File("empty.txt", "");
  EXPECT_EQ(archive.Last().crc, 0u);
  ExtractHarness h(archive.Build());
  h.Target(dir.Engine("out"));
  EXPECT_EQ(h.Run(), 0);
  EXPECT_TRUE(h.frontEnd.messages.empty());
  EXPECT_TRUE(test::Exists(dir.Native("out/empty.txt")));
  EXPECT_TRUE(test::ReadFile(dir.Native("out/empty.txt")).empty());
}

TEST(ExtractAll, RestoresTheLastWriteTimeAndReadOnly) {
  ScratchFolder dir;
  TestArchive archive;
  archive.File("dated.txt", "d");
  archive.Last().writeDate = static_cast<uint16_t>((41 << 9) | (3 << 5) | 14);  // 2021-03-14
  archive.Last().writeTime = static_cast<uint16_t>((15 << 11) | (26 << 5) | 29);  // 15:26:58
  archive.Last().createDate = archive.Last().writeDate;
  archive.File("locked.txt", "r", encoder::kAttributeArchive | kAttributeReadOnly);
  archive.File("hidden.txt", "h", kAttributeHidden | kAttributeSystem);
  archive.File("undated.txt", "u");  // a zero date leaves the time alone
  ExtractHarness h(archive.Build());
  h.Target(dir.Engine("out"));
  const time_t before = time(nullptr);
  EXPECT_EQ(h.Run(), 0);
  EXPECT_TRUE(h.frontEnd.messages.empty());

  struct tm local = {};
  local.tm_year = 121;
  local.tm_mon = 2;
  local.tm_mday = 14;
  local.tm_hour = 15;
  local.tm_min = 26;
  local.tm_sec = 58;
  local.tm_isdst = -1;
  struct stat st;
  ASSERT_EQ(stat(dir.Native("out/dated.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, mktime(&local));
  EXPECT_NE(st.st_mode & S_IWUSR, 0u);
  ASSERT_EQ(stat(dir.Native("out/locked.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0222, 0u);
  EXPECT_EQ(test::ReadFile(dir.Native("out/locked.txt")), Bytes("r"));
  EXPECT_EQ(test::ReadFile(dir.Native("out/hidden.txt")), Bytes("h"));
  ASSERT_EQ(stat(dir.Native("out/undated.txt").c_str(), &st), 0);
  EXPECT_GE(st.st_mtime, before - 1);
}

TEST(ExtractAll, AFolderEntryOverAnExistingFileCountsAsCreated) {
  ScratchFolder dir;
  ASSERT_EQ(mkdir(dir.Native("out").c_str(), 0755), 0);
  test::WriteFile(dir.Native("out/docs"), "a file");
  ExtractHarness h(TestArchive().Folder("docs").File("next.txt", "n").Build());
  h.Target(dir.Engine("out"));
  EXPECT_EQ(h.Run(), 0);
  EXPECT_TRUE(h.frontEnd.messages.empty());
  EXPECT_EQ(test::ReadFile(dir.Native("out/docs")), Bytes("a file"));
  EXPECT_EQ(test::ReadFile(dir.Native("out/next.txt")), Bytes("n"));
}

TEST(ExtractAll, AFolderThatCannotBeCreatedEndsTheExtraction) {
  ScratchFolder dir;
  ASSERT_EQ(mkdir(dir.Native("out").c_str(), 0755), 0);
  test::WriteFile(dir.Native("out/blocker"), "");
  ExtractHarness h(
      TestArchive().File("first.txt", "1").Folder("blocker\\sub").File("last.txt", "2").Build());
  h.Target(dir.Engine("out"));
  EXPECT_EQ(h.Run(), 0);
  ASSERT_EQ(h.frontEnd.messages.size(), 1u);
  EXPECT_EQ(h.frontEnd.messages[0].text.rfind("Cannot create folder " + dir.Engine("out/blocker/sub"), 0), 0u);
  EXPECT_EQ(h.frontEnd.messages[0].kind, Notice::kFailure);
  EXPECT_EQ(h.frontEnd.messages[0].owner, h.dialog);
  EXPECT_TRUE(test::Exists(dir.Native("out/first.txt")));
  EXPECT_FALSE(test::Exists(dir.Native("out/last.txt")));
  EXPECT_EQ(Outcomes(h.frontEnd), (std::vector<EntryOutcome>{EntryOutcome::kDone, EntryOutcome::kFailed}));
  ExpectBuffersReleased(h.x());
}

// ---- Replacing existing files ----

class OverwriteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(mkdir(dir_.Native("out").c_str(), 0755), 0);
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) test::WriteFile(dir_.Native("out/") + name, "old");
    h_ = std::make_unique<ExtractHarness>(
        TestArchive().File("a.txt", "new a").File("b.txt", "new b").File("c.txt", "new c").File("d.txt", "d")
            .Build());
    h_->Target(dir_.Engine("out"));
  }
  std::string Content(const char* name) {
    std::vector<uint8_t> bytes = test::ReadFile(dir_.Native("out/") + name);
    return std::string(bytes.begin(), bytes.end());
  }

  ScratchFolder dir_;
  std::unique_ptr<ExtractHarness> h_;
};

TEST_F(OverwriteTest, NoKeepsTheFileAndTheWalkGoesOn) {
  h_->frontEnd.overwriteAnswers = {OverwriteAnswer::kNo, OverwriteAnswer::kYes, OverwriteAnswer::kNo};
  EXPECT_EQ(h_->Run(), 0);
  EXPECT_EQ(h_->frontEnd.overwriteQuestions,
            (std::vector<std::string>{dir_.Engine("out/a.txt"), dir_.Engine("out/b.txt"),
                                      dir_.Engine("out/c.txt")}));
  EXPECT_EQ(Content("a.txt"), "old");
  EXPECT_EQ(Content("b.txt"), "new b");
  EXPECT_EQ(Content("c.txt"), "old");
  EXPECT_EQ(Content("d.txt"), "d");
  EXPECT_EQ(Outcomes(h_->frontEnd), (std::vector<EntryOutcome>{EntryOutcome::kSkipped, EntryOutcome::kDone,
                                                               EntryOutcome::kSkipped, EntryOutcome::kDone}));
  EXPECT_EQ(h_->frontEnd.statuses, (std::vector<std::string>{"Extracting b.txt", "Extracting d.txt"}));
  EXPECT_TRUE(h_->frontEnd.messages.empty());
}

TEST_F(OverwriteTest, YesReplacesAndAQuestionThatCouldNotBeAskedCountsAsYes) {
  h_->frontEnd.overwriteAnswers = {OverwriteAnswer::kYes, OverwriteAnswer::kNotAsked, OverwriteAnswer::kYes};
  EXPECT_EQ(h_->Run(), 0);
  EXPECT_EQ(h_->frontEnd.overwriteQuestions.size(), 3u);
  EXPECT_EQ(Content("a.txt"), "new a");
  EXPECT_EQ(Content("b.txt"), "new b");
  EXPECT_EQ(Content("c.txt"), "new c");
  EXPECT_FALSE(h_->x().options.overwriteWithoutPrompting);
}

TEST_F(OverwriteTest, YesToAllStopsTheQuestions) {
  h_->frontEnd.overwriteAnswers = {OverwriteAnswer::kYesToAll};
  h_->frontEnd.defaultOverwriteAnswer = OverwriteAnswer::kNo;  // would keep the files if asked again
  EXPECT_EQ(h_->Run(), 0);
  EXPECT_EQ(h_->frontEnd.overwriteQuestions.size(), 1u);
  EXPECT_EQ(Content("a.txt"), "new a");
  EXPECT_EQ(Content("b.txt"), "new b");
  EXPECT_EQ(Content("c.txt"), "new c");
  EXPECT_TRUE(h_->x().options.overwriteWithoutPrompting);
}

TEST_F(OverwriteTest, APresetChoiceAsksNothing) {
  h_->x().options.overwriteWithoutPrompting = true;
  h_->frontEnd.defaultOverwriteAnswer = OverwriteAnswer::kNo;
  EXPECT_EQ(h_->Run(), 0);
  EXPECT_TRUE(h_->frontEnd.overwriteQuestions.empty());
  EXPECT_EQ(Content("c.txt"), "new c");
}

TEST_F(OverwriteTest, AReadOnlyFileIsNotMadeWritable) {
  ASSERT_EQ(chmod(dir_.Native("out/a.txt").c_str(), 0444), 0);
  EXPECT_EQ(h_->Run(), 0);  // answered Yes
  ASSERT_EQ(h_->frontEnd.messages.size(), 1u);
  EXPECT_EQ(h_->frontEnd.messages[0].text, "Cannot create " + dir_.Engine("out/a.txt") + "\nAccess denied");
  EXPECT_EQ(h_->frontEnd.messages[0].kind, Notice::kFailureOrGoOn);
  EXPECT_EQ(Content("a.txt"), "old");
  EXPECT_EQ(Content("b.txt"), "new b");  // OK goes on
  EXPECT_EQ(h_->frontEnd.finished[0].second, EntryOutcome::kFailed);
}

TEST_F(OverwriteTest, ALinkIsAskedAboutAndReplacedNeverWrittenThrough) {
  // A dangling link and a link to a file outside: both are there, both are asked about, and Yes replaces
  // the link itself.
  test::WriteFile(dir_.Native("outside"), "outside");
  ASSERT_EQ(remove(dir_.Native("out/a.txt").c_str()), 0);
  ASSERT_EQ(symlink(dir_.Native("outside").c_str(), dir_.Native("out/a.txt").c_str()), 0);
  ASSERT_EQ(symlink(dir_.Native("missing").c_str(), dir_.Native("out/d.txt").c_str()), 0);
  EXPECT_EQ(h_->Run(), 0);
  EXPECT_EQ(h_->frontEnd.overwriteQuestions.size(), 4u);
  EXPECT_EQ(Content("a.txt"), "new a");
  EXPECT_EQ(Content("d.txt"), "d");
  struct stat st;
  ASSERT_EQ(lstat(dir_.Native("out/a.txt").c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(test::ReadFile(dir_.Native("outside")), Bytes("outside"));
  EXPECT_FALSE(test::Exists(dir_.Native("missing")));
}

TEST_F(OverwriteTest, AFolderWhereAFileGoesIsNotAskedAboutAndCannotBeCreated) {
  ASSERT_EQ(remove(dir_.Native("out/b.txt").c_str()), 0);
  ASSERT_EQ(mkdir(dir_.Native("out/b.txt").c_str(), 0755), 0);
  h_->x().options.overwriteWithoutPrompting = true;
  h_->frontEnd.messageAnswers = {NoticeAnswer::kCancel};
  EXPECT_EQ(h_->Run(), 0);
  ASSERT_EQ(h_->frontEnd.messages.size(), 1u);
  EXPECT_EQ(h_->frontEnd.messages[0].text, "Cannot create " + dir_.Engine("out/b.txt") + "\nAccess denied");
  EXPECT_EQ(h_->frontEnd.messages[0].kind, Notice::kFailureOrGoOn);
  EXPECT_TRUE(test::IsFolder(dir_.Native("out/b.txt")));
  EXPECT_EQ(Content("a.txt"), "new a");
  EXPECT_EQ(Content("c.txt"), "old");  // Cancel ended the walk
  EXPECT_FALSE(test::Exists(dir_.Native("out/d.txt")));
}

TEST_F(OverwriteTest, AFolderWhereAFileGoesIsOfferedOkToGoOn) {
  ASSERT_EQ(remove(dir_.Native("out/b.txt").c_str()), 0);
  ASSERT_EQ(mkdir(dir_.Native("out/b.txt").c_str(), 0755), 0);
  h_->frontEnd.defaultOverwriteAnswer = OverwriteAnswer::kYes;
  EXPECT_EQ(h_->Run(), 0);
  EXPECT_EQ(h_->frontEnd.overwriteQuestions.size(), 2u);  // a and c, not the folder
  EXPECT_EQ(h_->frontEnd.messages.size(), 1u);
  EXPECT_EQ(Content("d.txt"), "d");
}

// ---- Path lengths ----

// A target folder whose full path plus separator leaves exactly `room` characters for stored paths.
std::string TargetLeavingRoom(const ScratchFolder& dir, int room) {
  std::string target = dir.Native("t");
  const size_t wanted = kMaxPathLength - room - 1;
  while (target.size() + 101 < wanted) target += "/" + std::string(100, 'f');
  target += "/" + std::string(wanted - target.size() - 1, 'g');
  return target;
}

TEST(ExtractAll, AFullPathOf259CharactersIsExtractedAndOneOf260IsSkipped) {
  ScratchFolder dir;
  const std::string target = TargetLeavingRoom(dir, 40);
  const std::string fits = std::string(36, 'n') + ".txt";  // 40 characters
  const std::string tooLong = std::string(37, 'n') + ".txt";
  ExtractHarness h(
      TestArchive().File(fits, "fits").File(tooLong, "long").Folder(tooLong + "d").File("after", "a").Build());
  h.Target(test::EnginePath(target));
  EXPECT_EQ(h.Run(), 0);
  EXPECT_TRUE(h.frontEnd.messages.empty());
  EXPECT_EQ((target + "/" + fits).size(), kMaxPathLength);
  EXPECT_EQ(test::ReadFile(target + "/" + fits), Bytes("fits"));
  EXPECT_FALSE(test::Exists(target + "/" + tooLong));
  EXPECT_FALSE(test::Exists(target + "/" + tooLong + "d"));
  EXPECT_EQ(test::ReadFile(target + "/after"), Bytes("a"));
  EXPECT_EQ(Outcomes(h.frontEnd), (std::vector<EntryOutcome>{EntryOutcome::kDone, EntryOutcome::kTooLong,
                                                             EntryOutcome::kTooLong, EntryOutcome::kDone}));
}

TEST(ExtractAll, ANegativeRoomSkipsEveryEntry) {
  ScratchFolder dir;
  const std::string target = TargetLeavingRoom(dir, -1);  // 259 characters, the separator makes 260
  ASSERT_EQ(target.size(), kMaxPathLength);
  ExtractHarness h(TestArchive().Folder("f").File("a", "a").File("b", "").Build());
  h.Target(test::EnginePath(target));
  EXPECT_EQ(h.Run(), 0);
  EXPECT_TRUE(h.frontEnd.messages.empty());
  EXPECT_TRUE(test::IsFolder(target));
  EXPECT_TRUE(Tree(target).empty());
  EXPECT_EQ(Outcomes(h.frontEnd), std::vector<EntryOutcome>(3, EntryOutcome::kTooLong));
  ExpectBuffersReleased(h.x());
}

// ---- Checks and failures ----

TEST(ExtractAll, ACrcMismatchDeletesTheFileAndOkGoesOn) {
  ScratchFolder dir;
  ExtractHarness h(TestArchive().File("bad.txt", "payload").Crc(0x12345678).File("good.txt", "fine").Build());
  h.Target(dir.Engine("out"));
  EXPECT_EQ(h.Run(), 0);
  ASSERT_EQ(h.frontEnd.messages.size(), 1u);
  EXPECT_EQ(h.frontEnd.messages[0].text, "File \"" + dir.Engine("out/bad.txt") + "\" fails error check");
  EXPECT_EQ(h.frontEnd.messages[0].kind, Notice::kFailureOrGoOn);
  EXPECT_FALSE(test::Exists(dir.Native("out/bad.txt")));
  EXPECT_EQ(test::ReadFile(dir.Native("out/good.txt")), Bytes("fine"));
  EXPECT_EQ(h.frontEnd.finished[0].second, EntryOutcome::kFailed);
}

TEST(ExtractAll, ACrcMismatchAnsweredCancelEndsTheWalk) {
  ScratchFolder dir;
  ExtractHarness h(TestArchive().File("bad.txt", "payload").Crc(1).File("good.txt", "fine").Build());
  h.Target(dir.Engine("out"));
  h.frontEnd.messageAnswers = {NoticeAnswer::kCancel};
  EXPECT_EQ(h.Run(), 0);
  EXPECT_EQ(h.frontEnd.messages.size(), 1u);
  EXPECT_FALSE(test::Exists(dir.Native("out/bad.txt")));
  EXPECT_FALSE(test::Exists(dir.Native("out/good.txt")));
  ExpectBuffersReleased(h.x());
}

// An archive of one 20000-byte file in stored blocks of 4096 bytes, then a small file in a segment of its
// own; the big file's second block is damaged.
std::vector<uint8_t> ArchiveDamagedInTheMiddleOfAFile() {
  TestArchive archive;
  archive.Blocks(4096, 0).File("big.bin", Pattern(20000)).NextSegment().File("after.txt", "a");
  std::vector<uint32_t> offsets;
  std::vector<encoder::SegmentReport> reports;
  std::vector<uint8_t> bytes = archive.Build(&offsets, &reports);
  const uint32_t second = offsets[0] + kSegmentSignatureSize + reports[0].blocks[0].packedSize;
  bytes[second] = static_cast<uint8_t>((bytes[second] & 0xF0) | 0x0F);  // block type 15
  return bytes;
}

TEST(ExtractAll, ADecodingFailureDeletesThePartialFileAndEndsTheWalk) {
  ScratchFolder dir;
  ExtractHarness h(ArchiveDamagedInTheMiddleOfAFile());
  h.Target(dir.Engine("out"));
  EXPECT_EQ(h.Run(), 0);  // reported here, not by the caller
  ASSERT_EQ(h.frontEnd.messages.size(), 1u);
  EXPECT_EQ(h.frontEnd.messages[0].text, kDamagedText);
  EXPECT_EQ(h.frontEnd.messages[0].kind, Notice::kFailure);
  EXPECT_FALSE(test::Exists(dir.Native("out/big.bin")));
  EXPECT_FALSE(test::Exists(dir.Native("out/after.txt")));
  EXPECT_TRUE(Tree(dir.Native("out")).empty());
  EXPECT_EQ(Outcomes(h.frontEnd), std::vector<EntryOutcome>{EntryOutcome::kFailed});
  ExpectBuffersReleased(h.x());
}

TEST(ExtractAll, DamagedDirectoryDataIsLeftToTheCallerToReport) {
  ScratchFolder dir;
  std::vector<uint8_t> archive = TestArchive().File("a.txt", "a").Build();
  archive[LoadLE32(archive.data() + 4)] ^= 1;  // the directory segment's signature
  ExtractHarness h(archive);
  h.Target(dir.Engine("out"));
  EXPECT_EQ(h.Run(), kErrorDamaged);
  EXPECT_TRUE(h.frontEnd.messages.empty());
  EXPECT_TRUE(test::IsFolder(dir.Native("out")));
  ExpectBuffersReleased(h.x());
}

TEST(ExtractAll, AnArchiveTooShortForItsHeaderCreatesNothing) {
  ScratchFolder dir;
  std::vector<uint8_t> program(100, 0);
  ExtractHarness h(program, 59);  // 41 bytes from the archive's start to the end
  h.Target(dir.Engine("out"));
  EXPECT_EQ(h.Run(), kErrorDamaged);
  EXPECT_TRUE(h.frontEnd.messages.empty());
  EXPECT_FALSE(test::Exists(dir.Native("out")));
}

TEST(ExtractAll, ATargetThatCannotBeCreatedIsReportedWithItsName) {
  ScratchFolder dir;
  test::WriteFile(dir.Native("file"), "");
  ExtractHarness h(TestArchive().File("a.txt", "a").Build());
  h.Target(dir.Engine("file/out"));
  EXPECT_EQ(h.Run(), 0);
  ASSERT_EQ(h.frontEnd.messages.size(), 1u);
  EXPECT_EQ(h.frontEnd.messages[0].text.rfind("Cannot create folder " + dir.Engine("file/out"), 0), 0u);
  EXPECT_EQ(h.frontEnd.messages[0].kind, Notice::kFailure);
  EXPECT_TRUE(h.frontEnd.started.empty());
}

TEST(ExtractAll, TargetsOf260CharactersOrMoreAreRefusedAsFolders) {
  ScratchFolder dir;
  std::string target = TargetLeavingRoom(dir, -1) + "h";  // 260 characters
  ASSERT_EQ(target.size(), kPathBufferSize);
  ExtractHarness h(TestArchive().File("a.txt", "a").Build());
  h.Target(test::EnginePath(target));
  EXPECT_EQ(h.Run(), 0);
  ASSERT_EQ(h.frontEnd.messages.size(), 1u);
  EXPECT_EQ(h.frontEnd.messages[0].text.rfind("Cannot create folder ", 0), 0u);
  EXPECT_FALSE(test::Exists(dir.Native("t")));

  // A text filling the whole buffer without a terminator is not taken for a shorter folder either, even
  // with a backslash where the cut makes it the last character.
  InFolder inside(dir.Native());
  ExtractHarness unterminated(TestArchive().File("a.txt", "a").Build());
  std::memset(unterminated.x().options.targetFolder, 'z', kTargetFolderSize);
  unterminated.x().options.targetFolder[kPathBufferSize - 1] = '\\';
  EXPECT_EQ(unterminated.Run(), 0);
  EXPECT_EQ(unterminated.frontEnd.messages.size(), 1u);
  EXPECT_TRUE(unterminated.frontEnd.started.empty());
  EXPECT_TRUE(Tree(dir.Native()).empty());
}

// ---- Cancel ----

TEST(ExtractAll, CancelBeforeAnEntryEndsTheWalkSilently) {
  ScratchFolder dir;
  ExtractHarness h(TestArchive().File("a.txt", "a").File("b.txt", "b").Build());
  h.Target(dir.Engine("out"));
  h.frontEnd.onPump = [&] {
    if (h.frontEnd.pumpCount == 2) h.x().cancelRequested = true;  // the pump after the first file
  };
  EXPECT_EQ(h.Run(), 0);
  EXPECT_TRUE(h.frontEnd.messages.empty());
  EXPECT_EQ(test::ReadFile(dir.Native("out/a.txt")), Bytes("a"));
  EXPECT_FALSE(test::Exists(dir.Native("out/b.txt")));
  EXPECT_EQ(h.frontEnd.started.size(), 1u);
}

TEST(ExtractAll, CancelJustBeforeDecodingRemovesTheCreatedFile) {
  ScratchFolder dir;
  ExtractHarness h(TestArchive().File("a.txt", "a").File("b.txt", "b").Build());
  h.Target(dir.Engine("out"));
  h.frontEnd.onPump = [&] { h.x().cancelRequested = true; };  // the pump before the first decoding
  EXPECT_EQ(h.Run(), 0);
  EXPECT_TRUE(h.frontEnd.messages.empty());
  EXPECT_TRUE(Tree(dir.Native("out")).empty());
  EXPECT_EQ(Outcomes(h.frontEnd), std::vector<EntryOutcome>{EntryOutcome::kCancelled});
  ExpectBuffersReleased(h.x());
}

TEST(ExtractAll, CancelBetweenBlocksRemovesThePartialFile) {
  // The output is a named pipe that this test drains: the first bytes arrive while the decoder is still
  // writing its first block (the pipe holds far less than a block), so the flag set then is seen at the
  // decoder's test before the second block.
  ScratchFolder dir;
  constexpr uint32_t kBlock = 262144;
  constexpr uint32_t kSize = 600000;
  ExtractHarness h(
      TestArchive().Blocks(kBlock, 0).File("big.bin", Pattern(kSize)).File("after.txt", "a").Build());
  ASSERT_EQ(mkdir(dir.Native("out").c_str(), 0755), 0);
  const std::string pipePath = dir.Native("out/big.bin");
  ASSERT_EQ(mkfifo(pipePath.c_str(), 0644), 0);
  h.Target(dir.Engine("out"));
  h.x().options.overwriteWithoutPrompting = true;

  std::thread reader;
  std::atomic<uint64_t> drained{0};
  int pipeSize = 0;
  h.frontEnd.onPump = [&] {
    if (reader.joinable()) return;
    int fd = open(pipePath.c_str(), O_RDONLY | O_NONBLOCK);  // the extraction holds the other end
    if (fd < 0) return;
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    pipeSize = fcntl(fd, F_GETPIPE_SZ);
    reader = std::thread([&h, &drained, fd] {
      std::vector<char> buffer(4096);
      for (;;) {
        const ssize_t n = read(fd, buffer.data(), buffer.size());
        if (n > 0) {
          drained += static_cast<uint64_t>(n);
          h.x().cancelRequested = true;
        } else if (n == 0 || errno != EINTR) {
          break;  // the extraction closed its end
        }
      }
      close(fd);
    });
  };
  EXPECT_EQ(h.Run(), 0);
  if (reader.joinable()) reader.join();
  ASSERT_GT(pipeSize, 0);
  ASSERT_LT(static_cast<uint32_t>(pipeSize) + 4096, kBlock / 2);
  EXPECT_TRUE(h.frontEnd.messages.empty());
  EXPECT_FALSE(test::Exists(pipePath));
  EXPECT_FALSE(test::Exists(dir.Native("out/after.txt")));
  EXPECT_GT(drained.load(), 0u);
  EXPECT_LT(drained.load(), kSize);
  EXPECT_EQ(Outcomes(h.frontEnd), std::vector<EntryOutcome>{EntryOutcome::kCancelled});
}

TEST(ExtractAll, ASecondCallWhileOneRunsIsRefused) {
  ScratchFolder dir;
  ExtractHarness h(TestArchive().File("a.txt", "a").File("b.txt", "b").Build());
  h.Target(dir.Engine("out"));
  std::vector<ErrorCode> nested;
  h.frontEnd.onPump = [&] { nested.push_back(ExtractAll(h.x(), h.dialog)); };
  EXPECT_EQ(h.Run(), 0);
  EXPECT_EQ(nested, std::vector<ErrorCode>(4, kErrorReported));
  EXPECT_EQ(test::ReadFile(dir.Native("out/b.txt")), Bytes("b"));
  EXPECT_TRUE(h.frontEnd.messages.empty());
  // Once it has returned, the context takes the next call.
  h.Target(dir.Engine("again")).x().options.overwriteWithoutPrompting = true;
  h.frontEnd.onPump = nullptr;
  EXPECT_EQ(h.Run(), 0);
  EXPECT_EQ(test::ReadFile(dir.Native("again/a.txt")), Bytes("a"));
}

// ---- Names that would leave the target, and names of devices ----

TEST(ExtractAll, StoredPathsThatWouldLeaveTheTargetOrNameADeviceAreRefused) {
  const std::vector<std::string> escaping = {
      "\\rooted.txt", "/rooted.txt",     "C:drive.txt",       "sub\\stream:name",  "..\\up.txt",
      "..",           "sub\\..\\..\\up", "sub/../../up.txt",  ". .\\up.txt",      "...\\up.txt",
      "sub\\. . .",   "..\\",            std::string("..\0x", 4)};
  const std::vector<std::string> devices = {"CON", "nul", "Aux.txt", "prn.tar.gz", "COM1", "lpt9.log",
                                            "con .txt", "sub\\cOm5", "NUL\\inside.txt"};
  std::vector<std::string> names = escaping;
  names.insert(names.end(), devices.begin(), devices.end());
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string& name = names[i];
    const bool device = i >= escaping.size();
    for (bool folder : {false, true}) {
      SCOPED_TRACE(name + (folder ? " (folder)" : " (file)"));
      ScratchFolder dir;
      TestArchive archive;
      if (folder) {
        archive.Folder(name);
      } else {
        archive.File(name, "escaped");
      }
      ExtractHarness h(archive.File("after.txt", "a").Build());
      h.Target(dir.Engine("deep/out"));
      EXPECT_EQ(h.Run(), 0);
      ASSERT_EQ(h.frontEnd.messages.size(), 1u);
      EXPECT_EQ(h.frontEnd.messages[0].text, kDamagedText);
      EXPECT_EQ(h.frontEnd.messages[0].kind, Notice::kFailureOrGoOn);
      EXPECT_EQ(Tree(dir.Native()), (std::vector<std::string>{"deep", "deep/out", "deep/out/after.txt"}));
      EXPECT_EQ(h.frontEnd.finished[0].second, device ? EntryOutcome::kDevice : EntryOutcome::kRefused);
    }
  }
}

TEST(ExtractAll, ARefusedNameAnsweredCancelEndsTheWalk) {
  ScratchFolder dir;
  ExtractHarness h(TestArchive().File("..\\up.txt", "x").File("after.txt", "a").Build());
  h.Target(dir.Engine("out"));
  h.frontEnd.messageAnswers = {NoticeAnswer::kCancel};
  EXPECT_EQ(h.Run(), 0);
  EXPECT_EQ(Tree(dir.Native()), std::vector<std::string>{"out"});
}

TEST(ExtractAll, NamesThatOnlyLookLikeParentFoldersOrDevicesAreExtracted) {
  ScratchFolder dir;
  ExtractHarness h(TestArchive()
                       .File("a..b.txt", "1")
                       .File("..a", "2")
                       .File("...x\\y", "3")
                       .File(". a\\.hidden", "4")
                       .File("console.txt", "5")  // not devices: longer stems, COM0, COM10
                       .File("com0\\com10.nul", "6")
                       .File("c\\.\\d.txt", "7")  // "." is the folder it stands in
                       .Build());
  h.Target(dir.Engine("out"));
  EXPECT_EQ(h.Run(), 0);
  EXPECT_TRUE(h.frontEnd.messages.empty());
  EXPECT_EQ(test::ReadFile(dir.Native("out/a..b.txt")), Bytes("1"));
  EXPECT_EQ(test::ReadFile(dir.Native("out/..a")), Bytes("2"));
  EXPECT_EQ(test::ReadFile(dir.Native("out/...x/y")), Bytes("3"));
  EXPECT_EQ(test::ReadFile(dir.Native("out/. a/.hidden")), Bytes("4"));
  EXPECT_EQ(test::ReadFile(dir.Native("out/console.txt")), Bytes("5"));
  EXPECT_EQ(test::ReadFile(dir.Native("out/com0/com10.nul")), Bytes("6"));
  EXPECT_EQ(test::ReadFile(dir.Native("out/c/d.txt")), Bytes("7"));
}

// ---- Test-only mode ----

TEST(ExtractAll, TestOnlyDecodesAndChecksButWritesNothing) {
  ScratchFolder dir;
  ExtractHarness h(TestArchive()
                       .Folder("docs")
                       .File("docs\\a.txt", "alpha")
                       .File("bad.txt", "bravo")
                       .Crc(7)
                       .File("..\\up.txt", "x")
                       .File("c.txt", "charlie")
                       .Build());
  h.Target(dir.Engine("out"));
  h.x().options.testOnly = true;
  EXPECT_EQ(h.Run(), 0);
  EXPECT_TRUE(Tree(dir.Native()).empty());
  ASSERT_EQ(h.frontEnd.messages.size(), 2u);
  EXPECT_EQ(h.frontEnd.messages[0].text, "File \"" + dir.Engine("out/bad.txt") + "\" fails error check");
  EXPECT_EQ(h.frontEnd.messages[1].text, kDamagedText);
  EXPECT_EQ(Outcomes(h.frontEnd), (std::vector<EntryOutcome>{EntryOutcome::kDone, EntryOutcome::kDone,
                                                             EntryOutcome::kFailed, EntryOutcome::kRefused,
                                                             EntryOutcome::kDone}));
  ExpectBuffersReleased(h.x());
}

TEST(ExtractAll, TestOnlyLeavesExistingFilesAloneAndAsksNothing) {
  ScratchFolder dir;
  ASSERT_EQ(mkdir(dir.Native("out").c_str(), 0755), 0);
  test::WriteFile(dir.Native("out/a.txt"), "old");
  ExtractHarness h(TestArchive().File("a.txt", "new").Build());
  h.Target(dir.Engine("out"));
  h.x().options.testOnly = true;
  EXPECT_EQ(h.Run(), 0);
  EXPECT_TRUE(h.frontEnd.overwriteQuestions.empty());
  EXPECT_EQ(test::ReadFile(dir.Native("out/a.txt")), Bytes("old"));
  EXPECT_EQ(Outcomes(h.frontEnd), std::vector<EntryOutcome>{EntryOutcome::kDone});
}

TEST(ExtractAll, TestOnlyReportsADecodingFailure) {
  ScratchFolder dir;
  ExtractHarness h(ArchiveDamagedInTheMiddleOfAFile());
  h.Target(dir.Engine("out"));
  h.x().options.testOnly = true;
  EXPECT_EQ(h.Run(), 0);
  ASSERT_EQ(h.frontEnd.messages.size(), 1u);
  EXPECT_EQ(h.frontEnd.messages[0].text, kDamagedText);
  EXPECT_TRUE(Tree(dir.Native()).empty());
}

// ---- Where names are joined ----

TEST(ExtractAll, AnEmptyTargetIsTheCurrentFolderAndABareDriveTakesNamesBehindItsColon) {
  ScratchFolder dir;
  InFolder inside(dir.Native());
  ExtractHarness empty(TestArchive().File("a.txt", "a").Build());
  empty.Target("");
  EXPECT_EQ(empty.Run(), 0);
  EXPECT_EQ(test::ReadFile(dir.Native("a.txt")), Bytes("a"));

  ExtractHarness drive(TestArchive().File("b.txt", "b").Build());
  drive.Target("Q:\\");  // loses its backslash: a bare drive, relative to its current folder
  EXPECT_EQ(drive.Run(), 0);
  EXPECT_EQ(test::ReadFile(dir.Native("Q:b.txt")), Bytes("b"));
  EXPECT_EQ(Tree(dir.Native()), (std::vector<std::string>{"Q:b.txt", "a.txt"}));
}

TEST(ExtractAll, ALoneBackslashTargetGetsNoSecondSeparator) {
  // Two backslashes in front would make a network name of the first stored component.
  ExtractHarness h(TestArchive().File("share\\a.txt", "a").Build());
  h.Target("\\");
  h.x().options.testOnly = true;
  EXPECT_EQ(h.Run(), 0);
  EXPECT_EQ(std::string(h.x().options.targetFolder), "\\share\\a.txt");
  EXPECT_EQ(h.frontEnd.statuses, std::vector<std::string>{"Extracting share\\a.txt"});
}

// A volume probe standing in for one without long names.
std::vector<std::string> probedRoots;
int32_t ShortVolume(const char* root) {
  probedRoots.push_back(root);
  return 12;
}
int32_t UnknownVolume(const char* root) {
  probedRoots.push_back(root);
  return -1;
}
int32_t LongVolume(const char* root) {
  probedRoots.push_back(root);
  return 255;
}

TEST(ExtractAll, OnAVolumeWithoutLongNamesEveryEntryLandsBehindTheShortenedTarget) {
  ScratchFolder dir;
  InFolder inside(dir.Native());
  ASSERT_EQ(mkdir("Q:", 0755), 0);  // the drive: a root is never created
  probedRoots.clear();
  ExtractHarness h(TestArchive()
                       .Folder("Long Folder Name")
                       .File("Long Folder Name\\Read Me.text", "r")
                       .File("Long Name One.txt", "1")
                       .File("Long Name Two.txt", "2")  // meets the first one's short form
                       .Build());
  h.x().maxComponentLength = ShortVolume;
  h.Target("Q:\\Target Folder\\");
  EXPECT_EQ(h.Run(), 0);
  EXPECT_TRUE(h.x().shortNames);
  EXPECT_EQ(probedRoots, std::vector<std::string>{"Q:\\"});
  EXPECT_EQ(Tree(dir.Native()), (std::vector<std::string>{"Q:", "Q:/TargetFo", "Q:/TargetFo/LongFold",
                                                          "Q:/TargetFo/LongFold/ReadMe.tex",
                                                          "Q:/TargetFo/LongName.txt"}));
  EXPECT_EQ(h.frontEnd.overwriteQuestions, std::vector<std::string>{"Q:\\TargetFo\\LongName.txt"});
  EXPECT_EQ(test::ReadFile(dir.Native("Q:/TargetFo/LongName.txt")), Bytes("2"));
  EXPECT_EQ(h.frontEnd.statuses, (std::vector<std::string>{"Extracting LongFold\\ReadMe.tex",
                                                           "Extracting LongName.txt", "Extracting LongName.txt"}));
}

TEST(ExtractAll, AnUnknownOrLongComponentLengthKeepsLongNames) {
  for (auto probe : {UnknownVolume, LongVolume}) {
    ScratchFolder dir;
    InFolder inside(dir.Native());
    probedRoots.clear();
    ExtractHarness h(TestArchive().File("Long Name.text", "x").Build());
    h.x().maxComponentLength = probe;
    h.Target("z:Long Target");
    EXPECT_EQ(h.Run(), 0);
    EXPECT_FALSE(h.x().shortNames);
    EXPECT_EQ(probedRoots, std::vector<std::string>{"z:\\"});
    EXPECT_EQ(test::ReadFile(dir.Native("z:Long Target/Long Name.text")), Bytes("x"));
  }
}

TEST(ExtractAll, WithoutADriveLetterTheCurrentFolderIsProbedAndPosixHasNone) {
  ScratchFolder dir;
  probedRoots.clear();
  ExtractHarness h(TestArchive().File("Long Name.text", "x").Build());
  h.x().maxComponentLength = ShortVolume;
  h.Target(dir.Engine("Long Target"));
  EXPECT_EQ(h.Run(), 0);
  EXPECT_TRUE(probedRoots.empty());  // the current folder begins with a slash, not a drive letter
  EXPECT_FALSE(h.x().shortNames);
  EXPECT_TRUE(test::Exists(dir.Native("Long Target/Long Name.text")));
}

}  // namespace
}  // namespace zor
