// Test-only reader of whole archives with the engine's own decoders: the directory walk, then each
// file through the segment decoder into a memory sink, as the extract driver does.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "archive/directory.h"
#include "decoder/segment_decoder.h"
#include "support/decoder_fixture.h"

namespace zor::test {

struct ReadEntry {
  std::string path;
  DirectoryEntry entry;
  std::vector<uint8_t> data;  // what DecodeFileData wrote
  uint32_t crc;               // the CRC it computed
};

struct ReadArchive {
  ErrorCode result = 0;  // the first failure: a decoder's code, or -12 for a CRC that differs
  std::vector<ReadEntry> entries;
};

// Reads the archive that begins at archiveOffset of `program`.
inline ReadArchive ReadWholeArchive(const std::vector<uint8_t>& program, uint32_t archiveOffset = 0) {
  ReadArchive out;
  DecoderFixture f;
  if (program.size() < archiveOffset + kArchiveHeaderSize) {
    out.result = kErrorRead;
    return out;
  }
  f.SetProgram(program);
  f.archiveOffset = archiveOffset;
  const ArchiveHeader header = ParseArchiveHeader(program.data() + archiveOffset);
  if (ErrorCode rc = f.BeginDirectory(header.directoryOffset); rc != 0) {
    out.result = rc;
    return out;
  }
  for (uint32_t i = 0; i < header.fileCount; ++i) {
    ReadEntry e;
    const uint8_t* name = nullptr;
    ErrorCode rc = NextDirectoryEntry(f.directory(), f.d(), e.entry, name);
    if (rc != 0) {
      out.result = rc;
      return out;
    }
    e.path.assign(reinterpret_cast<const char*>(name), e.entry.nameLength);
    e.crc = 0;
    if (!(e.entry.flags & kEntryFolder)) {
      FileHandle sink = f.NewSink();
      rc = f.DecodeFile(sink, e.entry.segmentOffset, e.entry.position, e.entry.length, e.entry.flags);
      e.data = ReadAll(static_cast<int>(sink));
      e.crc = f.d().output.fileCrc;
      if (rc == 0 && e.crc != e.entry.crc) rc = kErrorCrc;
      if (rc != 0) {
        out.result = rc;
        out.entries.push_back(std::move(e));
        return out;
      }
    }
    out.entries.push_back(std::move(e));
  }
  return out;
}

}  // namespace zor::test
