// The message of each ErrorCode, the system error's second line, the bounded text composer and ReportError.
#include "extract/errors.h"

#include "extract/extraction.h"

namespace zor {
namespace {

// Fixed text per code; null for codes that are never shown. "%s%s" texts take the name and the suffix,
// the CRC text the name only, the others nothing.
const char* MessageText(ErrorCode code) {
  switch (code) {
    case kErrorNoMemory:
      return "Not enough memory";
    case kErrorCreateFile:
      return "Cannot create %s%s";
    case kErrorOpenProgram:
      return "Cannot open %s%s";
    case kErrorRead:
    case kErrorSeek:
      return "Cannot read %s%s";
    case kErrorWrite:
      return "Cannot write %s%s";
    case kErrorCreateFolder:
      return "Cannot create folder %s%s";
    case kErrorDamaged:
    case kErrorInputExhausted:
      return "Archive data is damaged, probably caused by\na corrupt disk or download error";
    case kErrorCrc:
      return "File \"%s\" fails error check";
    default:
      return nullptr;
  }
}

// Our own loops: the stub has no C runtime to lend strlen or snprintf. (The bound also keeps g++ from
// turning the loop back into a strlen call.)
uint32_t TextLength(const char* text) {
  uint32_t n = 0;
  if (text) {
    while (n < 0x7FFFFFFFu && text[n]) ++n;
  }
  return n;
}

bool IsPlaceholder(const char* p) { return p[0] == '%' && p[1] == 's'; }

// Appends while room is left; the caller keeps one byte for the terminator out of `limit`.
struct BoundedWriter {
  char* out;
  uint32_t length;
  uint32_t limit;

  void Put(const char* text, uint32_t count) {
    for (uint32_t i = 0; i < count && length < limit; ++i) out[length++] = text[i];
  }
};

}  // namespace

const char* SystemErrorText(uint32_t lastSystemError) {
  if (lastSystemError >= kSystemErrorNetworkFirst && lastSystemError <= kSystemErrorNetworkLast)
    return "\nNetwork error";
  switch (lastSystemError) {
    case kSystemErrorFileNotFound:
      return "\nFile not found";
    case kSystemErrorPathNotFound:
      return "\nPath not found";
    case kSystemErrorAccessDenied:
      return "\nAccess denied";
    case kSystemErrorInvalidDrive:
      return "\nInvalid drive";
    case kSystemErrorWriteProtect:
      return "\nDisk is write protected";
    case kSystemErrorNotReady:
      return "\nDevice not ready";
    case kSystemErrorSeek:
      return "\nTrack not found";
    case kSystemErrorNotDosDisk:
      return "\nNot a DOS disk";
    case kSystemErrorSectorNotFound:
      return "\nSector not found";
    case kSystemErrorWriteFault:
      return "\nWrite fault";
    case kSystemErrorReadFault:
      return "\nRead fault";
    case kSystemErrorGenFailure:
      return "\nGeneral failure";
    case kSystemErrorHandleDiskFull:
    case kSystemErrorDiskFull:
      return "\nDisk full";
    case kSystemErrorFileExists:
      return "\nFile exists";
    case kSystemErrorBadPathname:
      return "\nInvalid path";
    default:
      return "";
  }
}

uint32_t ComposeMessage(char* buffer, uint32_t size, const char* format, const char* name,
                        const char* suffix) {
  if (size == 0) return 0;
  const uint32_t nameLength = TextLength(name);
  const uint32_t suffixLength = TextLength(suffix);

  // Everything but the name is fixed; the name gets what is left of the buffer.
  uint32_t fixed = 0;
  uint32_t placeholders = 0;
  for (const char* p = format; *p;) {
    if (IsPlaceholder(p)) {
      if (++placeholders == 2) fixed += suffixLength;
      p += 2;
    } else {
      ++fixed;
      ++p;
    }
  }
  const uint32_t limit = size - 1;
  const uint32_t room = fixed < limit ? limit - fixed : 0;

  // A name that does not fit keeps its start and its end (the file's own name) around "...".
  uint32_t head = nameLength;
  uint32_t tail = 0;
  bool shortened = false;
  if (nameLength > room) {
    shortened = room > 3;
    const uint32_t keep = shortened ? room - 3 : room;
    head = shortened ? keep / 2 : keep;
    tail = keep - head;
  }

  BoundedWriter w{buffer, 0, limit};
  placeholders = 0;
  for (const char* p = format; *p;) {
    if (!IsPlaceholder(p)) {
      w.Put(p++, 1);
      continue;
    }
    p += 2;
    if (++placeholders == 1) {
      w.Put(name, head);
      if (shortened) {
        w.Put("...", 3);
        w.Put(name + nameLength - tail, tail);
      }
    } else if (placeholders == 2) {
      w.Put(suffix, suffixLength);
    }
  }
  buffer[w.length] = 0;
  return w.length;
}

int ReportError(Extraction& x, WindowRef owner, bool okCancel, ErrorCode code, const char* name) {
  const char* text = MessageText(code);
  if (!text) return 0;  // silent codes leave the recorded error alone
  if (!name) name = x.displayName;
  // The suffix describes the failure being reported, so it is taken before the error is forgotten.
  const char* suffix = SystemErrorText(x.files.lastSystemError);
  ComposeMessage(x.files.messageBuffer, kMessageBufferSize, text, name, suffix);
  x.files.lastSystemError = 0;
  const Notice kind = okCancel ? Notice::kFailureOrGoOn : Notice::kFailure;
  const NoticeAnswer answer = x.frontEnd ? x.frontEnd->ShowMessage(owner, x.files.messageBuffer, x.windowTitle, kind)
                                         : NoticeAnswer::kNotShown;
  return okCancel && answer == NoticeAnswer::kOk ? 0 : 1;
}

}  // namespace zor
