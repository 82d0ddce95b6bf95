// The packer's failure paths (a file that cannot be read, an archive over the limit), the size limit it
// enforces, large files coded while they are read, the output file that appears whole or not at all, and
// the progress line.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "cli/output_file.h"
#include "cli/pack_progress.h"
#include "archive/archive_format.h"
#include "encoder/call_filter.h"
#include "encoder/packer.h"
#include "encoder/streamed_file.h"
#include "support/archive_reader.h"
#include "support/sample_data.h"
#include "support/temp_tree.h"

namespace zor {
namespace {

using namespace encoder;

// Files from memory, the archive into memory; file `failAt` cannot be read.
class MemoryIo : public PackIo {
 public:
  explicit MemoryIo(std::vector<std::vector<uint8_t>> files, size_t failAt = SIZE_MAX)
      : files_(std::move(files)), failAt_(failAt) {}
  bool ReadFile(size_t index, std::vector<uint8_t>& data, std::string& error) override {
    if (index == failAt_) {
      error = "file " + std::to_string(index) + " is gone";
      return false;
    }
    data = files_[index];
    return true;
  }
  bool Write(const uint8_t* data, size_t size, std::string&) override {
    out.insert(out.end(), data, data + size);
    return true;
  }
  bool WriteAt(uint64_t offset, const uint8_t* data, size_t size, std::string&) override {
    std::copy(data, data + size, out.begin() + static_cast<ptrdiff_t>(offset));
    return true;
  }
  std::vector<uint8_t> out;

 private:
  std::vector<std::vector<uint8_t>> files_;
  size_t failAt_;
};

PackJob Job(size_t files, uint64_t size) {
  PackJob job;
  for (size_t i = 0; i < files; ++i) {
    PackEntry e;
    e.storedPath = "f" + std::to_string(i);
    e.attributes = 0x20;
    e.size = size;
    job.files.push_back(e);
  }
  job.settings.level = 0;
  job.threads = 4;
  return job;
}

std::vector<std::vector<uint8_t>> Contents(size_t files, uint32_t size) {
  std::vector<std::vector<uint8_t>> out;
  for (size_t i = 0; i < files; ++i) out.emplace_back(size, static_cast<uint8_t>(i));
  return out;
}

TEST(Packer, AFileThatCannotBeReadStopsThePackWithItsReason) {
  // Enough files for several segments, so that the failure meets workers running ahead.
  PackJob job = Job(8, 3u << 20);
  MemoryIo io(Contents(8, 3u << 20), 5);
  PackResult r = PackArchive(job, io);
  EXPECT_EQ(r.status, PackStatus::kReadFailed);
  EXPECT_EQ(r.error, "file 5 is gone");
}

TEST(Packer, AnArchiveOverTheLimitIsRefused) {
  PackJob job = Job(3, 100000);
  job.outputStart = 12288;
  job.outputLimit = 12288 + 250000;  // two files fit, three do not
  MemoryIo io(Contents(3, 100000));
  PackResult r = PackArchive(job, io);
  EXPECT_EQ(r.status, PackStatus::kTooLarge);
  job.outputLimit = 12288 + 400000;
  MemoryIo io2(Contents(3, 100000));
  EXPECT_EQ(PackArchive(job, io2).status, PackStatus::kOk);
}

TEST(Packer, TheLargestFileIsTheLargestThatFitsStored) {
  for (uint64_t start : {0ull, 12288ull, 100000ull}) {
    uint64_t n = LargestFile(start);
    EXPECT_LE(StoredArchiveLength(start, n), kMaxProgramFileLength);
    EXPECT_GT(StoredArchiveLength(start, n + 1), kMaxProgramFileLength);
    EXPECT_GT(n, 0x7FF00000u);  // about 2 GiB less the stub and a few kilobytes of headers
  }
}

// Files above PackJob::streamAbove are coded while they are read: each comes back whole, with its CRC
// and call filter, at every kind of level, between files packed the usual way; a file that grew is refused.
TEST(Packer, LargeFilesAreStreamedAndComeBackWhole) {
  const std::vector<uint8_t> code = test::Sample(test::SampleKind::kCode, 1300000, 1);
  const std::vector<uint8_t> text = test::Sample(test::SampleKind::kMixed, 2200000, 2);
  const std::vector<uint8_t> small = test::Sample(test::SampleKind::kText, 5000, 3);
  for (int level : {0, 1, 6}) {
    SCOPED_TRACE(level);
    PackJob job = Job(4, 0);
    job.settings.level = level;
    job.streamAbove = 1u << 20;
    std::vector<std::vector<uint8_t>> contents = {small, code, text, std::vector<uint8_t>(1u << 20, 7)};
    for (size_t i = 0; i < contents.size(); ++i) job.files[i].size = contents[i].size();
    job.files[1].storedPath = "setup.exe";
    MemoryIo io(contents);
    PackResult r = PackArchive(job, io);
    ASSERT_EQ(r.status, PackStatus::kOk) << r.error;
    test::ReadArchive read = test::ReadWholeArchive(io.out);
    ASSERT_EQ(read.result, 0);
    ASSERT_EQ(read.entries.size(), 4u);
    for (const test::ReadEntry& e : read.entries) {
      const size_t i = static_cast<size_t>(e.path == "setup.exe" ? 1 : e.path[1] - '0');
      EXPECT_TRUE(e.data == contents[i]) << e.path;
      if (i == 1 && level > 0) {
        EXPECT_NE(e.entry.flags & (kEntryCalls16 | kEntryCalls32), 0) << "no call filter";
      }
    }
  }
  // A file longer than the walk said.
  PackJob job = Job(1, 1500000);
  job.streamAbove = 1u << 20;
  MemoryIo grown({std::vector<uint8_t>(1500001, 1)});
  PackResult r = PackArchive(job, grown);
  EXPECT_EQ(r.status, PackStatus::kReadFailed);
  EXPECT_NE(r.error.find("changed while it was being packed"), std::string::npos) << r.error;
}

// The call transform fed in pieces of every size gives the bytes of the whole-file transform.
TEST(StreamingCallEncoder, AnyPiecesGiveTheWholeFileTransform) {
  std::vector<uint8_t> file = test::Sample(test::SampleKind::kCode, 3000, 4);
  for (size_t i = 0; i < file.size(); i += 97) file[i] = 0xE8;  // calls near every piece boundary
  for (size_t k = file.size() - 6; k < file.size(); ++k) file[k] = 0xE8;  // and at the end
  for (uint8_t flags : {kEntryCalls16, kEntryCalls32}) {
    std::vector<uint8_t> whole = file;
    if (flags == kEntryCalls16) EncodeCalls16(whole.data(), static_cast<uint32_t>(whole.size()));
    else EncodeCalls32(whole.data(), static_cast<uint32_t>(whole.size()));
    for (size_t piece : {1, 2, 3, 5, 7, 64, 3000}) {
      StreamingCallEncoder encoder(flags, static_cast<uint32_t>(file.size()));
      std::vector<uint8_t> out;
      for (size_t at = 0; at < file.size(); at += piece)
        encoder.Feed(file.data() + at, std::min(piece, file.size() - at), out);
      EXPECT_TRUE(out == whole) << int(flags) << " in pieces of " << piece;
    }
  }
}

TEST(AtomicOutputFile, NothingUnderTheNameUntilCommitted) {
  test::TempTree t;
  std::string error;
  const uint8_t bytes[] = {'a', 'b', 'c', 'd'};
  {
    AtomicOutputFile f;
    ASSERT_TRUE(f.Open(t.Path("out.exe"), error)) << error;
    ASSERT_TRUE(f.Write(bytes, sizeof bytes, error));
    EXPECT_EQ(t.List("").size(), 1u);  // the temporary file
    EXPECT_FALSE(t.Exists("out.exe"));
  }
  EXPECT_TRUE(t.List("").empty());  // dropped without a commit: gone
  AtomicOutputFile f;
  ASSERT_TRUE(f.Open(t.Path("out.exe"), error)) << error;
  ASSERT_TRUE(f.Write(bytes, sizeof bytes, error));
  ASSERT_TRUE(f.WriteAt(1, bytes, 2, error));
  ASSERT_TRUE(f.Commit(error)) << error;
  EXPECT_EQ(t.List(""), std::vector<std::string>{"out.exe"});
  EXPECT_EQ(t.Read("out.exe"), (std::vector<uint8_t>{'a', 'a', 'b', 'd'}));
  AtomicOutputFile missing;
  EXPECT_FALSE(missing.Open(t.Path("no/such/folder/out.exe"), error));
  EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
}

TEST(PackProgress, TheLineFitsTheTerminal) {
  std::string line = FormatPackLine(4000, 2000, 1000, 2.0, 100);
  EXPECT_LT(line.size(), 100u);
  EXPECT_EQ(line.rfind(" 50% [==========>         ] ", 0), 0u) << line;
  EXPECT_NE(line.find("2.0 KiB in, 1000 bytes out (50.0%)  1000 bytes/s"), std::string::npos) << line;
  EXPECT_EQ(FormatPackLine(4000, 2000, 1000, 2.0, 50).find('['), std::string::npos);  // no room for the bar
  EXPECT_EQ(FormatPackLine(4000, 2000, 1000, 2.0, 20).size(), 19u);  // cut, never wrapped
  EXPECT_EQ(FormatPackLine(0, 0, 0, 0.0, 80).rfind("100% [====", 0), 0u);  // nothing to read: done
}

}  // namespace
}  // namespace zor
