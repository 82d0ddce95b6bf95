// Opening an archive for the tool's commands and walking its directory.
#include "cli/archive_file.h"

#include "cli/exit_codes.h"
#include "extract/errors.h"
#include "extract/file_layer.h"

namespace zor {

ArchiveFile::ArchiveFile(FrontEnd& frontEnd) : x_(std::make_unique<Extraction>()) {
  InitExtraction(*x_, &frontEnd);
}

ArchiveFile::~ArchiveFile() {
  if (x_->files.programFile != kInvalidFileHandle) FileClose(x_->files, x_->files.programFile);
}

ErrorCode ArchiveFile::Open(const char* path) {
  Extraction& x = *x_;
  SetDisplayName(x, path);
  x.files.programFile = FileOpen(x.files, path, kGenericRead);
  if (x.files.programFile == kInvalidFileHandle) return kErrorOpenProgram;
  if (ErrorCode r = InspectProgramFile(x, image_); r < 0) return r;
  if (image_.kind == ImageKind::kDamagedExecutable) return kErrorDamaged;
  fileLength_ = FileSeek(x.files, x.files.programFile, 0, kSeekEnd);
  if (fileLength_ == kSeekFailed) return kErrorSeek;
  return ReadArchiveHeaders(x, image_.layout.appendedDataOffset, stub_);
}

int ReportFailure(Extraction& x, ErrorCode code, const char* name) {
  if (ReportError(x, nullptr, false, code, name) == 0 && code != kErrorCancelled)
    ReportError(x, nullptr, false, kErrorRead, name);
  return kExitDataError;
}

ErrorCode WalkDirectory(Extraction& x, const EntryVisitor& visit) {
  // The same buffers the extract driver holds for its walk, released again before returning.
  struct Buffers {
    Extraction& x;
    ~Buffers() {
      MemFree(x.bitReader.buffer);
      MemFree(x.directory.directoryBuffer);
      x.bitReader.buffer = nullptr;
      x.directory.directoryBuffer = nullptr;
    }
  } buffers{x};
  x.bitReader.buffer = static_cast<uint8_t*>(MemAlloc(kBitReaderAllocSize));
  x.directory.directoryBuffer = static_cast<uint8_t*>(MemAlloc(kDirectoryBufferSize));
  if (!x.bitReader.buffer || !x.directory.directoryBuffer) return kErrorNoMemory;

  StartDirectoryWalk(x);
  for (uint32_t i = 0; i < x.archiveHeader.fileCount; ++i) {
    DirectoryEntry entry;
    const uint8_t* name = nullptr;
    if (ErrorCode r = NextDirectoryEntry(x, entry, name); r != 0) return r;
    visit(entry, std::string_view(reinterpret_cast<const char*>(name), entry.nameLength));
  }
  return 0;
}

}  // namespace zor
