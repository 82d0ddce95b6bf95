// Opening an archive for the tool's commands and walking its directory.
#include "cli/archive_file.h"

#include <cstdio>
#include <cstring>

#include "cli/exit_codes.h"
#include "cli/progress.h"
#include "platform/bytes.h"
#include "platform/file_layer.h"

namespace zor {
namespace {

constexpr char kNotAnArchive[] = "not a ZOR archive or self-extractor";
constexpr char kProgramWithoutArchive[] = "a Windows program without an archive behind it";
constexpr uint32_t kArchiveLengthAt = 20;  // the archive header's archiveLength

// Reads up to `count` bytes at `offset` of the program file; how many it got (0 on any failure).
uint32_t ReadAt(FileLayer& files, uint32_t offset, uint8_t* bytes, uint32_t count) {
  files.programFilePos = kSeekFailed;  // moved behind the readers' backs: make the next one seek
  if (offset > 0x7FFFFFFFu || FileSeek(files, files.programFile, static_cast<int32_t>(offset), kSeekBegin) == kSeekFailed)
    return 0;
  const int32_t got = FileRead(files, files.programFile, bytes, count);
  return got > 0 ? static_cast<uint32_t>(got) : 0;
}

}  // namespace

ArchiveFile::ArchiveFile(FrontEnd& frontEnd, CodePage* names) : x_(std::make_unique<Extraction>()), names_(names) {
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
  const ErrorCode located = LocateArchive(x, image_.layout.appendedDataOffset, stub_);
  if (located < 0 && located != kErrorRead) return located;

  // The self-extractor reads whatever stands behind its image; the tool first makes sure an archive does,
  // so that another file is not called damaged. The header is one when it starts with its magic, or,
  // should the magic be damaged, when the directory's signature stands where the header says.
  const bool program = image_.kind == ImageKind::kExecutable;
  const uint32_t available = fileLength_ > x.archiveOffset ? fileLength_ - x.archiveOffset : 0;
  uint8_t header[kArchiveHeaderSize] = {};
  const uint32_t got = ReadAt(x.files, x.archiveOffset, header, kArchiveHeaderSize);
  bool found = got > 0 && std::memcmp(header, "ZOR\n", got < 4 ? got : 4) == 0;
  if (!found && got == kArchiveHeaderSize) {
    uint8_t signature[kSegmentSignatureSize] = {};
    const uint64_t at = uint64_t{x.archiveOffset} + LoadLE32(header + 4);
    found = at < fileLength_ && ReadAt(x.files, static_cast<uint32_t>(at), signature, sizeof signature) ==
                                    kSegmentSignatureSize &&
            std::memcmp(signature, kDirectorySignature, kSegmentSignatureSize) == 0;
  }
  if (!found) {
    wrongFile_ = program ? kProgramWithoutArchive : kNotAnArchive;
    return kErrorWrongFile;
  }
  const uint32_t length = got >= kArchiveLengthAt + 4 ? LoadLE32(header + kArchiveLengthAt) : 0;
  if (available < kArchiveHeaderSize || length > available) {
    const uint32_t expected = length > available ? length : kArchiveHeaderSize;
    wrongFile_ = "archive cut short: " + std::to_string(available) + " of " + std::to_string(expected) + " bytes";
    return kErrorWrongFile;
  }
  return located;
}

int ArchiveFile::ReportOpenFailure(ErrorCode code, const char* path) {
  if (code != kErrorWrongFile) return ReportFailure(*x_, code, path, names_);
  std::fprintf(stderr, "zor: %s: %s\n", Printable(path).c_str(), wrongFile_.c_str());
  return kExitDataError;
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
