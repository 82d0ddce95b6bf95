// Opening an archive for the tool's commands and walking its directory.
#include "cli/archive_file.h"

#include "platform/file_layer.h"

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
  if (ErrorCode r = InspectProgramFile(x.files, x.decoder.crc, image_); r < 0) return r;
  if (image_.kind == ImageKind::kDamagedExecutable) return kErrorDamaged;
  fileLength_ = FileSeek(x.files, x.files.programFile, 0, kSeekEnd);
  if (fileLength_ == kSeekFailed) return kErrorSeek;
  return LocateArchive(x, image_.layout.appendedDataOffset, stub_);
}

ErrorCode WalkDirectory(Extraction& x, const EntryVisitor& visit) {
  ErrorCode r = BeginWalk(x.directory, x.decoder, x.archiveOffset + x.archiveHeader.directoryOffset);
  for (uint32_t i = 0; r == 0 && i < x.archiveHeader.fileCount; ++i) {
    DirectoryEntry entry;
    const uint8_t* name = nullptr;
    r = NextDirectoryEntry(x.directory, x.decoder, entry, name);
    if (r == 0) visit(entry, std::string_view(reinterpret_cast<const char*>(name), entry.nameLength));
  }
  EndWalk(x.directory, x.decoder);
  return r;
}

}  // namespace zor
