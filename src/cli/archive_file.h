// The archive behind a command: FILE opened and its headers read by the self-extractor's own start-up
// steps, and the directory walked entry by entry.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "archive/locate.h"
#include "cli/code_page.h"
#include "extract/extraction.h"

namespace zor {

// ArchiveFile::Open's answer for a file that is no archive it can read, beyond the self-extractor's own
// checks: not an ErrorCode of the engine, and told by ReportOpenFailure.
inline constexpr ErrorCode kErrorWrongFile = -1000;

class ArchiveFile {
 public:
  // `names`: the code page in which failures name the file (null: the bytes as they are).
  explicit ArchiveFile(FrontEnd& frontEnd, CodePage* names = nullptr);
  ~ArchiveFile();
  ArchiveFile(const ArchiveFile&) = delete;
  ArchiveFile& operator=(const ArchiveFile&) = delete;

  // Opens a self-extractor or a bare archive and reads its headers: the image's extent, the stub header
  // and the archive header. 0, or the ErrorCode to report naming the file (-5, -6, -11, -17, -2), or
  // kErrorWrongFile when there is no archive header where one must be, or when the archive header says
  // that the archive is longer than what the file holds.
  ErrorCode Open(const char* path);
  // Tells why Open failed on stderr, naming `path`; returns the exit code (2).
  int ReportOpenFailure(ErrorCode code, const char* path);

  Extraction& x() { return *x_; }
  const ImageCheck& image() const { return image_; }
  const StubHeaderInfo& stub() const { return stub_; }
  uint32_t fileLength() const { return fileLength_; }

 private:
  std::unique_ptr<Extraction> x_;
  ImageCheck image_{};
  StubHeaderInfo stub_{};
  uint32_t fileLength_ = 0;
  CodePage* names_;
  std::string wrongFile_;  // why the file is no archive (kErrorWrongFile)
};

// Hands every directory entry of the open archive to visit (storedPath: nameLength bytes of the code
// page, backslashes as separators), reading the directory as the extract driver does. 0 after the last
// entry, or the code that ended the walk early (-2, -11, -17 or a read failure).
using EntryVisitor = std::function<void(const DirectoryEntry& entry, std::string_view storedPath)>;
ErrorCode WalkDirectory(Extraction& x, const EntryVisitor& visit);

}  // namespace zor
