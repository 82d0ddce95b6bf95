// Test-only harness around a Decoder: a program file in memory (memfd), the decoder's input buffer, a
// directory reader, and output sinks that can be read back.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "archive/archive_format.h"
#include "archive/directory.h"
#include "decoder/decoder.h"

namespace zor::test {

inline int MemoryFile(const std::vector<uint8_t>& bytes) {
  int fd = memfd_create("zor-test", 0);
  if (fd >= 0 && !bytes.empty()) {
    size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
  }
  if (fd >= 0) lseek(fd, 0, SEEK_SET);
  return fd;
}

inline std::vector<uint8_t> ReadAll(int fd) {
  std::vector<uint8_t> out;
  off_t end = lseek(fd, 0, SEEK_END);
  out.resize(static_cast<size_t>(end));
  if (end > 0 && pread(fd, out.data(), out.size(), 0) != end) out.clear();
  return out;
}

// One decoder with a program file and the input buffer a walk would allocate.
class DecoderFixture {
 public:
  DecoderFixture() : d_(new Decoder), directory_{} {
    files_ = FileLayer{};
    files_.programFile = kInvalidFileHandle;
    InitDecoder(*d_, &files_, &cancel);
    AllocateInput(*d_);
    std::memset(d_->bitReader.buffer, 0xA5, kBitReaderAllocSize);  // stale bytes must never matter
    ResetBitReader(d_->bitReader);
  }
  ~DecoderFixture() {
    EndWalk(directory_, *d_);
    if (files_.programFile >= 0) close(static_cast<int>(files_.programFile));
    for (int fd : sinks_) close(fd);
  }
  DecoderFixture(const DecoderFixture&) = delete;
  DecoderFixture& operator=(const DecoderFixture&) = delete;

  Decoder& d() { return *d_; }
  FileLayer& files() { return files_; }
  DirectoryReader& directory() { return directory_; }

  std::atomic<bool> cancel{false};
  uint32_t archiveOffset = 0;  // where the archive header lies in the program file

  // Makes `bytes` the program file, positioned at its start.
  void SetProgram(const std::vector<uint8_t>& bytes) {
    if (files_.programFile >= 0) close(static_cast<int>(files_.programFile));
    files_.programFile = MemoryFile(bytes);
    files_.programFilePos = 0;
  }
  // Makes `block` the program file's only content, opens it as a segment's first block and places the
  // reader at `bit` (50 for LZ data, 45 for block-sorting data).
  ErrorCode OpenAt(const std::vector<uint8_t>& block, uint32_t bit) {
    SetProgram(block);
    d_->segment.hasHistory = false;
    ErrorCode rc = OpenBlock(*d_);
    if (rc < 0) return rc;
    d_->bitReader.cursor = d_->bitReader.buffer + bit / 8;
    d_->bitReader.bitOffset = bit % 8;
    return 0;
  }
  // A file's bytes as the extract driver asks for them: segment offset and entry flags as a directory
  // entry gives them.
  ErrorCode DecodeFile(FileHandle output, uint32_t segmentOffset, uint32_t position, uint32_t length,
                       uint8_t flags) {
    return DecodeFileData(*d_, output, archiveOffset + segmentOffset + kSegmentSignatureSize, position, length,
                          CallFilterOf(flags));
  }
  // Starts a walk over the directory at `directoryOffset` from the archive header.
  ErrorCode BeginDirectory(uint32_t directoryOffset) {
    EndWalk(directory_, *d_);
    ErrorCode rc = BeginWalk(directory_, *d_, archiveOffset + directoryOffset);
    if (rc == 0) std::memset(d_->bitReader.buffer, 0xA5, kBitReaderAllocSize);
    return rc;
  }
  // A fresh empty output file.
  FileHandle NewSink() {
    int fd = memfd_create("zor-sink", 0);
    sinks_.push_back(fd);
    return fd;
  }

 private:
  FileLayer files_;
  std::unique_ptr<Decoder> d_;
  DirectoryReader directory_;
  std::vector<int> sinks_;
};

}  // namespace zor::test
