// Writes the hand-built golden archives of tests/data/ (valid/ and damaged/) with the test packer:
//   g++ -std=c++20 -I tests -I src tests/data/make_golden.cpp src/decoder/crc32.cpp -o make_golden
//   ./make_golden tests/data
// The archives carry no stub: the ArchiveHeader is the file's first byte.
#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>

#include "decoder/output_filter.h"
#include "support/archive_builder.h"
#include "support/bit_packer.h"

using namespace zor;
using namespace zor::test;

namespace {

CrcTable crcTable;

uint32_t Crc(const std::vector<uint8_t>& v) {
  return ~UpdateCrc(crcTable, 0xFFFFFFFFu, v.data(), static_cast<uint32_t>(v.size()));
}

// The file as the extractor writes it: call operands turned back (k = 2 or 4), those near the end left.
std::vector<uint8_t> Unfiltered(const std::vector<uint8_t>& in, uint32_t k) {
  std::vector<uint8_t> out(in);
  const uint32_t n = static_cast<uint32_t>(in.size());
  for (uint32_t i = 0; k && i < n; ++i) {
    if (in[i] != 0xE8 || i + k >= n) continue;
    uint32_t o = i + 1, w = 0, v;
    for (uint32_t b = 0; b < k; ++b) w |= static_cast<uint32_t>(in[o + b]) << (8 * b);
    if (k == 2) {
      v = w - o;
    } else {
      int32_t sw = static_cast<int32_t>(w);
      if (sw >= 0 && w < n)
        v = w - o;
      else if (sw < 0 && static_cast<int64_t>(sw) >= -static_cast<int64_t>(o))
        v = n - o - 1 - w;
      else
        v = w;
    }
    for (uint32_t b = 0; b < k; ++b) out[o + b] = static_cast<uint8_t>(v >> (8 * b));
    i += k;
  }
  return out;
}

std::vector<uint8_t> Cat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::vector<uint8_t> Slice(const std::vector<uint8_t>& v, size_t from, size_t to) {
  return std::vector<uint8_t>(v.begin() + from, v.begin() + to);
}

std::vector<uint8_t> Stored(const std::vector<uint8_t>& payload, bool last) {
  BlockBuilder b(0, last, static_cast<uint32_t>(payload.size()));
  b.PutBytes(payload);
  return b.Finish();
}

std::vector<uint8_t> LzLiterals(const std::vector<uint8_t>& payload, bool last, uint32_t historyCode = 30) {
  LzBlockWriter w(static_cast<uint32_t>(payload.size()), last, 2, {}, historyCode, 1 << 20);
  for (uint8_t c : payload) w.Lit(c);
  return w.Finish();
}

std::vector<uint8_t> LzDirectory(const std::vector<uint8_t>& chunk) {
  LzBlockWriter w(static_cast<uint32_t>(chunk.size()), true, 2, {});
  for (uint8_t c : chunk) w.Lit(c);
  return w.Finish();
}

std::vector<uint8_t> StoredDirectory(const std::vector<uint8_t>& chunk) {
  BlockBuilder b(0, true, static_cast<uint32_t>(chunk.size()));
  b.Put(0, 5);
  b.PutBytes(chunk);
  return b.Finish();
}

// A block-sorting block of `text` with one flat table.
std::vector<uint8_t> Sorted(const std::vector<uint8_t>& text, bool last, bool secondOrigin = false) {
  size_t n = text.size();
  std::vector<size_t> sa(n + 1);
  for (size_t i = 0; i <= n; ++i) sa[i] = i;
  std::sort(sa.begin(), sa.end(), [&](size_t a, size_t b) {
    return std::lexicographical_compare(text.begin() + a, text.end(), text.begin() + b, text.end());
  });
  std::vector<uint32_t> symbols;
  std::vector<uint8_t> mtf(256);
  for (int i = 0; i < 256; ++i) mtf[i] = static_cast<uint8_t>(i);
  uint32_t run = 0;
  auto flush = [&]() {
    for (; run > 0; run = (run - 1) / 2) {
      if (run & 1) {
        symbols.push_back(0);
      } else {
        symbols.push_back(1);
        --run;
      }
    }
  };
  for (size_t s : sa) {
    if (s == 0) {
      flush();
      symbols.push_back(257);
      if (secondOrigin) symbols.push_back(257);
      continue;
    }
    uint8_t b = text[s - 1];
    uint32_t j = static_cast<uint32_t>(std::find(mtf.begin(), mtf.end(), b) - mtf.begin());
    if (j == 0) {
      ++run;
      continue;
    }
    flush();
    mtf.erase(mtf.begin() + j);
    mtf.insert(mtf.begin(), b);
    symbols.push_back(j + 1);
  }
  flush();
  BlockBuilder blk(2, last, static_cast<uint32_t>(n));
  blk.Put(0, 8);
  blk.Put(1, 3);
  std::vector<uint8_t> lengths(258, 9);
  PutCodeLengths(blk, lengths, 258);
  blk.Align();
  TestCode code(lengths);
  for (size_t i = 0; i < symbols.size(); ++i) {
    if (i % 50 == 0) blk.PutBit(0);
    code.Put(blk, symbols[i]);
  }
  return blk.Finish();
}

struct File {
  std::string name;
  std::vector<uint8_t> data;
  uint8_t flags = 0;
};

// One data segment holding `files` (its stream cut into blocks by `makeBlocks`) and one directory segment.
std::vector<uint8_t> Archive(const std::vector<File>& files,
                             const std::function<std::vector<std::vector<uint8_t>>(const std::vector<uint8_t>&)>& makeBlocks,
                             bool storedDirectory = false, const char* dirSignature = "ZORDE",
                             const std::vector<std::string>& folders = {}) {
  ArchiveBuilder a(0);
  std::vector<uint8_t> stream;
  std::vector<uint32_t> positions;
  for (const File& f : files) {
    positions.push_back(static_cast<uint32_t>(stream.size()));
    stream = Cat(stream, FileStretch(f.data, f.name));
  }
  uint32_t segment = a.AddSegment(makeBlocks(stream));
  std::vector<uint8_t> chunk;
  for (const std::string& folder : folders) chunk = Cat(chunk, EntryBytes(folder, 0, 0, 0, 0, 1));
  for (size_t i = 0; i < files.size(); ++i)
    chunk = Cat(chunk, EntryBytes(files[i].name, segment, positions[i], static_cast<uint32_t>(files[i].data.size()),
                                  Crc(Unfiltered(files[i].data, files[i].flags & 2 ? 2 : files[i].flags & 4 ? 4 : 0)),
                                  files[i].flags));
  a.AddDirectorySegment(storedDirectory ? StoredDirectory(chunk) : LzDirectory(chunk), dirSignature);
  a.SetFileCount(static_cast<uint32_t>(files.size() + folders.size()));
  return a.bytes();
}

void Write(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

std::vector<uint8_t> Text(size_t n, uint32_t seed) {
  std::vector<uint8_t> v(n);
  const char* words[] = {"alpha ", "beta ", "gamma ", "delta\n", "call ", "\xE8\x10\x01"};
  size_t i = 0;
  while (i < n)
    for (const char* w = words[((seed = seed * 1103515245u + 12345u) >> 16) % 6]; *w && i < n; ++w)
      v[i++] = static_cast<uint8_t>(*w);
  return v;
}

}  // namespace

int main(int argc, char** argv) {
  BuildCrcTable(crcTable);
  const std::string dir = argc > 1 ? argv[1] : "tests/data";
  const std::vector<File> two = {{"docs\\readme.txt", Text(700, 1)}, {"bin\\tool.exe", Text(900, 2), 4}};
  auto cutInThree = [](const std::vector<uint8_t>& s) {
    return std::vector<std::vector<uint8_t>>{Stored(Slice(s, 0, 15), false), LzLiterals(Slice(s, 15, 800), false),
                                             Stored(Slice(s, 800, s.size()), true)};
  };
  Write(dir + "/valid/stored-and-lz-blocks-with-folders.zor",
        Archive(two, cutInThree, false, "ZORDE", {"docs", "bin"}));
  Write(dir + "/valid/stored-directory-block.zor", Archive(two, cutInThree, true));
  Write(dir + "/valid/block-sorting-with-call-filters.zor",
        Archive({{"a.dll", Text(1500, 3), 2}, {"b.dll", Text(2500, 4), 6}, {"c.sys", Text(300, 5), 4}},
                [](const std::vector<uint8_t>& s) {
                  return std::vector<std::vector<uint8_t>>{Sorted(Slice(s, 0, 2000), false),
                                                           Sorted(Slice(s, 2000, s.size()), true)};
                }));
  Write(dir + "/valid/zero-length-and-tiny-files.zor",
        Archive({{"empty", {}}, {"one", {'1'}}, {"empty2", {}}}, [](const std::vector<uint8_t>& s) {
          return std::vector<std::vector<uint8_t>>{LzLiterals(s, true)};
        }));

  // Damaged archives; tests/data/damaged/EXPECTED lists the code each must end with.
  Write(dir + "/damaged/directory-signature.zor", Archive(two, cutInThree, false, "ZORDX"));
  Write(dir + "/damaged/data-block-type-9.zor", Archive(two, [](const std::vector<uint8_t>& s) {
          std::vector<uint8_t> b = Stored(s, true);
          b[0] = static_cast<uint8_t>((b[0] & 0xF0) | 9);
          return std::vector<std::vector<uint8_t>>{b};
        }));
  Write(dir + "/damaged/crc-mismatch.zor", Archive(two, [](const std::vector<uint8_t>& s) {
          std::vector<uint8_t> copy(s);
          copy[40] ^= 1;
          return std::vector<std::vector<uint8_t>>{Stored(copy, true)};
        }));
  Write(dir + "/damaged/sorted-second-origin-marker.zor", Archive(two, [](const std::vector<uint8_t>& s) {
          return std::vector<std::vector<uint8_t>>{Sorted(s, true, true)};
        }));
  Write(dir + "/damaged/sorted-block-input-runs-out.zor", Archive(two, [](const std::vector<uint8_t>& s) {
          // packedSize says 40 bytes: the symbol stream ends long before the column is full.
          BlockBuilder head(0, false, 20);
          std::vector<uint8_t> sorted = Sorted(Slice(s, 20, s.size()), true);
          BlockBuilder patch(2, true, 0);
          patch.bytes() = sorted;
          std::vector<uint8_t> cut = patch.Patched(40);
          cut.resize(40);
          return std::vector<std::vector<uint8_t>>{Stored(Slice(s, 0, 20), false), cut};
        }));
  Write(dir + "/damaged/lz-block-m-zero.zor", Archive(two, [](const std::vector<uint8_t>& s) {
          LzBlockWriter w(static_cast<uint32_t>(s.size()), true, 0, {});
          return std::vector<std::vector<uint8_t>>{w.Finish()};
        }));
  return 0;
}
