// One extraction's whole state. The engine's records live here instead of in globals and every engine
// operation takes the context explicitly, so the tool, the tests and several threads can each run their
// own extraction; the stub holds exactly one.
#pragma once

#include <atomic>
#include <cstdint>

#include "archive/archive_format.h"
#include "archive/directory.h"
#include "decoder/bit_reader.h"
#include "decoder/huffman.h"
#include "decoder/output_filter.h"
#include "decoder/segment_decoder.h"
#include "extract/file_layer.h"
#include "extract/front_end.h"

namespace zor {

inline constexpr uint32_t kTargetFolderSize = 262;
inline constexpr uint32_t kWindowTitleSize = 80;
inline constexpr uint32_t kDisplayNameSize = 260;
inline constexpr char kDefaultWindowTitle[] = "Ostrel Self-Extractor";

struct ExtractOptions {
  char targetFolder[kTargetFolderSize];  // the target folder; during extraction the current full path
  bool overwriteWithoutPrompting;        // pre-set by the stub header, the check box, or Yes To All
  bool testOnly;                         // walk, decode and check CRCs, but write nothing (zor test)
};

struct Extraction {
  FileLayer files;                     // lastSystemError, programFile/programFilePos, messageBuffer
  FrontEnd* frontEnd;                  // who shows messages, asks questions and pumps messages
  std::atomic<bool> cancelRequested;   // set by the front-end; polled by the walk and the decoders

  char windowTitle[kWindowTitleSize];  // caption of every window and message box
  char displayName[kDisplayNameSize];  // the program file's name without its folder
  ExtractOptions options;
  uint32_t archiveOffset;              // file offset of the ArchiveHeader
  ArchiveHeader archiveHeader;
  bool shortNames;                     // the target volume needs 8.3 names
  bool extracting;                     // ExtractAll is running: a second call on this context is refused
  // The volume probe of ExtractAll; null = MaxComponentLength. Tests put a volume without long names here.
  int32_t (*maxComponentLength)(const char* rootPath);

  CrcTable crc;
  BitReader bitReader;
  SegmentDecoder segment;
  LocalHeader localHeader;
  OutputFilter output;
  DeltaMark deltaMarks[kMaxDeltaMarks];
  uint32_t deltaMarkCount;
  DirectoryReader directory;
  DecoderTables tables;                // the block decoders' working storage
};

// Puts a fresh context into its start-up state: no program file, default title, empty folder, CRC table
// built, nothing allocated. The context is plain data (about 90 KB with the decoders' tables): it may live
// in static storage (the stub) or on the heap, not on a small stack, and needs no destructor.
void InitExtraction(Extraction& x, FrontEnd* frontEnd);

}  // namespace zor
