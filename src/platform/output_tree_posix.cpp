// POSIX back-end of the tool's output tree: folders opened relative to their parents without following
// links, files created under temporary names and renamed into place.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/output_tree.h"
#include "platform/posix_path.h"

namespace zor {
namespace {

// O_PATH opens a folder for use as the base of other calls without needing read permission on it.
#ifdef O_PATH
constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

int Fd(FolderHandle folder) { return static_cast<int>(folder); }

// Renaming without replacing: renameat2 where the file system has it, else a hard link (which never
// replaces either), else a look just before the rename.
int RenameNoReplace(int folder, const char* from, const char* to) {
#ifdef RENAME_NOREPLACE
  if (renameat2(folder, from, folder, to, RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return -1;
#endif
  if (linkat(folder, from, folder, to, 0) == 0) {
    unlinkat(folder, from, 0);
    return 0;
  }
  if (errno == EEXIST) return -1;
  struct stat st;
  if (fstatat(folder, to, &st, AT_SYMLINK_NOFOLLOW) == 0) {
    errno = EEXIST;
    return -1;
  }
  return renameat(folder, from, folder, to);
}

}  // namespace

bool ToNativePath(const FileLayer& layer, const char* path, char* out, uint32_t size) {
  const posix::NativePath native(layer, path);
  const size_t length = native.ok ? strlen(native.text) : 0;
  if (!native.ok || length >= size) return false;
  memcpy(out, native.text, length + 1);
  return true;
}

FolderHandle OpenFolder(FileLayer& layer, const char* path) {
  layer.lastSystemError = 0;
  const int fd = open(*path ? path : ".", kFolderFlags);
  if (fd < 0) layer.lastSystemError = errno == ENOTDIR ? kSystemErrorPathNotFound : posix::SystemError(errno, path);
  return fd;
}

void CloseFolder(FolderHandle folder) {
  if (folder != kInvalidFolderHandle) close(Fd(folder));
}

FolderStep OpenSubfolder(FileLayer& layer, FolderHandle parent, const char* name, bool followLinks,
                         FolderHandle* opened) {
  layer.lastSystemError = 0;
  *opened = kInvalidFolderHandle;
  const int dir = Fd(parent);
  bool created = false;
  for (int look = 0; look < 3; ++look) {
    const int fd = openat(dir, name, kFolderFlags | O_NOFOLLOW);
    if (fd >= 0) {
      *opened = fd;
      return created ? FolderStep::kCreated : FolderStep::kOpened;
    }
    if (errno == ENOENT) {
      if (mkdirat(dir, name, 0777) == 0) {
        created = true;
      } else if (errno != EEXIST) {  // made by someone else meanwhile: look again
        layer.lastSystemError = errno == ENOENT ? kSystemErrorPathNotFound : posix::SystemError(errno, nullptr);
        return FolderStep::kFailed;
      }
      continue;
    }
    // O_NOFOLLOW refuses a link with ELOOP, and O_PATH opens the link itself, which is then no folder.
    if (errno != ENOTDIR && errno != ELOOP) break;
    struct stat st;
    if (fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) != 0) break;
    struct stat target;
    if (!S_ISLNK(st.st_mode) || fstatat(dir, name, &target, 0) != 0 || !S_ISDIR(target.st_mode)) {
      layer.lastSystemError = kSystemErrorFileExists;
      return FolderStep::kNotFolder;
    }
    if (!followLinks) return FolderStep::kLink;
    const int linked = openat(dir, name, kFolderFlags);
    if (linked < 0) break;
    *opened = linked;
    return FolderStep::kOpened;
  }
  layer.lastSystemError = posix::SystemError(errno, nullptr);
  return FolderStep::kFailed;
}

NameKind KindOfName(FileLayer&, FolderHandle folder, const char* name) {
  struct stat st;
  if (fstatat(Fd(folder), name, &st, AT_SYMLINK_NOFOLLOW) != 0) return NameKind::kNothing;
  if (S_ISLNK(st.st_mode)) return NameKind::kLink;
  if (S_ISDIR(st.st_mode)) return NameKind::kFolder;
  if (!S_ISREG(st.st_mode)) return NameKind::kOther;
  // The owner's write permission stands for the read-only attribute, as in the file layer.
  return st.st_mode & S_IWUSR ? NameKind::kFile : NameKind::kReadOnlyFile;
}

FileHandle CreateTemporaryFile(FileLayer& layer, FolderHandle folder, bool readOnly, uint64_t serial,
                               char (&name)[kTemporaryNameSize]) {
  layer.lastSystemError = 0;
  for (unsigned attempt = 0; attempt < 64; ++attempt) {
    snprintf(name, kTemporaryNameSize, attempt ? ".zor-%llx-%x" : ".zor-%llx", static_cast<unsigned long long>(serial),
             attempt);
    const int fd = openat(Fd(folder), name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          readOnly ? 0444 : 0666);
    if (fd >= 0) return fd;
    if (errno != EEXIST) break;
  }
  layer.lastSystemError = errno == ENOENT ? kSystemErrorPathNotFound : posix::SystemError(errno, nullptr);
  name[0] = 0;
  return kInvalidFileHandle;
}

int CommitFile(FileLayer& layer, FolderHandle folder, const char* temporaryName, const char* name, bool replace) {
  layer.lastSystemError = 0;
  const int dir = Fd(folder);
  if ((replace ? renameat(dir, temporaryName, dir, name) : RenameNoReplace(dir, temporaryName, name)) == 0) return 1;
  // A folder of that name is not replaced; Win32 refuses to create a file over one with "access denied".
  layer.lastSystemError = errno == EEXIST && !replace           ? kSystemErrorFileExists
                          : errno == EISDIR || errno == ENOTEMPTY ? kSystemErrorAccessDenied
                                                                  : posix::SystemError(errno, nullptr);
  return 0;
}

int DiscardFile(FolderHandle folder, const char* temporaryName) {
  return unlinkat(Fd(folder), temporaryName, 0) == 0 ? 1 : 0;
}

}  // namespace zor
