// Test-only harness for the extract driver: archives assembled by the writers from folders and files, a
// scratch folder on disk, and an Extraction over an archive with a scripted front-end.
#pragma once

#include <ftw.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "encoder/archive_writer.h"
#include "extract/extract_all.h"
#include "extract/extraction.h"
#include "support/decoder_fixture.h"
#include "support/recording_front_end.h"

namespace zor::test {

// The engine separates paths with backslashes; the POSIX file layer turns them into slashes.
inline std::string EnginePath(std::string path) {
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

// A fresh folder in the system's temporary folder, removed with everything in it, read-only entries included.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zor-driver-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back(0);
    if (mkdtemp(buffer.data())) path_ = buffer.data();
  }
  ~ScratchFolder() {
    if (path_.empty()) return;
    nftw(path_.c_str(), [](const char* p, const struct stat*, int type, struct FTW*) {
      if (type == FTW_D) chmod(p, 0700);
      return 0;
    }, 16, FTW_PHYS);
    nftw(path_.c_str(), [](const char* p, const struct stat*, int, struct FTW*) {
      remove(p);
      return 0;
    }, 16, FTW_DEPTH | FTW_PHYS);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // A path inside the folder, native (slashes).
  std::string Native(const std::string& relative = "") const {
    return relative.empty() ? path_ : path_ + "/" + relative;
  }
  // The same as the engine takes it (backslashes).
  std::string Engine(const std::string& relative = "") const { return EnginePath(Native(relative)); }

 private:
  std::string path_;
};

inline bool Exists(const std::string& native) {
  struct stat st;
  return lstat(native.c_str(), &st) == 0;
}
inline bool IsFolder(const std::string& native) {
  struct stat st;
  return stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
inline std::vector<uint8_t> ReadFile(const std::string& native) {
  std::ifstream in(native, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
inline void WriteFile(const std::string& native, const std::string& text) {
  std::ofstream out(native, std::ios::binary);
  out << text;
}
inline std::vector<uint8_t> Bytes(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

// Folders and files in directory order, files grouped into segments; Build() encodes the segments with the
// writers and lists the entries in the order they were added.
class TestArchive {
 public:
  TestArchive& Folder(const std::string& path, uint8_t attributes = encoder::kAttributeFolder) {
    Item item;
    item.record.path = path;
    item.record.folder = true;
    item.record.attributes = attributes;
    items_.push_back(std::move(item));
    return *this;
  }
  TestArchive& File(const std::string& path, std::vector<uint8_t> data,
                    uint8_t attributes = encoder::kAttributeArchive) {
    Item item;
    item.record.path = path;
    item.record.attributes = attributes;
    item.data = std::move(data);
    item.segment = segmentCount_ - 1;
    items_.push_back(std::move(item));
    return *this;
  }
  TestArchive& File(const std::string& path, const std::string& text,
                    uint8_t attributes = encoder::kAttributeArchive) {
    return File(path, Bytes(text), attributes);
  }
  // Later files go into a new segment.
  TestArchive& NextSegment() {
    ++segmentCount_;
    return *this;
  }
  // The last entry added, to set its times, flags or a wrong CRC.
  encoder::EntryRecord& Last() { return items_.back().record; }
  TestArchive& Crc(uint32_t crc) {
    items_.back().crc = crc;
    return *this;
  }
  // Blocks of `size` bytes of one type for every segment (0 = as archives are written).
  TestArchive& Blocks(uint32_t size, uint32_t type) {
    blockSize_ = size;
    blockType_ = type;
    return *this;
  }

  // The archive; segmentOffsets and reports (when given) describe each segment.
  std::vector<uint8_t> Build(std::vector<uint32_t>* segmentOffsets = nullptr,
                             std::vector<encoder::SegmentReport>* reports = nullptr) {
    encoder::ArchiveBuilder builder;
    encoder::HashChainParser parser;
    std::vector<encoder::EntryRecord> records;
    for (const Item& item : items_) records.push_back(item.record);
    for (uint32_t k = 0; k < segmentCount_; ++k) {
      encoder::SegmentStream stream;
      std::vector<size_t> members;
      for (size_t i = 0; i < items_.size(); ++i) {
        const Item& item = items_[i];
        if (item.record.folder || item.segment != k) continue;
        encoder::StoredFile stored = stream.AddFile(item.data.data(),
                                                    static_cast<uint32_t>(item.data.size()), item.record.flags);
        records[i].position = stored.position;
        records[i].length = stored.length;
        records[i].crc = item.crc ? *item.crc : stored.crc;
        members.push_back(i);
      }
      if (members.empty()) continue;
      const uint32_t length = static_cast<uint32_t>(stream.bytes().size());
      encoder::SegmentPlan plan = blockSize_ ? encoder::UniformSegmentPlan(length, blockSize_, blockType_)
                                             : encoder::DefaultSegmentPlan(length);
      std::vector<uint8_t> segment;
      encoder::SegmentReport report;
      if (encoder::EncodeSegment(stream.bytes().data(), length, plan, parser, segment, &report) !=
          encoder::EncodeStatus::kOk)
        return {};
      const uint32_t offset = builder.AddSegment(segment);
      for (size_t i : members) records[i].segmentOffset = offset;
      if (segmentOffsets) segmentOffsets->push_back(offset);
      if (reports) reports->push_back(std::move(report));
    }
    for (const encoder::EntryRecord& r : records) builder.AddEntry(r);
    std::vector<uint8_t> archive;
    if (builder.Finish(encoder::DirectoryOptions(), archive) != encoder::EncodeStatus::kOk) return {};
    return archive;
  }

 private:
  struct Item {
    encoder::EntryRecord record;
    std::vector<uint8_t> data;
    uint32_t segment = 0;
    std::optional<uint32_t> crc;
  };
  std::vector<Item> items_;
  uint32_t segmentCount_ = 1;
  uint32_t blockSize_ = 0;
  uint32_t blockType_ = 1;
};

// An Extraction over an archive in memory, answering through a RecordingFrontEnd.
class ExtractHarness {
 public:
  RecordingFrontEnd frontEnd;
  WindowRef dialog = reinterpret_cast<WindowRef>(0x1234);

  explicit ExtractHarness(const std::vector<uint8_t>& program, uint32_t archiveOffset = 0)
      : x_(new Extraction) {
    InitExtraction(*x_, &frontEnd);
    x_->files.programFile = MemoryFile(program);
    x_->archiveOffset = archiveOffset;
    if (program.size() >= archiveOffset + kArchiveHeaderSize)
      x_->archiveHeader = ParseArchiveHeader(program.data() + archiveOffset);
  }
  ~ExtractHarness() {
    if (x_->files.programFile >= 0) close(static_cast<int>(x_->files.programFile));
  }
  ExtractHarness(const ExtractHarness&) = delete;
  ExtractHarness& operator=(const ExtractHarness&) = delete;

  Extraction& x() { return *x_; }
  // The target folder as the dialog would hand it over (cut to the buffer).
  ExtractHarness& Target(const std::string& engine) {
    std::strncpy(x_->options.targetFolder, engine.c_str(), kTargetFolderSize - 1);
    x_->options.targetFolder[kTargetFolderSize - 1] = 0;
    return *this;
  }
  ErrorCode Run() { return ExtractAll(*x_, dialog); }

  std::vector<std::string> MessageTexts() const {
    std::vector<std::string> texts;
    for (const ShownMessage& m : frontEnd.messages) texts.push_back(m.text);
    return texts;
  }

 private:
  std::unique_ptr<Extraction> x_;
};

}  // namespace zor::test
