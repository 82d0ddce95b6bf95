// The POSIX file layer against the Win32 contract: recorded errors, counts, positions, times, attributes.
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/file_layer.h"
#include "platform/output_tree.h"

namespace zor {
namespace {

class FileLayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "zor_files_XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  std::string Path(const std::string& name) const { return dir + "/" + name; }

  // A file holding `size` bytes 0, 1, 2, ...
  void MakeFile(const std::string& name, uint32_t size) {
    FileHandle h = FileCreate(files, Path(name).c_str(), kAttributeNormal);
    ASSERT_NE(h, kInvalidFileHandle);
    std::string bytes(size, 0);
    for (uint32_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i);
    ASSERT_EQ(FileWrite(files, h, bytes.data(), size), static_cast<int32_t>(size));
    FileClose(files, h);
  }

  time_t ModifiedTime(const std::string& name) const {
    struct stat st;
    return stat(Path(name).c_str(), &st) == 0 ? st.st_mtime : -1;
  }

  FileLayer files{};
  std::string dir;
};

TEST_F(FileLayerTest, MissingFileAndMissingFolderAreTwoDifferentErrors) {
  MakeFile("file.txt", 1);
  const struct {
    std::string path;
    uint32_t error;
  } cases[] = {
      {Path("missing.txt"), 2},
      {Path("nofolder/missing.txt"), 3},
      {Path("file.txt/inside"), 3},
      {Path(std::string(300, 'n')), 161},
      {"/" + std::string(5000, 'p'), 161},
  };
  for (const auto& c : cases) {
    files.lastSystemError = 0;
    EXPECT_EQ(FileOpen(files, c.path.c_str(), kGenericRead), kInvalidFileHandle);
    EXPECT_EQ(files.lastSystemError, c.error) << c.path.substr(0, 80);
    files.lastSystemError = 0;
    EXPECT_EQ(FileGetAttributes(files, c.path.c_str()), kInvalidAttributes);
    EXPECT_EQ(files.lastSystemError, c.error);
  }
}

TEST_F(FileLayerTest, ClearedFirstWrappersForgetAnEarlierErrorWhenTheySucceed) {
  MakeFile("a.bin", 10);
  const std::string path = Path("a.bin");
  char buffer[4];
  files.lastSystemError = 5;
  FileHandle h = FileOpen(files, path.c_str(), kGenericRead | kGenericWrite);
  ASSERT_NE(h, kInvalidFileHandle);
  EXPECT_EQ(files.lastSystemError, 0u);
  const auto cleared = [&](const char* what, auto&& call) {
    files.lastSystemError = 5;
    call();
    EXPECT_EQ(files.lastSystemError, 0u) << what;
  };
  cleared("read", [&] { EXPECT_EQ(FileRead(files, h, buffer, 4), 4); });
  cleared("write", [&] { EXPECT_EQ(FileWrite(files, h, buffer, 4), 4); });
  cleared("seek", [&] { EXPECT_EQ(FileSeek(files, h, 2, kSeekBegin), 2u); });
  cleared("times", [&] { EXPECT_EQ(FileSetTimes(files, h, 0, 0, 0, 0), 1); });
  cleared("attributes", [&] { EXPECT_EQ(FileSetAttributes(files, path.c_str(), 0), 1); });
  FileClose(files, h);
  cleared("create", [&] { FileClose(files, FileCreate(files, Path("b.bin").c_str(), 0)); });
}

TEST_F(FileLayerTest, NotClearedFirstWrappersKeepAnEarlierErrorWhenTheySucceed) {
  MakeFile("a.bin", 1);
  files.lastSystemError = 77;
  EXPECT_EQ(FileGetAttributes(files, Path("a.bin").c_str()), kAttributeArchive);
  EXPECT_EQ(CreateOneFolder(files, Path("sub").c_str()), 1);
  EXPECT_EQ(FileDelete(files, Path("a.bin").c_str()), 1);
  EXPECT_EQ(files.lastSystemError, 77u);
  // ...and overwrite it when they fail.
  EXPECT_EQ(FileDelete(files, Path("a.bin").c_str()), 0);
  EXPECT_EQ(files.lastSystemError, 2u);
}

TEST_F(FileLayerTest, AFailedCloseKeepsAnEarlierError) {
  files.lastSystemError = 112;
  EXPECT_EQ(FileClose(files, kInvalidFileHandle), 0);
  EXPECT_EQ(files.lastSystemError, 112u);
  files.lastSystemError = 0;
  EXPECT_EQ(FileClose(files, kInvalidFileHandle), 0);
  EXPECT_NE(files.lastSystemError, 0u);
}

TEST_F(FileLayerTest, AShortReadIsNotAFailure) {
  MakeFile("ten.bin", 10);
  FileHandle h = FileOpen(files, Path("ten.bin").c_str(), kGenericRead);
  char buffer[100];
  files.lastSystemError = 5;
  EXPECT_EQ(FileRead(files, h, buffer, sizeof buffer), 10);
  EXPECT_EQ(files.lastSystemError, 0u);
  EXPECT_EQ(FileRead(files, h, buffer, sizeof buffer), 0);
  EXPECT_EQ(files.lastSystemError, 0u);
  FileClose(files, h);
}

TEST_F(FileLayerTest, ArchiveReadAdvancesTheRecordedPositionOnlyBySuccessfulReads) {
  MakeFile("archive.bin", 100);
  files.programFile = FileOpen(files, Path("archive.bin").c_str(), kGenericRead);
  files.programFilePos = 0;
  uint8_t buffer[60];
  EXPECT_EQ(ArchiveRead(files, buffer, 60), 60);
  EXPECT_EQ(files.programFilePos, 60u);
  EXPECT_EQ(ArchiveRead(files, buffer, 60), 40);
  EXPECT_EQ(buffer[0], 60);
  EXPECT_EQ(files.programFilePos, 100u);
  EXPECT_EQ(ArchiveRead(files, buffer, 60), 0);
  EXPECT_EQ(files.programFilePos, 100u);
  FileClose(files, files.programFile);

  // A handle whose reads fail: a folder opened behind the layer's back.
  files.programFile = open(dir.c_str(), O_RDONLY);
  ASSERT_GE(files.programFile, 0);
  EXPECT_EQ(ArchiveRead(files, buffer, 60), -1);
  EXPECT_EQ(files.lastSystemError, 5u);
  EXPECT_EQ(files.programFilePos, 100u);
  close(static_cast<int>(files.programFile));
}

TEST_F(FileLayerTest, AFailingWriteIsDiskFull) {
  FileHandle h = FileOpen(files, "/dev/full", kGenericWrite);
  ASSERT_NE(h, kInvalidFileHandle);
  char buffer[16] = {};
  EXPECT_EQ(FileWrite(files, h, buffer, sizeof buffer), -1);
  EXPECT_EQ(files.lastSystemError, 112u);
  FileClose(files, h);
}

// Runs in a child process, so that the size limit cannot outlive the test; prints what FileWrite gave.
void WriteUnderSizeLimit(const std::string& path) {
  signal(SIGXFSZ, SIG_IGN);
  struct rlimit limit;
  getrlimit(RLIMIT_FSIZE, &limit);
  const rlim_t before = limit.rlim_cur;
  limit.rlim_cur = 10;
  setrlimit(RLIMIT_FSIZE, &limit);
  FileLayer layer{};
  FileHandle h = FileCreate(layer, path.c_str(), kAttributeNormal);
  char buffer[100] = {};
  const int32_t result = FileWrite(layer, h, buffer, sizeof buffer);
  limit.rlim_cur = before;  // the report goes to a file as well
  setrlimit(RLIMIT_FSIZE, &limit);
  std::fprintf(stderr, "result %d error %u\n", result, layer.lastSystemError);
  _exit(0);
}

TEST_F(FileLayerTest, AShortWriteIsAFailureWithDiskFull) {
  EXPECT_EXIT(WriteUnderSizeLimit(Path("limited.bin")), ::testing::ExitedWithCode(0), "result -1 error 112");
}

TEST_F(FileLayerTest, SeeksStayWithinThirtyTwoBitPositions) {
  MakeFile("a.bin", 100);
  FileHandle h = FileOpen(files, Path("a.bin").c_str(), kGenericRead | kGenericWrite);
  EXPECT_EQ(FileSeek(files, h, 30, kSeekBegin), 30u);
  EXPECT_EQ(FileSeek(files, h, -10, kSeekCurrent), 20u);
  EXPECT_EQ(FileSeek(files, h, -1, kSeekEnd), 99u);
  // Before the start: a failure that leaves the position alone.
  EXPECT_EQ(FileSeek(files, h, -100, kSeekCurrent), kSeekFailed);
  EXPECT_EQ(files.lastSystemError, 131u);
  EXPECT_EQ(FileSeek(files, h, 0, kSeekCurrent), 99u);

  // All ones is the failure value, so the last usable position is one below it.
  ASSERT_EQ(ftruncate(static_cast<int>(h), 0xFFFFFFFEll), 0);
  EXPECT_EQ(FileSeek(files, h, 0, kSeekEnd), 0xFFFFFFFEu);
  ASSERT_EQ(ftruncate(static_cast<int>(h), 0xFFFFFFFFll), 0);
  EXPECT_EQ(FileSeek(files, h, 0, kSeekEnd), kSeekFailed);
  EXPECT_NE(files.lastSystemError, 0u);
  EXPECT_EQ(FileSeek(files, h, 0, kSeekCurrent), 0xFFFFFFFEu);
  FileClose(files, h);
}

// Sets TZ for one test, so that "local time" has a known offset.
class TimeZone {
 public:
  explicit TimeZone(const char* zone) {
    const char* old = getenv("TZ");
    hadOld_ = old != nullptr;
    if (hadOld_) old_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~TimeZone() {
    if (hadOld_) {
      setenv("TZ", old_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  bool hadOld_;
  std::string old_;
};

TEST_F(FileLayerTest, DosTimesAreLocalAndAZeroOrImpossibleDateChangesNothing) {
  MakeFile("a.bin", 1);
  const struct timespec past[2] = {{978307200, 0}, {978307200, 0}};  // 2001-01-01 00:00 UTC
  ASSERT_EQ(utimensat(AT_FDCWD, Path("a.bin").c_str(), past, 0), 0);
  FileHandle h = FileOpen(files, Path("a.bin").c_str(), kGenericRead | kGenericWrite);

  const uint16_t date = ((2019 - 1980) << 9) | (7 << 5) | 14;  // 2019-07-14
  const uint16_t time = (13 << 11) | (45 << 5) | 15;           // 13:45:30
  const uint16_t month13 = ((2019 - 1980) << 9) | (13 << 5) | 14;
  EXPECT_EQ(FileSetTimes(files, h, 0, 0, 0, 0), 1);
  EXPECT_EQ(FileSetTimes(files, h, date, time, 0, 0), 1);  // a creation time alone: nothing to set here
  EXPECT_EQ(FileSetTimes(files, h, 0, 0, month13, time), 1);
  EXPECT_EQ(ModifiedTime("a.bin"), 978307200);

  TimeZone zone("XST-3");  // three hours east of UTC, no daylight saving
  EXPECT_EQ(FileSetTimes(files, h, 0, 0, date, time), 1);
  EXPECT_EQ(ModifiedTime("a.bin"), 1563111930 - 3 * 3600);  // 2019-07-14 13:45:30 UTC is 1563111930
  FileClose(files, h);
}

TEST_F(FileLayerTest, ReadOnlyIsTheWritePermissionAndIsEnforcedAsOnWin32) {
  const std::string path = Path("ro.txt");
  FileHandle h = FileCreate(files, path.c_str(), kAttributeReadOnly);
  ASSERT_NE(h, kInvalidFileHandle);
  EXPECT_EQ(FileWrite(files, h, "data", 4), 4);  // the creating handle still writes
  FileClose(files, h);
  EXPECT_EQ(FileGetAttributes(files, path.c_str()), kAttributeReadOnly);

  // Even for root: no replacing, no writing, no deleting; reading is fine.
  EXPECT_EQ(FileCreate(files, path.c_str(), kAttributeNormal), kInvalidFileHandle);
  EXPECT_EQ(files.lastSystemError, 5u);
  EXPECT_EQ(FileOpen(files, path.c_str(), kGenericWrite), kInvalidFileHandle);
  EXPECT_EQ(files.lastSystemError, 5u);
  EXPECT_EQ(FileDelete(files, path.c_str()), 0);
  EXPECT_EQ(files.lastSystemError, 5u);
  h = FileOpen(files, path.c_str(), kGenericRead);
  EXPECT_NE(h, kInvalidFileHandle);
  FileClose(files, h);

  // Hidden and system are accepted and dropped; clearing read-only gives the file back.
  EXPECT_EQ(FileSetAttributes(files, path.c_str(), kAttributeHidden | kAttributeSystem), 1);
  EXPECT_EQ(FileGetAttributes(files, path.c_str()), kAttributeArchive);
  EXPECT_EQ(FileSetAttributes(files, path.c_str(), kAttributeReadOnly), 1);
  EXPECT_EQ(FileGetAttributes(files, path.c_str()), kAttributeReadOnly);
  EXPECT_EQ(FileSetAttributes(files, path.c_str(), 0), 1);
  EXPECT_EQ(FileDelete(files, path.c_str()), 1);
}

TEST_F(FileLayerTest, CreatingReplacesAnExistingFile) {
  MakeFile("a.bin", 50);
  FileHandle h = FileCreate(files, Path("a.bin").c_str(), kAttributeReadOnly);
  ASSERT_NE(h, kInvalidFileHandle);
  FileClose(files, h);
  EXPECT_EQ(std::filesystem::file_size(Path("a.bin")), 0u);
  EXPECT_EQ(FileGetAttributes(files, Path("a.bin").c_str()), kAttributeReadOnly);
}

TEST_F(FileLayerTest, FoldersAsWin32SeesThem) {
  const std::string sub = Path("sub");
  EXPECT_EQ(CreateOneFolder(files, sub.c_str()), 1);
  EXPECT_EQ(CreateOneFolder(files, sub.c_str()), 0);
  EXPECT_EQ(files.lastSystemError, 183u);
  MakeFile("file.txt", 1);
  EXPECT_EQ(CreateOneFolder(files, Path("file.txt").c_str()), 0);
  EXPECT_EQ(files.lastSystemError, 183u);
  EXPECT_EQ(CreateOneFolder(files, Path("missing/deeper").c_str()), 0);
  EXPECT_EQ(files.lastSystemError, 3u);

  EXPECT_EQ(FileGetAttributes(files, sub.c_str()), kAttributeDirectory);
  EXPECT_EQ(FileOpen(files, sub.c_str(), kGenericRead), kInvalidFileHandle);
  EXPECT_EQ(files.lastSystemError, 5u);
  EXPECT_EQ(FileCreate(files, sub.c_str(), kAttributeNormal), kInvalidFileHandle);
  EXPECT_EQ(files.lastSystemError, 5u);
  EXPECT_EQ(FileDelete(files, sub.c_str()), 0);
  EXPECT_EQ(files.lastSystemError, 5u);

  // A read-only folder still takes new files on Win32, so the bit is not applied to folders.
  EXPECT_EQ(FileSetAttributes(files, sub.c_str(), kAttributeReadOnly), 1);
  EXPECT_EQ(FileGetAttributes(files, sub.c_str()), kAttributeDirectory);
  EXPECT_EQ(access(sub.c_str(), W_OK), 0);
}

TEST_F(FileLayerTest, BackslashesAreSeparators) {
  const std::string base = dir + "\\";
  EXPECT_EQ(CreateOneFolder(files, (base + "sub").c_str()), 1);
  FileHandle h = FileCreate(files, (base + "sub\\a.txt").c_str(), kAttributeNormal);
  ASSERT_NE(h, kInvalidFileHandle);
  FileClose(files, h);
  EXPECT_TRUE(std::filesystem::is_regular_file(Path("sub/a.txt")));
  EXPECT_EQ(FileGetAttributes(files, (base + "sub\\a.txt").c_str()), kAttributeArchive);
  EXPECT_EQ(FileDelete(files, (base + "sub\\a.txt").c_str()), 1);
  EXPECT_FALSE(std::filesystem::exists(Path("sub/a.txt")));
}

// A stand-in for a double-byte code page: 0xE9 is é, and 0x95 leads a two-byte character whose second
// byte may be a backslash (0x95 0x5C is 表); other bytes stand for themselves. Paths of more than 1000
// bytes cannot be converted.
bool ConvertTestName(void* context, const char* path, char* out, uint32_t size) {
  ++*static_cast<int*>(context);
  std::string text;
  for (const char* p = path; *p; ++p) {
    if (*p == '\xE9') {
      text += "\xC3\xA9";
    } else if (*p == '\x95' && p[1]) {
      text += "\xE8\xA1\xA8";
      ++p;
    } else {
      text += *p;
    }
  }
  if (std::strlen(path) > 1000 || text.size() >= size) return false;
  std::memcpy(out, text.c_str(), text.size() + 1);
  return true;
}

TEST_F(FileLayerTest, PathsAreConvertedBeforeTheirSeparatorsAreLookedAt) {
  int calls = 0;
  FileLayer named{};
  named.toNativeName = ConvertTestName;
  named.toNativeNameContext = &calls;
  const std::string base = dir + "\\";
  const std::string file = base + "caf\xE9\\x\x95\x5Cy";
  EXPECT_EQ(CreateOneFolder(named, (base + "caf\xE9").c_str()), 1);
  FileHandle h = FileCreate(named, file.c_str(), kAttributeNormal);
  ASSERT_NE(h, kInvalidFileHandle);
  FileClose(named, h);
  EXPECT_TRUE(std::filesystem::is_regular_file(Path("caf\xC3\xA9/x\xE8\xA1\xA8y")));  // one name, no folder "x?"
  EXPECT_EQ(FileGetAttributes(named, file.c_str()), kAttributeArchive);
  EXPECT_EQ(FileSetAttributes(named, file.c_str(), kAttributeReadOnly), 1);
  EXPECT_EQ(FileOpen(named, file.c_str(), kGenericWrite), kInvalidFileHandle);
  EXPECT_EQ(named.lastSystemError, kSystemErrorAccessDenied);
  EXPECT_EQ(FileSetAttributes(named, file.c_str(), 0), 1);
  EXPECT_EQ(FileDelete(named, file.c_str()), 1);
  EXPECT_GE(calls, 7);

  // A name the converter cannot take fails as an invalid path, and nothing is created.
  const std::string tooLong = base + "caf\xE9\\" + std::string(1001, 'n');
  EXPECT_EQ(FileCreate(named, tooLong.c_str(), kAttributeNormal), kInvalidFileHandle);
  EXPECT_EQ(named.lastSystemError, 161u);
  EXPECT_TRUE(std::filesystem::is_empty(Path("caf\xC3\xA9")));
}

TEST_F(FileLayerTest, LinksShowAsReparsePointsAndTheirTargetsAreNeverChanged) {
  MakeFile("target", 1);
  ASSERT_EQ(chmod(Path("target").c_str(), 0400), 0);
  ASSERT_EQ(symlink("target", Path("link").c_str()), 0);
  ASSERT_EQ(symlink("missing", Path("dangling").c_str()), 0);
  ASSERT_EQ(symlink(".", Path("folder").c_str()), 0);
  EXPECT_EQ(FileGetAttributes(files, Path("link").c_str()), kAttributeReparsePoint | kAttributeArchive);
  EXPECT_EQ(FileGetAttributes(files, Path("dangling").c_str()), kAttributeReparsePoint | kAttributeArchive);
  EXPECT_EQ(FileGetAttributes(files, Path("folder").c_str()), kAttributeReparsePoint | kAttributeDirectory);
  EXPECT_EQ(FileSetAttributes(files, Path("link").c_str(), 0), 1);
  EXPECT_EQ(FileGetAttributes(files, Path("target").c_str()), kAttributeReadOnly);
  EXPECT_EQ(FileDelete(files, Path("link").c_str()), 1);  // the link goes, its target stays
  EXPECT_TRUE(std::filesystem::exists(Path("target")));
}

// The tool's output tree: what stands under a name decides each step, and a link is never gone through.
TEST_F(FileLayerTest, TheOutputTreeNeverGoesThroughALink) {
  MakeFile("file", 1);
  ASSERT_EQ(mkdir(Path("outside").c_str(), 0755), 0);
  ASSERT_EQ(symlink("outside", Path("to-folder").c_str()), 0);
  ASSERT_EQ(symlink("file", Path("to-file").c_str()), 0);
  ASSERT_EQ(symlink("outside/new", Path("dangling").c_str()), 0);
  const FolderHandle base = OpenFolder(files, dir.c_str());
  ASSERT_NE(base, kInvalidFolderHandle);

  const struct {
    const char* name;
    bool followLinks;
    FolderStep step;
    uint32_t error;
  } folders[] = {
      {"new", false, FolderStep::kCreated, 0},        {"new", false, FolderStep::kOpened, 0},
      {"to-folder", false, FolderStep::kLink, 0},     {"to-folder", true, FolderStep::kOpened, 0},
      {"to-file", true, FolderStep::kNotFolder, 80},  {"file", false, FolderStep::kNotFolder, 80},
      {"dangling", true, FolderStep::kNotFolder, 80},
  };
  for (const auto& c : folders) {
    FolderHandle opened;
    EXPECT_EQ(OpenSubfolder(files, base, c.name, c.followLinks, &opened), c.step) << c.name;
    EXPECT_EQ(files.lastSystemError, c.error) << c.name;
    EXPECT_EQ(opened != kInvalidFolderHandle, c.step == FolderStep::kCreated || c.step == FolderStep::kOpened);
    CloseFolder(opened);
  }
  EXPECT_FALSE(std::filesystem::exists(Path("outside/new")));

  const struct {
    const char* name;
    NameKind kind;
  } kinds[] = {{"file", NameKind::kFile}, {"new", NameKind::kFolder}, {"to-file", NameKind::kLink},
               {"dangling", NameKind::kLink}, {"none", NameKind::kNothing}};
  for (const auto& c : kinds) EXPECT_EQ(KindOfName(files, base, c.name), c.kind) << c.name;

  // A file comes under a temporary name and takes its own only where nothing stands, unless replacing.
  char temporary[kTemporaryNameSize];
  const FileHandle h = CreateTemporaryFile(files, base, true, 7, temporary);
  ASSERT_NE(h, kInvalidFileHandle);
  EXPECT_EQ(FileWrite(files, h, "new", 3), 3);  // read-only, still written through its descriptor
  FileClose(files, h);
  EXPECT_EQ(CommitFile(files, base, temporary, "dangling", false), 0);
  EXPECT_EQ(files.lastSystemError, kSystemErrorFileExists);
  EXPECT_EQ(CommitFile(files, base, temporary, "new", true), 0);  // a folder is never replaced
  EXPECT_EQ(files.lastSystemError, kSystemErrorAccessDenied);
  EXPECT_EQ(CommitFile(files, base, temporary, "dangling", true), 1);
  EXPECT_EQ(KindOfName(files, base, "dangling"), NameKind::kReadOnlyFile);
  EXPECT_FALSE(std::filesystem::exists(Path("outside/new")));
  EXPECT_EQ(DiscardFile(base, temporary), 0);
  CloseFolder(base);

  char native[64];
  EXPECT_TRUE(ToNativePath(files, "a\\.\\b\\.", native, sizeof native));
  EXPECT_STREQ(native, "a/b");
  EXPECT_FALSE(ToNativePath(files, "a\\b", native, 3));
}

TEST(Memory, BlocksGrowKeepTheirContentAndZeroBytesStillGetABlock) {
  void* empty = MemAlloc(0);
  EXPECT_NE(empty, nullptr);
  void* same = MemResize(empty, 0);
  ASSERT_NE(same, nullptr);
  MemFree(same);

  auto* block = static_cast<uint8_t*>(MemAlloc(16));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 16; ++i) block[i] = static_cast<uint8_t>(i + 1);
  block = static_cast<uint8_t*>(MemResize(block, 1 << 20));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(block[i], i + 1);
  MemFree(block);
}

TEST(VolumeQueries, CurrentFolderAndComponentLength) {
  char buffer[4096];
  const uint32_t length = CurrentFolder(buffer, sizeof buffer);
  EXPECT_EQ(std::string(buffer), std::filesystem::current_path().string());
  EXPECT_EQ(length, std::string(buffer).size());
  EXPECT_EQ(CurrentFolder(buffer, 2), 0u);  // does not fit: empty, not cut
  EXPECT_STREQ(buffer, "");
  EXPECT_GT(MaxComponentLength("/"), 0);
  EXPECT_EQ(MaxComponentLength("/no/such/folder"), -1);
}

}  // namespace
}  // namespace zor
