// Test packer for the Wine tests: a self-extractor whose entries carry stored names exactly as given,
// including names that `zor create` refuses (ones that would lead out of the target folder), so that the
// tests can show the extractor refusing them too.
//
//   zor_pack_names STUB OUT [--title T] [--folder F] NAME=FILE...
//
// One file entry per NAME=FILE, in the order given, all in one LZ-coded segment, dated now (local time).
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "encoder/archive_writer.h"

using namespace zor::encoder;

namespace {

bool ReadFile(const std::string& path, std::vector<uint8_t>& out) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  out.clear();
  uint8_t buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out.insert(out.end(), buffer, buffer + n);
  const bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

int Usage() {
  std::fprintf(stderr, "usage: zor_pack_names STUB OUT [--title T] [--folder F] NAME=FILE...\n");
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return Usage();
  const std::string stubPath = argv[1], outPath = argv[2];
  std::string title = "Ostrel Self-Extractor", folder;
  SegmentInput segment;
  const time_t now = std::time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  for (int i = 3; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--title" && i + 1 < argc) {
      title = argv[++i];
      continue;
    }
    if (a == "--folder" && i + 1 < argc) {
      folder = argv[++i];
      continue;
    }
    const size_t eq = a.rfind('=');
    if (eq == std::string::npos) return Usage();
    FileInput f;
    f.path = a.substr(0, eq);
    if (!ReadFile(a.substr(eq + 1), f.data)) {
      std::perror(argv[i]);
      return 2;
    }
    f.writeDate = f.createDate =
        static_cast<uint16_t>(((local.tm_year - 80) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
    f.writeTime = f.createTime =
        static_cast<uint16_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
    segment.files.push_back(std::move(f));
  }

  ArchiveInput input;
  input.segments.push_back(std::move(segment));
  HashChainParser parser;
  std::vector<uint8_t> archive;
  if (BuildArchive(input, parser, archive) != EncodeStatus::kOk) {
    std::fprintf(stderr, "zor_pack_names: the writers refused the archive\n");
    return 2;
  }
  std::vector<uint8_t> out;
  if (!ReadFile(stubPath, out)) {
    std::perror(stubPath.c_str());
    return 2;
  }
  const std::vector<uint8_t> header = WriteStubHeader(0, title, folder);
  out.insert(out.end(), header.begin(), header.end());
  out.insert(out.end(), archive.begin(), archive.end());
  FILE* f = std::fopen(outPath.c_str(), "wb");
  if (!f || std::fwrite(out.data(), 1, out.size(), f) != out.size() || std::fclose(f) != 0) {
    std::perror(outPath.c_str());
    return 2;
  }
  return 0;
}
