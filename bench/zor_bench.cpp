// zor_bench: packs a folder with the compression stage and extracts an archive with the engine, timing
// each, for bench/compare.sh while the zor command has no create and extract of its own.
//
//   zor_bench pack LEVEL FOLDER ARCHIVE [-j THREADS] [--no-sketch] [-s FIELD=VALUE]...
//       a bare archive of FOLDER's files (paths relative to it); -s changes one setting of the level
//       (see SetConfigField), --no-sketch orders files by name only
//   zor_bench extract ARCHIVE FOLDER
//       every file into FOLDER (created), CRCs checked
// Both print "wall-seconds original-bytes archive-bytes cpu-seconds" on stdout.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "archive/archive_format.h"
#include "archive/directory.h"
#include "decoder/segment_decoder.h"
#include "encoder/archive_writer.h"
#include "encoder/compressor.h"
#include "encoder/compressor_config.h"
#include "extract/extraction.h"

namespace {

using Clock = std::chrono::steady_clock;

double CpuSeconds() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

void Walk(const std::string& root, const std::string& rel, std::vector<std::string>& files) {
  std::string dir = rel.empty() ? root : root + "/" + rel;
  DIR* d = opendir(dir.c_str());
  if (!d) return;
  std::vector<std::string> names;
  while (dirent* e = readdir(d)) {
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    names.push_back(e->d_name);
  }
  closedir(d);
  std::sort(names.begin(), names.end());
  for (const std::string& n : names) {
    std::string r = rel.empty() ? n : rel + "/" + n;
    struct stat st;
    if (lstat((root + "/" + r).c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      Walk(root, r, files);
    } else if (S_ISREG(st.st_mode)) {
      files.push_back(r);
    }
  }
}

bool ReadFile(const std::string& path, std::vector<uint8_t>& out) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::fseek(f, 0, SEEK_END);
  long n = std::ftell(f);
  std::fseek(f, 0, SEEK_SET);
  out.resize(static_cast<size_t>(n));
  bool ok = n == 0 || std::fread(out.data(), 1, out.size(), f) == out.size();
  std::fclose(f);
  return ok;
}

int Pack(int level, const std::string& root, const std::string& archivePath, int threads, bool sketch,
         const zor::encoder::CompressionConfig& config) {
  using namespace zor::encoder;
  auto start = Clock::now();
  std::vector<std::string> rel;
  Walk(root, "", rel);
  std::vector<PackFileInfo> infos;
  std::vector<std::vector<uint8_t>> data(rel.size());
  uint64_t bytesIn = 0;
  for (size_t i = 0; i < rel.size(); ++i) {
    if (!ReadFile(root + "/" + rel[i], data[i])) {
      std::fprintf(stderr, "cannot read %s\n", rel[i].c_str());
      return 1;
    }
    std::string stored = rel[i];
    std::replace(stored.begin(), stored.end(), '/', '\\');
    infos.push_back({stored, data[i].size(), {}});
    if (sketch) {
      infos.back().sketch = SketchFile(data[i].data(), data[i].size());
      infos.back().contentKey = ContentKey(data[i].data(), data[i].size());
    }
    bytesIn += data[i].size();
  }
  PackSettings settings;
  settings.level = level;
  std::vector<std::vector<size_t>> groups = PlanSegmentsWith(infos, config);
  std::vector<uint8_t> flags(rel.size());
  std::vector<std::vector<uint8_t>> segments(groups.size());
  std::vector<std::vector<StoredFile>> stored(groups.size());
  std::atomic<size_t> next{0};
  auto work = [&] {
    for (size_t g; (g = next++) < groups.size();) {
      SegmentStream stream(config.firstBlock, config.laterBlock);
      for (size_t i : groups[g]) {
        uint8_t f = ChooseCallFilter(data[i].data(), data[i].size(), infos[i].storedPath, settings);
        stored[g].push_back(stream.AddFile(data[i].data(), static_cast<uint32_t>(data[i].size()), f));
        flags[i] = stored[g].back().flags;
      }
      segments[g] = CompressSegmentWith(stream.bytes(), config);
    }
  };
  std::vector<std::thread> pool;
  for (int t = 1; t < threads; ++t) pool.emplace_back(work);
  work();
  for (std::thread& t : pool) t.join();

  ArchiveBuilder builder;
  for (size_t g = 0; g < groups.size(); ++g) {
    uint32_t offset = builder.AddSegment(segments[g]);
    for (size_t k = 0; k < groups[g].size(); ++k) {
      size_t i = groups[g][k];
      EntryRecord e;
      e.path = infos[i].storedPath;
      e.flags = flags[i];
      e.segmentOffset = offset;
      e.position = stored[g][k].position;
      e.length = stored[g][k].length;
      e.crc = stored[g][k].crc;
      builder.AddEntry(e);
    }
  }
  std::vector<uint8_t> archive;
  if (builder.Finish(DirectoryOptions(), archive) != EncodeStatus::kOk) {
    std::fprintf(stderr, "archive too large\n");
    return 1;
  }
  FILE* f = std::fopen(archivePath.c_str(), "wb");
  if (!f || std::fwrite(archive.data(), 1, archive.size(), f) != archive.size() || std::fclose(f) != 0) {
    std::fprintf(stderr, "cannot write %s\n", archivePath.c_str());
    return 1;
  }
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf("%.3f %llu %zu %.3f\n", seconds, static_cast<unsigned long long>(bytesIn), archive.size(), CpuSeconds());
  return 0;
}

void MakeParents(const std::string& path) {
  for (size_t i = 1; i < path.size(); ++i) {
    if (path[i] == '/') mkdir(path.substr(0, i).c_str(), 0755);
  }
}

int Extract(const std::string& archivePath, const std::string& root) {
  using namespace zor;
  auto start = Clock::now();
  Extraction* x = new Extraction;
  InitExtraction(*x, nullptr);
  int fd = open(archivePath.c_str(), O_RDONLY);
  uint8_t header[kArchiveHeaderSize];
  if (fd < 0 || pread(fd, header, sizeof header, 0) != static_cast<ssize_t>(sizeof header)) {
    std::fprintf(stderr, "cannot read %s\n", archivePath.c_str());
    return 1;
  }
  x->files.programFile = fd;
  x->files.programFilePos = 0;
  x->archiveOffset = 0;
  x->archiveHeader = ParseArchiveHeader(header);
  if (BeginWalk(x->directory, x->decoder, x->archiveHeader.directoryOffset) != 0) return 1;
  uint64_t bytes = 0;
  mkdir(root.c_str(), 0755);
  for (uint32_t i = 0; i < x->archiveHeader.fileCount; ++i) {
    DirectoryEntry entry;
    const uint8_t* name = nullptr;
    ErrorCode rc = NextDirectoryEntry(x->directory, x->decoder, entry, name);
    if (rc != 0) {
      std::fprintf(stderr, "directory: error %d\n", rc);
      return 1;
    }
    std::string path(reinterpret_cast<const char*>(name), entry.nameLength);
    std::replace(path.begin(), path.end(), '\\', '/');
    path = root + "/" + path;
    MakeParents(path);
    if (entry.flags & kEntryFolder) {
      mkdir(path.c_str(), 0755);
      continue;
    }
    int out = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    rc = DecodeFileData(x->decoder, out, entry.segmentOffset + kSegmentSignatureSize, entry.position, entry.length,
                        CallFilterOf(entry.flags));
    close(out);
    if (rc != 0 || x->decoder.output.fileCrc != entry.crc) {
      std::fprintf(stderr, "%s: error %d\n", path.c_str(), rc != 0 ? rc : -12);
      return 1;
    }
    bytes += entry.length;
  }
  EndWalk(x->directory, x->decoder);
  close(fd);
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  struct stat st;
  stat(archivePath.c_str(), &st);
  std::printf("%.3f %llu %lld %.3f\n", seconds, static_cast<unsigned long long>(bytes), static_cast<long long>(st.st_size),
              CpuSeconds());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 5 && std::strcmp(argv[1], "pack") == 0) {
    int level = std::atoi(argv[2]);
    zor::encoder::CompressionConfig config = zor::encoder::ConfigForLevel(level);
    int threads = 1;
    bool sketch = true;
    for (int i = 5; i < argc; ++i) {
      if (std::strcmp(argv[i], "-j") == 0 && i + 1 < argc) {
        threads = std::max(1, std::atoi(argv[++i]));
      } else if (std::strcmp(argv[i], "--no-sketch") == 0) {
        sketch = false;
      } else if (std::strcmp(argv[i], "-s") == 0 && i + 1 < argc && zor::encoder::SetConfigField(config, argv[i + 1])) {
        ++i;
      } else {
        std::fprintf(stderr, "bad option %s\n", argv[i]);
        return 2;
      }
    }
    return Pack(level, argv[3], argv[4], threads, sketch, config);
  }
  if (argc == 4 && std::strcmp(argv[1], "extract") == 0) return Extract(argv[2], argv[3]);
  std::fprintf(stderr, "usage: zor_bench pack LEVEL FOLDER ARCHIVE [-j N] [--no-sketch] [-s FIELD=VALUE]...\n"
                       "       zor_bench extract ARCHIVE FOLDER\n");
  return 2;
}
