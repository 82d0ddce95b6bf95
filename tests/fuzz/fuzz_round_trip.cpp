// Fuzz target: round trips through the writers and both builds of the decoders. The input chooses the data
// (a generator of literals, near and far copies, runs and skewed bytes), how it is cut into files with call
// filters, and each block of the segment: type, size, history-size code, m, built-in or dynamic tables,
// table sets, delta marks, bias and table count, the parser's options. Whatever the writers accept must
// come back exactly, with the file's CRC, from the native decoders and from the stub's build of them.
#include <cstring>

#include "archive/archive_format.h"
#include "decoder/segment_decoder.h"
#include "encoder/archive_writer.h"
#include "encoder/lz_items.h"
#include "encoder/segment_writer.h"
#include "fuzz_input.h"

extern "C" void CarefulDecodeRequests(const uint8_t* archive, size_t size, const uint32_t* requests,
                                      uint32_t count, int32_t* codes, uint32_t* crcs,
                                      std::vector<uint8_t>* written);

namespace {

using namespace zor;

struct Random {
  uint64_t state;
  uint32_t Next() {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint32_t>(state >> 33);
  }
  uint32_t Below(uint32_t bound) { return bound ? Next() % bound : 0; }
};

// What the generated data is made of: a weight for each kind of piece, and how rare far copies are.
struct Shape {
  uint32_t weights[5];
  uint32_t farRarity;  // a copy reaches up to a megabyte back once in 2^farRarity copies
};

// Data with the structure compressors meet: pieces of the input, copies from near and far (up to a
// megabyte back, so the longest distance codes occur; rare far copies get long codes), runs, and bytes
// from a skewed distribution (long literal codes).
std::vector<uint8_t> Generate(uint32_t length, Random& r, const std::vector<uint8_t>& alphabet,
                              const Shape& shape) {
  uint32_t total = 0;
  for (uint32_t w : shape.weights) total += w;
  std::vector<uint8_t> d;
  d.reserve(length);
  while (d.size() < length) {
    uint32_t room = length - static_cast<uint32_t>(d.size());
    uint32_t n = 1 + r.Below(r.Below(4) == 0 ? 2000 : 64);
    if (n > room) n = room;
    uint32_t kind = 0;
    for (uint32_t pick = r.Below(total); kind < 4 && pick >= shape.weights[kind]; ++kind)
      pick -= shape.weights[kind];
    switch (kind) {
      case 0:
        for (uint32_t i = 0; i < n; ++i)
          d.push_back(alphabet.empty() ? 0 : alphabet[r.Below(static_cast<uint32_t>(alphabet.size()))]);
        break;
      case 1:
        if (!d.empty()) {
          uint32_t far = r.Below(1u << shape.farRarity) == 0 ? 1u << 20 : r.Below(2) ? 65536 : 64;
          uint32_t back = 1 + r.Below(far < d.size() ? far : static_cast<uint32_t>(d.size()));
          for (uint32_t i = 0; i < n; ++i) d.push_back(d[d.size() - back]);
          break;
        }
        [[fallthrough]];
      case 2:
        d.insert(d.end(), n, static_cast<uint8_t>(r.Next()));
        break;
      case 3:
        for (uint32_t i = 0; i < n; ++i)
          d.push_back(static_cast<uint8_t>(__builtin_ctz(r.Next() | 0x100000) * 11));
        break;
      default:
        for (uint32_t i = 0; i < n; ++i) d.push_back(static_cast<uint8_t>(r.Next()));
        break;
    }
  }
  return d;
}

// One input in sixteen, by an FNV-1a hash of its bytes.
bool HashAllowsLarge(const uint8_t* data, size_t size) {
  uint32_t h = 2166136261u;
  for (size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 16777619u;
  return (h >> 28) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::FuzzInput in(data, size);
  Random rng{in.Take(4) | (uint64_t{in.Take(4)} << 32)};
  // Mostly up to 4 KB (quick runs, so that the fuzzer tries many plans); one input in eight up to 64 KB,
  // and some up to 1.5 MB, for far distances and many blocks. A large input costs as much as a hundred
  // small ones, and the corpus keeps many (they reach the far distance codes), so whether an input may be
  // large also depends on a hash of all its bytes: one mutant in sixteen of a large input stays large.
  const uint32_t sizeClass = in.Take(1);
  const uint32_t length = sizeClass >= 224 && (sizeClass < 250 || !HashAllowsLarge(data, size))
                              ? in.Below(1u << 16)
                          : sizeClass >= 250 ? in.Below(3u << 19)
                                             : in.Below(1u << 12) >> (sizeClass & 7);
  Shape shape;
  {
    uint32_t v = in.Take(3);
    for (uint32_t k = 0; k < 5; ++k) shape.weights[k] = 1 + ((v >> (4 * k)) & 15);
    shape.farRarity = (v >> 20) % 15;
  }

  // Files: 1..4 pieces of the data, each with or without a call filter.
  const uint32_t fileCount = 1 + in.Below(4, 1);
  uint8_t flags[4];
  for (uint32_t i = 0; i < fileCount; ++i) {
    uint32_t f = in.Below(3, 1);
    flags[i] = f == 0 ? 0 : f == 1 ? kEntryCalls16 : kEntryCalls32;
  }
  // Blocks: each block's plan from a few bytes; sizes are cut once the stream's length is known.
  const uint32_t blockCount = 1 + in.Below(6, 1);
  std::vector<encoder::BlockPlan> blocks(blockCount);
  std::vector<uint32_t> weights(blockCount);
  for (encoder::BlockPlan& b : blocks) {
    uint32_t v = in.Take(4);
    b.type = v & 3;
    b.storeIfSmaller = v & 4;
    b.historyCode = (v >> 3) & 31;
    b.lz.distanceAlphabets = (v >> 8) & 3;
    b.lz.tables = static_cast<encoder::TableChoice>(((v >> 10) & 3) % 3);
    b.tableSets = ((v >> 12) & 15) == 15 ? 63 : 1 + ((v >> 12) & 7);  // the most, now and then
    b.sorted.bias = (v >> 16) & 255;
    b.sorted.tableCount = (v >> 24) % 7;
    weights[&b - blocks.data()] = 1 + ((v >> 27) & 31);
    for (uint32_t k = in.Below(4, 1), offset = 0; k > 0; --k) {
      offset += in.Below(4096, 2);
      b.deltaMarks.push_back({offset, in.Below(8, 1)});
    }
  }
  // What costs the writers most: the parser's searches, and the code lengths of many table sets (their
  // optimal coding runs over every length of every set). Short searches and at most two sets mostly; the
  // long searches and up to 63 sets of the slow levels on one input in eight.
  encoder::ParseOptions options;
  {
    uint32_t v = in.Take(2);
    const bool slow = (v & 0xE000) == 0xE000;
    options.maxChain = 1 + (v & (slow ? 63 : 7));
    options.lazy = v & 64;
    options.allowLength2 = v & 128;
    options.niceLength = 3 + ((v >> 8) & (slow ? 255 : 31));
    if (!slow)
      for (encoder::BlockPlan& b : blocks) b.tableSets = b.tableSets < 2 ? b.tableSets : 2;
  }
  std::vector<uint8_t> content = Generate(length, rng, in.Rest(), shape);

  encoder::SegmentStream stream;
  std::vector<encoder::StoredFile> files;
  for (uint32_t i = 0, at = 0; i < fileCount; ++i) {
    uint32_t n = i + 1 == fileCount ? length - at : rng.Below(length - at + 1);
    files.push_back(stream.AddFile(content.data() + at, n, flags[i]));
    at += n;
  }
  const uint32_t total = static_cast<uint32_t>(stream.bytes().size());

  // Block sizes in proportion to the weights, none above what a block's 20-bit fields allow for data that
  // does not compress.
  encoder::SegmentPlan plan;
  uint32_t weightSum = 0;
  for (uint32_t w : weights) weightSum += w;
  for (uint32_t i = 0, at = 0; i < blockCount; ++i) {
    uint32_t n = i + 1 == blockCount ? total - at
                                     : static_cast<uint32_t>(uint64_t{total} * weights[i] / weightSum);
    if (i == 0 && n == 0) n = 1;  // (the segment writer copies 0 bytes from a null window then)
    do {
      encoder::BlockPlan b = blocks[i];
      b.size = n < 0xF0000 ? n : 0xF0000;
      std::erase_if(b.deltaMarks, [&](const encoder::DeltaMarkSpec& m) { return m.offset >= b.size; });
      plan.blocks.push_back(b);
      n -= b.size;
      at += b.size;
    } while (n > 0);
  }
  std::vector<uint8_t> segment;
  encoder::HashChainParser parser(options);
  encoder::EncodeStatus status = encoder::EncodeSegment(stream.bytes().data(), total, plan, parser, segment);
  if (status != encoder::EncodeStatus::kOk) return 0;  // a plan the writers refuse (a block too large, ...)

  // Every file in stream order, then the first again (a restart); segment offset 0 = the program file's
  // first byte, so its blocks begin at offset 6.
  uint32_t requests[4 * 5];
  uint32_t count = 0;
  for (uint32_t i = 0; i <= fileCount; ++i) {
    const encoder::StoredFile& f = files[i == fileCount ? 0 : i];
    uint32_t* r = requests + 4 * count++;
    r[0] = 0;
    r[1] = f.position;
    r[2] = f.length;
    r[3] = flags[i == fileCount ? 0 : i];
  }
  std::vector<uint8_t> expected;
  for (uint32_t i = 0, at = 0; i <= fileCount; ++i) {
    uint32_t k = i == fileCount ? 0 : i;
    if (k == 0) at = 0;
    expected.insert(expected.end(), content.begin() + at, content.begin() + at + files[k].length);
    at += files[k].length;
  }
  std::vector<uint8_t> written;
  {
    test::DecoderFixture f;
    f.SetProgram(segment);
    f.archiveOffset = 0;
    for (uint32_t i = 0; i < count; ++i) {
      const uint32_t* r = requests + 4 * i;
      FileHandle sink = f.NewSink();
      if (f.DecodeFile(sink, r[0], r[1], r[2], static_cast<uint8_t>(r[3])) != 0) __builtin_trap();
      if (f.d().output.fileCrc != files[i == fileCount ? 0 : i].crc) __builtin_trap();
      std::vector<uint8_t> out = test::ReadAll(static_cast<int>(sink));
      written.insert(written.end(), out.begin(), out.end());
    }
  }
  if (written != expected) __builtin_trap();

  int32_t codes[5];
  uint32_t crcs[5];
  std::vector<uint8_t> carefulWritten;
  CarefulDecodeRequests(segment.data(), segment.size(), requests, count, codes, crcs, &carefulWritten);
  for (uint32_t i = 0; i < count; ++i)
    if (codes[i] != 0 || crcs[i] != files[i == fileCount ? 0 : i].crc) __builtin_trap();
  if (carefulWritten != expected) __builtin_trap();
  return 0;
}
