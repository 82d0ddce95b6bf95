// The golden archives of tests/data: every valid one extracts with matching CRCs, every damaged one ends
// with the code listed in damaged/EXPECTED. (tests/data/make_golden.cpp writes them.)
#include <gtest/gtest.h>

#include <dirent.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "archive/directory.h"
#include "decoder/segment_decoder.h"
#include "support/engine_fixture.h"

namespace zor {
namespace {

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> Archives(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      std::string n = e->d_name;
      if (n.size() > 4 && n.substr(n.size() - 4) == ".zor") names.push_back(n);
    }
    closedir(d);
  }
  return names;
}

// What the extract driver does with the engine: walk the directory, decode every file, check its CRC.
// 0, or the code that ends the extraction.
ErrorCode Extract(const std::vector<uint8_t>& archive, uint32_t* files) {
  test::EngineFixture f;
  Extraction& x = f.x();
  f.SetProgram(archive);
  if (archive.size() < kArchiveHeaderSize) return kErrorDamaged;
  x.archiveOffset = 0;
  x.archiveHeader = ParseArchiveHeader(archive.data());
  StartDirectoryWalk(x);
  *files = 0;
  for (uint32_t i = 0; i < x.archiveHeader.fileCount; ++i) {
    DirectoryEntry e;
    const uint8_t* name;
    ErrorCode rc = NextDirectoryEntry(x, e, name);
    if (rc != 0) return rc;
    if (e.flags & kEntryFolder) continue;
    rc = DecodeFileData(x, f.NewSink(), e.segmentOffset, e.position, e.length, e.flags);
    if (rc < 0) return rc;
    if (x.output.fileCrc != e.crc) return kErrorCrc;
    ++*files;
  }
  return 0;
}

TEST(GoldenArchives, ValidOnesExtract) {
  const std::string dir = std::string(ZOR_TEST_DATA_DIR) + "/valid/";
  std::vector<std::string> names = Archives(dir);
  EXPECT_GE(names.size(), 4u);
  for (const std::string& n : names) {
    uint32_t files = 0;
    EXPECT_EQ(Extract(ReadFile(dir + n), &files), 0) << n;
    EXPECT_GT(files, 0u) << n;
  }
}

TEST(GoldenArchives, DamagedOnesEndWithTheirCode) {
  const std::string dir = std::string(ZOR_TEST_DATA_DIR) + "/damaged/";
  std::ifstream expected(dir + "EXPECTED");
  std::string line;
  int checked = 0;
  while (std::getline(expected, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string name;
    int code;
    fields >> name >> code;
    uint32_t files = 0;
    EXPECT_EQ(Extract(ReadFile(dir + name), &files), code) << name;
    ++checked;
  }
  EXPECT_EQ(checked, static_cast<int>(Archives(dir).size()));
}

}  // namespace
}  // namespace zor
