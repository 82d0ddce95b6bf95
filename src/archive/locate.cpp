// The start-up steps that find and read the appended data, shared by the stub and the zor tool.
#include "archive/locate.h"

#include "platform/bytes.h"

namespace zor {

const char* DisplayNameOf(const char* path) {
  const char* afterBackslash = nullptr;
  const char* afterColon = nullptr;
  for (const char* p = path; *p; ++p) {
    if (*p == '\\') afterBackslash = p + 1;
    else if (*p == ':') afterColon = p + 1;
  }
  if (afterBackslash) return afterBackslash;
  if (afterColon) return afterColon;
  return path;
}

ErrorCode InspectProgramFile(FileLayer& files, const CrcTable& crc, ImageCheck& check) {
  check = ImageCheck{};
  check.kind = ImageKind::kBareArchive;
  FileHandle file = files.programFile;
  uint8_t* buffer = static_cast<uint8_t*>(MemAlloc(kPeHeadReadSize));
  if (!buffer) return kErrorNoMemory;
  ErrorCode result = 0;
  int32_t got;
  if (FileSeek(files, file, 0, kSeekBegin) == kSeekFailed) {
    result = kErrorSeek;
  } else if ((got = FileRead(files, file, buffer, kPeHeadReadSize)) < 0) {
    result = kErrorRead;
  } else if (got >= 2 && buffer[0] == 'M' && buffer[1] == 'Z') {
    if (!ParsePeImage(buffer, static_cast<uint32_t>(got), check.layout)) {
      check.kind = ImageKind::kDamagedExecutable;
    } else {
      check.kind = ImageKind::kExecutable;
      check.storedStamp = LoadLE32(buffer + kImageStampOffset);
      // CRC-32 over the whole image, with the stamp and the fields a signing tool rewrites read as zero.
      uint32_t sum = 0xFFFFFFFFu, done = 0, end = check.layout.appendedDataOffset;
      for (;;) {
        uint32_t take = static_cast<uint32_t>(got);
        if (take > end - done) take = end - done;
        ClearUnstampedFields(check.layout, buffer, take, done);
        sum = UpdateCrc(crc, sum, buffer, take);
        done += take;
        if (done == end) break;
        got = FileRead(files, file, buffer, kPeHeadReadSize);
        if (got < 0) { result = kErrorRead; break; }
        if (got == 0) { check.kind = ImageKind::kDamagedExecutable; break; }  // cut short
      }
      check.actualStamp = ~sum;
    }
  }
  files.programFilePos = kSeekFailed;  // moved behind the readers' backs: make the next one seek
  MemFree(buffer);
  return result;
}

ErrorCode ReadArchiveHeaders(FileLayer& files, uint32_t appendedDataOffset, StubHeaderInfo& stub,
                             const StubStrings& strings, uint32_t& archiveOffset, ArchiveHeader& header) {
  FileHandle file = files.programFile;
  stub = StubHeaderInfo{};
  archiveOffset = appendedDataOffset;

  uint8_t bytes[kArchiveHeaderSize];
  if (FileSeek(files, file, static_cast<int32_t>(appendedDataOffset), kSeekBegin) != kSeekFailed &&
      FileRead(files, file, bytes, kStubHeaderSize) == static_cast<int32_t>(kStubHeaderSize)) {
    stub.header = ParseStubHeader(bytes);
    stub.present = stub.header.signature == kStubSignature;
  }
  if (stub.present) {
    const StubHeader& h = stub.header;
    // The archive stands behind the strings, however the reads below turn out.
    archiveOffset += kStubHeaderSize + h.titleLength + h.folderLength;
    uint32_t n = h.titleLength < kStubTitleKept ? h.titleLength : kStubTitleKept;
    if (FileRead(files, file, strings.title, n) != static_cast<int32_t>(n)) {
      strings.title[0] = 0;
      stub.titleCutShort = true;  // the file ends inside the title: no folder, no flags either
    } else {
      strings.title[n] = 0;
      FileSeek(files, file, static_cast<int32_t>(h.titleLength - n), kSeekCurrent);
      uint32_t m = h.folderLength < kStubFolderKept ? h.folderLength : kStubFolderKept;
      int32_t got = FileRead(files, file, strings.folder, m);
      strings.folder[got == static_cast<int32_t>(m) ? m : 0] = 0;  // a folder cut short is dropped whole
    }
  }

  uint32_t at = FileSeek(files, file, static_cast<int32_t>(archiveOffset), kSeekBegin);
  if (FileRead(files, file, bytes, kArchiveHeaderSize) != static_cast<int32_t>(kArchiveHeaderSize)) {
    files.programFilePos = kSeekFailed;
    return kErrorRead;
  }
  header = ParseArchiveHeader(bytes);
  files.programFilePos = at == kSeekFailed ? kSeekFailed : at + kArchiveHeaderSize;
  return 0;
}

}  // namespace zor
