// Path work of the extraction: 8.3 shortening for volumes without long names, folder creation with missing
// parents, and the byte scans these share.
//
// Paths are zero-terminated byte strings in the ANSI code page with the backslash as separator; a colon ends
// a drive prefix. Every scan goes byte by byte, so a byte equal to a backslash, colon or period counts as
// that character wherever it stands. No case is ever changed.
#pragma once

#include <cstdint>

namespace zor {

struct Extraction;
struct FileLayer;

// Full paths are at most this many characters; their terminator is searched within one byte more.
inline constexpr uint32_t kMaxPathLength = 259;
inline constexpr uint32_t kPathBufferSize = kMaxPathLength + 1;

// The first `c` in text, its terminator included in the search (c = 0 finds the terminator); null if none.
const char* FindChar(const char* text, char c);
// The last `c` in text, its terminator included in the search; null if none.
const char* FindLastChar(const char* text, char c);
// The first of `count` bytes equal to `value`; null if none (always for a count of 0).
const char* FindByte(const char* start, char value, uint32_t count);

inline char* FindChar(char* text, char c) {
  return const_cast<char*>(FindChar(static_cast<const char*>(text), c));
}
inline char* FindLastChar(char* text, char c) {
  return const_cast<char*>(FindLastChar(static_cast<const char*>(text), c));
}
inline char* FindByte(char* start, char value, uint32_t count) {
  return const_cast<char*>(FindByte(static_cast<const char*>(start), value, count));
}

// Writes the 8.3 form of the component [start, end) at out and returns the position behind it (no
// terminator). The base (before the last period) keeps at most 8 characters, the extension at most 4 with
// its period; the characters . :*?"<>|/ are dropped from the base and the same without the period from the
// extension. out may be start or lie before it: every byte written comes from the same or a later one.
char* ShortenComponent(char* out, const char* start, const char* end);

// Rewrites a full path in place with every component after the drive (and after a run of leading
// backslashes) shortened, when x.shortNames is set; otherwise leaves it alone. The path only shrinks. A path
// not terminated within kPathBufferSize bytes is left alone.
void ShortenPath(const Extraction& x, char* path);

// Creates the folder `path` (at most kMaxPathLength characters, a trailing backslash allowed) together with
// any missing parents. 1 when it exists afterwards (an existing file of that name counts), 0 on failure with
// layer.lastSystemError set: the error of the deepest folder that could not be made (for a file in the way,
// "path not found"), not the "already exists" of a name above it. A longer path is refused with 161
// (invalid path) and nothing is created.
int CreateFolderPath(FileLayer& layer, const char* path);

}  // namespace zor
