// An output file that appears whole or not at all: written under a temporary name in the same folder,
// flushed to disk, then renamed into place. Until then an error, a throw, SIGINT, SIGTERM or SIGHUP (on
// Windows: Ctrl-C, or the process ending any other way) removes the temporary file and leaves whatever
// stood under the final name untouched. Back-ends: output_file_posix.cpp, output_file_win32.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zor {

class AtomicOutputFile {
 public:
  AtomicOutputFile() = default;
  ~AtomicOutputFile();  // removes the temporary file unless committed
  AtomicOutputFile(const AtomicOutputFile&) = delete;
  AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

  // Creates the temporary file beside `path`. One output at a time per process (the signal handler
  // knows one temporary name). False with `error` set on failure.
  bool Open(const std::string& path, std::string& error);
  bool Write(const uint8_t* data, size_t size, std::string& error);
  bool WriteAt(uint64_t offset, const uint8_t* data, size_t size, std::string& error);
  // Reads back what was written; returns the count (0 at the end), or -1 with `error` set.
  int64_t ReadAt(uint64_t offset, uint8_t* data, size_t size, std::string& error);
  // Sets the permissions a new file gets (0666 less the umask), flushes the data to disk, renames the
  // file into place and flushes the folder.
  bool Commit(std::string& error);
  // Removes the temporary file now.
  void Discard();

  const std::string& temporaryPath() const { return temporary_; }

 private:
  std::string path_, temporary_;
  intptr_t file_ = -1;  // a file descriptor (POSIX) or a HANDLE (Windows); -1: none
};

}  // namespace zor
