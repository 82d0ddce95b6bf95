// zor info: runs the self-extractor's start-up steps on a file and prints what they find.
#include "cli/info_command.h"

#include <map>
#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "cli/archive_file.h"
#include "cli/exit_codes.h"
#include "cli/progress.h"
#include "cli/version.h"
#include "decoder/bit_reader.h"
#include "encoder/stub_resources.h"

namespace zor {

namespace {

// Prints the magic between quotes, with control characters, quotes and backslashes escaped.
void PrintQuoted(std::FILE* out, const char* text) {
  std::fputc('"', out);
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
    if (*p == '"' || *p == '\\') std::fprintf(out, "\\%c", *p);
    else if (*p == '\n') std::fputs("\\n", out);
    else if (*p < 0x20 || *p == 0x7F) std::fprintf(out, "\\x%02X", *p);
    else std::fputc(*p, out);
  }
  std::fputc('"', out);
}

void PrintOffset(std::FILE* out, const char* label, uint32_t value) {
  std::fprintf(out, "%s%u (0x%X)\n", label, value, value);
}

void PrintImage(std::FILE* out, const ImageCheck& image) {
  if (image.kind == ImageKind::kBareArchive) {
    std::fprintf(out, "Image: none, a bare archive (the appended data starts at offset 0)\n");
    return;
  }
  std::fprintf(out, "Image: Windows executable (%s), %u sections\n", image.layout.is64Bit ? "PE32+" : "PE32",
               image.layout.sectionCount);
  PrintOffset(out, "Appended data at: ", image.layout.appendedDataOffset);
  if (image.storedStamp == image.actualStamp) {
    std::fprintf(out, "Integrity stamp: 0x%08X, matches the image\n", image.storedStamp);
  } else {
    std::fprintf(out, "Integrity stamp: 0x%08X, differs from the image's 0x%08X (the self-check fails)\n",
                 image.storedStamp, image.actualStamp);
  }
}

// The image's bytes, read through the file layer like everything else here; false when it is larger than
// any stub or cannot be read.
bool ReadImage(Extraction& x, const ImageCheck& image, std::vector<uint8_t>& bytes) {
  constexpr uint32_t kLargestImage = 256u << 20;  // beyond any stub
  const uint32_t size = image.layout.appendedDataOffset;
  if (size > kLargestImage) return false;
  bytes.resize(size);
  FileLayer& f = x.files;
  const bool read = FileSeek(f, f.programFile, 0, kSeekBegin) == 0 &&
                    FileRead(f, f.programFile, bytes.data(), size) == static_cast<int32_t>(size);
  f.programFilePos = kSeekFailed;
  return read;
}

// The resources Windows shows of a program: the manifest's execution level, the icon, the version
// information.
void PrintResources(std::FILE* out, const std::vector<uint8_t>& bytes) {
  encoder::ResourceSummary r;
  std::string error;
  if (!encoder::SummarizeResources(bytes.data(), bytes.size(), r, error)) {
    std::fprintf(out, "Resources: damaged (%s)\n", error.c_str());
    return;
  }
  if (!r.hasManifest) std::fprintf(out, "Manifest: none\n");
  else if (r.executionLevel.empty()) std::fprintf(out, "Manifest: no execution level\n");
  else std::fprintf(out, "Manifest: execution level %s\n", r.executionLevel.c_str());

  if (r.icons.empty()) {
    std::fprintf(out, "Icon: none\n");
  } else {
    std::fprintf(out, "Icon: %zu image%s:", r.icons.size(), r.icons.size() == 1 ? "" : "s");
    for (size_t i = 0; i < r.icons.size(); ++i) {
      const encoder::IconGroupEntry& e = r.icons[i];
      std::fprintf(out, "%s %u x %u (%u bits)", i ? "," : "", e.width, e.height, e.bitCount);
    }
    std::fputc('\n', out);
  }

  if (!r.hasVersion) {
    std::fprintf(out, "Version information: none\n");
    return;
  }
  auto dotted = [](uint64_t v) {
    return std::to_string(v >> 48) + "." + std::to_string((v >> 32) & 0xFFFF) + "." +
           std::to_string((v >> 16) & 0xFFFF) + "." + std::to_string(v & 0xFFFF);
  };
  std::fprintf(out, "Version information: file %s, product %s\n", dotted(r.version.fileVersion).c_str(),
               dotted(r.version.productVersion).c_str());
  for (const auto& [key, value] : r.version.strings) {
    std::fprintf(out, "  %s: ", key.c_str());
    PrintQuoted(out, Utf16ToUtf8(value).c_str());
    std::fputc('\n', out);
  }
}

// The stub header's texts as the self-extractor shows them: through the code page, between quotes, and
// as a person would type them (no escapes); control characters, which could steer the terminal, become
// '?' as in zor list.
void PrintStubHeader(std::FILE* out, const Extraction& x, const StubHeaderInfo& stub, CodePage& codePage) {
  if (!stub.present) {
    std::fprintf(out, "Stub header: none\n");
    return;
  }
  const StubHeader& h = stub.header;
  std::fprintf(out, "Stub header:\n  Title: \"%s\" (%u bytes stored)\n",
               Printable(codePage.ToUtf8(x.windowTitle)).c_str(), h.titleLength);
  std::fprintf(out, "  Default folder: \"%s\" (%u bytes stored)\n",
               Printable(codePage.ToUtf8(x.options.targetFolder)).c_str(), h.folderLength);
  std::fprintf(out, "  Flags: 0x%02X (%s)\n", h.flags,
               (h.flags & kStubFlagOverwrite) ? "overwrite without prompting" : "ask before overwriting");
}

void PrintArchiveHeader(std::FILE* out, const Extraction& x) {
  const ArchiveHeader& h = x.archiveHeader;
  PrintOffset(out, "Archive header at: ", x.archiveOffset);
  char magic[5] = {static_cast<char>(h.magic[0]), static_cast<char>(h.magic[1]),
                   static_cast<char>(h.magic[2]), static_cast<char>(h.magic[3]), 0};
  std::fprintf(out, "  Magic: ");
  PrintQuoted(out, magic);
  bool zor = h.magic[0] == 'Z' && h.magic[1] == 'O' && h.magic[2] == 'R' && h.magic[3] == '\n';
  std::fprintf(out, "%s\n", zor ? "" : " (not \"ZOR\\n\"; the self-extractor does not check it)");
  std::fprintf(out, "  Directory offset: %u\n", h.directoryOffset);
  std::fprintf(out, "  File count: %u%s\n", h.fileCount,
               h.fileCount == 0 ? " (the self-extractor refuses an archive without files)" : "");
  std::fprintf(out, "  Archive length: %u\n", h.archiveLength);
  std::fprintf(out, "  Data length: %u\n", h.dataLength);
}

// What one data segment holds.
struct SegmentStats {
  uint32_t blocks[4] = {};         // by type: stored, LZ, block-sorting, LZ (type 3)
  uint64_t decoded[4] = {}, packed[4] = {};
  uint32_t tableSets = 0;          // of its LZ blocks (one for a block with the built-in codes)
  uint32_t files = 0, calls16 = 0, calls32 = 0;
  uint64_t fileBytes = 0;
  const char* problem = nullptr;   // why the walk over its blocks stopped early
};

// Walks the blocks of the segment whose signature lies at `at` by their packed sizes.
void ReadSegmentBlocks(FileLayer& f, uint64_t at, uint64_t end, SegmentStats& s) {
  at += kSegmentSignatureSize;
  for (uint32_t count = 0;; ++count) {
    uint8_t head[8] = {};
    if (at + 6 > end || FileSeek(f, f.programFile, static_cast<int32_t>(at), kSeekBegin) == kSeekFailed ||
        FileRead(f, f.programFile, head, sizeof head) < 6) {
      s.problem = "runs past the data";
      return;
    }
    BlockHeader h = ReadBlockHeader(head);
    if (h.type > 3 || h.packedSize < 6 || count >= (1u << 20)) {
      s.problem = "damaged block header";
      return;
    }
    ++s.blocks[h.type];
    s.decoded[h.type] += h.size;
    s.packed[h.type] += h.packedSize;
    if (h.type == 1 || h.type == 3) {
      uint32_t u = head[6] >> 4 | (head[7] & 3) << 4;  // bits 52 to 57: the table-set count
      s.tableSets += u == 0 ? 1 : u;
    }
    at += h.packedSize;
    if (h.last) return;
  }
}

void PrintBlocks(std::FILE* out, Extraction& x, uint32_t fileLength) {
  std::map<uint32_t, SegmentStats> segments;  // by offset from the archive header
  ErrorCode walked = WalkDirectory(x, [&](const DirectoryEntry& e, std::string_view) {
    if (e.flags & kEntryFolder) return;
    SegmentStats& s = segments[e.segmentOffset];
    ++s.files;
    s.fileBytes += e.length;
    if (e.flags & kEntryCalls16) {
      ++s.calls16;
    } else if (e.flags & kEntryCalls32) {
      ++s.calls32;
    }
  });
  std::fprintf(out, "Data segments: %zu%s\n", segments.size(),
               walked != 0 ? " (the directory is damaged: only the segments of the entries before the damage)" : "");
  FileLayer& f = x.files;
  const uint64_t dataEnd = std::min<uint64_t>(fileLength, uint64_t{x.archiveOffset} + x.archiveHeader.directoryOffset);
  std::fprintf(out, "  %10s %6s %8s %6s %6s %6s %6s %11s %11s %7s\n", "offset", "files", "filtered", "LZ", "sets",
               "sorted", "stored", "decoded", "packed", "%");
  SegmentStats total;
  for (auto& [offset, s] : segments) {
    ReadSegmentBlocks(f, uint64_t{x.archiveOffset} + offset, dataEnd, s);
    uint64_t decoded = 0, packed = 0;
    for (int t = 0; t < 4; ++t) {
      decoded += s.decoded[t], packed += s.packed[t];
      total.blocks[t] += s.blocks[t], total.decoded[t] += s.decoded[t], total.packed[t] += s.packed[t];
    }
    total.tableSets += s.tableSets, total.files += s.files, total.calls16 += s.calls16, total.calls32 += s.calls32;
    std::fprintf(out, "  %10u %6u %8u %6u %6u %6u %6u %11llu %11llu %6.1f%%%s%s\n", offset, s.files,
                 s.calls16 + s.calls32, s.blocks[1] + s.blocks[3], s.tableSets, s.blocks[2], s.blocks[0],
                 static_cast<unsigned long long>(decoded), static_cast<unsigned long long>(packed),
                 decoded ? 100.0 * static_cast<double>(packed) / static_cast<double>(decoded) : 0.0,
                 s.problem ? "  " : "", s.problem ? s.problem : "");
  }
  f.programFilePos = kSeekFailed;  // moved behind the engine's back
  static const char* const kKinds[4] = {"stored", "LZ", "block-sorting", "LZ (type 3)"};
  std::fprintf(out, "  All segments: %u files, %u with the 32-bit call filter, %u with the 16-bit one; %u LZ table sets\n",
               total.files, total.calls32, total.calls16, total.tableSets);
  for (int t = 0; t < 4; ++t) {
    if (total.blocks[t] == 0) continue;
    std::fprintf(out, "  %s blocks: %u, %llu bytes decoded from %llu\n", kKinds[t], total.blocks[t],
                 static_cast<unsigned long long>(total.decoded[t]), static_cast<unsigned long long>(total.packed[t]));
  }
}

}  // namespace

int RunInfo(const char* path, CodePage& codePage, std::FILE* out, FrontEnd& frontEnd, bool blocks) {
  ArchiveFile archive(frontEnd, &codePage);
  // Failures name the file as it was given, not only its last component.
  if (ErrorCode r = archive.Open(path); r < 0) return archive.ReportOpenFailure(r, path);
  Extraction& x = archive.x();
  const ImageCheck& image = archive.image();
  const StubHeaderInfo& stub = archive.stub();
  const uint32_t fileLength = archive.fileLength();

  std::fprintf(out, "File: %s\n", path);
  PrintOffset(out, "Length: ", fileLength);
  PrintImage(out, image);
  if (image.kind == ImageKind::kExecutable) {
    std::vector<uint8_t> bytes;
    if (ReadImage(x, image, bytes)) {
      // The version mark of a stub written by zor, when the image carries one.
      const std::string version = FindStubVersion(bytes.data(), bytes.size());
      if (!version.empty()) std::fprintf(out, "Stub version: zorsfx %s\n", version.c_str());
      PrintResources(out, bytes);
    } else {
      std::fprintf(out, "Resources: not read (the image cannot be read)\n");
    }
  }
  PrintStubHeader(out, x, stub, codePage);
  PrintArchiveHeader(out, x);
  if (blocks) PrintBlocks(out, x, fileLength);
  return kExitOk;
}

}  // namespace zor
