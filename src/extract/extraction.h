// One extraction's whole state. The engine's records live here instead of in globals and every engine
// operation takes the context explicitly, so the tool, the tests and several threads can each run their
// own extraction; the stub holds exactly one.
#pragma once

#include <atomic>
#include <cstdint>

#include "archive/archive_format.h"
#include "archive/directory.h"
#include "archive/locate.h"
#include "decoder/decoder.h"
#include "extract/entry_writer.h"
#include "extract/front_end.h"
#include "platform/file_layer.h"

namespace zor {

inline constexpr uint32_t kTargetFolderSize = 262;
inline constexpr uint32_t kWindowTitleSize = kStubTitleKept + 1;
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
  std::atomic<bool> cancelRequested;   // set by the front-end; polled by the walk and the decoder

  char windowTitle[kWindowTitleSize];  // caption of every window and message box
  char displayName[kDisplayNameSize];  // the program file's name without its folder
  ExtractOptions options;
  uint32_t archiveOffset;              // file offset of the ArchiveHeader
  ArchiveHeader archiveHeader;
  bool shortNames;                     // the target volume needs 8.3 names
  bool extracting;                     // ExtractAll is running: a second call on this context is refused
  // The volume probe of ExtractAll; null = MaxComponentLength. Tests put a volume without long names here.
  int32_t (*maxComponentLength)(const char* rootPath);
  // Which directory entries ExtractAll takes (entry number from 0, fixed part, stored path); null = all, as
  // in the stub. An entry turned down is stepped over unseen: no front-end call, nothing decoded for it. A
  // later file of its segment still decodes through its bytes, and a segment with nothing taken is never
  // read.
  bool (*chooseEntry)(void* context, uint32_t index, const DirectoryEntry& entry, const uint8_t* name);
  void* chooseEntryContext;
  // Writes each entry once its path is checked; null = the self-extractor's own sequence. The stub's build
  // (ZOR_STUB) leaves the seam out of the walk: no byte of it for a writer it never has.
  EntryWriter* entryWriter;

  Decoder decoder;                     // reads through `files`, stops at `cancelRequested`
  DirectoryReader directory;
};

// Puts a fresh context into its start-up state: no program file, default title, empty folder, CRC table
// built, nothing allocated. The context is plain data (about 90 KB with the decoder's tables): it may live
// in static storage (the stub) or on the heap, not on a small stack, and needs no destructor. It points
// into itself: it is never copied or moved.
void InitExtraction(Extraction& x, FrontEnd* frontEnd);

// Copies DisplayNameOf(path) into x.displayName, cut to fit.
void SetDisplayName(Extraction& x, const char* path);

// Reads the stub header and the archive header behind the image (ReadArchiveHeaders) into x, and takes the
// stub header's choices as the dialog's defaults: its title as x.windowTitle, its folder as the target
// folder, its flag as the overwrite choice. A missing stub header leaves the defaults alone; one whose
// title is cut short by the file's end empties the title and changes nothing else. 0 or -6.
static_assert(kWindowTitleSize == kStubTitleKept + 1 && kTargetFolderSize > kStubFolderKept);
ErrorCode LocateArchive(Extraction& x, uint32_t appendedDataOffset, StubHeaderInfo& stub);

}  // namespace zor
