// The golden archives of tests/data: each valid one decodes to the content its manifest lists, each
// damaged one fails with the error code its manifest gives. tests/golden/make_golden.cpp writes them.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <sstream>
#include <string>

#include "decoder/crc32.h"
#include "support/archive_reader.h"

namespace zor {
namespace {

std::vector<uint8_t> Load(const std::string& path) {
  std::vector<uint8_t> out;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    uint8_t buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
    std::fclose(f);
  }
  return out;
}

std::vector<std::vector<std::string>> Manifest(const std::string& path) {
  std::vector<uint8_t> bytes = Load(path);
  std::istringstream in(std::string(bytes.begin(), bytes.end()));
  std::vector<std::vector<std::string>> rows;
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> fields;
    std::istringstream l(line);
    for (std::string field; std::getline(l, field, '\t');) fields.push_back(field);
    rows.push_back(fields);
  }
  return rows;
}

// The archive's offset: behind the stub header when the file starts with one.
uint32_t ArchiveOffset(const std::vector<uint8_t>& file) {
  if (file.size() < kStubHeaderSize) return 0;
  StubHeader h = ParseStubHeader(file.data());
  return h.signature == kStubSignature ? kStubHeaderSize + h.titleLength + h.folderLength : 0;
}

TEST(GoldenArchives, ValidOnesDecodeToTheirContent) {
  std::string dir = std::string(ZOR_TEST_DATA_DIR) + "/valid/";
  auto rows = Manifest(dir + "MANIFEST");
  ASSERT_GE(rows.size(), 20u);
  std::map<std::string, std::vector<std::vector<std::string>>> byArchive;
  for (auto& r : rows) byArchive[r[0]].push_back(r);
  static CrcTable crc;
  BuildCrcTable(crc);
  for (auto& [name, entries] : byArchive) {
    std::vector<uint8_t> file = Load(dir + name);
    ASSERT_FALSE(file.empty()) << name;
    EXPECT_LE(file.size(), 8192u) << name << " should stay small";
    test::ReadArchive read = test::ReadWholeArchive(file, ArchiveOffset(file));
    ASSERT_EQ(read.result, 0) << name;
    ASSERT_EQ(read.entries.size(), entries.size()) << name;
    for (size_t i = 0; i < entries.size(); ++i) {
      const test::ReadEntry& got = read.entries[i];
      EXPECT_EQ(got.path, entries[i][2]) << name;
      EXPECT_EQ((got.entry.flags & kEntryFolder) != 0, entries[i][1] == "D") << name;
      EXPECT_EQ(got.data.size(), std::stoul(entries[i][3])) << name << " " << got.path;
      uint32_t c = ~UpdateCrc(crc, 0xFFFFFFFFu, got.data.data(), static_cast<uint32_t>(got.data.size()));
      if (entries[i][1] == "F") {
        EXPECT_EQ(c, std::stoul(entries[i][4], nullptr, 16)) << name << " " << got.path;
      }
    }
  }
}

TEST(GoldenArchives, DamagedOnesFailWithTheirCode) {
  std::string dir = std::string(ZOR_TEST_DATA_DIR) + "/damaged/";
  auto rows = Manifest(dir + "MANIFEST");
  ASSERT_GE(rows.size(), 15u);
  for (auto& r : rows) {
    std::vector<uint8_t> file = Load(dir + r[0]);
    ASSERT_FALSE(file.empty()) << r[0];
    EXPECT_LE(file.size(), 16384u) << r[0];
    EXPECT_EQ(test::ReadWholeArchive(file).result, std::stoi(r[1])) << r[0];
  }
}

}  // namespace
}  // namespace zor
