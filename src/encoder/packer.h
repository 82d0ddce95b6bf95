// The packer: whole archives from many files. Plans the segments, compresses them on several threads
// and writes them in archive order behind whatever the output already holds, then the directory and
// the archive header. The output is the same whatever the number of threads.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "encoder/compressor.h"

namespace zor::encoder {

// The extractor reaches every part of its program file by seeking from the file's start with a signed
// 32-bit offset (segments, the directory, and the resume point inside a segment after a directory read),
// so nothing it reads may lie at or beyond 2 GiB: that bounds the whole self-extractor.
inline constexpr uint64_t kMaxProgramFileLength = 0x7FFFFFFF;

struct PackEntry {
  std::string storedPath;  // ANSI, backslashes, no leading or trailing one
  uint8_t attributes = 0;  // Windows attributes: 0x01 read-only, 0x10 folder, 0x20 archive
  uint16_t createTime = 0, createDate = 0, writeTime = 0, writeDate = 0;  // DOS, local time
  uint64_t size = 0;       // files: the length ReadFile will deliver
};

// Where the packer gets the files' bytes and where the archive goes.
class PackIo {
 public:
  virtual ~PackIo() = default;
  // Reads file `index` whole into `data`. Called from the worker threads, concurrently for different files.
  virtual bool ReadFile(size_t index, std::vector<uint8_t>& data, std::string& error) = 0;
  // Reads up to `size` bytes of file `index` from `offset` into `data` (`got` fewer at its end), for files
  // coded while they are read (PackJob::streamAbove). Called from the packing thread. By default through
  // ReadFile.
  virtual bool ReadFileAt(size_t index, uint64_t offset, uint8_t* data, size_t size, size_t& got,
                          std::string& error);
  // Appends to the output. Called from the packing thread only, like the two below.
  virtual bool Write(const uint8_t* data, size_t size, std::string& error) = 0;
  // Overwrites bytes written before, at `offset` from the output's start.
  virtual bool WriteAt(uint64_t offset, const uint8_t* data, size_t size, std::string& error) = 0;
  // After each segment: the files' bytes packed so far and the archive's bytes written so far.
  virtual void Progress(uint64_t bytesIn, uint64_t bytesOut) { (void)bytesIn, (void)bytesOut; }
};

struct PackJob {
  std::vector<PackEntry> folders;  // listed first, in this order
  std::vector<PackEntry> files;    // in the order PlanSegments receives them
  PackSettings settings;
  unsigned threads = 1;
  uint64_t outputStart = 0;        // bytes in front of the archive (stub, stub header)
  uint64_t outputLimit = kMaxProgramFileLength;
  const std::atomic<bool>* cancel = nullptr;  // polled before each segment
  // A file larger than this is coded while it is read, in a segment of its own, with the hash-chain
  // parser: what the packer holds for it stays the same whatever its size.
  uint64_t streamAbove = 16u << 20;
};

enum class PackStatus : uint8_t { kOk, kReadFailed, kWriteFailed, kTooLarge, kCancelled, kFailed };

struct PackResult {
  PackStatus status = PackStatus::kOk;
  std::string error;           // what went wrong, for a person
  uint64_t inputBytes = 0;     // the files' bytes
  uint64_t archiveLength = 0;  // from the archive header to the end
};

PackResult PackArchive(const PackJob& job, PackIo& io);

// The output length of an archive holding one file of `size` bytes, stored, behind `outputStart` bytes
// (its directory entry counted as a directory segment's largest size): what a file needs at least,
// since compression falls back to stored blocks.
uint64_t StoredArchiveLength(uint64_t outputStart, uint64_t size);
// The largest file that StoredArchiveLength keeps within `limit`.
uint64_t LargestFile(uint64_t outputStart, uint64_t limit = kMaxProgramFileLength);

}  // namespace zor::encoder
