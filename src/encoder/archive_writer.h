// The archive around the blocks: files' stretches of a segment's stream, directory entries and
// directory segments, the archive header and the stub header.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "encoder/block_writer.h"
#include "encoder/lz_items.h"
#include "encoder/segment_writer.h"

namespace zor::encoder {

// Little-endian fields appended to a byte vector, as the archive's headers store them.
inline void PutLE16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void PutLE32(std::vector<uint8_t>& out, uint32_t v) {
  PutLE16(out, v & 0xFFFF);
  PutLE16(out, v >> 16);
}

// Values of the fields the extractor does not read, as archives are written.
inline constexpr uint32_t kFolderEntryTag = 0x205A;
inline constexpr uint32_t kFileEntryTag = 0x210A;
inline constexpr uint8_t kAttributeFolder = 0x10;
inline constexpr uint8_t kAttributeArchive = 0x20;

// Where a file landed in its segment's stream.
struct StoredFile {
  uint32_t position;  // of its LocalHeader
  uint32_t length;
  uint32_t crc;       // CRC-32 of the file's own bytes (before the call filter is applied)
  uint8_t flags;      // the call filter its stored bytes carry (a shared copy keeps the first one's)
  bool shared;        // points at an earlier file's bytes (or, when empty, at none)
};

// A segment's decoded stream: for each file its 11-byte LocalHeader (an empty variable part and the entry
// tag; the unread length field 0) and its bytes, call-filtered when flags ask for it. Nothing follows the bytes: the extractor
// reaches every file through its directory entry and reads neither a stored path nor a trailing CRC.
//
// With the block layout given, a file identical to the file stored last, whose LocalHeader and bytes lie
// within one block, is not stored again: its entry points at that file's. Entries follow the stream's
// order in the directory, so the extractor has just produced the first copy and still holds the block
// that ended it: it produces the copy from its window without restarting the segment. An empty file is
// never stored: the extractor produces it without reading the stream.
class SegmentStream {
 public:
  SegmentStream() = default;
  // Blocks of firstBlock bytes, then of laterBlock bytes, as the segment will be coded.
  SegmentStream(uint32_t firstBlock, uint32_t laterBlock) : firstBlock_(firstBlock), laterBlock_(laterBlock) {}
  StoredFile AddFile(const uint8_t* data, uint32_t length, uint8_t flags);
  std::vector<uint8_t>& bytes() { return bytes_; }

 private:
  bool WithinOneBlock(uint32_t begin, uint32_t end) const;

  struct Copy {
    uint32_t position, dataStart, length, crc;
    uint8_t flags;
    bool valid = false;
  };
  std::vector<uint8_t> bytes_;
  Copy last_;  // the file stored last, when it lies within one block
  uint32_t firstBlock_ = 0, laterBlock_ = 0;  // 0: no sharing
};

struct EntryRecord {
  std::string path;               // backslashes, no leading or trailing one
  bool folder = false;
  uint8_t attributes = kAttributeArchive;  // folders: kAttributeFolder is set as well
  uint8_t flags = 0;              // call-filter bits (the folder bit follows `folder`)
  uint32_t segmentOffset = 0;
  uint32_t position = 0;
  uint32_t length = 0;
  uint32_t crc = 0;
  uint16_t createTime = 0, createDate = 0, writeTime = 0, writeDate = 0;
  uint32_t tag = 0;               // field 0; 0 = kFolderEntryTag or kFileEntryTag
  uint16_t field36 = 0;           // ours: 0
  std::vector<uint8_t> extra1, extra2;  // empty as archives are written
};

std::vector<uint8_t> SerializeEntry(const EntryRecord& entry);

struct DirectoryOptions {
  uint32_t chunkLimit = kDirectoryBlockSize;  // bytes of whole entries per chunk, at most 8192
  uint32_t blockType = 1;                     // 1 (LZ), or 0 (stored: bytes from the block's 8th byte)
  std::vector<uint32_t> entriesPerChunk;      // forces the chunking (entries of each chunk)
};

// One directory segment per chunk. A chunk whose block would not fit the 8184 bytes the reader
// fetches loses entries to the next chunk.
EncodeStatus EncodeDirectory(const std::vector<EntryRecord>& entries, const DirectoryOptions& options,
                             std::vector<uint8_t>& out);
// One directory segment holding exactly these entry bytes (any size; for tests).
std::vector<uint8_t> EncodeDirectorySegment(const std::vector<uint8_t>& chunk, uint32_t blockType);

std::vector<uint8_t> WriteArchiveHeader(uint32_t directoryOffset, uint32_t fileCount, uint32_t archiveLength);
std::vector<uint8_t> WriteStubHeader(uint8_t flags, const std::string& title, const std::string& folder);

// Assembles an archive: the header, the data segments in the order added, the directory.
class ArchiveBuilder {
 public:
  // Returns the segment's offset from the ArchiveHeader, for its entries.
  uint32_t AddSegment(const std::vector<uint8_t>& segment);
  void AddEntry(const EntryRecord& entry) { entries_.push_back(entry); }
  std::vector<EntryRecord>& entries() { return entries_; }
  EncodeStatus Finish(const DirectoryOptions& options, std::vector<uint8_t>& archive) const;

 private:
  std::vector<uint8_t> data_;  // the data segments
  std::vector<EntryRecord> entries_;
};

// ---- Whole archives from files ----

struct FileInput {
  std::string path;
  std::vector<uint8_t> data;
  uint8_t flags = 0;  // kEntryCalls16 / kEntryCalls32
  uint8_t attributes = kAttributeArchive;
  uint16_t createTime = 0, createDate = 0, writeTime = 0, writeDate = 0;
};

struct SegmentInput {
  std::vector<FileInput> files;  // in stream order
  // The blocks for the segment's stream; empty = DefaultSegmentPlan.
  std::function<SegmentPlan(const std::vector<uint8_t>& stream)> plan;
};

struct FileRef {
  uint32_t segment;
  uint32_t file;
};

struct ArchiveInput {
  std::vector<std::string> folders;  // folder entries, listed first
  std::vector<SegmentInput> segments;
  std::vector<FileRef> order;        // directory order of the files; empty = segment and stream order
  DirectoryOptions directory;
};

// Builds the archive (no stub header). Each segment's report goes to `reports` when given.
EncodeStatus BuildArchive(const ArchiveInput& input, LzParser& parser, std::vector<uint8_t>& archive,
                          std::vector<SegmentReport>* reports = nullptr);

}  // namespace zor::encoder
