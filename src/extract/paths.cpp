// 8.3 path shortening, folder creation with missing parents, and the byte scans they share.
#include "extract/paths.h"

#include "extract/extraction.h"
#include "platform/file_layer.h"

namespace zor {
namespace {

// Left out of a shortened name: the base drops all of these, the extension all but the leading period.
constexpr char kBaseDropped[] = ". :*?\"<>|/";
const char* const kExtensionDropped = kBaseDropped + 1;

constexpr uint32_t kMaxBase = 8;
constexpr uint32_t kMaxExtension = 4;  // the period included

bool IsIn(char c, const char* set) {
  for (; *set; ++set) {
    if (*set == c) return true;
  }
  return false;
}

// Copies the bytes of [from, to) not in `dropped` to out, at most `limit` of them.
char* CopyKept(char* out, const char* from, const char* to, const char* dropped, uint32_t limit) {
  for (; from < to && limit; ++from) {
    if (!IsIn(*from, dropped)) {
      *out++ = *from;
      --limit;
    }
  }
  return out;
}

}  // namespace

const char* FindChar(const char* text, char c) {
  for (;; ++text) {
    if (*text == c) return text;
    if (!*text) return nullptr;
  }
}

const char* FindLastChar(const char* text, char c) {
  const char* found = nullptr;
  for (;; ++text) {
    if (*text == c) found = text;
    if (!*text) return found;
  }
}

const char* FindByte(const char* start, char value, uint32_t count) {
  for (; count; --count, ++start) {
    if (*start == value) return start;
  }
  return nullptr;
}

char* ShortenComponent(char* out, const char* start, const char* end) {
  // Earlier periods belong to the base, where they are dropped.
  const char* period = end;
  for (const char* p = end; p > start;) {
    if (*--p == '.') {
      period = p;
      break;
    }
  }
  out = CopyKept(out, start, period, kBaseDropped, kMaxBase);
  return CopyKept(out, period, end, kExtensionDropped, kMaxExtension);
}

void ShortenPath(const Extraction& x, char* path) {
  if (!x.shortNames) return;
  char* const terminator = FindByte(path, 0, kPathBufferSize);
  if (!terminator) return;
  // A drive and its colon, and the backslashes of a root or a network name, stay as they are.
  char* start = FindChar(path, ':');
  start = start ? start + 1 : path;
  while (*start == '\\') ++start;

  // Rewritten in place: a shortened component is never longer than the original, so `out` never passes
  // the byte being read.
  char* out = start;
  const char* const lastBackslash = FindLastChar(start, '\\');
  const char* component = start;
  if (lastBackslash) {
    while (component <= lastBackslash) {
      const char* backslash = FindChar(component, '\\');
      out = ShortenComponent(out, component, backslash);
      *out++ = '\\';
      component = backslash + 1;
    }
  }
  out = ShortenComponent(out, component, terminator);
  *out = 0;
}

int CreateFolderPath(FileLayer& layer, const char* path) {
  char copy[kPathBufferSize];
  uint32_t length = 0;
  for (uint32_t i = 0; path[i]; ++i) {
    if (i == kMaxPathLength) {
      layer.lastSystemError = kSystemErrorBadPathname;
      return 0;
    }
    // A "." component names the folder it stands in. It is left out of the copy ("a\.\b" is "a\b"), or
    // the descent would make that folder a second time and fail.
    if (path[i] == '.' && (i == 0 || path[i - 1] == '\\') && (path[i + 1] == '\\' || !path[i + 1])) {
      if (path[i + 1]) ++i;
      continue;
    }
    copy[length++] = path[i];
  }
  copy[length] = 0;
  if (length && copy[length - 1] == '\\') copy[--length] = 0;
  if (!length) return 1;

  // Climb: cut components off the end until a folder can be created (or the whole path turns out to
  // exist). "File exists" (80) counts as created; "already exists" (183) does not. A failure is told by
  // the first attempt's error: the names above it that already exist (183, for a folder or for a file in
  // the way) say nothing about why the path could not be made, and nothing above them can help.
  uint32_t cuts = 0;
  uint32_t firstError = 0;
  for (;;) {
    if (FileGetAttributes(layer, path) != kInvalidAttributes) break;
    if (CreateOneFolder(layer, copy) || layer.lastSystemError == kSystemErrorFileExists) break;
    char* backslash = FindLastChar(copy, '\\');
    const bool exists = cuts && layer.lastSystemError == kSystemErrorAlreadyExists;
    if (!cuts) firstError = layer.lastSystemError;
    // A root or a bare drive is never created.
    if (exists || !backslash || backslash == copy || backslash[-1] == ':') {
      layer.lastSystemError = firstError;
      return 0;
    }
    *backslash = 0;
    ++cuts;
  }
  // Descend: join the cut components back on one at a time; each must be created now.
  for (; cuts; --cuts) {
    *FindByte(copy, 0, kPathBufferSize) = '\\';
    if (!CreateOneFolder(layer, copy)) return 0;
  }
  return 1;
}

}  // namespace zor
