// How the tool writes an extracted tree; the self-extractor keeps the designed calls of file_layer.h.
//
// Nothing is ever written through a link. Folders are opened one component at a time below the target
// without following links (unless the user asks for it), and every later call works relative to an open
// folder, so a link planted on the way cannot redirect it. A file is created under a fresh temporary name
// in its folder (O_CREAT|O_EXCL|O_NOFOLLOW), written, given its time through its own descriptor, and
// renamed into place only when it is complete: no partial file ever carries a final name, and an existing
// name (a file, a link, another name of the same file) is replaced as a name, never written into.
//
// Failures record Win32 error numbers in lastSystemError, as the wrappers of file_layer.h do, so that the
// messages stay the self-extractor's. Names are native: ToNativePath turns an engine path (code page,
// backslashes) into one. One back-end, output_tree_posix.cpp; a Windows build of the tool brings its own.
#pragma once

#include <cstdint>

#include "platform/file_layer.h"

namespace zor {

// An open folder: a descriptor on POSIX.
using FolderHandle = intptr_t;
inline constexpr FolderHandle kInvalidFolderHandle = -1;

// The engine path `path` as the system takes it (converted with layer.toNativeName, slashes, no "."
// components). False when it does not fit in `size` bytes.
bool ToNativePath(const FileLayer& layer, const char* path, char* out, uint32_t size);

// Opens the folder at `path` (native). Links are followed: the user named it. Cleared first, set on failure.
FolderHandle OpenFolder(FileLayer& layer, const char* path);
void CloseFolder(FolderHandle folder);

enum class FolderStep : uint8_t {
  kOpened,     // it was there
  kCreated,    // it was made now
  kLink,       // a link stands there and links are not followed; nothing opened
  kNotFolder,  // a file or something else stands there (80, "file exists"); nothing opened
  kFailed,     // lastSystemError says why
};
// Opens the folder `name` (one native component) in `parent`, making it when it is missing. A link to a
// folder is followed only with `followLinks`. Cleared first, set on failure.
FolderStep OpenSubfolder(FileLayer& layer, FolderHandle parent, const char* name, bool followLinks,
                         FolderHandle* opened);

// What stands under `name` in `folder`, seen without following a link.
enum class NameKind : uint8_t { kNothing, kFile, kReadOnlyFile, kFolder, kLink, kOther };
NameKind KindOfName(FileLayer& layer, FolderHandle folder, const char* name);

inline constexpr uint32_t kTemporaryNameSize = 40;
// Creates an empty file under a new temporary name in `folder` (the name goes to `name`), open for
// writing; a read-only file is created without write permission, which its descriptor still writes
// through. `serial` makes the name (the caller's own number for the file, and one for the run); a taken
// name is passed over. Cleared first, set on failure.
FileHandle CreateTemporaryFile(FileLayer& layer, FolderHandle folder, bool readOnly, uint64_t serial,
                               char (&name)[kTemporaryNameSize]);
// Gives the temporary file its final name. Without `replace` it fails with 80 (file exists) when anything
// has that name already, a link or a dangling link included; with `replace` that name is replaced (a folder
// is not). 1 or 0. Cleared first, set on failure.
int CommitFile(FileLayer& layer, FolderHandle folder, const char* temporaryName, const char* name, bool replace);
// Removes a temporary file. 1 or 0; records nothing.
int DiscardFile(FolderHandle folder, const char* temporaryName);

}  // namespace zor
