// The segment decoder over small archives: files across blocks, restarts, history kept between blocks,
// delta re-encoding, block-sorting room, short and damaged segments, and cancel.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "decoder/segment_decoder.h"
#include "support/archive_builder.h"
#include "support/bit_packer.h"
#include "support/decoder_fixture.h"

namespace zor {
namespace {

using test::ArchiveBuilder;
using test::BlockBuilder;
using test::DecoderFixture;
using test::FileStretch;
using test::LzBlockWriter;

std::vector<uint8_t> Stored(const std::vector<uint8_t>& payload, bool last) {
  BlockBuilder b(0, last, static_cast<uint32_t>(payload.size()));
  b.PutBytes(payload);
  return b.Finish();
}

std::vector<uint8_t> Slice(const std::vector<uint8_t>& v, size_t from, size_t to) {
  return std::vector<uint8_t>(v.begin() + from, v.begin() + to);
}

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

std::vector<uint8_t> Pattern(size_t n, uint32_t seed) {
  std::vector<uint8_t> v(n);
  std::mt19937 rng(seed);
  for (auto& c : v) c = static_cast<uint8_t>(rng());
  return v;
}

uint32_t Crc(DecoderFixture& f, const std::vector<uint8_t>& v) {
  return ~UpdateCrc(f.d().crc, 0xFFFFFFFFu, v.data(), static_cast<uint32_t>(v.size()));
}

struct Result {
  ErrorCode rc;
  std::vector<uint8_t> out;
  uint32_t crc;
};

class Segments : public testing::Test {
 protected:
  void Load() {
    f.SetProgram(a.bytes());
    f.archiveOffset = a.archiveOffset();
  }
  Result Request(uint32_t segment, uint32_t position, uint32_t length, uint8_t flags = 0) {
    FileHandle sink = f.NewSink();
    Result r;
    r.rc = f.DecodeFile(sink, segment, position, length, flags);
    r.out = test::ReadAll(static_cast<int>(sink));
    r.crc = f.d().output.fileCrc;
    return r;
  }
  DecoderFixture f;
  ArchiveBuilder a;
};

TEST_F(Segments, FilesAcrossBlocksInStreamOrderThenARestartForAnEarlierOne) {
  std::vector<uint8_t> one = Pattern(300, 1), two = Pattern(50, 2);
  std::vector<uint8_t> stream = FileStretch(one, "dir\\one.bin");
  uint32_t second = static_cast<uint32_t>(stream.size());
  std::vector<uint8_t> s2 = FileStretch(two, "two");
  stream.insert(stream.end(), s2.begin(), s2.end());
  // Block boundaries inside the first name, inside the second LocalHeader and inside the second name.
  size_t cuts[] = {0, 5, second + 4, second + 13, stream.size()};
  std::vector<std::vector<uint8_t>> blocks;
  for (int i = 0; i < 4; ++i) blocks.push_back(Stored(Slice(stream, cuts[i], cuts[i + 1]), i == 3));
  uint32_t seg = a.AddSegment(blocks);
  Load();

  Result r1 = Request(seg, 0, 300);
  ASSERT_EQ(r1.rc, 0);
  EXPECT_EQ(r1.out, one);
  EXPECT_EQ(r1.crc, Crc(f, one));
  Result r2 = Request(seg, second, 50);
  ASSERT_EQ(r2.rc, 0);
  EXPECT_EQ(r2.out, two);
  EXPECT_EQ(r2.crc, Crc(f, two));
  // The first file's LocalHeader lies before the current block: the segment restarts.
  Result again = Request(seg, 0, 300);
  ASSERT_EQ(again.rc, 0);
  EXPECT_EQ(again.out, one);
}

TEST_F(Segments, ZeroLengthFileTouchesNothing) {
  std::vector<uint8_t> stream = FileStretch({}, "empty");
  uint32_t seg = a.AddSegment({Stored(stream, true)});
  Load();
  Result r = Request(seg, 0, 0);
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.crc, 0u);
  EXPECT_TRUE(r.out.empty());
  EXPECT_EQ(f.d().segment.segmentPos, 0xFFFFFFFFu);
  EXPECT_EQ(f.files().programFilePos, 0u);
}

TEST_F(Segments, RequestPastTheSegmentEndIsShortThenTheNextOneFails) {
  std::vector<uint8_t> data = Pattern(100, 3);
  std::vector<uint8_t> stream = FileStretch(data, "x");
  uint32_t seg = a.AddSegment({Stored(Slice(stream, 0, 60), false), Stored(Slice(stream, 60, 80), true)});
  uint32_t other = a.AddSegment({Stored(FileStretch(data, "y"), true)});
  Load();
  Result r = Request(seg, 0, 100);
  ASSERT_EQ(r.rc, 0);
  EXPECT_EQ(r.out, Slice(data, 0, 80 - 12));
  EXPECT_EQ(Request(seg, 90, 5).rc, kErrorDamaged);
  // Another segment restarts and works.
  Result o = Request(other, 0, 100);
  EXPECT_EQ(o.rc, 0);
  EXPECT_EQ(o.out, data);
}

TEST_F(Segments, LzBlockKeepsTheCodedHistoryAndSkipsMatchesBeyondIt) {
  // Block 1: 40000 stored bytes. Block 2 (history code 0: 32768 bytes kept) copies from 32768 back (the
  // kept history's first byte) and tries 33000 back (gone: skipped).
  std::vector<uint8_t> first = Pattern(40000, 4);
  std::vector<uint8_t> stream = FileStretch({}, "");
  stream.resize(11);  // a bare LocalHeader with no name, then the file's bytes run on
  std::vector<uint8_t> head = stream;
  head.insert(head.end(), first.begin(), first.end());
  LzBlockWriter w(8, true, 2, {}, /*historyCode=*/0, 32768 + 8);
  w.Match(4, 33000);
  w.Match(4, 32768);
  w.Lit('!');
  w.Lit('?');
  w.Lit('#');
  w.Lit('%');
  uint32_t seg = a.AddSegment({Stored(head, false), w.Finish()});
  Load();
  Result r = Request(seg, 0, 40000 + 8);
  ASSERT_EQ(r.rc, 0);
  std::vector<uint8_t> want = first;
  for (int i = 0; i < 4; ++i) want.push_back(head[head.size() - 32768 + i]);
  for (char c : {'!', '?', '#', '%'}) want.push_back(static_cast<uint8_t>(c));
  EXPECT_EQ(r.out, want);
}

TEST_F(Segments, HistorySizeCodes) {
  // The code's low 2 bits pick the row (0 and 1 alike, 3 as 2), its upper 3 bits the column: 30 is row 2,
  // column 7. A match from exactly that far back works, one byte further is skipped.
  for (auto [code, keep] : {std::pair{30u, 524288u}, {5u, 65536u}, {3u, 32768u}, {12u, 98304u},
                            {13u, 98304u}, {7u, 131072u}, {14u, 262144u}}) {
    ArchiveBuilder b;
    std::vector<uint8_t> first(11, 0);
    first[0] = 1;
    std::vector<uint8_t> body = Pattern(600000, code);
    first.insert(first.end(), body.begin(), body.end());
    LzBlockWriter w(6, true, 2, {}, code, static_cast<int32_t>(keep + 6));
    w.Match(4, keep + 1);  // one byte before the kept history: skipped
    w.Match(4, keep);      // the kept history's first byte
    w.Match(2, 1);         // a length-2 match (alphabet 1)
    uint32_t seg = b.AddSegment({Stored(first, false), w.Finish()});
    DecoderFixture g;
    g.SetProgram(b.bytes());
    g.archiveOffset = b.archiveOffset();
    FileHandle sink = g.NewSink();
    ASSERT_EQ(g.DecodeFile(sink, seg, 0, 600000 + 6, 0), 0);
    std::vector<uint8_t> out = test::ReadAll(static_cast<int>(sink));
    ASSERT_EQ(out.size(), 600006u) << code;
    std::vector<uint8_t> want(first.begin() + 11, first.end());
    for (int i = 0; i < 4; ++i) want.push_back(want[want.size() - keep]);
    want.push_back(want.back());
    want.push_back(want.back());
    EXPECT_EQ(out, want) << code;
  }
}

TEST_F(Segments, DeltaFilteredHistoryIsReencodedForTheNextBlock) {
  // Block 1 delta-codes its bytes from offset 11 on (d = 1). Block 2 copies 20 bytes from block 1:
  // matches see the bytes as the LZ decoder produced them, before the delta filter.
  std::vector<uint8_t> raw = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
  LzBlockWriter b1(31, false, 2, {}, 0, 31);
  for (int i = 0; i < 11; ++i) b1.Lit(0);
  b1.Mark(1);
  for (uint8_t c : raw) b1.Lit(c);
  LzBlockWriter b2(20, true, 2, {}, 0, 51);
  b2.Match(20, 20);
  uint32_t seg = a.AddSegment({b1.Finish(), b2.Finish()});
  Load();
  Result r = Request(seg, 0, 40);
  ASSERT_EQ(r.rc, 0);
  std::vector<uint8_t> want;
  uint8_t sum = 0;
  for (uint8_t c : raw) want.push_back(sum = static_cast<uint8_t>(sum + c));
  want.insert(want.end(), raw.begin(), raw.end());
  EXPECT_EQ(r.out, want);
}

TEST_F(Segments, BlockSortingBlockFillingTheWindowHasItsByteOfRoom) {
  // Block 1 (LZ, 1000 bytes) allocates 1512 bytes of window; block 2 (block-sorting, 1512 bytes) fits
  // exactly and keeps no history, and still writes its last column's extra position.
  std::vector<uint8_t> first(1000, 0);
  LzBlockWriter w(1000, false, 2, {});
  w.Lit(0);
  w.MatchSymbol(999, 2);
  BlockBuilder s(2, true, 1512);
  s.Put(0, 8);
  s.Put(1, 3);
  test::PutCodeLengths(s, std::vector<uint8_t>(258, 9), 258);
  s.Align();
  test::TestCode code(std::vector<uint8_t>(258, 9));
  s.PutBit(0);
  // 1512 zero bytes: the last column is 1512 zeros and the sentinel; index 0 is the front already.
  std::vector<uint32_t> symbols;
  for (uint32_t run = 1512; run > 0; run = (run - 1) / 2) {
    if (run & 1) {
      symbols.push_back(0);
    } else {
      symbols.push_back(1);
      --run;
    }
  }
  symbols.push_back(257);
  for (size_t i = 0; i < symbols.size(); ++i) code.Put(s, symbols[i]);
  uint32_t seg = a.AddSegment({w.Finish(), s.Finish()});
  Load();
  Result r = Request(seg, 0, 1000 - 11 + 1512);
  ASSERT_EQ(r.rc, 0);
  EXPECT_EQ(r.out, std::vector<uint8_t>(1000 - 11 + 1512, 0));
  EXPECT_EQ(f.d().segment.windowCapacity, 1512u);
}

TEST_F(Segments, NextBlockAlwaysAtStartPlusPackedSize) {
  // Block 1 is an LZ block followed by 9 unused bytes inside its packedSize; the decoder stops early, yet
  // block 2 is found packedSize bytes after block 1's start. Also a stored block of exactly 6 bytes.
  std::vector<uint8_t> stream = FileStretch(Bytes("hello, world"), "h");
  LzBlockWriter w(10, false, 2, {});
  for (int i = 0; i < 10; ++i) w.Lit(stream[i]);
  std::vector<uint8_t> b1 = w.Finish(9);
  std::vector<uint8_t> empty = Stored({}, false);
  ASSERT_EQ(empty.size(), 6u);
  uint32_t seg = a.AddSegment({b1, empty, Stored(Slice(stream, 10, stream.size()), true)});
  Load();
  Result r = Request(seg, 0, 12);
  ASSERT_EQ(r.rc, 0);
  EXPECT_EQ(r.out, Bytes("hello, world"));
}

TEST_F(Segments, DamagedSegments) {
  std::vector<uint8_t> stream = FileStretch(Bytes("data"), "d");
  for (uint32_t type = 4; type < 16; ++type) {
    ArchiveBuilder b;
    BlockBuilder blk(type, true, static_cast<uint32_t>(stream.size()));
    blk.PutBytes(stream);
    uint32_t seg = b.AddSegment({blk.Finish()});
    DecoderFixture g;
    g.SetProgram(b.bytes());
    g.archiveOffset = b.archiveOffset();
    EXPECT_EQ(g.DecodeFile(g.NewSink(), seg, 0, 4, 0), kErrorDamaged) << type;
  }
  {
    ArchiveBuilder b;  // packedSize 5
    BlockBuilder blk(0, true, static_cast<uint32_t>(stream.size()));
    blk.PutBytes(stream);
    uint32_t seg = b.AddSegment({blk.Patched(5)});
    DecoderFixture g;
    g.SetProgram(b.bytes());
    g.archiveOffset = b.archiveOffset();
    EXPECT_EQ(g.DecodeFile(g.NewSink(), seg, 0, 4, 0), kErrorDamaged);
  }
  {
    ArchiveBuilder b;  // the file ends 5 bytes into the segment's first block
    uint32_t seg = b.AddSegment({});
    b.Append({0, 0, 0, 0, 0});
    DecoderFixture g;
    g.SetProgram(b.bytes());
    g.archiveOffset = b.archiveOffset();
    EXPECT_EQ(g.DecodeFile(g.NewSink(), seg, 0, 4, 0), kErrorDamaged);
  }
}

TEST_F(Segments, ProgramFileEndingInsideABlock) {
  // A block cut short by the file's end is damaged data (the archive was cut), not a short block: a
  // stored block, whose payload is copied straight from the file past the first piece...
  std::vector<uint8_t> data = Pattern(70000, 5);
  std::vector<uint8_t> stream = FileStretch(data, "big");
  uint32_t seg = a.AddSegment({Stored(stream, true)});
  a.bytes().resize(a.bytes().size() - 1000);
  Load();
  EXPECT_EQ(Request(seg, 0, 70000).rc, kErrorDamaged);
  // ...and a block-sorting block that lies in one piece.
  ArchiveBuilder b;
  BlockBuilder s(2, true, 100);
  s.Put(0, 8);
  s.Put(1, 3);
  test::PutCodeLengths(s, std::vector<uint8_t>(258, 9), 258);
  std::vector<uint8_t> block = s.Finish(40);
  uint32_t seg2 = b.AddSegment({block});
  b.bytes().resize(b.bytes().size() - 45);
  DecoderFixture g;
  g.SetProgram(b.bytes());
  g.archiveOffset = b.archiveOffset();
  EXPECT_EQ(g.DecodeFile(g.NewSink(), seg2, 0, 50, 0), kErrorDamaged);
}

TEST_F(Segments, LargeLzBlockAcrossManyRefills) {
  // 200000 literals of 8-9 bits: about 220 KB of block, four buffer refills with carried bytes.
  std::vector<uint8_t> stream = FileStretch(Pattern(200000, 6), "");
  LzBlockWriter w(static_cast<uint32_t>(stream.size()), true, 2, {});
  for (uint8_t c : stream) w.Lit(c);
  uint32_t seg = a.AddSegment({w.Finish()});
  Load();
  Result r = Request(seg, 0, 200000);
  ASSERT_EQ(r.rc, 0);
  EXPECT_EQ(r.out, Slice(stream, 11, 200011));
}

TEST_F(Segments, CallFilterChunksAcrossBlocksMatchOneChunk) {
  // The same filtered file from one block and from blocks of 1..7 bytes gives the same bytes and CRC.
  // Opcodes every 5 bytes, with operands inside and outside the 32-bit filter's folded range.
  std::vector<uint8_t> data = Pattern(3000, 7);
  for (uint32_t i = 0; i + 5 <= data.size(); i += 5) {
    uint32_t w = i % 3 == 0 ? i * 2 : i % 3 == 1 ? 0u - i / 2 : 0x12345678u;
    data[i] = 0xE8;
    for (int k = 0; k < 4; ++k) data[i + 1 + k] = static_cast<uint8_t>(w >> (8 * k));
  }
  std::vector<uint8_t> stream = FileStretch(data, "f.exe");
  for (uint8_t flags : {2, 4, 6}) {
    ArchiveBuilder whole, split;
    uint32_t s1 = whole.AddSegment({Stored(stream, true)});
    std::vector<std::vector<uint8_t>> blocks;
    std::mt19937 rng(flags);
    for (size_t at = 0; at < stream.size();) {
      size_t n = std::min<size_t>(1 + rng() % 7, stream.size() - at);
      blocks.push_back(Stored(Slice(stream, at, at + n), at + n == stream.size()));
      at += n;
    }
    uint32_t s2 = split.AddSegment(blocks);
    DecoderFixture g1, g2;
    g1.SetProgram(whole.bytes());
    g1.archiveOffset = whole.archiveOffset();
    g2.SetProgram(split.bytes());
    g2.archiveOffset = split.archiveOffset();
    FileHandle o1 = g1.NewSink(), o2 = g2.NewSink();
    ASSERT_EQ(g1.DecodeFile(o1, s1, 0, 3000, flags), 0);
    ASSERT_EQ(g2.DecodeFile(o2, s2, 0, 3000, flags), 0);
    std::vector<uint8_t> out1 = test::ReadAll(static_cast<int>(o1)), out2 = test::ReadAll(static_cast<int>(o2));
    EXPECT_EQ(out1.size(), 3000u);
    EXPECT_NE(out1, data);
    EXPECT_EQ(out1, out2) << int(flags);
    EXPECT_EQ(g1.d().output.fileCrc, g2.d().output.fileCrc);
    EXPECT_EQ(g1.d().output.fileCrc, Crc(g1, out1));
  }
}

TEST_F(Segments, CancelWhenTheNextBlockIsDue) {
  std::vector<uint8_t> stream = FileStretch(Bytes("abc"), "");
  uint32_t seg = a.AddSegment({Stored(stream, true)});
  Load();
  f.cancel = true;
  EXPECT_EQ(Request(seg, 0, 3).rc, kErrorCancelled);
}

}  // namespace
}  // namespace zor
