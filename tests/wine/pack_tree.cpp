// Test packer for the Wine tests: a folder tree (and hand-named entries) into a self-extractor made of
// the stub, a stub header and an archive from the format writers.
//
//   zor_pack_tree STUB OUT [--tree DIR] [--entry NAME=FILE]... [--title T] [--folder F] [--overwrite]
//                 [--segment-bytes N]
//
// Folders are listed first, then the files in path order. Files go into segments of about N bytes
// (default 1 MiB); every second segment is written in block-sorting blocks, the others in LZ blocks, and
// files ending in .exe or .dll get the 32-bit call filter, so one tree reaches every decoder. Times are
// the files' modification times as local DOS times (TZ decides); a file without its owner's write
// permission is stored read-only. --entry adds a file under a stored name taken as it stands (names that
// a packer would refuse, for the tests that the extractor refuses them), after the tree, in the order
// given.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "encoder/archive_writer.h"

namespace fs = std::filesystem;
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

// A modification time as a local DOS date and time (2-second steps, years 1980 to 2107).
void DosTime(time_t t, uint16_t& date, uint16_t& time) {
  struct tm local;
  localtime_r(&t, &local);
  const int year = std::clamp(local.tm_year + 1900, 1980, 2107);
  date = static_cast<uint16_t>(((year - 1980) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
  time = static_cast<uint16_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
}

std::string StoredPath(const fs::path& relative) {
  std::string s = relative.generic_string();
  std::replace(s.begin(), s.end(), '/', '\\');
  return s;
}

bool EndsWith(const std::string& s, const char* suffix) {
  const size_t n = std::strlen(suffix);
  return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

int Usage() {
  std::fprintf(stderr,
               "usage: zor_pack_tree STUB OUT [--tree DIR] [--entry NAME=FILE]... [--title T] [--folder F]\n"
               "                     [--overwrite] [--segment-bytes N]\n");
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string stubPath = argv[1], outPath = argv[2];
  std::string tree, title, folder;
  bool haveStubHeader = false;
  uint8_t flags = 0;
  uint32_t segmentBytes = 1u << 20;
  std::vector<std::pair<std::string, std::string>> extra;
  for (int i = 3; i < argc; ++i) {
    const std::string a = argv[i];
    const bool more = i + 1 < argc;
    if (a == "--tree" && more) {
      tree = argv[++i];
    } else if (a == "--entry" && more) {
      const std::string v = argv[++i];
      const size_t eq = v.rfind('=');
      if (eq == std::string::npos) return Usage();
      extra.emplace_back(v.substr(0, eq), v.substr(eq + 1));
    } else if (a == "--title" && more) {
      title = argv[++i], haveStubHeader = true;
    } else if (a == "--folder" && more) {
      folder = argv[++i], haveStubHeader = true;
    } else if (a == "--overwrite") {
      flags |= 0x02, haveStubHeader = true;
    } else if (a == "--segment-bytes" && more) {
      segmentBytes = static_cast<uint32_t>(std::stoul(argv[++i]));
    } else {
      return Usage();
    }
  }

  ArchiveInput input;
  std::vector<FileInput> files;
  if (!tree.empty()) {
    std::vector<fs::path> paths;
    for (const auto& e : fs::recursive_directory_iterator(tree)) paths.push_back(e.path());
    std::sort(paths.begin(), paths.end());
    for (const fs::path& p : paths) {
      const std::string stored = StoredPath(fs::relative(p, tree));
      struct stat st;
      if (lstat(p.c_str(), &st) != 0) {
        std::perror(p.c_str());
        return 2;
      }
      if (S_ISDIR(st.st_mode)) {
        input.folders.push_back(stored);
        continue;
      }
      if (!S_ISREG(st.st_mode)) continue;
      FileInput f;
      f.path = stored;
      if (!ReadFile(p, f.data)) {
        std::perror(p.c_str());
        return 2;
      }
      DosTime(st.st_mtime, f.writeDate, f.writeTime);
      f.createDate = f.writeDate;
      f.createTime = f.writeTime;
      f.attributes = kAttributeArchive | ((st.st_mode & S_IWUSR) ? 0 : 0x01);
      if (EndsWith(stored, ".exe") || EndsWith(stored, ".dll")) f.flags = zor::kEntryCalls32;
      files.push_back(std::move(f));
    }
  }
  std::vector<FileInput> extraFiles;
  for (const auto& [name, path] : extra) {
    FileInput f;
    f.path = name;
    if (!ReadFile(path, f.data)) {
      std::perror(path.c_str());
      return 2;
    }
    DosTime(std::time(nullptr), f.writeDate, f.writeTime);
    extraFiles.push_back(std::move(f));
  }

  // Segments of about segmentBytes; the hand-named entries get one of their own.
  auto addSegment = [&](std::vector<FileInput> segmentFiles) {
    SegmentInput s;
    s.files = std::move(segmentFiles);
    if (input.segments.size() % 2 == 1) {
      s.plan = [](const std::vector<uint8_t>& stream) {
        return UniformSegmentPlan(static_cast<uint32_t>(stream.size()), 200000, 2);
      };
    }
    input.segments.push_back(std::move(s));
  };
  std::vector<FileInput> current;
  size_t currentBytes = 0;
  for (FileInput& f : files) {
    currentBytes += f.data.size();
    current.push_back(std::move(f));
    if (currentBytes >= segmentBytes) {
      addSegment(std::move(current));
      current.clear();
      currentBytes = 0;
    }
  }
  if (!current.empty()) addSegment(std::move(current));
  if (!extraFiles.empty()) addSegment(std::move(extraFiles));

  HashChainParser parser;
  std::vector<uint8_t> archive;
  if (BuildArchive(input, parser, archive) != EncodeStatus::kOk) {
    std::fprintf(stderr, "zor_pack_tree: the writers refused the archive\n");
    return 2;
  }
  std::vector<uint8_t> out;
  if (!ReadFile(stubPath, out)) {
    std::perror(stubPath.c_str());
    return 2;
  }
  if (haveStubHeader) {
    const std::vector<uint8_t> header = WriteStubHeader(flags, title, folder);
    out.insert(out.end(), header.begin(), header.end());
  }
  out.insert(out.end(), archive.begin(), archive.end());
  FILE* f = std::fopen(outPath.c_str(), "wb");
  if (!f || std::fwrite(out.data(), 1, out.size(), f) != out.size() || std::fclose(f) != 0) {
    std::perror(outPath.c_str());
    return 2;
  }
  std::printf("%zu folders, %zu files, %zu bytes\n", input.folders.size(), files.size() + extra.size(),
              out.size());
  return 0;
}
