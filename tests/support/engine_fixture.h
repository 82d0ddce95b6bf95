// Test-only harness around an Extraction: a program file in memory (memfd), the reader's buffers, and an
// output sink that can be read back.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "extract/extraction.h"

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

// One extraction context with a program file and the buffers the extract driver would allocate.
class EngineFixture {
 public:
  EngineFixture() : x_(new Extraction) {
    InitExtraction(*x_, nullptr);
    x_->bitReader.buffer = static_cast<uint8_t*>(MemAlloc(kBitReaderAllocSize));
    std::memset(x_->bitReader.buffer, 0xA5, kBitReaderAllocSize);  // stale bytes must never matter
    ResetBitReader(x_->bitReader);
    x_->directory.directoryBuffer = static_cast<uint8_t*>(MemAlloc(kDirectoryBufferSize));
  }
  ~EngineFixture() {
    ResetSegmentDecoder(*x_);
    MemFree(x_->bitReader.buffer);
    MemFree(x_->directory.directoryBuffer);
    if (x_->files.programFile >= 0) close(static_cast<int>(x_->files.programFile));
    for (int fd : sinks_) close(fd);
  }
  EngineFixture(const EngineFixture&) = delete;
  EngineFixture& operator=(const EngineFixture&) = delete;

  Extraction& x() { return *x_; }

  // Makes `bytes` the program file, positioned at its start.
  void SetProgram(const std::vector<uint8_t>& bytes) {
    if (x_->files.programFile >= 0) close(static_cast<int>(x_->files.programFile));
    x_->files.programFile = MemoryFile(bytes);
    x_->files.programFilePos = 0;
  }
  // Makes `block` the program file's only content, opens it as a segment's first block and places the
  // reader at `bit` (50 for LZ data, 45 for block-sorting data).
  ErrorCode OpenAt(const std::vector<uint8_t>& block, uint32_t bit) {
    SetProgram(block);
    x_->segment.hasHistory = false;
    ErrorCode rc = OpenBlock(*x_);
    if (rc < 0) return rc;
    x_->bitReader.cursor = x_->bitReader.buffer + bit / 8;
    x_->bitReader.bitOffset = bit % 8;
    return 0;
  }
  // A fresh empty output file.
  FileHandle NewSink() {
    int fd = memfd_create("zor-sink", 0);
    sinks_.push_back(fd);
    return fd;
  }

 private:
  std::unique_ptr<Extraction> x_;
  std::vector<int> sinks_;
};

}  // namespace zor::test
