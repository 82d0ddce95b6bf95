// decode_bench: our decoders against libdeflate, zlib and libbz2 on the same bytes, side by side in one run.
//
//   decode_bench [--reps N] [--max-mb M] [--sorted-block BYTES] [--only lz,sorted,crc,filter] FOLDER...
//
// Each folder's files (sorted walk) are concatenated into one stream and packed as one file of one segment:
// with LZ blocks as archives are written (our writers' hash-chain parser) and with block-sorting blocks
// (BYTES each, 900000 by default as bzip2 -9 uses). The peers get the same stream: libdeflate (levels 6 and
// 12) and zlib (level 6) as raw deflate in 1 MiB chunks, bzip2 -9 as one stream. Then every decoder runs N
// times, interleaved (one round decodes everything once), and each result is checked against the stream.
// Our blocks decode through the engine's own entries: DecodeLzBlock/DecodeSortedBlock block by block from
// a memfd program file ("blocks"), and DecodeFileData into the discarding sink, CRC included ("file").
// Times are the thread's CPU time, so that a busy machine's waiting is left out; the table gives the
// median's MB/s of decoded output and the spread ((max - min) / median) of each side. Not a test.
#include <bzlib.h>
#include <dirent.h>
#include <libdeflate.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "decoder/decoder.h"
#include "decoder/sorted_decoder.h"
#include "encoder/archive_writer.h"
#include "encoder/call_filter.h"
#include "encoder/lz_items.h"
#include "encoder/segment_writer.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr size_t kPeerChunk = 1u << 20;

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "decode_bench: %s\n", what.c_str());
  std::exit(1);
}

double CpuSeconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

void Walk(const std::string& root, const std::string& rel, std::vector<std::string>& files) {
  std::string dir = rel.empty() ? root : root + "/" + rel;
  DIR* d = opendir(dir.c_str());
  if (!d) Fail("cannot read " + dir);
  std::vector<std::string> names;
  while (dirent* e = readdir(d))
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
  closedir(d);
  std::sort(names.begin(), names.end());
  for (const std::string& n : names) {
    std::string r = rel.empty() ? n : rel + "/" + n;
    struct stat st;
    if (lstat((root + "/" + r).c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) Walk(root, r, files);
    else if (S_ISREG(st.st_mode)) files.push_back(r);
  }
}

Bytes ReadCorpus(const std::string& root, size_t maxBytes) {
  std::vector<std::string> files;
  Walk(root, "", files);
  Bytes all;
  for (const std::string& f : files) {
    FILE* in = std::fopen((root + "/" + f).c_str(), "rb");
    if (!in) Fail("cannot open " + f);
    uint8_t buffer[1 << 16];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) all.insert(all.end(), buffer, buffer + n);
    std::fclose(in);
    if (all.size() >= maxBytes) {
      all.resize(maxBytes);
      break;
    }
  }
  return all;
}

// ---- Our side: one segment holding the stream as one file, in a memfd program file ----

struct BlockInfo {
  uint32_t offset;   // in the program file
  uint32_t type, size;
  uint32_t start;    // stream position of its first byte
  uint32_t history;  // bytes of history in front of it, as the decoder keeps them
};

struct OurPacking {
  Bytes segment;  // signature and blocks; the program file
  std::vector<BlockInfo> blocks;
  int fd = -1;
};

OurPacking PackOurs(const Bytes& stream, const zor::encoder::SegmentPlan& plan) {
  using namespace zor::encoder;
  OurPacking p;
  HashChainParser parser;
  SegmentReport report;
  if (EncodeSegment(stream.data(), static_cast<uint32_t>(stream.size()), plan, parser, p.segment, &report) !=
      EncodeStatus::kOk)
    Fail("our writers refused the stream");
  uint32_t at = zor::kSegmentSignatureSize, start = 0;
  for (const BlockReport& b : report.blocks) {
    zor::BlockHeader h = zor::ReadBlockHeader(p.segment.data() + at);
    p.blocks.push_back({at, h.type, h.size, start, b.historyLength});
    at += h.packedSize;
    start += h.size;
  }
  p.fd = memfd_create("decode-bench", 0);
  if (p.fd < 0 || write(p.fd, p.segment.data(), p.segment.size()) != static_cast<ssize_t>(p.segment.size()))
    Fail("memfd");
  return p;
}

struct Engine {
  zor::FileLayer files{};
  std::atomic<bool> cancel{false};
  std::unique_ptr<zor::Decoder> x{new zor::Decoder};
  explicit Engine(int fd) {
    zor::InitDecoder(*x, &files, &cancel);
    if (zor::AllocateInput(*x) != 0) Fail("AllocateInput");
    std::memset(x->bitReader.buffer, 0, zor::kBitReaderAllocSize);
    zor::ResetBitReader(x->bitReader);
    files.programFile = fd;
    files.programFilePos = 0xFFFFFFFFu;
  }
  ~Engine() { zor::FreeInput(*x); }
};

// Block by block into one buffer holding the whole stream: each block's window is the stream in front of
// it (no delta marks here, so the history needs no re-encoding).
void DecodeBlocks(Engine& e, const OurPacking& p, uint8_t* out) {
  zor::Decoder& x = *e.x;
  for (const BlockInfo& b : p.blocks) {
    x.segment.hasHistory = true;
    x.segment.resumePos = b.offset;
    if (zor::OpenBlock(x) < 0) Fail("OpenBlock");
    zor::BitReader& r = x.bitReader;
    uint8_t* at = out + b.start;
    if (b.type == 1 || b.type == 3) {
      r.cursor = r.buffer + 6;
      r.bitOffset = 2;
      if (zor::DecodeLzBlock(x, at - b.history, b.history, b.size, true) != static_cast<int32_t>(b.size))
        Fail("DecodeLzBlock");
    } else if (b.type == 2) {
      r.cursor = r.buffer + 5;
      r.bitOffset = 5;
      if (zor::DecodeSortedBlock(x, at, b.size) < 0) Fail("DecodeSortedBlock");
    } else {
      r.cursor = r.buffer + 5;
      r.bitOffset = 5;
      if (zor::CopyStored(x, at, b.size) != static_cast<int32_t>(b.size)) Fail("CopyStored");
    }
  }
}

// The whole path: the stream's one file through the segment decoder, CRC and sink.
void DecodeFile(Engine& e, uint32_t fileLength, uint32_t expectedCrc) {
  zor::Decoder& x = *e.x;
  zor::ResetSegmentDecoder(x);
  if (zor::DecodeFileData(x, zor::kDiscardFileHandle, zor::kSegmentSignatureSize, 0, fileLength,
                          zor::CallFilter::kNone) != 0)
    Fail("DecodeFileData");
  if (x.output.fileCrc != expectedCrc) Fail("DecodeFileData: CRC differs");
}

// ---- Peers ----

struct Chunked {
  std::vector<Bytes> chunks;
  size_t packed = 0;
};

Chunked DeflateLibdeflate(const Bytes& s, int level) {
  Chunked c;
  libdeflate_compressor* z = libdeflate_alloc_compressor(level);
  for (size_t at = 0; at < s.size(); at += kPeerChunk) {
    size_t n = std::min(kPeerChunk, s.size() - at);
    Bytes out(libdeflate_deflate_compress_bound(z, n));
    out.resize(libdeflate_deflate_compress(z, s.data() + at, n, out.data(), out.size()));
    c.packed += out.size();
    c.chunks.push_back(std::move(out));
  }
  libdeflate_free_compressor(z);
  return c;
}

Chunked DeflateZlib(const Bytes& s, int level) {
  Chunked c;
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) Fail("deflateInit2");
  for (size_t at = 0; at < s.size(); at += kPeerChunk) {
    size_t n = std::min(kPeerChunk, s.size() - at);
    Bytes out(deflateBound(&z, n));
    deflateReset(&z);
    z.next_in = const_cast<uint8_t*>(s.data() + at);
    z.avail_in = static_cast<uInt>(n);
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    if (deflate(&z, Z_FINISH) != Z_STREAM_END) Fail("deflate");
    out.resize(out.size() - z.avail_out);
    c.packed += out.size();
    c.chunks.push_back(std::move(out));
  }
  deflateEnd(&z);
  return c;
}

void InflateLibdeflate(libdeflate_decompressor* d, const Chunked& c, uint8_t* out, size_t total) {
  for (size_t i = 0; i < c.chunks.size(); ++i) {
    size_t n = std::min(kPeerChunk, total - i * kPeerChunk);
    if (libdeflate_deflate_decompress(d, c.chunks[i].data(), c.chunks[i].size(), out + i * kPeerChunk, n,
                                      nullptr) != LIBDEFLATE_SUCCESS)
      Fail("libdeflate_deflate_decompress");
  }
}

void InflateZlib(z_stream& z, const Chunked& c, uint8_t* out, size_t total) {
  for (size_t i = 0; i < c.chunks.size(); ++i) {
    size_t n = std::min(kPeerChunk, total - i * kPeerChunk);
    inflateReset(&z);
    z.next_in = const_cast<uint8_t*>(c.chunks[i].data());
    z.avail_in = static_cast<uInt>(c.chunks[i].size());
    z.next_out = out + i * kPeerChunk;
    z.avail_out = static_cast<uInt>(n);
    if (inflate(&z, Z_FINISH) != Z_STREAM_END) Fail("inflate");
  }
}

// ---- Measuring ----

struct Run {
  std::string name;
  std::function<void()> decode;
  std::function<bool()> check;  // after the first round
  std::vector<double> seconds;
  double Median() const {
    std::vector<double> s = seconds;
    std::sort(s.begin(), s.end());
    return s.size() % 2 ? s[s.size() / 2] : (s[s.size() / 2 - 1] + s[s.size() / 2]) / 2;
  }
  double Spread() const {
    auto [lo, hi] = std::minmax_element(seconds.begin(), seconds.end());
    return (*hi - *lo) / Median();
  }
};

struct Row {
  std::string ours, peer;  // run names
  std::string oursSize, peerSize;
};

struct Options {
  int reps = 7;
  size_t maxBytes = size_t{1} << 40;
  uint32_t sortedBlock = 900000;
  std::string only = "lz,sorted,crc,filter";
  std::vector<std::string> folders;
  bool Wants(const char* group) const {
    for (size_t at = 0; at <= only.size();) {
      size_t end = std::min(only.find(',', at), only.size());
      if (only.compare(at, end - at, group) == 0) return true;
      at = end + 1;
    }
    return false;
  }
};

std::string Percent(size_t packed, size_t original) {
  char s[32];
  std::snprintf(s, sizeof s, "%.1f %%", 100.0 * static_cast<double>(packed) / static_cast<double>(original));
  return s;
}

void Bench(const std::string& folder, const Options& o) {
  std::string corpus = folder;
  while (corpus.size() > 1 && corpus.back() == '/') corpus.pop_back();
  corpus = corpus.substr(corpus.find_last_of('/') + 1);
  Bytes files = ReadCorpus(folder, o.maxBytes);
  if (files.empty()) Fail(folder + ": no bytes");
  const uint32_t fileLength = static_cast<uint32_t>(files.size());
  std::fprintf(stderr, "%s: %u bytes; packing...\n", corpus.c_str(), fileLength);

  zor::encoder::SegmentStream ss;
  zor::encoder::StoredFile sf = ss.AddFile(files.data(), fileLength, 0);
  const Bytes& stream = ss.bytes();
  const size_t n = stream.size();
  Bytes out(n + 64);
  auto same = [&] { return std::memcmp(out.data(), stream.data(), n) == 0; };
  auto always = [] { return true; };
  std::vector<Run> runs;
  std::vector<Row> rows;
  std::vector<std::function<void()>> cleanup;

  // LZ blocks against deflate.
  OurPacking lz;
  Chunked ld6, ld12, zl6;
  std::unique_ptr<Engine> lzEngine;
  libdeflate_decompressor* ld = nullptr;
  z_stream zs{};
  if (o.Wants("lz")) {
    lz = PackOurs(stream, zor::encoder::DefaultSegmentPlan(static_cast<uint32_t>(n)));
    ld6 = DeflateLibdeflate(stream, 6);
    ld12 = DeflateLibdeflate(stream, 12);
    zl6 = DeflateZlib(stream, 6);
    lzEngine.reset(new Engine(lz.fd));
    ld = libdeflate_alloc_decompressor();
    if (inflateInit2(&zs, -15) != Z_OK) Fail("inflateInit2");
    cleanup.push_back([&] {
      libdeflate_free_decompressor(ld);
      inflateEnd(&zs);
      close(lz.fd);
    });
    runs.push_back({"zor LZ blocks", [&] { DecodeBlocks(*lzEngine, lz, out.data()); }, same, {}});
    runs.push_back({"zor LZ file", [&] { DecodeFile(*lzEngine, fileLength, sf.crc); }, always, {}});
    runs.push_back({"libdeflate -6", [&] { InflateLibdeflate(ld, ld6, out.data(), n); }, same, {}});
    runs.push_back({"libdeflate -12", [&] { InflateLibdeflate(ld, ld12, out.data(), n); }, same, {}});
    runs.push_back({"zlib -6", [&] { InflateZlib(zs, zl6, out.data(), n); }, same, {}});
    const std::string size = Percent(lz.segment.size(), n);
    rows.push_back({"zor LZ blocks", "libdeflate -6", size, Percent(ld6.packed, n)});
    rows.push_back({"zor LZ blocks", "libdeflate -12", size, Percent(ld12.packed, n)});
    rows.push_back({"zor LZ blocks", "zlib -6", size, Percent(zl6.packed, n)});
    rows.push_back({"zor LZ file", "libdeflate -6", size, Percent(ld6.packed, n)});
  }

  // Block-sorting blocks against bzip2.
  OurPacking bs;
  Bytes bz;
  std::unique_ptr<Engine> bsEngine;
  if (o.Wants("sorted")) {
    bs = PackOurs(stream, zor::encoder::UniformSegmentPlan(static_cast<uint32_t>(n), o.sortedBlock, 2));
    unsigned bzPacked = static_cast<unsigned>(n + n / 100 + 600);
    bz.resize(bzPacked);
    if (BZ2_bzBuffToBuffCompress(reinterpret_cast<char*>(bz.data()), &bzPacked,
                                 reinterpret_cast<char*>(const_cast<uint8_t*>(stream.data())),
                                 static_cast<unsigned>(n), 9, 0, 30) != BZ_OK)
      Fail("BZ2_bzBuffToBuffCompress");
    bz.resize(bzPacked);
    bsEngine.reset(new Engine(bs.fd));
    cleanup.push_back([&] { close(bs.fd); });
    runs.push_back({"zor sorted blocks", [&] { DecodeBlocks(*bsEngine, bs, out.data()); }, same, {}});
    runs.push_back({"zor sorted file", [&] { DecodeFile(*bsEngine, fileLength, sf.crc); }, always, {}});
    runs.push_back({"bzip2 -9",
                    [&] {
                      unsigned len = static_cast<unsigned>(n);
                      if (BZ2_bzBuffToBuffDecompress(reinterpret_cast<char*>(out.data()), &len,
                                                     reinterpret_cast<char*>(bz.data()),
                                                     static_cast<unsigned>(bz.size()), 0, 0) != BZ_OK ||
                          len != n)
                        Fail("BZ2_bzBuffToBuffDecompress");
                    },
                    same, {}});
    const std::string size = Percent(bs.segment.size(), n);
    rows.push_back({"zor sorted blocks", "bzip2 -9", size, Percent(bz.size(), n)});
    rows.push_back({"zor sorted file", "bzip2 -9", size, Percent(bz.size(), n)});
  }

  // CRC-32 against zlib's and libdeflate's; the call filter against a plain copy.
  Engine plain(-1);
  uint32_t crcResult = 0;
  const uint32_t streamCrc = ~zor::UpdateCrc(plain.x->crc, 0xFFFFFFFFu, stream.data(), static_cast<uint32_t>(n));
  auto crcRight = [&] { return crcResult == streamCrc; };
  if (o.Wants("crc")) {
    runs.push_back({"zor CRC-32",
                    [&] { crcResult = ~zor::UpdateCrc(plain.x->crc, 0xFFFFFFFFu, stream.data(), static_cast<uint32_t>(n)); },
                    crcRight, {}});
    runs.push_back({"zlib crc32", [&] { crcResult = static_cast<uint32_t>(crc32(0, stream.data(), static_cast<uInt>(n))); },
                    crcRight, {}});
    runs.push_back({"libdeflate crc32", [&] { crcResult = libdeflate_crc32(0, stream.data(), n); }, crcRight, {}});
    rows.push_back({"zor CRC-32", "zlib crc32", "", ""});
    rows.push_back({"zor CRC-32", "libdeflate crc32", "", ""});
  }
  // The filter's input: the files' bytes as the archiver's 32-bit call filter leaves them. Its output goes
  // through the CRC to the discarding sink, as in an extraction.
  Bytes called;
  volatile uint8_t copied = 0;
  if (o.Wants("filter")) {
    called = files;
    zor::encoder::EncodeCalls32(called.data(), fileLength);
    runs.push_back({"zor TranslateCalls32",
                    [&] {
                      zor::Decoder& x = *plain.x;
                      x.output.fileCrc = 0xFFFFFFFFu;
                      if (zor::TranslateCalls32(x, zor::kDiscardFileHandle, called.data(), fileLength, 0,
                                                fileLength) < 0)
                        Fail("TranslateCalls32");
                      crcResult = ~x.output.fileCrc;
                    },
                    [&] { return crcResult == sf.crc; }, {}});
    runs.push_back({"memcpy", [&] { std::memcpy(out.data(), stream.data(), n); copied = out[n / 2]; }, same, {}});
    rows.push_back({"zor TranslateCalls32", "memcpy", "", ""});
  }

  for (int round = 0; round < o.reps; ++round) {
    for (Run& r : runs) {
      double t0 = CpuSeconds();
      r.decode();
      r.seconds.push_back(CpuSeconds() - t0);
      if (round == 0 && !r.check()) Fail(r.name + ": wrong result");
      if (round == 0) std::memset(out.data(), 0, n);
    }
  }
  for (auto& c : cleanup) c();

  auto find = [&](const std::string& name) -> const Run& {
    for (const Run& r : runs)
      if (r.name == name) return r;
    Fail("no run " + name);
  };
  const double mb = static_cast<double>(n) / 1e6;
  std::printf("\n%s: %.1f MB, %d rounds; MB/s of decoded output from the median thread CPU time; "
              "spread = (max - min) / median\n\n",
              corpus.c_str(), mb, o.reps);
  std::printf("| ours | MB/s | spread | size | peer | MB/s | spread | size | ours / peer |\n");
  std::printf("|---|---:|---:|---:|---|---:|---:|---:|---:|\n");
  for (const Row& row : rows) {
    const Run& a = find(row.ours);
    const Run& b = find(row.peer);
    std::printf("| %s | %.0f | %.0f %% | %s | %s | %.0f | %.0f %% | %s | %.2f |\n", a.name.c_str(),
                mb / a.Median(), 100 * a.Spread(), row.oursSize.c_str(), b.name.c_str(), mb / b.Median(),
                100 * b.Spread(), row.peerSize.c_str(), b.Median() / a.Median());
  }
  std::fflush(stdout);
}

}  // namespace

constexpr const char* kUsage =
    "usage: decode_bench [--reps N] [--max-mb M] [--sorted-block BYTES] [--only lz,sorted,crc,filter] FOLDER...";

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--reps" && i + 1 < argc) o.reps = std::max(1, std::atoi(argv[++i]));
    else if (a == "--max-mb" && i + 1 < argc) o.maxBytes = static_cast<size_t>(std::atof(argv[++i]) * 1e6);
    else if (a == "--sorted-block" && i + 1 < argc) o.sortedBlock = static_cast<uint32_t>(std::atoi(argv[++i]));
    else if (a == "--only" && i + 1 < argc) o.only = argv[++i];
    else if (!a.empty() && a[0] == '-') Fail(kUsage);
    else o.folders.push_back(a);
  }
  if (o.folders.empty() || o.sortedBlock == 0 || o.sortedBlock > 0xFFFFF)
    Fail(kUsage);
  for (const std::string& f : o.folders) Bench(f, o);
  return 0;
}
