// Writes the archives that the command-line tests run zor on, with the format writers. Everything is
// fixed (contents, dates, attributes), so the tests' expected output stays the same from run to run.
//   zor_cli_fixtures OUTDIR STUB.exe
#include <cstdio>
#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "encoder/archive_writer.h"
#include "encoder/segment_writer.h"
#include "platform/bytes.h"
#include "platform/file_layer.h"

namespace zor::encoder {
namespace {

// 2023-06-15 14:30:20 and 2001-02-03 04:05:06, DOS local time.
constexpr uint16_t kDate = (43 << 9) | (6 << 5) | 15;
constexpr uint16_t kTime = (14 << 11) | (30 << 5) | (20 / 2);
constexpr uint16_t kOldDate = (21 << 9) | (2 << 5) | 3;
constexpr uint16_t kOldTime = (4 << 11) | (5 << 5) | (6 / 2);

std::string gOut;
bool gFailed = false;

struct Item {
  std::string path;  // as stored: code page bytes, backslashes
  bool folder = false;
  std::vector<uint8_t> data;
  uint8_t attributes = kAttributeArchive;
  uint16_t date = kDate, time = kTime;
  uint16_t createDate = 0, createTime = 0;
  bool badCrc = false;  // store a CRC that the data does not have
  uint8_t flags = 0;     // call filter
  std::string sameBytesAs;  // no bytes of its own: points at the bytes of this earlier file of its group
};

Item Folder(const std::string& path) {
  Item i;
  i.path = path;
  i.folder = true;
  i.attributes = 0;
  return i;
}

Item File(const std::string& path, const std::string& text) {
  Item i;
  i.path = path;
  i.data.assign(text.begin(), text.end());
  return i;
}

// Text that compresses but is not all one byte: numbered lines.
std::string Lines(const std::string& word, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += word + " line " + std::to_string(i) + " of " + std::to_string(count) + "\n";
  return text;
}

void Save(const std::string& name, const std::vector<uint8_t>& bytes) {
  const std::string path = gOut + "/" + name;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    gFailed = true;
  }
}

EntryRecord Entry(const Item& item) {
  EntryRecord e;
  e.path = item.path;
  e.folder = item.folder;
  e.attributes = item.attributes;
  e.writeDate = item.date;
  e.writeTime = item.time;
  e.createDate = item.createDate;
  e.createTime = item.createTime;
  return e;
}

// One segment per group of files; folders go into the directory first. blockSize 0 = the usual plan.
struct Group {
  std::vector<Item> files;
  uint32_t blockSize = 0;
};

std::vector<uint8_t> Build(const std::vector<Item>& folders, const std::vector<Group>& groups,
                           std::vector<SegmentReport>* reports = nullptr, std::vector<uint32_t>* offsets = nullptr) {
  ArchiveBuilder builder;
  HashChainParser parser;
  for (const Item& f : folders) builder.AddEntry(Entry(f));
  for (const Group& g : groups) {
    SegmentStream stream;
    std::vector<EntryRecord> entries;
    for (const Item& f : g.files) {
      EntryRecord e = Entry(f);
      if (!f.sameBytesAs.empty()) {
        for (const EntryRecord& earlier : entries) {
          if (earlier.path != f.sameBytesAs) continue;
          e.position = earlier.position;
          e.length = earlier.length;
          e.crc = earlier.crc;
          e.flags = earlier.flags;
        }
        entries.push_back(e);
        continue;
      }
      StoredFile stored = stream.AddFile(f.data.data(), static_cast<uint32_t>(f.data.size()), f.flags);
      e.flags = f.flags;
      e.position = stored.position;
      e.length = stored.length;
      e.crc = f.badCrc ? stored.crc ^ 0x00010000u : stored.crc;
      entries.push_back(e);
    }
    const uint32_t length = static_cast<uint32_t>(stream.bytes().size());
    SegmentPlan plan = g.blockSize ? UniformSegmentPlan(length, g.blockSize) : DefaultSegmentPlan(length);
    std::vector<uint8_t> segment;
    SegmentReport report;
    if (EncodeSegment(stream.bytes().data(), length, plan, parser, segment, &report) != EncodeStatus::kOk) {
      std::fprintf(stderr, "cannot encode a segment\n");
      gFailed = true;
    }
    const uint32_t offset = builder.AddSegment(segment);
    if (reports) reports->push_back(report);
    if (offsets) offsets->push_back(offset);
    for (EntryRecord& e : entries) {
      e.segmentOffset = offset;
      builder.AddEntry(e);
    }
  }
  std::vector<uint8_t> archive;
  if (builder.Finish({}, archive) != EncodeStatus::kOk) {
    std::fprintf(stderr, "cannot finish an archive\n");
    gFailed = true;
  }
  return archive;
}

// A small tree: nested folders, an empty folder and file, a read-only and a hidden file, one with no
// time stored and one with an older time, and a binary file of several blocks.
std::vector<uint8_t> Tree() {
  std::vector<Item> folders = {Folder("docs"), Folder("docs\\img"), Folder("empty")};
  folders[1].attributes = zor::kAttributeHidden;
  std::vector<uint8_t> logo(70000);
  for (size_t i = 0; i < logo.size(); ++i) logo[i] = static_cast<uint8_t>((i * 7 + (i >> 9)) & 0xFF);
  Item image;
  image.path = "docs\\img\\logo.bin";
  image.data = logo;
  image.attributes = kAttributeArchive | zor::kAttributeReadOnly;
  Item guide = File("docs\\guide.txt", Lines("guide", 400));
  guide.date = kOldDate;
  guide.time = kOldTime;
  guide.createDate = kDate;
  guide.createTime = kTime;
  Item hidden = File("docs\\.notes", "hidden and system\n");
  hidden.attributes = kAttributeArchive | zor::kAttributeHidden | zor::kAttributeSystem;
  Item undated = File("undated.txt", "no time stored\n");
  undated.date = 0;
  undated.time = 0;
  Group g;
  g.blockSize = 32768;
  g.files = {File("readme.txt", "Read me first.\n"), guide, hidden, image, File("empty.txt", ""), undated};
  return Build(folders, {g});
}

// Bytes that compress a little: a pattern with noise in it.
std::vector<uint8_t> Noisy(uint32_t size, uint32_t seed) {
  std::vector<uint8_t> bytes(size);
  for (uint32_t i = 0; i < size; ++i) {
    seed = seed * 1103515245u + 12345u;
    bytes[i] = static_cast<uint8_t>((i % 251) ^ ((seed >> 24) & 0x0F));
  }
  return bytes;
}

// Five segments, as the decoding threads take them: small files, files larger than a worker's chunk,
// code with its call filter, entries that share another entry's bytes, empty and read-only files, nested
// folders, times old and new.
std::vector<uint8_t> Segments() {
  std::vector<Item> folders = {Folder("a"), Folder("a\\b"), Folder("c"), Folder("d\\e")};
  std::vector<Group> groups(5);
  for (int i = 0; i < 12; ++i) groups[0].files.push_back(File("a\\small" + std::to_string(i) + ".txt", Lines("small", i * 7)));
  Item wide;
  wide.path = "a\\b\\wide.bin";
  wide.data = Noisy(700000, 1);
  Item copy;
  copy.path = "c\\copy.bin";
  copy.sameBytesAs = wide.path;
  Item locked = File("a\\b\\locked.txt", Lines("locked", 50));
  locked.attributes = kAttributeArchive | zor::kAttributeReadOnly;
  locked.date = kOldDate;
  locked.time = kOldTime;
  groups[1].files = {wide, copy, locked, File("a\\b\\empty.txt", "")};
  Item code;
  code.path = "c\\code.exe";
  code.data = Noisy(90000, 2);
  for (size_t i = 0; i + 5 < code.data.size(); i += 37) code.data[i] = 0xE8;
  code.flags = zor::kEntryCalls32;
  Item again = File("c\\again.txt", Lines("again", 300));
  Item twice;
  twice.path = "d\\e\\twice.txt";
  twice.sameBytesAs = again.path;
  groups[2].files = {code, again, twice};
  groups[3].blockSize = 65536;
  groups[3].files = {File("d\\e\\blocks.txt", Lines("blocks", 20000))};
  for (int i = 0; i < 5; ++i) groups[4].files.push_back(File("last" + std::to_string(i) + ".txt", Lines("last", 100 + i)));
  return Build(folders, groups);
}

// Entries that share bytes declare far more than the archive holds: 4096 files of almost 4 GiB each, all
// pointing at one small stretch (16 TiB together; each would come out short and fail its check).
std::vector<uint8_t> Huge() {
  ArchiveBuilder builder;
  SegmentStream stream;
  const std::vector<uint8_t> data = Noisy(4096, 3);
  const StoredFile stored = stream.AddFile(data.data(), static_cast<uint32_t>(data.size()), 0);
  HashChainParser parser;
  std::vector<uint8_t> segment;
  const uint32_t length = static_cast<uint32_t>(stream.bytes().size());
  if (EncodeSegment(stream.bytes().data(), length, DefaultSegmentPlan(length), parser, segment, nullptr) !=
      EncodeStatus::kOk) {
    gFailed = true;
    return {};
  }
  const uint32_t offset = builder.AddSegment(segment);
  for (int i = 0; i < 4096; ++i) {
    EntryRecord e;
    e.path = "huge" + std::to_string(i) + ".bin";
    e.segmentOffset = offset;
    e.position = stored.position;
    e.length = 0xFFFFFFFFu;
    e.crc = stored.crc;
    e.writeDate = kDate;
    e.writeTime = kTime;
    builder.AddEntry(e);
  }
  std::vector<uint8_t> archive;
  builder.Finish({}, archive);
  return archive;
}

// Three files; the second's stored CRC is wrong.
std::vector<uint8_t> CrcMismatch() {
  Item bad = File("two.txt", Lines("two", 20));
  bad.badCrc = true;
  return Build({}, {{{File("one.txt", "one\n"), bad, File("three.txt", "three\n")}}});
}

// The second of three files lies in a segment whose second block has an impossible type: its decoding
// fails half-way.
std::vector<uint8_t> DamagedData() {
  std::vector<SegmentReport> reports;
  std::vector<uint32_t> offsets;
  Item broken = File("broken.txt", Lines("broken", 3000));
  std::vector<uint8_t> archive =
      Build({}, {{{File("first.txt", "first\n")}}, {{broken}, 16384}, {{File("after.txt", "after\n")}}}, &reports,
            &offsets);
  const uint32_t secondBlock = offsets[1] + kSegmentSignatureSize + reports[1].blocks[0].packedSize;
  archive[secondBlock] |= 0x0F;  // block type 15
  return archive;
}

// The same small archive with the directory segment's signature broken.
std::vector<uint8_t> DamagedDirectory() {
  std::vector<uint8_t> archive = Build({Folder("a")}, {{{File("a\\b.txt", "b\n")}}});
  const uint32_t directory = LoadLE32(archive.data() + 4);
  archive[directory + 4] = 'X';
  return archive;
}

// Names that would leave the target folder, between two harmless files.
std::vector<uint8_t> Escaping() {
  return Build({}, {{{File("before.txt", "before\n"), File("..\\evil.txt", "evil\n"), File("\\rooted.txt", "rooted\n"),
                      File("c:drive.txt", "drive\n"), File("sub\\..\\..\\up.txt", "up\n"),
                      File("sub\\. .\\dots.txt", "dots\n"), File("after.txt", "after\n")}}});
}

// Names of Windows devices, in any case and with or without an extension, between two harmless files.
std::vector<uint8_t> Devices() {
  return Build({}, {{{File("before.txt", "before\n"), File("CON", "con\n"), File("docs\\nul.txt", "nul\n"),
                      File("Com1.log", "com1\n"), File("console.txt", "console\n"), File("after.txt", "after\n")}}});
}

// Names beyond ASCII: "café" in 1252 and "Привет" in 1251 (the same bytes mean other letters in the
// other code page).
std::vector<uint8_t> Names() {
  return Build({Folder("caf\xE9")}, {{{File("caf\xE9\\menu.txt", "menu\n"),
                                       File("\xCF\xF0\xE8\xE2\xE5\xF2.txt", "privet\n")}}});
}

// A file whose full path passes 259 characters when joined at the start, and a short one after it.
std::vector<uint8_t> LongName() {
  std::string deep;
  for (int i = 0; i < 26; ++i) deep += "folder" + std::to_string(100 + i) + "\\";  // 10 characters each
  return Build({}, {{{File(deep + "x.txt", "deep\n"), File("short.txt", "short\n")}}});
}

// One file of about 2 GB of zeros that decodes for seconds: its segment repeats one block of a million
// zeros (distance-1 matches only, so every copy decodes alike). The stored CRC is not the file's: the
// file is never meant to be finished.
std::vector<uint8_t> Big() {
  constexpr uint32_t kBlock = 1000000;
  constexpr uint32_t kCopies = 2000;
  std::vector<uint8_t> zeros(3 * kBlock);
  SegmentStream stream;
  stream.AddFile(zeros.data(), static_cast<uint32_t>(zeros.size()), 0);
  const uint32_t length = static_cast<uint32_t>(stream.bytes().size());
  SegmentPlan plan;
  BlockPlan a, b, c;
  a.size = kBlock;
  b.size = kBlock;
  b.useItems = true;
  for (uint32_t done = 0; done < kBlock;) {
    const uint32_t n = kBlock - done < 33026 ? kBlock - done : 33026;
    b.items.push_back(LzItem::Match(n, 1));
    done += n;
  }
  c.size = length - 2 * kBlock;
  plan.blocks = {a, b, c};
  HashChainParser parser;
  std::vector<uint8_t> segment;
  SegmentReport report;
  if (EncodeSegment(stream.bytes().data(), length, plan, parser, segment, &report) != EncodeStatus::kOk) {
    std::fprintf(stderr, "cannot encode the big segment\n");
    gFailed = true;
    return {};
  }
  const uint32_t aEnd = kSegmentSignatureSize + report.blocks[0].packedSize;
  const uint32_t bEnd = aEnd + report.blocks[1].packedSize;
  std::vector<uint8_t> repeated(segment.begin(), segment.begin() + aEnd);
  for (uint32_t k = 0; k < kCopies; ++k) repeated.insert(repeated.end(), segment.begin() + aEnd, segment.begin() + bEnd);
  repeated.insert(repeated.end(), segment.begin() + bEnd, segment.end());

  ArchiveBuilder builder;
  EntryRecord e;
  e.path = "big.bin";
  e.segmentOffset = builder.AddSegment(repeated);
  e.length = (kCopies + 2) * kBlock;  // the stream also holds the 18-byte header and name, and the CRC
  e.crc = 0;
  e.writeDate = kDate;
  e.writeTime = kTime;
  builder.AddEntry(e);
  std::vector<uint8_t> archive;
  builder.Finish({}, archive);
  return archive;
}

std::vector<uint8_t> ReadFile(const char* path) {
  std::vector<uint8_t> bytes;
  FILE* f = std::fopen(path, "rb");
  if (!f) return bytes;
  int c;
  while ((c = std::fgetc(f)) != EOF) bytes.push_back(static_cast<uint8_t>(c));
  std::fclose(f);
  return bytes;
}

}  // namespace
}  // namespace zor::encoder

int main(int argc, char** argv) {
  using namespace zor::encoder;
  if (argc != 3) {
    std::fprintf(stderr, "usage: zor_cli_fixtures OUTDIR STUB.exe\n");
    return 1;
  }
  gOut = argv[1];
  const std::vector<uint8_t> stub = ReadFile(argv[2]);
  if (stub.empty()) {
    std::fprintf(stderr, "cannot read %s\n", argv[2]);
    return 1;
  }
  const std::vector<uint8_t> tree = Tree();
  Save("tree.zor", tree);
  // The same tree behind the stub and a stub header, as a self-extractor carries it.
  std::vector<uint8_t> sfx = stub;
  const std::vector<uint8_t> header = WriteStubHeader(0x02, "Tree Setup", "C:\\Tree");
  sfx.insert(sfx.end(), header.begin(), header.end());
  sfx.insert(sfx.end(), tree.begin(), tree.end());
  Save("tree.exe", sfx);
  Save("crc.zor", CrcMismatch());
  Save("damaged.zor", DamagedData());
  Save("damaged-directory.zor", DamagedDirectory());
  Save("escaping.zor", Escaping());
  Save("names.zor", Names());
  Save("devices.zor", Devices());
  Save("long-name.zor", LongName());
  Save("no-files.zor", WriteArchiveHeader(zor::kArchiveHeaderSize, 0, zor::kArchiveHeaderSize));
  Save("big.zor", Big());
  Save("segments.zor", Segments());
  Save("huge.zor", Huge());
  return gFailed ? 1 : 0;
}
