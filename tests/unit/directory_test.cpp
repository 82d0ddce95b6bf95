// The directory reader and the entry walk: stored and LZ directory blocks, chunk boundaries, and every
// way a damaged directory ends the walk.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/directory.h"
#include "support/archive_builder.h"
#include "support/bit_packer.h"
#include "support/decoder_fixture.h"

namespace zor {
namespace {

using test::ArchiveBuilder;
using test::BlockBuilder;
using test::DecoderFixture;
using test::EntryBytes;
using test::LzBlockWriter;

// A stored directory block: the payload begins behind the 5-bit code, at the block's eighth byte.
std::vector<uint8_t> StoredDirectory(const std::vector<uint8_t>& chunk, uint32_t type = 0) {
  BlockBuilder b(type, true, static_cast<uint32_t>(chunk.size()));
  b.Put(0, 5);
  b.PutBytes(chunk);
  return b.Finish();
}

std::vector<uint8_t> LzDirectory(const std::vector<uint8_t>& chunk) {
  LzBlockWriter w(static_cast<uint32_t>(chunk.size()), true, 2, {});
  for (uint8_t c : chunk) w.Lit(c);
  return w.Finish();
}

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

struct DirectoryWalk {
  void Load() {
    f.SetProgram(a.bytes());
    f.archiveOffset = a.archiveOffset();
    ASSERT_EQ(f.BeginDirectory(directoryOffset), 0);
  }
  // The walk's next entry name, or the error code as text.
  std::string Next() {
    DirectoryEntry e;
    const uint8_t* name = nullptr;
    ErrorCode rc = NextDirectoryEntry(f.directory(), f.d(), e, name);
    if (rc != 0) return "error " + std::to_string(rc);
    return std::string(name, name + e.nameLength);
  }
  DecoderFixture f;
  ArchiveBuilder a;
  uint32_t directoryOffset = 0;
};

class Directory : public testing::Test, public DirectoryWalk {};

TEST_F(Directory, StoredAndLzChunksEntryByEntry) {
  std::vector<uint8_t> c1 = Concat({EntryBytes("docs", 0, 0, 0, 0, 1), EntryBytes("docs\\a.txt", 42, 0, 5, 7)});
  std::vector<uint8_t> c2 = EntryBytes("b.bin", 42, 30, 9, 8, 4, 3, 2);
  directoryOffset = a.AddDirectorySegment(StoredDirectory(c1));
  a.AddDirectorySegment(LzDirectory(Concat({c2, EntryBytes("c", 42, 60, 1, 1)})));
  Load();
  EXPECT_EQ(Next(), "docs");
  DirectoryEntry e;
  const uint8_t* name;
  ASSERT_EQ(NextDirectoryEntry(f.directory(), f.d(), e, name), 0);
  EXPECT_EQ(std::string(name, name + e.nameLength), "docs\\a.txt");
  EXPECT_EQ(e.segmentOffset, 42u);
  EXPECT_EQ(e.length, 5u);
  EXPECT_EQ(e.crc, 7u);
  ASSERT_EQ(NextDirectoryEntry(f.directory(), f.d(), e, name), 0);  // the chunk ended exactly: the next one is read
  EXPECT_EQ(std::string(name, name + e.nameLength), "b.bin");
  EXPECT_EQ(e.flags, 4);
  EXPECT_EQ(e.position, 30u);
  EXPECT_EQ(Next(), "c");  // extra areas of 3 + 2 bytes were stepped over
}

TEST_F(Directory, LeftoverBelow38BytesIsDroppedForTheNextChunk) {
  std::vector<uint8_t> c1 = Concat({EntryBytes("one", 1, 2, 3, 4), std::vector<uint8_t>(37, 0x55)});
  directoryOffset = a.AddDirectorySegment(StoredDirectory(c1));
  a.AddDirectorySegment(StoredDirectory(EntryBytes("two", 1, 2, 3, 4)));
  Load();
  EXPECT_EQ(Next(), "one");
  EXPECT_EQ(Next(), "two");
}

TEST_F(Directory, NextSegmentBeginsBehindTheBytesConsumedNotPackedSize) {
  // The first block's packedSize is wrong; the directory reader goes by what the decoder consumed.
  std::vector<uint8_t> block = LzDirectory(EntryBytes("first", 0, 0, 0, 0));
  std::vector<uint8_t> bad(block);
  for (int i = 3; i < 6; ++i) bad[i] = static_cast<uint8_t>(bad[i] ^ 0xF0);
  directoryOffset = a.AddDirectorySegment(bad);
  a.AddDirectorySegment(StoredDirectory(EntryBytes("second", 0, 0, 0, 0)));
  Load();
  EXPECT_EQ(Next(), "first");
  EXPECT_EQ(Next(), "second");
}

TEST_F(Directory, SeeksBackWhenTheSegmentDecoderMovedTheFile) {
  directoryOffset = a.AddDirectorySegment(StoredDirectory(EntryBytes("x", 0, 0, 0, 0)));
  a.AddDirectorySegment(StoredDirectory(EntryBytes("y", 0, 0, 0, 0)));
  Load();
  EXPECT_EQ(Next(), "x");
  f.files().programFilePos = 3;  // somebody else read elsewhere
  EXPECT_EQ(Next(), "y");
}

TEST_F(Directory, DamagedDirectories) {
  auto walk = [](std::vector<uint8_t> block, const char* signature = "ZORDE") {
    DirectoryWalk d;
    d.directoryOffset = d.a.AddDirectorySegment(block, signature);
    d.Load();
    return d.Next();
  };
  std::vector<uint8_t> entry = EntryBytes("name", 0, 0, 0, 0);
  EXPECT_EQ(walk(StoredDirectory(entry)), "name");
  EXPECT_EQ(walk(StoredDirectory(entry), "ZORDF"), "error -11");  // signature
  EXPECT_EQ(walk(StoredDirectory(entry), "ZORLH"), "error -11");
  EXPECT_EQ(walk(StoredDirectory(entry, 2)), "error -11");        // block type 2
  EXPECT_EQ(walk(StoredDirectory(entry, 3)), "error -11");
  EXPECT_EQ(walk(StoredDirectory(std::vector<uint8_t>(8193, 0))), "error -11");  // size > 8192
  EXPECT_EQ(walk(StoredDirectory(std::vector<uint8_t>(30, 0))), "error -11");    // under 38 bytes
  std::vector<uint8_t> longName = entry;
  longName.erase(longName.end() - 2, longName.end());  // the stored path runs past the chunk
  EXPECT_EQ(walk(StoredDirectory(longName)), "error -11");
  {
    LzBlockWriter w(4, true, 0, {});  // an LZ directory block with m = 0
    EXPECT_EQ(walk(w.Finish()), "error -11");
  }
  for (std::vector<uint8_t> block : {StoredDirectory(entry), LzDirectory(entry)}) {
    // Cut by its last byte at the file's end: the decoding runs out of the bytes read, and the missing
    // byte is not taken for zeros.
    block.pop_back();
    EXPECT_EQ(walk(block), "error -11");
  }
  {
    // Stored block cut off by the file's end: fewer bytes than its size (and fewer than 7 read).
    DirectoryWalk d;
    d.directoryOffset = d.a.AddSegment({}, "ZORDE");
    d.a.bytes().insert(d.a.bytes().end(), {0x00, 0x01, 0x00});
    d.f.SetProgram(d.a.bytes());
    d.f.archiveOffset = d.a.archiveOffset();
    ASSERT_EQ(d.f.BeginDirectory(d.directoryOffset), 0);
    EXPECT_EQ(d.Next(), "error -11");
  }
}

TEST_F(Directory, ExtraAreasRunningPastTheChunkEndTheWalk) {
  std::vector<uint8_t> entry = EntryBytes("e", 0, 0, 0, 0, 0, 0, 100);
  entry.erase(entry.end() - 100, entry.end());  // the extra area is declared but not there
  directoryOffset = a.AddDirectorySegment(StoredDirectory(entry));
  a.AddDirectorySegment(StoredDirectory(EntryBytes("never", 0, 0, 0, 0)));
  Load();
  EXPECT_EQ(Next(), "e");
  EXPECT_EQ(Next(), "error -11");
}

}  // namespace
}  // namespace zor
