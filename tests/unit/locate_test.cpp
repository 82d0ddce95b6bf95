// Finding the archive: the stub header's edge cases, the archive header read, displayName, and the
// integrity stamp of a real executable (stamped by the build's script, checked by the engine).
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "archive/locate.h"
#include "extract/extraction.h"
#include "platform/bytes.h"

namespace zor {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kImageSize = 100;  // stands in for the executable in front of the appended data

Bytes StubHeaderBytes(uint8_t flags, uint16_t titleLength, uint16_t folderLength) {
  return {0x53, 0x58, flags, 0, static_cast<uint8_t>(titleLength), static_cast<uint8_t>(titleLength >> 8),
          static_cast<uint8_t>(folderLength), static_cast<uint8_t>(folderLength >> 8)};
}

Bytes ArchiveHeaderBytes(uint32_t fileCount) {
  Bytes h(kArchiveHeaderSize, 0);
  std::memcpy(h.data(), "ZOR\n", 4);
  h[4] = 0x34;  // directoryOffset 0x1234
  h[5] = 0x12;
  for (int i = 0; i < 4; ++i) h[8 + i] = static_cast<uint8_t>(fileCount >> (8 * i));
  h[20] = 99;   // archiveLength
  h[24] = 7;    // dataLength
  return h;
}

Bytes Text(size_t n, char first = 'a') {
  Bytes t(n);
  for (size_t i = 0; i < n; ++i) t[i] = static_cast<uint8_t>(first + i % 26);
  return t;
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

class Locate : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/zor-locate-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    x_ = std::make_unique<Extraction>();
    InitExtraction(*x_, nullptr);
    std::strcpy(x_->options.targetFolder, "current-folder");
  }
  void TearDown() override {
    if (x_->files.programFile != kInvalidFileHandle) FileClose(x_->files, x_->files.programFile);
    std::remove(path_.c_str());
    rmdir(dir_.c_str());
  }

  // Writes image + appended as the program file and opens it.
  void Open(const Bytes& appended, const Bytes& image = Bytes(kImageSize, 0xCC)) {
    path_ = dir_ + "/program.exe";
    std::ofstream(path_, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()))
        .write(reinterpret_cast<const char*>(appended.data()), static_cast<std::streamsize>(appended.size()));
    x_->files.programFile = FileOpen(x_->files, path_.c_str(), kGenericRead);
    ASSERT_NE(x_->files.programFile, kInvalidFileHandle);
  }
  ErrorCode Read() { return LocateArchive(*x_, kImageSize, stub_); }

  std::string dir_, path_;
  std::unique_ptr<Extraction> x_;
  StubHeaderInfo stub_{};
};

TEST_F(Locate, WithoutStubHeaderTheArchiveStartsAtTheAppendedData) {
  Open(ArchiveHeaderBytes(3));
  ASSERT_EQ(Read(), 0);
  EXPECT_FALSE(stub_.present);
  EXPECT_EQ(x_->archiveOffset, kImageSize);
  EXPECT_STREQ(x_->windowTitle, "Ostrel Self-Extractor");
  EXPECT_STREQ(x_->options.targetFolder, "current-folder");
  EXPECT_FALSE(x_->options.overwriteWithoutPrompting);
  EXPECT_EQ(x_->archiveHeader.fileCount, 3u);
  EXPECT_EQ(x_->archiveHeader.directoryOffset, 0x1234u);
  EXPECT_EQ(x_->archiveHeader.archiveLength, 99u);
  EXPECT_EQ(x_->archiveHeader.dataLength, 7u);
  EXPECT_EQ(x_->files.programFilePos, kImageSize + kArchiveHeaderSize);
}

TEST_F(Locate, ForeignSignatureOrShortStubHeaderMeansNone) {
  Bytes foreign = StubHeaderBytes(2, 4, 0);
  foreign[1] = 'Y';  // "SY": not a stub header, so these bytes start the archive header
  Open(Join({foreign, Text(34)}));
  ASSERT_EQ(Read(), 0);
  EXPECT_FALSE(stub_.present);
  EXPECT_EQ(x_->archiveOffset, kImageSize);
  EXPECT_STREQ(x_->windowTitle, "Ostrel Self-Extractor");
  EXPECT_FALSE(x_->options.overwriteWithoutPrompting);
}

TEST_F(Locate, FileEndingInsideTheStubHeaderHasNoArchive) {
  Open(Bytes{0x53, 0x58, 2, 0, 5});
  EXPECT_EQ(Read(), kErrorRead);
  EXPECT_FALSE(stub_.present);
  EXPECT_STREQ(x_->windowTitle, "Ostrel Self-Extractor");
  EXPECT_EQ(x_->files.lastSystemError, 0u);  // a short read: no second line in the message
}

TEST_F(Locate, TitleAndFolderAreTakenAndTheFlagApplied) {
  Open(Join({StubHeaderBytes(0x02, 5, 9), {'H', 'e', 'l', 'l', 'o'}, {'C', ':', '\\', 'T', 'a', 'r', 'g', 'e', 't'},
             ArchiveHeaderBytes(1)}));
  ASSERT_EQ(Read(), 0);
  EXPECT_TRUE(stub_.present);
  EXPECT_STREQ(x_->windowTitle, "Hello");
  EXPECT_STREQ(x_->options.targetFolder, "C:\\Target");
  EXPECT_TRUE(x_->options.overwriteWithoutPrompting);
  EXPECT_EQ(x_->archiveOffset, kImageSize + 8 + 5 + 9);
  EXPECT_EQ(x_->archiveHeader.fileCount, 1u);
}

TEST_F(Locate, OnlyFlagBitOneMeansOverwrite) {
  Open(Join({StubHeaderBytes(0xFD, 1, 1), {'T'}, {'F'}, ArchiveHeaderBytes(1)}));
  ASSERT_EQ(Read(), 0);
  EXPECT_FALSE(x_->options.overwriteWithoutPrompting);
}

TEST_F(Locate, ZeroLengthsGiveEmptyTitleAndFolderNotTheDefaults) {
  Open(Join({StubHeaderBytes(0, 0, 0), ArchiveHeaderBytes(1)}));
  ASSERT_EQ(Read(), 0);
  EXPECT_TRUE(stub_.present);
  EXPECT_STREQ(x_->windowTitle, "");
  EXPECT_STREQ(x_->options.targetFolder, "");
  EXPECT_EQ(x_->archiveOffset, kImageSize + 8);
}

TEST_F(Locate, LongTitleAndFolderAreCutAndStillSteppedOver) {
  Bytes title = Text(100, 'A'), folder = Text(300, 'a');
  Open(Join({StubHeaderBytes(0, 100, 300), title, folder, ArchiveHeaderBytes(2)}));
  ASSERT_EQ(Read(), 0);
  EXPECT_EQ(std::string(x_->windowTitle), std::string(title.begin(), title.begin() + 79));
  EXPECT_EQ(std::string(x_->options.targetFolder), std::string(folder.begin(), folder.begin() + 259));
  EXPECT_EQ(x_->archiveOffset, kImageSize + 8 + 100 + 300);
  EXPECT_EQ(x_->archiveHeader.fileCount, 2u);
}

TEST_F(Locate, FileEndingInsideTheTitleLeavesAnEmptyCaptionAndNoArchive) {
  Open(Join({StubHeaderBytes(0x02, 40, 10), Text(20)}));
  EXPECT_EQ(Read(), kErrorRead);
  EXPECT_TRUE(stub_.present);
  EXPECT_STREQ(x_->windowTitle, "");
  EXPECT_STREQ(x_->options.targetFolder, "current-folder");
  EXPECT_FALSE(x_->options.overwriteWithoutPrompting);
  EXPECT_EQ(x_->archiveOffset, kImageSize + 8 + 40 + 10);
}

TEST_F(Locate, FileEndingInsideTheFolderEmptiesItButKeepsTheFlag) {
  Open(Join({StubHeaderBytes(0x02, 2, 30), {'T', 'i'}, Text(10)}));
  EXPECT_EQ(Read(), kErrorRead);
  EXPECT_STREQ(x_->windowTitle, "Ti");
  EXPECT_STREQ(x_->options.targetFolder, "");
  EXPECT_TRUE(x_->options.overwriteWithoutPrompting);
}

TEST_F(Locate, ArchiveHeaderShorterThan42BytesFails) {
  for (size_t cut : {size_t{0}, size_t{1}, size_t{41}}) {
    Bytes header = ArchiveHeaderBytes(5);
    header.resize(cut);
    Open(Join({StubHeaderBytes(0, 1, 0), {'T'}, header}));
    EXPECT_EQ(Read(), kErrorRead) << cut;
    EXPECT_EQ(x_->files.lastSystemError, 0u);
    FileClose(x_->files, x_->files.programFile);
    x_->files.programFile = kInvalidFileHandle;
  }
}

TEST_F(Locate, MagicIsNotExamined) {
  Bytes header = ArchiveHeaderBytes(4);
  std::memcpy(header.data(), "JUNK", 4);
  Open(header);
  ASSERT_EQ(Read(), 0);
  EXPECT_EQ(x_->archiveHeader.fileCount, 4u);
}

TEST(DisplayName, AfterLastBackslashElseLastColonElseWholePath) {
  EXPECT_STREQ(DisplayNameOf("C:\\Downloads\\setup.exe"), "setup.exe");
  EXPECT_STREQ(DisplayNameOf("\\\\server\\share\\a b.exe"), "a b.exe");
  EXPECT_STREQ(DisplayNameOf("C:setup.exe"), "setup.exe");
  EXPECT_STREQ(DisplayNameOf("setup.exe"), "setup.exe");
  EXPECT_STREQ(DisplayNameOf(""), "");
  // The backslash rule wins over a later colon (an alternate data stream name, say).
  EXPECT_STREQ(DisplayNameOf("C:\\dir\\file:stream"), "file:stream");
  EXPECT_STREQ(DisplayNameOf("C:\\dir\\"), "");
  // Slashes are not separators for this rule.
  EXPECT_STREQ(DisplayNameOf("dir/sub/x.exe"), "dir/sub/x.exe");
}

TEST(DisplayName, LongNamesAreCutToFit) {
  auto x = std::make_unique<Extraction>();
  InitExtraction(*x, nullptr);
  std::string name(400, 'n');
  SetDisplayName(*x, ("C:\\" + name).c_str());
  EXPECT_EQ(std::string(x->displayName), name.substr(0, kDisplayNameSize - 1));
  SetDisplayName(*x, "D:short.exe");
  EXPECT_STREQ(x->displayName, "short.exe");
}

// The stamp written by the build's script (into tests/data/tiny32.exe by make_tiny.sh) and the one the
// stub computes must agree, and must survive what signing does to a file.
class ImageStamp : public Locate {
 protected:
  void SetUp() override {
    Locate::SetUp();
    std::ifstream in(std::string(ZOR_TEST_DATA_DIR) + "/tiny32.exe", std::ios::binary);
    exe_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    ASSERT_GT(exe_.size(), 1024u);
    pe_ = LoadLE32(exe_.data() + 0x3C);
  }
  ImageCheck Inspect(const Bytes& file) {
    Open({}, file);
    ImageCheck check{};
    EXPECT_EQ(InspectProgramFile(x_->files, x_->decoder.crc, check), 0);
    return check;
  }
  Bytes exe_;
  uint32_t pe_ = 0;
};

TEST_F(ImageStamp, BuildScriptAndEngineAgree) {
  ImageCheck check = Inspect(exe_);
  EXPECT_EQ(check.kind, ImageKind::kExecutable);
  EXPECT_EQ(check.layout.appendedDataOffset, exe_.size());
  EXPECT_NE(check.storedStamp, 0u);
  EXPECT_TRUE(ImageIsIntact(check));
}

TEST_F(ImageStamp, AppendedDataAndSigningFieldsDoNotCount) {
  Bytes signed_ = exe_;
  signed_[pe_ + 24 + 64] ^= 0x5A;                  // CheckSum
  signed_[pe_ + 24 + 96 + 32] = 0x00;              // certificate table: file offset ...
  signed_[pe_ + 24 + 96 + 33] = 0x20;
  signed_[pe_ + 24 + 96 + 36] = 0x80;              // ... and size
  signed_.insert(signed_.end(), 3000, 0x77);      // payload and signature behind the image
  ImageCheck check = Inspect(signed_);
  EXPECT_TRUE(ImageIsIntact(check));
  EXPECT_EQ(check.layout.appendedDataOffset, exe_.size());
}

TEST_F(ImageStamp, AnyChangedImageByteIsNoticed) {
  for (size_t at : {size_t{0x4E}, size_t{0x3E}, exe_.size() / 2, exe_.size() - 1}) {
    Bytes changed = exe_;
    changed[at] ^= 0x01;
    EXPECT_FALSE(ImageIsIntact(Inspect(changed))) << at;
    FileClose(x_->files, x_->files.programFile);
    x_->files.programFile = kInvalidFileHandle;
  }
}

TEST_F(ImageStamp, CutShortImageIsDamaged) {
  Bytes cut(exe_.begin(), exe_.end() - 100);
  ImageCheck check = Inspect(cut);
  EXPECT_EQ(check.kind, ImageKind::kDamagedExecutable);
  EXPECT_FALSE(ImageIsIntact(check));
}

TEST_F(ImageStamp, FilesWithoutExecutableAreBareArchives) {
  ImageCheck check = Inspect(Join({StubHeaderBytes(0, 0, 0), ArchiveHeaderBytes(1)}));
  EXPECT_EQ(check.kind, ImageKind::kBareArchive);
  EXPECT_EQ(check.layout.appendedDataOffset, 0u);
  EXPECT_FALSE(ImageIsIntact(check));
}

}  // namespace
}  // namespace zor
