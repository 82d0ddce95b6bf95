// The extract-all driver: prepares the target folder, walks the directory once and writes each entry.
#include "extract/extract_all.h"

#include <cstring>

#include "archive/directory.h"
#include "decoder/decoder.h"
#include "extract/errors.h"
#include "extract/extraction.h"
#include "extract/paths.h"

namespace zor {
namespace {

constexpr char kExtractingFormat[] = "Extracting %s";
constexpr uint8_t kAppliedAttributes = kAttributeReadOnly | kAttributeHidden | kAttributeSystem;
constexpr int32_t kLongNameLength = 255;  // volumes with shorter components get 8.3 names

// What one walk carries from entry to entry besides the context.
struct Walk {
  WindowRef dialog;
  char* path;          // options.targetFolder: the target, then each entry's full path
  uint32_t joinPoint;  // behind the target and its separator; stored paths are copied here
  int32_t room;        // longest stored path that keeps the full path within kMaxPathLength; may be < 0
  bool stop;           // the entry ends the walk
};

bool IsSeparator(uint8_t c) { return c == '\\' || c == '/'; }

// Whether a stored path could lead out of the target folder: a leading separator (a root or a network
// name), a colon anywhere (a drive, or a stream of another file), or a component made only of dots and
// spaces with at least two dots (Windows reads ". ." and "..." as ".."). The path as joined ends at a zero
// byte, so the check does too.
bool LeavesTarget(const uint8_t* name, uint32_t length) {
  if (length && IsSeparator(name[0])) return true;
  uint32_t dots = 0;
  bool onlyDots = true;
  for (uint32_t i = 0;; ++i) {
    const uint8_t c = i < length ? name[i] : 0;
    if (c == 0 || IsSeparator(c)) {
      if (onlyDots && dots >= 2) return true;
      if (c == 0) return false;
      dots = 0;
      onlyDots = true;
    } else if (c == ':') {
      return true;
    } else if (c == '.') {
      ++dots;
    } else if (c != ' ') {
      onlyDots = false;
    }
  }
}

// Whether a component of the zero-terminated stored path names a device on Windows (CON, PRN, AUX, NUL,
// COM1-9, LPT1-9, in any case): Windows opens the device for it whatever the extension and trailing
// spaces, and the entry's data would go there instead of into a file.
bool NamesDevice(const char* name) {
  static const char kDevices[] = "CONPRNAUXNULCOMLPT";
  for (const char* start = name;;) {
    const char* end = start;
    while (*end && *end != '\\') ++end;
    const char* stem = start;
    while (stem < end && *stem != '.') ++stem;
    while (stem > start && stem[-1] == ' ') --stem;
    const uint32_t n = static_cast<uint32_t>(stem - start);
    if (n == 3 || (n == 4 && start[3] >= '1' && start[3] <= '9')) {
      for (uint32_t i = n == 3 ? 0 : 12; i < (n == 3 ? 12u : 18u); i += 3) {
        if ((start[0] & 0xDF) == kDevices[i] && (start[1] & 0xDF) == kDevices[i + 1] &&
            (start[2] & 0xDF) == kDevices[i + 2])
          return true;
      }
    }
    if (!*end) return false;
    start = end + 1;
  }
}

// The volume probe: whether the target's volume (or the current folder's, for a target without a drive)
// cannot hold long names. An unknown length (no drive letter, a network path, a failed query, or POSIX,
// which has no drives) keeps long names. Out of line, like ExtractEntry, so that the walk's own frame stays
// small: -Os code addresses a small frame with shorter instructions.
[[gnu::noinline]] bool NeedsShortNames(const Extraction& x, const char* target) {
  char drive = target[0];
  if (!drive || target[1] != ':') {
    char current[kPathBufferSize];
    CurrentFolder(current, kPathBufferSize);
    drive = current[0];
  }
  if (!((drive >= 'A' && drive <= 'Z') || (drive >= 'a' && drive <= 'z'))) return false;
  const char root[] = {drive, ':', '\\', 0};
  const int32_t longest = (x.maxComponentLength ? x.maxComponentLength : MaxComponentLength)(root);
  return longest > 0 && longest < kLongNameLength;
}

// Reports `code` naming the current full path. Cancel in an OK-Cancel box ends the walk; a report with OK
// only always does.
void Report(Extraction& x, Walk& w, bool okCancel, ErrorCode code) {
  w.stop = ReportError(x, w.dialog, okCancel, code, w.path) != 0 || !okCancel;
}

// One entry, from its stored path to its attributes. Sets w.stop when the entry ends the walk.
[[gnu::noinline]] EntryOutcome ExtractEntry(Extraction& x, Walk& w, const DirectoryEntry& e,
                                            [[maybe_unused]] uint32_t index, const uint8_t* name) {
  FileLayer& f = x.files;
  const bool testOnly = x.options.testOnly;
  char* const path = w.path;
  if (static_cast<int32_t>(e.nameLength) > w.room) return EntryOutcome::kTooLong;

  std::memcpy(path + w.joinPoint, name, e.nameLength);
  path[w.joinPoint + e.nameLength] = 0;
  if (LeavesTarget(name, e.nameLength)) {
    Report(x, w, true, kErrorDamaged);
    return EntryOutcome::kRefused;
  }
  ShortenPath(x, path);
  if (NamesDevice(path + w.joinPoint)) {  // after shortening, which can make one out of a longer name
    Report(x, w, true, kErrorDamaged);
    return EntryOutcome::kDevice;
  }
#ifndef ZOR_STUB
  if (x.entryWriter) return x.entryWriter->Write(x, e, index, w.joinPoint, w.stop);
#endif

  if (e.flags & kEntryFolder) {
    if (!testOnly) {
      if (!CreateFolderPath(f, path)) {
        Report(x, w, false, kErrorCreateFolder);
        return EntryOutcome::kFailed;
      }
      FileSetAttributes(f, path, e.attributes & kAppliedAttributes);
    }
    return EntryOutcome::kDone;
  }

  // An existing folder of that name is not asked about: the create below fails on it.
  if (!testOnly && !x.options.overwriteWithoutPrompting) {
    const uint32_t existing = FileGetAttributes(f, path);
    if (existing != kInvalidAttributes && !(existing & kAttributeDirectory)) {
      const OverwriteAnswer answer = x.frontEnd->AskOverwrite(path);
      if (answer == OverwriteAnswer::kNo) return EntryOutcome::kSkipped;
      if (answer == OverwriteAnswer::kYesToAll) x.options.overwriteWithoutPrompting = true;
      // A link is replaced, never written through: without it the create makes a new file.
      if (existing & kAttributeReparsePoint) FileDelete(f, path);
    }
  }

  ComposeMessage(f.messageBuffer, kMessageBufferSize, kExtractingFormat, path + w.joinPoint, nullptr);
  x.frontEnd->SetStatus(w.dialog, f.messageBuffer);

  FileHandle file = kDiscardFileHandle;
  if (!testOnly) {
    file = FileCreate(f, path, kAttributeNormal);
    if (file == kInvalidFileHandle) {
      // Perhaps its folder is missing (archives need not list every folder): create it and try once more.
      char* backslash = FindLastChar(path, '\\');
      if (backslash && backslash > path) {
        *backslash = 0;
        const int made = CreateFolderPath(f, path);
        *backslash = '\\';
        if (made) file = FileCreate(f, path, 0);
      }
      if (file == kInvalidFileHandle) {
        Report(x, w, true, kErrorCreateFile);
        return EntryOutcome::kFailed;
      }
    }
  }

  PumpMessages(x);
  const uint32_t segmentPos = x.archiveOffset + e.segmentOffset + kSegmentSignatureSize;
  const ErrorCode rc = DecodeFileData(x.decoder, file, segmentPos, e.position, e.length, CallFilterOf(e.flags));
  if (rc < 0) {
    Report(x, w, false, rc);  // shows nothing for a cancel
    if (!testOnly) {
      FileClose(f, file);
      FileDelete(f, path);
    }
    return rc == kErrorCancelled ? EntryOutcome::kCancelled : EntryOutcome::kFailed;
  }
  if (!testOnly) {
    FileSetTimes(f, file, e.createDate, e.createTime, e.writeDate, e.writeTime);
    FileClose(f, file);
  }
  if (x.decoder.output.fileCrc != e.crc) {
    if (!testOnly) FileDelete(f, path);
    Report(x, w, true, kErrorCrc);
    return EntryOutcome::kFailed;
  }
  if (!testOnly) FileSetAttributes(f, path, e.attributes & kAppliedAttributes);
  return EntryOutcome::kDone;
}

// ExtractAll without the re-entry guard.
ErrorCode Extract(Extraction& x, WindowRef dialog) {
  FileLayer& f = x.files;
  Walk w;
  w.dialog = dialog;
  w.path = x.options.targetFolder;
  char* const path = w.path;

  // The folder box holds at most 260 characters. A longer text (only a caller other than the dialog can
  // pass one) is cut there for the messages, keeps any trailing backslash, and so is refused below as a
  // folder that cannot be created instead of being taken for a shorter folder.
  if (!FindByte(path, 0, kPathBufferSize + 1)) path[kPathBufferSize] = 0;
  uint32_t length = static_cast<uint32_t>(FindChar(path, 0) - path);
  if (length >= 2 && length < kPathBufferSize && path[length - 1] == '\\') path[--length] = 0;

  // A volume without long names gets the target in 8.3 form, created and joined as such. Shortening what is
  // short already changes nothing, so each full path, shortened as a whole, keeps it in front of the join
  // point.
  x.shortNames = NeedsShortNames(x, path);
  ShortenPath(x, path);
  length = static_cast<uint32_t>(FindChar(path, 0) - path);
  const char last = length ? path[length - 1] : 0;

  // Too short to hold even the archive header: nothing is created.
  const uint32_t fileEnd = FileSeek(f, f.programFile, 0, kSeekEnd);
  f.programFilePos = fileEnd;  // all ones after a failure: the directory reader then seeks
  if (fileEnd - x.archiveOffset < kArchiveHeaderSize) return kErrorDamaged;

  if (!x.options.testOnly && length && last != ':' && !CreateFolderPath(f, path)) {
    ReportError(x, dialog, false, kErrorCreateFolder, path);
    return 0;
  }

  ErrorCode result = BeginWalk(x.directory, x.decoder, x.archiveOffset + x.archiveHeader.directoryOffset);
  if (result == 0) {
    // Names are joined behind one backslash; a bare drive ("C:") takes them straight behind its colon, an
    // empty target at the start, and a lone backslash (the root) behind itself: a second one would turn the
    // path into a network name.
    if (length && last != ':' && last != '\\') {
      path[length++] = '\\';
      path[length] = 0;
    }
    w.joinPoint = length;
    w.room = static_cast<int32_t>(kMaxPathLength) - static_cast<int32_t>(length);

    for (uint32_t counter = 0; counter < x.archiveHeader.fileCount; ++counter) {
      if (x.cancelRequested.load(std::memory_order_relaxed)) break;
      DirectoryEntry entry;
      const uint8_t* name;
      result = NextDirectoryEntry(x.directory, x.decoder, entry, name);
      if (result != 0) break;
      if (x.chooseEntry && !x.chooseEntry(x.chooseEntryContext, counter, entry, name)) continue;
      const char* storedPath = reinterpret_cast<const char*>(name);
      x.frontEnd->EntryStarted(entry, storedPath, entry.nameLength);
      w.stop = false;
      const EntryOutcome outcome = ExtractEntry(x, w, entry, counter, name);
      x.frontEnd->EntryFinished(entry, storedPath, entry.nameLength, outcome);
      if (w.stop) break;
      PumpMessages(x);
    }
  }

  EndWalk(x.directory, x.decoder);
  return result;
}

}  // namespace

ErrorCode ExtractAll(Extraction& x, WindowRef dialog) {
  if (x.extracting) return kErrorReported;
  x.extracting = true;
  const ErrorCode result = Extract(x, dialog);
  x.extracting = false;
  return result;
}

void PumpMessages(Extraction& x) { x.frontEnd->PumpMessages(); }

}  // namespace zor
