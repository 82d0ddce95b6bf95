// zor create end to end, in process: trees of every kind of content packed and read back with the
// engine's decoders, entry order, times and attributes, the stub header, the same bytes for any number of
// threads, and every refusal (exit code, message, and nothing written).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "archive/pe_image.h"
#include "cli/archive_file.h"
#include "cli/create_command.h"
#include "cli/input_tree.h"
#include "cli/stub_image.h"
#include "encoder/pe_resources.h"
#include "encoder/stub_resources.h"
#include "platform/bytes.h"
#include "support/archive_reader.h"
#include "support/extract_fixture.h"
#include "support/recording_front_end.h"
#include "support/sample_data.h"
#include "support/temp_tree.h"

namespace zor {
namespace {

using Bytes = std::vector<uint8_t>;
using test::Sample;
using test::SampleKind;
using test::TempTree;

struct Created {
  int rc = -1;
  std::string out, err;
  Bytes bytes;        // the output file, if there is one
  bool exists = false;
};

// Captures a FILE*'s output in a string.
class Capture {
 public:
  Capture() : file_(open_memstream(&buffer_, &size_)) {}
  ~Capture() {
    if (file_) std::fclose(file_);
    std::free(buffer_);
  }
  std::FILE* file() { return file_; }
  std::string Text() {
    std::fflush(file_);
    return std::string(buffer_, size_);
  }

 private:
  char* buffer_ = nullptr;
  size_t size_ = 0;
  std::FILE* file_;
};

Created Create(const TempTree& tree, CreateOptions options) {
  Capture out, err;
  Created c;
  c.rc = RunCreate(options, out.file(), err.file());
  c.out = out.Text();
  c.err = err.Text();
  struct stat st;
  c.exists = stat(options.output.c_str(), &st) == 0;
  if (c.exists && options.output.rfind(tree.root(), 0) == 0)
    c.bytes = tree.Read(options.output.substr(tree.root().size() + 1));
  return c;
}

CreateOptions Options(const TempTree& tree, std::vector<std::string> inputs, const std::string& output = "out.exe") {
  CreateOptions o;
  o.output = tree.Path(output);
  for (const std::string& i : inputs) o.inputs.push_back(tree.Path(i));
  o.threads = 2;
  o.level = 1;
  return o;
}

// Where the archive starts in a self-extractor or a bare file, behind the stub header if there is one.
uint32_t ArchiveOffset(const Bytes& file) {
  uint32_t at = 0;
  if (file.size() >= 2 && file[0] == 'M' && file[1] == 'Z') {
    PeLayout layout;
    if (!ParsePeImage(file.data(), static_cast<uint32_t>(std::min<size_t>(file.size(), kPeHeadReadSize)), layout))
      return 0xFFFFFFFFu;
    at = layout.appendedDataOffset;
  }
  if (file.size() >= at + kStubHeaderSize && file[at] == 'S' && file[at + 1] == 'X')
    at += kStubHeaderSize + LoadLE16(&file[at + 4]) + LoadLE16(&file[at + 6]);
  return at;
}

struct Unpacked {
  ArchiveHeader header{};
  test::ReadArchive read;
  std::map<std::string, const test::ReadEntry*> byPath;
};

void Unpack(const Bytes& file, Unpacked& u) {
  uint32_t at = ArchiveOffset(file);
  ASSERT_LE(static_cast<uint64_t>(at) + kArchiveHeaderSize, file.size());
  u.header = ParseArchiveHeader(&file[at]);
  u.read = test::ReadWholeArchive(file, at);
  ASSERT_EQ(u.read.result, 0);
  ASSERT_EQ(u.read.entries.size(), u.header.fileCount);
  for (const test::ReadEntry& e : u.read.entries) u.byPath[e.path] = &e;
  // The fields the extractor does not read, as archives are written.
  EXPECT_EQ(std::memcmp(u.header.magic, "ZOR\n", 4), 0);
  EXPECT_EQ(u.header.archiveLength, file.size() - at);
  EXPECT_EQ(u.header.dataLength, u.header.directoryOffset - kArchiveHeaderSize);
}

size_t ImageEnd(const Bytes& file) {
  PeLayout layout;
  if (!ParsePeImage(file.data(), static_cast<uint32_t>(std::min<size_t>(file.size(), kPeHeadReadSize)), layout))
    return 0;
  return layout.appendedDataOffset;
}

uint32_t CheckSumAt(const Bytes& file) {
  PeLayout layout;
  ParsePeImage(file.data(), static_cast<uint32_t>(std::min<size_t>(file.size(), kPeHeadReadSize)), layout);
  return layout.checkSumOffset;
}

// The PE checksum field holds the sum of the whole file, archive included.
void ExpectChecksum(const Bytes& file) {
  const uint32_t at = CheckSumAt(file);
  encoder::PeChecksum sum(at);
  sum.Add(file.data(), file.size());
  EXPECT_EQ(LoadLE32(&file[at]), sum.Finish());
}

// Folders first, each after its parent; then the files, each segment's in increasing stream position
// (a copy of the file before it may share its position, an empty file any position).
void ExpectArchiveOrder(const Unpacked& u) {
  std::set<std::string> folders;
  bool inFiles = false;
  std::set<uint32_t> finishedSegments;
  uint32_t segment = 0, position = 0;
  const DirectoryEntry* previous = nullptr;
  for (const test::ReadEntry& e : u.read.entries) {
    bool folder = e.entry.flags & kEntryFolder;
    if (folder) {
      EXPECT_FALSE(inFiles) << e.path << ": a folder after the files";
      size_t slash = e.path.rfind('\\');
      if (slash != std::string::npos) {
        EXPECT_TRUE(folders.count(e.path.substr(0, slash))) << e.path;
      }
      folders.insert(e.path);
      continue;
    }
    if (e.entry.length == 0) continue;
    if (inFiles && e.entry.segmentOffset == segment) {
      if (e.entry.position == position) {
        EXPECT_TRUE(previous->length == e.entry.length && previous->crc == e.entry.crc)
            << e.path << ": shares the position of a file with other content";
      } else {
        EXPECT_GT(e.entry.position, position) << e.path << ": out of stream order";
      }
    } else {
      if (inFiles) finishedSegments.insert(segment);
      EXPECT_FALSE(finishedSegments.count(e.entry.segmentOffset)) << e.path << ": its segment was left before";
    }
    inFiles = true;
    segment = e.entry.segmentOffset;
    position = e.entry.position;
    previous = &e.entry;
  }
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes ReadTestData(const char* name) {
  Bytes out;
  std::FILE* f = std::fopen((std::string(ZOR_TEST_DATA_DIR) + "/" + name).c_str(), "rb");
  if (!f) return out;
  int c;
  while ((c = std::fgetc(f)) != EOF) out.push_back(static_cast<uint8_t>(c));
  std::fclose(f);
  return out;
}

void SetWriteTime(const std::string& path, time_t t) {
  struct timespec times[2] = {{t, 0}, {t, 0}};
  utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

// Runs a test body in UTC, so that DOS local times are predictable.
class InUtc {
 public:
  InUtc() {
    const char* tz = std::getenv("TZ");
    if (tz) saved_ = tz, hadTz_ = true;
    setenv("TZ", "UTC0", 1);
    tzset();
  }
  ~InUtc() {
    if (hadTz_) setenv("TZ", saved_.c_str(), 1);
    else unsetenv("TZ");
    tzset();
  }

 private:
  std::string saved_;
  bool hadTz_ = false;
};

TEST(Create, EveryKindOfContentComesBackWhole) {
  TempTree t;
  std::map<std::string, Bytes> files = {
      {"pack\\empty.txt", {}},
      {"pack\\nested\\a\\b\\deep.txt", Text("deep down\r\n")},
      {"pack\\text.txt", Sample(SampleKind::kText, 200000, 1)},
      {"pack\\random.bin", Sample(SampleKind::kRandom, 150000, 2)},
      {"pack\\code.bin", Sample(SampleKind::kCode, 80000, 3)},
      {"pack\\table.dat", Sample(SampleKind::kTable, 60000, 4)},
      {"pack\\bin\\tiny32.exe", ReadTestData("tiny32.exe")},
      {"pack\\bin\\zorsfx.exe", Bytes(kStubImage, kStubImage + kStubImageSize)},
      {"pack\\Caf\xE9 \x80.txt", Text("named in Windows-1252")},
      {"extra.txt", Text("an input file of its own")},
      // Copies: stored once and shared within a block, or again next to the first.
      {"pack\\copy\\text.txt", Sample(SampleKind::kText, 200000, 1)},
      {"pack\\copy\\code.bin", Sample(SampleKind::kCode, 80000, 3)},
      {"pack\\copy\\empty.txt", {}},
  };
  ASSERT_FALSE(files["pack\\bin\\tiny32.exe"].empty());
  for (const auto& [path, bytes] : files) {
    std::string p = path;
    std::replace(p.begin(), p.end(), '\\', '/');
    if (p.find("Caf") != std::string::npos) p = "pack/Caf\xC3\xA9 \xE2\x82\xAC.txt";  // as UTF-8 on disk
    t.File("in/" + p, bytes);
  }
  t.Folder("in/pack/emptydir");
  t.Folder("in/pack/nested/empty");

  // Every kind of level: stored, hash chains, optimal parses; through the self-extractor's decoders.
  for (int level : {0, 1, 6, 9}) {
    SCOPED_TRACE("level " + std::to_string(level));
    CreateOptions options = Options(t, {"in/pack", "in/extra.txt"});
    options.level = level;
    Created c = Create(t, options);
    ASSERT_EQ(c.rc, 0) << c.err;
    EXPECT_EQ(c.err, "");
    EXPECT_EQ(c.out, "");  // quiet when nobody watches
    Unpacked u;
    ASSERT_NO_FATAL_FAILURE(Unpack(c.bytes, u));
    ExpectArchiveOrder(u);

    std::vector<std::string> folders;
    for (const test::ReadEntry& e : u.read.entries) {
      if (e.entry.flags & kEntryFolder) {
        folders.push_back(e.path);
        EXPECT_EQ(e.entry.attributes, 0x10) << e.path;
        EXPECT_EQ(e.entry.length, 0u);
      }
    }
    EXPECT_EQ(folders, (std::vector<std::string>{"pack", "pack\\bin", "pack\\copy", "pack\\emptydir", "pack\\nested",
                                                 "pack\\nested\\a", "pack\\nested\\a\\b", "pack\\nested\\empty"}));
    if (level > 0) {  // the copies go together only where the files' content is read for their order
      EXPECT_EQ(u.byPath["pack\\copy\\text.txt"]->entry.position, u.byPath["pack\\text.txt"]->entry.position);
    }
    EXPECT_EQ(u.read.entries.size(), folders.size() + files.size());
    for (const auto& [path, bytes] : files) {
      ASSERT_TRUE(u.byPath.count(path)) << path;
      const test::ReadEntry& e = *u.byPath[path];
      EXPECT_TRUE(e.data == bytes) << path;
      EXPECT_EQ(e.entry.length, bytes.size()) << path;
      EXPECT_EQ(e.entry.attributes, 0x20) << path;
    }
  }
}

// Through the extract driver onto disk: the same tree comes back, with the write times (to the 2 seconds
// of DOS times) and the read-only files.
TEST(Create, ExtractingRebuildsTheTree) {
  InUtc utc;
  TempTree t;
  t.File("in/pack/text.txt", Sample(SampleKind::kText, 30000, 8));
  t.File("in/pack/sub/code.bin", Sample(SampleKind::kCode, 20000, 9));
  t.File("in/pack/sub/empty", Bytes());
  t.File("in/pack/locked.txt", "read only");
  t.Folder("in/pack/nothing/inside");
  chmod(t.Path("in/pack/locked.txt").c_str(), 0444);
  SetWriteTime(t.Path("in/pack/text.txt"), 981173107);
  Created c = Create(t, Options(t, {"in/pack"}));
  ASSERT_EQ(c.rc, 0) << c.err;

  t.Folder("out");
  test::ExtractHarness h(c.bytes, ArchiveOffset(c.bytes));
  h.Target(test::EnginePath(t.Path("out")));
  ASSERT_EQ(h.Run(), 0);
  EXPECT_TRUE(h.MessageTexts().empty());
  for (const char* file : {"pack/text.txt", "pack/sub/code.bin", "pack/sub/empty", "pack/locked.txt"}) {
    EXPECT_TRUE(t.Read(std::string("out/") + file) == t.Read(std::string("in/") + file)) << file;
  }
  EXPECT_TRUE(test::IsFolder(t.Path("out/pack/nothing/inside")));
  struct stat st;
  ASSERT_EQ(stat(t.Path("out/pack/text.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 981173106);  // DOS times count in 2-second steps
  ASSERT_EQ(stat(t.Path("out/pack/locked.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0222, 0u);
}

// 9 MB: a segment of its own; 17 MB: coded while it is read.
TEST(Create, LargeFilesAndTheFilesAroundThem) {
  TempTree t;
  Bytes big = Sample(SampleKind::kRepeats, 9u << 20, 5);
  Bytes huge = Sample(SampleKind::kRepeats, 17u << 20, 8);
  t.File("in/huge.bin", huge);
  Bytes before = Sample(SampleKind::kText, 5000, 6), after = Sample(SampleKind::kText, 7000, 7);
  t.File("in/a.txt", before);
  t.File("in/big.bin", big);
  t.File("in/c.txt", after);
  Created c = Create(t, Options(t, {"in"}));
  ASSERT_EQ(c.rc, 0) << c.err;
  Unpacked u;
  ASSERT_NO_FATAL_FAILURE(Unpack(c.bytes, u));
  ExpectArchiveOrder(u);
  EXPECT_TRUE(u.byPath["in\\big.bin"]->data == big);
  EXPECT_TRUE(u.byPath["in\\huge.bin"]->data == huge);
  EXPECT_TRUE(u.byPath["in\\a.txt"]->data == before);
  EXPECT_TRUE(u.byPath["in\\c.txt"]->data == after);
}

// Several large files in one segment: blocks end inside files, and each file's local header repeats the
// one 600 KB before it, a match that only the farthest distance codes reach.
TEST(Create, LargeFilesSharingASegment) {
  TempTree t;
  std::vector<Bytes> files;
  for (uint32_t i = 0; i < 3; ++i) {
    files.push_back(Sample(SampleKind::kText, 600000, 30 + i));
    t.File("in/long " + std::to_string(i) + ".txt", files.back());
  }
  Created c = Create(t, Options(t, {"in"}));
  ASSERT_EQ(c.rc, 0) << c.err;
  Unpacked u;
  ASSERT_NO_FATAL_FAILURE(Unpack(c.bytes, u));
  for (uint32_t i = 0; i < 3; ++i) {
    const test::ReadEntry* e = u.byPath["in\\long " + std::to_string(i) + ".txt"];
    ASSERT_TRUE(e);
    EXPECT_TRUE(e->data == files[i]) << i;
  }
  EXPECT_EQ(u.read.entries[1].entry.segmentOffset, u.read.entries[3].entry.segmentOffset);
}

TEST(Create, TheSameBytesWhateverTheNumberOfThreads) {
  TempTree t;
  // Several segments' worth, stored (level 0) so that it stays quick; and a mixed tree at the default level.
  for (int i = 0; i < 5; ++i) t.File("many/f" + std::to_string(i), Sample(SampleKind::kRandom, 3u << 20, 10 + i));
  for (SampleKind kind : test::kAllSampleKinds)
    t.File("mixed/k" + std::to_string(static_cast<int>(kind)), Sample(kind, 40000, 20));
  // Look-alike files under unrelated names, which the similarity order puts together.
  for (int i = 0; i < 4; ++i) {
    Bytes variant = Sample(SampleKind::kText, 30000, 21);
    for (int k = 0; k <= i; ++k) variant[1000 + 7000 * k] ^= 0x20;
    t.File("mixed/" + std::string(1, static_cast<char>('a' + 5 * i)) + ".v" + std::to_string(i), variant);
  }
  for (const char* folder : {"many", "mixed"}) {
    Bytes first;
    for (unsigned threads : {1u, 4u, 3u}) {
      CreateOptions o = Options(t, {folder}, std::string(folder) + std::to_string(threads) + ".exe");
      o.threads = threads;
      o.level = std::string(folder) == "many" ? 0 : 6;
      Created c = Create(t, o);
      ASSERT_EQ(c.rc, 0) << c.err;
      if (first.empty()) {
        first = c.bytes;
        Unpacked u;
        ASSERT_NO_FATAL_FAILURE(Unpack(c.bytes, u));
      } else {
        EXPECT_TRUE(c.bytes == first) << folder << " with " << threads << " threads";
      }
    }
  }
}

TEST(Create, TimesAndTheReadOnlyAttribute) {
  InUtc utc;
  TempTree t;
  t.File("in/when.txt", "x");
  t.File("in/old.txt", "x");
  t.File("in/locked.txt", "x");
  t.Folder("in/locked-folder");
  SetWriteTime(t.Path("in/when.txt"), 981173107);  // 2001-02-03 04:05:07 UTC
  SetWriteTime(t.Path("in/old.txt"), 86400 * 365);  // 1971
  chmod(t.Path("in/locked.txt").c_str(), 0444);
  chmod(t.Path("in/locked-folder").c_str(), 0555);
  SetWriteTime(t.Path("in"), 981173107);
  Created c = Create(t, Options(t, {"in"}));
  ASSERT_EQ(c.rc, 0) << c.err;
  EXPECT_NE(c.err.find("1 entry has times outside 1980 to 2107"), std::string::npos) << c.err;
  Unpacked u;
  ASSERT_NO_FATAL_FAILURE(Unpack(c.bytes, u));

  const DirectoryEntry& when = u.byPath["in\\when.txt"]->entry;
  EXPECT_EQ(when.writeDate, (21 << 9) | (2 << 5) | 3);
  EXPECT_EQ(when.writeTime, (4 << 11) | (5 << 5) | 3);  // 7 seconds: 2-second steps, rounded down
  EXPECT_NE(when.createDate, 0);                        // the birth time, or the write time without one
  const DirectoryEntry& folder = u.byPath["in"]->entry;
  EXPECT_EQ(folder.writeDate, (21 << 9) | (2 << 5) | 3);

  const DirectoryEntry& old = u.byPath["in\\old.txt"]->entry;
  EXPECT_EQ(old.writeDate, (0 << 9) | (1 << 5) | 1);  // 1 January 1980
  EXPECT_EQ(old.writeTime, 0);

  EXPECT_EQ(u.byPath["in\\locked.txt"]->entry.attributes, 0x21);
  EXPECT_EQ(u.byPath["in\\locked-folder"]->entry.attributes, 0x10);  // see CollectInputs: never read-only
  EXPECT_EQ(u.byPath["in\\when.txt"]->entry.attributes, 0x20);
}

TEST(Create, StubHeaderOnlyWhenAskedForAndTheStubInFrontUnlessBare) {
  TempTree t;
  t.File("in/a.txt", "a");
  Bytes stub(kStubImage, kStubImage + kStubImageSize);
  auto prefixOf = [](const Bytes& b, size_t n) { return Bytes(b.begin(), b.begin() + std::min(n, b.size())); };

  Created plain = Create(t, Options(t, {"in"}, "plain.exe"));
  ASSERT_EQ(plain.rc, 0) << plain.err;
  // The stub as built, but for the checksum, which counts the whole file.
  Bytes image = prefixOf(plain.bytes, stub.size());
  ExpectChecksum(plain.bytes);
  std::fill_n(image.begin() + CheckSumAt(stub), 4, 0);
  std::fill_n(stub.begin() + CheckSumAt(stub), 4, 0);
  EXPECT_TRUE(image == stub);
  EXPECT_EQ(plain.bytes[stub.size()], 'Z');  // the archive right behind the image: no stub header

  CreateOptions o = Options(t, {"in"}, "titled.exe");
  o.title = "T\xC3\xADtulo";  // UTF-8 in, Windows-1252 out
  o.defaultFolder = "C:\\Programs\\Demo";
  o.overwriteWithoutPrompting = true;
  Created titled = Create(t, o);
  ASSERT_EQ(titled.rc, 0) << titled.err;
  Bytes header = {'S', 'X', 0x02, 0, 6, 0, 16, 0, 'T', 0xED, 't', 'u', 'l', 'o'};
  std::string folder = "C:\\Programs\\Demo";
  header.insert(header.end(), folder.begin(), folder.end());
  // A title gives the stub version information too: the image grows.
  const size_t titledImage = ImageEnd(titled.bytes);
  EXPECT_TRUE(Bytes(titled.bytes.begin() + titledImage, titled.bytes.begin() + titledImage + header.size()) == header);
  Unpacked u;
  ASSERT_NO_FATAL_FAILURE(Unpack(titled.bytes, u));

  // The flag alone: the stub's own caption is kept and the folder box starts empty.
  o = Options(t, {"in"}, "flag.exe");
  o.overwriteWithoutPrompting = true;
  Created flag = Create(t, o);
  ASSERT_EQ(flag.rc, 0) << flag.err;
  std::string title = "Ostrel Self-Extractor";
  header = {'S', 'X', 0x02, 0, static_cast<uint8_t>(title.size()), 0, 0, 0};
  header.insert(header.end(), title.begin(), title.end());
  EXPECT_TRUE(Bytes(flag.bytes.begin() + stub.size(), flag.bytes.begin() + stub.size() + header.size()) == header);
  EXPECT_EQ(ImageEnd(flag.bytes), stub.size());

  o = Options(t, {"in"}, "bare.zor");
  o.bare = true;
  Created bare = Create(t, o);
  ASSERT_EQ(bare.rc, 0) << bare.err;
  EXPECT_TRUE(prefixOf(bare.bytes, 4) == Text("ZOR\n"));
  // Behind a stub, the bare archive makes the same self-extractor.
  EXPECT_TRUE(Bytes(plain.bytes.begin() + stub.size(), plain.bytes.end()) == bare.bytes);

  o.output = t.Path("bare-titled.zor");
  o.title = "Hi";
  Created bareTitled = Create(t, o);
  ASSERT_EQ(bareTitled.rc, 0) << bareTitled.err;
  EXPECT_TRUE(prefixOf(bareTitled.bytes, 10) == (Bytes{'S', 'X', 0, 0, 2, 0, 0, 0, 'H', 'i'}));
  ASSERT_NO_FATAL_FAILURE(Unpack(bareTitled.bytes, u));
}

// The author's icon, version information and execution level in the stub: each self-extractor still
// passes its self-check and holds its archive where its headers say the image ends.
TEST(Create, TheStubTakesTheAuthorsIconVersionInformationAndExecutionLevel) {
  TempTree t;
  t.File("in/a.txt", "a");
  // A two-image icon: 16 x 16 and 32 x 32 bitmaps of 32 bits.
  Bytes ico = {0, 0, 1, 0, 2, 0};
  Bytes images;
  for (uint8_t size : {16, 32}) {
    const uint32_t length = 40 + size * size * 4 + size * 4, offset = 6 + 32 + static_cast<uint32_t>(images.size());
    Bytes entry = {size, size, 0, 0, 1, 0, 32, 0};
    for (uint32_t v : {length, offset})
      for (int i = 0; i < 4; ++i) entry.push_back(static_cast<uint8_t>(v >> (8 * i)));
    ico.insert(ico.end(), entry.begin(), entry.end());
    Bytes image(length);
    image[0] = 40, image[4] = size, image[8] = static_cast<uint8_t>(2 * size), image[12] = 1, image[14] = 32;
    images.insert(images.end(), image.begin(), image.end());
  }
  ico.insert(ico.end(), images.begin(), images.end());
  t.File("app.ico", ico);

  using Strings = encoder::VersionStrings;
  const struct {
    const char* what;
    std::optional<std::string> title;
    std::vector<std::string> versionInfo;
    Strings strings;  // what the version information holds, in its order
  } cases[] = {
      {"title only", "Demo Setup", {},
       {{"FileDescription", u"Demo Setup"}, {"ProductName", u"Demo Setup"}, {"OriginalFilename", u"out.exe"}}},
      {"keys and defaults", "Demo", {"fileversion=2.5 beta", "CompanyName=Caf\xC3\xA9 Ltd", "LegalCopyright=(c) 2026"},
       {{"FileDescription", u"Demo"}, {"FileVersion", u"2.5 beta"}, {"ProductName", u"Demo"},
        {"ProductVersion", u"2.5 beta"}, {"CompanyName", u"Caf\u00e9 Ltd"}, {"LegalCopyright", u"(c) 2026"},
        {"OriginalFilename", u"out.exe"}}},
      {"no title, a default left out", std::nullopt, {"ProductName=Tool", "OriginalFilename=", "ProductVersion=3"},
       {{"FileDescription", u"Ostrel Self-Extractor"}, {"FileVersion", u"3"}, {"ProductName", u"Tool"},
        {"ProductVersion", u"3"}}},
  };
  for (const auto& c : cases) {
    CreateOptions o = Options(t, {"in"});
    o.title = c.title;
    o.versionInfo = c.versionInfo;
    o.icon = t.Path("app.ico");
    o.elevation = "highestAvailable";
    Created created = Create(t, o);
    ASSERT_EQ(created.rc, 0) << c.what << ": " << created.err;
    Unpacked u;
    ASSERT_NO_FATAL_FAILURE(Unpack(created.bytes, u));
    ExpectChecksum(created.bytes);

    const size_t end = ImageEnd(created.bytes);
    encoder::ResourceSummary r;
    std::string error;
    ASSERT_TRUE(encoder::SummarizeResources(created.bytes.data(), end, r, error)) << error;
    EXPECT_EQ(r.executionLevel, "highestAvailable") << c.what;
    ASSERT_EQ(r.icons.size(), 2u) << c.what;
    EXPECT_EQ(r.icons[1].width, 32);
    EXPECT_EQ(r.version.strings, c.strings) << c.what;

    test::RecordingFrontEnd frontEnd;
    ArchiveFile file(frontEnd);
    ASSERT_EQ(file.Open(o.output.c_str()), 0) << c.what;
    EXPECT_TRUE(ImageIsIntact(file.image())) << c.what;
  }
}

TEST(Create, SymbolicLinksAreFollowedButNotRoundALoopAndEachFolderOnce) {
  TempTree t;
  t.File("in/real.txt", "real");
  t.File("in/sub/inner.txt", "inner");
  ASSERT_EQ(symlink("real.txt", t.Path("in/link.txt").c_str()), 0);
  ASSERT_EQ(symlink("sub", t.Path("in/sublink").c_str()), 0);
  ASSERT_EQ(symlink("..", t.Path("in/sub/up").c_str()), 0);
  // Twelve levels of two links each to the level below: 4096 paths to level 0, packed once.
  t.File("in/tree/l0/leaf.txt", "leaf");
  for (int i = 1; i <= 12; ++i) {
    const std::string level = "in/tree/l" + std::to_string(i);
    ASSERT_EQ(mkdir(t.Path(level).c_str(), 0755), 0);
    for (const char* name : {"/a", "/b"})
      ASSERT_EQ(symlink(("../l" + std::to_string(i - 1)).c_str(), t.Path(level + name).c_str()), 0);
  }
  Created c = Create(t, Options(t, {"in"}));
  ASSERT_EQ(c.rc, 0) << c.err;
  EXPECT_NE(c.err.find("in/sub/up\": it leads back to"), std::string::npos) << c.err;
  EXPECT_NE(c.err.find("in/sublink\": it is \"" + t.Path("in/sub") + "\", packed already"), std::string::npos)
      << c.err;
  Unpacked u;
  ASSERT_NO_FATAL_FAILURE(Unpack(c.bytes, u));
  EXPECT_TRUE(u.byPath["in\\link.txt"]->data == Text("real"));
  EXPECT_TRUE(u.byPath["in\\sub\\inner.txt"]->data == Text("inner"));
  EXPECT_FALSE(u.byPath.count("in\\sublink"));
  EXPECT_FALSE(u.byPath.count("in\\sub\\up"));
  size_t leaves = 0;
  for (const auto& [path, entry] : u.byPath) leaves += path.find("leaf.txt") != std::string::npos;
  EXPECT_EQ(leaves, 1u);
  EXPECT_LT(u.byPath.size(), 50u);
}

// A file swapped for a FIFO, for another file or for a link between the walk and the read is refused at
// once: the open does not wait for a FIFO's writer.
TEST(Create, AFileSwappedAfterTheWalkIsRefusedWithoutWaiting) {
  TempTree t;
  for (const char* name : {"in/a.txt", "in/b.txt", "in/c.txt", "other.txt"}) t.File(name, "x");
  ASSERT_EQ(symlink("../other.txt", t.Path("in/d.txt").c_str()), 0);
  CodePage codePage;
  ASSERT_TRUE(codePage.Open(1252));
  InputRules rules;
  rules.codePage = &codePage;
  InputTree tree;
  std::vector<std::string> errors, warnings;
  ASSERT_TRUE(CollectInputs({{t.Path("in")}}, rules, tree, errors, warnings));
  ASSERT_EQ(tree.files.size(), 4u);
  std::string error;
  uint8_t byte;
  size_t got = 0;
  EXPECT_TRUE(ReadWalkedFile(tree.files[3], 0, &byte, 1, got, error)) << error;  // d.txt: walked as a link
  EXPECT_EQ(got, 1u);
  ASSERT_EQ(unlink(t.Path("in/a.txt").c_str()), 0);
  ASSERT_EQ(mkfifo(t.Path("in/a.txt").c_str(), 0644), 0);
  t.File("in/b.new", "another file");  // made while b.txt still holds its inode
  ASSERT_EQ(rename(t.Path("in/b.new").c_str(), t.Path("in/b.txt").c_str()), 0);
  ASSERT_EQ(unlink(t.Path("in/c.txt").c_str()), 0);
  ASSERT_EQ(symlink("../other.txt", t.Path("in/c.txt").c_str()), 0);
  for (size_t i = 0; i < 3; ++i) {
    error.clear();
    EXPECT_FALSE(ReadWalkedFile(tree.files[i], 0, &byte, 1, got, error)) << tree.files[i].source;
    EXPECT_NE(error.find(tree.files[i].source), std::string::npos) << error;
  }
}

// Names that differ only in case are kept, both of them, with a warning: Linux extracts them side by side.
TEST(Create, NamesDifferingOnlyInCaseAreKeptWithAWarning) {
  TempTree t;
  t.File("in/A.TXT", "upper");
  t.File("in/a.txt", "lower");
  Created c = Create(t, Options(t, {"in"}));
  ASSERT_EQ(c.rc, 0) << c.err;
  EXPECT_NE(c.err.find("one name to Windows, which ignores case"), std::string::npos) << c.err;
  Unpacked u;
  ASSERT_NO_FATAL_FAILURE(Unpack(c.bytes, u));
  ASSERT_TRUE(u.byPath["in\\A.TXT"] && u.byPath["in\\a.txt"]);
  EXPECT_TRUE(u.byPath["in\\A.TXT"]->data == Text("upper"));
  EXPECT_TRUE(u.byPath["in\\a.txt"]->data == Text("lower"));
}

TEST(Create, AnOutputInsideAnInputIsNotPackedIntoItself) {
  TempTree t;
  t.File("in/a.txt", "a");
  CreateOptions o = Options(t, {"in"}, "in/out.exe");
  ASSERT_EQ(Create(t, o).rc, 0);
  Created again = Create(t, o);  // now out.exe exists inside the input
  ASSERT_EQ(again.rc, 0) << again.err;
  EXPECT_NE(again.err.find("it is the output file"), std::string::npos) << again.err;
  Unpacked u;
  ASSERT_NO_FATAL_FAILURE(Unpack(again.bytes, u));
  EXPECT_FALSE(u.byPath.count("in\\out.exe"));
  EXPECT_EQ(t.List("in").size(), 2u);  // a.txt and out.exe: no temporary file left
}

TEST(Create, NamesInOtherCodePages) {
  TempTree t;
  t.File("in/\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82.txt", "hello");  // "Привет.txt"
  CreateOptions o = Options(t, {"in"});
  Created c = Create(t, o);
  EXPECT_EQ(c.rc, 2);
  EXPECT_NE(c.err.find("which code page 1252 does not have"), std::string::npos) << c.err;
  o.codePage = "windows-1251";
  c = Create(t, o);
  ASSERT_EQ(c.rc, 0) << c.err;
  Unpacked u;
  ASSERT_NO_FATAL_FAILURE(Unpack(c.bytes, u));
  EXPECT_TRUE(u.byPath.count("in\\\xCF\xF0\xE8\xE2\xE5\xF2.txt"));
  for (const char* page : {"932", "utf-8", "1200"}) {
    o.codePage = page;
    c = Create(t, o);
    EXPECT_EQ(c.rc, 1) << page;
    EXPECT_NE(c.err.find("code page"), std::string::npos) << c.err;
  }
}

// Every refusal: exit code 2, a message that names the problem, no output and no temporary file, and a
// file that already stood under the output's name left as it was.
TEST(Create, RefusalsWriteNothing) {
  struct Case {
    const char* what;
    void (*make)(const TempTree&, CreateOptions&);
    const char* message;
    int rc = 2;  // 1: a usage error
  };
  static const Case kCases[] = {
      {"missing input", [](const TempTree& t, CreateOptions& o) { o.inputs.push_back(t.Path("nowhere")); },
       "nowhere\": No such file or directory"},
      {"dangling link", [](const TempTree& t, CreateOptions&) { symlink("gone", t.Path("in/dangling").c_str()); },
       "in/dangling\": a symbolic link to something that does not exist"},
      {"colon", [](const TempTree& t, CreateOptions&) { t.File("in/a:b", "x"); },
       "the name \"a:b\" holds \":\", which Windows does not allow in names"},
      {"star", [](const TempTree& t, CreateOptions&) { t.File("in/a*b", "x"); }, "holds \"*\""},
      {"backslash", [](const TempTree& t, CreateOptions&) { t.File("in/a\\b", "x"); }, "holds \"\\\""},
      {"control", [](const TempTree& t, CreateOptions&) { t.File("in/a\tb", "x"); }, "holds a control character"},
      {"dots", [](const TempTree& t, CreateOptions&) { t.Folder("in/. ."); }, "consists of dots and spaces only"},
      {"trailing dot", [](const TempTree& t, CreateOptions&) { t.File("in/name.", "x"); }, "ends in a dot or a space"},
      {"device", [](const TempTree& t, CreateOptions&) { t.File("in/Con.txt", "x"); }, "the name of a device"},
      {"not UTF-8", [](const TempTree& t, CreateOptions&) { t.File("in/caf\xE9", "x"); }, "is not UTF-8 text"},
      {"not in the code page", [](const TempTree& t, CreateOptions&) { t.File("in/\xE6\x97\xA5.txt", "x"); },
       "holds \"\xE6\x97\xA5\", which code page 1252 does not have"},
      {"long path",
       [](const TempTree& t, CreateOptions&) { t.File("in/" + std::string(120, 'd') + "/" + std::string(136, 'f'), "x"); },
       "its stored path is 260 characters long; the self-extractor takes at most 259"},
      {"same stored path",
       [](const TempTree& t, CreateOptions& o) {
         t.File("other/in/a.txt", "x");
         o.inputs.push_back(t.Path("other/in"));
       },
       "other/in\" would both be stored as \"in\""},
      {"too large",
       [](const TempTree& t, CreateOptions&) {
         t.File("in/huge.bin", "");
         truncate(t.Path("in/huge.bin").c_str(), 0x80000000LL);  // sparse: no disk space used
       },
       "in/huge.bin\": 2147483648 bytes is more than a self-extractor can hold"},
      {"long title", [](const TempTree&, CreateOptions& o) { o.title = std::string(80, 't'); },
       "the title is 80 characters long; the self-extractor takes at most 79"},
      {"long folder", [](const TempTree&, CreateOptions& o) { o.defaultFolder = std::string(260, 'f'); },
       "the default folder is 260 characters long; the self-extractor takes at most 259"},
      {"title not in the code page", [](const TempTree&, CreateOptions& o) { o.title = "\xE2\x98\x83"; },
       "the title holds \"\xE2\x98\x83\", which code page 1252 does not have"},
      {"no inputs", [](const TempTree&, CreateOptions& o) { o.inputs.clear(); }, "nothing to pack"},
      {"icon missing", [](const TempTree& t, CreateOptions& o) { o.icon = t.Path("none.ico"); },
       "none.ico\": No such file or directory"},
      {"not an icon", [](const TempTree& t, CreateOptions& o) { t.File("in/a.ico", "text"), o.icon = t.Path("in/a.ico"); },
       "a.ico\" is not a usable icon: it is not an icon file"},
      {"unknown version key",
       [](const TempTree&, CreateOptions& o) { o.versionInfo = {"ProductName=x", "Product=y"}; },
       "--version-info takes KEY=VALUE with one of the keys FileDescription, FileVersion, ", 1},
      {"version key twice",
       [](const TempTree&, CreateOptions& o) { o.versionInfo = {"ProductName=x", "productname=y"}; },
       "--version-info gives ProductName twice", 1},
      {"version value not UTF-8", [](const TempTree&, CreateOptions& o) { o.versionInfo = {"Comments=\xE9"}; },
       "the value of Comments is not UTF-8 text", 1},
      {"version value too long",
       [](const TempTree&, CreateOptions& o) { o.versionInfo = {"Comments=" + std::string(1025, 'c')}; },
       "the value of Comments is 1025 characters long; at most 1024 are taken", 1},
      {"bare with a stub change", [](const TempTree&, CreateOptions& o) { o.bare = true, o.elevation = "highestAvailable"; },
       "--elevation, --icon and --version-info change the stub, and --bare writes none", 1},
      {"the output itself", [](const TempTree& t, CreateOptions& o) { o.inputs = {t.Path("out/out.exe")}; },
       "out/out.exe\": it is the output file"},
      {"special file", [](const TempTree& t, CreateOptions& o) {
         mkfifo(t.Path("fifo").c_str(), 0644);
         o.inputs.push_back(t.Path("fifo"));
       },
       "fifo\": not a file or a folder"},
  };
  for (const Case& k : kCases) {
    TempTree t;
    t.File("in/a.txt", "a");
    t.File("out/out.exe", "old");
    CreateOptions o = Options(t, {"in"}, "out/out.exe");
    k.make(t, o);
    Created c = Create(t, o);
    EXPECT_EQ(c.rc, k.rc) << k.what;
    EXPECT_NE(c.err.find(k.message), std::string::npos) << k.what << ": " << c.err;
    EXPECT_TRUE(c.bytes == Text("old")) << k.what;
    EXPECT_EQ(t.List("out"), std::vector<std::string>{"out.exe"}) << k.what;
  }
}

TEST(Create, AnUnreadableFileIsRefused) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
  TempTree t;
  t.File("in/secret.txt", "x");
  chmod(t.Path("in/secret.txt").c_str(), 0);
  Created c = Create(t, Options(t, {"in"}));
  EXPECT_EQ(c.rc, 2);
  EXPECT_NE(c.err.find("in/secret.txt\": Permission denied"), std::string::npos) << c.err;
  EXPECT_FALSE(c.exists);
}

TEST(Create, AnExistingOutputIsReplacedWhole) {
  TempTree t;
  t.File("in/a.txt", "a");
  t.File("out.exe", Bytes(100000, 'x'));
  Created c = Create(t, Options(t, {"in"}));
  ASSERT_EQ(c.rc, 0) << c.err;
  Unpacked u;
  ASSERT_NO_FATAL_FAILURE(Unpack(c.bytes, u));
  EXPECT_EQ(c.bytes.size(), kStubImageSize + u.header.archiveLength);
}

}  // namespace
}  // namespace zor
