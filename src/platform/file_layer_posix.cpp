// POSIX back-end of the file layer (the tool and the tests): the Win32 wrappers' contract on open/read/write,
// with errno translated into the Win32 error numbers that the messages know.
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "platform/file_layer.h"
#include "platform/posix_path.h"

namespace zor {
namespace posix {
namespace {

// Win32 error numbers used only here.
constexpr uint32_t kSystemErrorTooManyOpenFiles = 4;
constexpr uint32_t kSystemErrorInvalidHandle = 6;
constexpr uint32_t kSystemErrorNotEnoughMemory = 8;
constexpr uint32_t kSystemErrorSharingViolation = 32;
constexpr uint32_t kSystemErrorUnexpectedNetworkError = 59;
constexpr uint32_t kSystemErrorInvalidParameter = 87;
constexpr uint32_t kSystemErrorNegativeSeek = 131;
constexpr uint32_t kSystemErrorSeekOnDevice = 132;
constexpr uint32_t kSystemErrorCantResolveFilename = 1921;

// Win32 tells a missing file (2) from a missing folder on the way to it (3); ENOENT does not.
uint32_t MissingPathError(const char* path) {
  uint32_t end = static_cast<uint32_t>(strlen(path));
  if (end == 0) return kSystemErrorPathNotFound;
  while (end > 1 && path[end - 1] == '/') --end;
  uint32_t slash = end;
  while (slash > 0 && path[slash - 1] != '/') --slash;
  if (slash == 0) return kSystemErrorFileNotFound;  // the parent is the current folder
  char parent[kNativePathSize];
  const uint32_t parentLength = slash == 1 ? 1 : slash - 1;
  memcpy(parent, path, parentLength);
  parent[parentLength] = 0;
  struct stat st;
  return stat(parent, &st) == 0 && S_ISDIR(st.st_mode) ? kSystemErrorFileNotFound : kSystemErrorPathNotFound;
}

}  // namespace

NativePath::NativePath(const FileLayer& layer, const char* path) : ok(false) {
  text[0] = 0;
  if (layer.toNativeName) {
    if (!layer.toNativeName(layer.toNativeNameContext, path, text, kNativePathSize)) {
      text[0] = 0;
      return;
    }
  } else {
    const size_t length = strlen(path);
    if (length >= kNativePathSize) return;
    memcpy(text, path, length + 1);
  }
  // One pass: separators turned, "." components left out. A "." that ends the path takes the slash in
  // front of it along ("a/." is "a"), but a lone "." and the root stay.
  char* out = text;
  for (const char* in = text; *in;) {
    const char* end = in;
    while (*end && *end != '\\' && *end != '/') ++end;
    const bool dot = end - in == 1 && *in == '.';
    if (dot && (*end || out != text)) {
      in = *end ? end + 1 : end;
      if (!*in && out > text + 1) --out;
      continue;
    }
    while (in < end) *out++ = *in++;
    if (*end) *out++ = '/';
    in = *end ? end + 1 : end;
  }
  *out = 0;
  ok = true;
}

uint32_t SystemError(int error, const char* path) {
  switch (error) {
    case ENOENT:
      return path ? MissingPathError(path) : kSystemErrorFileNotFound;
    case ENOTDIR:
      return kSystemErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR:  // Win32 refuses to open a folder as a file with access denied
      return kSystemErrorAccessDenied;
    case EROFS:
      return kSystemErrorWriteProtect;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return kSystemErrorDiskFull;
    case EEXIST:
      return kSystemErrorFileExists;
    case EIO:
      return kSystemErrorGenFailure;
    case ENAMETOOLONG:
      return kSystemErrorBadPathname;
    case EBADF:
      return kSystemErrorInvalidHandle;
    case ENOMEM:
      return kSystemErrorNotEnoughMemory;
    case EMFILE:
    case ENFILE:
      return kSystemErrorTooManyOpenFiles;
    case EINVAL:
      return kSystemErrorInvalidParameter;
    case ESPIPE:
      return kSystemErrorSeekOnDevice;
    case EBUSY:
    case ETXTBSY:
      return kSystemErrorSharingViolation;
    case ELOOP:
      return kSystemErrorCantResolveFilename;
    case ENXIO:
    case ENODEV:
    case ENOMEDIUM:
      return kSystemErrorNotReady;
    case ESTALE:
    case ENETDOWN:
    case ENETUNREACH:
    case ENETRESET:
    case ECONNRESET:
    case ECONNABORTED:
    case EHOSTDOWN:
    case EHOSTUNREACH:
    case ETIMEDOUT:
    case ENOLINK:
    case ECOMM:
    case EREMOTEIO:
      return kSystemErrorUnexpectedNetworkError;
    default:
      // Never 0: a failure must leave something recorded.
      return kSystemErrorGenFailure;
  }
}

uint32_t PathError(const NativePath& path) {
  return path.ok ? SystemError(errno, path.text) : kSystemErrorBadPathname;
}

}  // namespace posix

using namespace posix;

namespace {

// Win32 keeps a read-only file from being written, replaced or deleted, even for administrators; the
// owner's write permission stands for that attribute here. Folders have no such rule on either side.
bool IsReadOnlyFile(const struct stat& st) { return !S_ISDIR(st.st_mode) && !(st.st_mode & S_IWUSR); }

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// A DOS date and time (local time) as a calendar time; false for impossible fields, which Win32's
// conversion refuses as well.
bool DosToTime(uint16_t date, uint16_t time, struct timespec* out) {
  static constexpr uint8_t kDaysInMonth[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  struct tm t = {};
  t.tm_year = 80 + (date >> 9);
  t.tm_mon = ((date >> 5) & 0x0F) - 1;
  t.tm_mday = date & 0x1F;
  t.tm_hour = time >> 11;
  t.tm_min = (time >> 5) & 0x3F;
  t.tm_sec = (time & 0x1F) * 2;
  if (t.tm_mon < 0 || t.tm_mon > 11 || t.tm_mday < 1 || t.tm_hour > 23 || t.tm_min > 59 || t.tm_sec > 59) {
    return false;
  }
  const int days = kDaysInMonth[t.tm_mon] + (t.tm_mon == 1 && IsLeapYear(1900 + t.tm_year) ? 1 : 0);
  if (t.tm_mday > days) return false;
  // The fields read as UTC, less the zone's offset at that moment: looked up twice, so that near a change of
  // daylight saving time the offset is the one in force at the local time itself. (mktime would do the
  // same, but reads the zone's file again on every call.)
  const time_t asUtc = timegm(&t);
  if (asUtc == static_cast<time_t>(-1)) return false;
  time_t seconds = asUtc;
  for (int i = 0; i < 2; ++i) {
    struct tm local;
    if (!localtime_r(&seconds, &local)) return false;
    seconds = asUtc - local.tm_gmtoff;
  }
  out->tv_sec = seconds;
  out->tv_nsec = 0;
  return true;
}

}  // namespace

FileHandle FileOpen(FileLayer& layer, const char* path, uint32_t accessMask) {
  layer.lastSystemError = 0;
  // The share modes have no meaning here, and the random-access hint is left out: on Linux it would
  // switch off the read-ahead that the mostly forward archive reads profit from.
  const NativePath native(layer, path);
  if (!native.ok) {
    layer.lastSystemError = kSystemErrorBadPathname;
    return kInvalidFileHandle;
  }
  const bool reading = accessMask & kGenericRead;
  const bool writing = accessMask & kGenericWrite;
  const int flags = (writing ? (reading ? O_RDWR : O_WRONLY) : O_RDONLY) | O_CLOEXEC;
  const int fd = open(native.text, flags);
  if (fd < 0) {
    layer.lastSystemError = PathError(native);
    return kInvalidFileHandle;
  }
  struct stat st;
  if (fstat(fd, &st) != 0) {
    layer.lastSystemError = SystemError(errno, nullptr);
  } else if (S_ISDIR(st.st_mode) || (writing && IsReadOnlyFile(st))) {
    layer.lastSystemError = kSystemErrorAccessDenied;
  } else {
    return fd;
  }
  close(fd);
  return kInvalidFileHandle;
}

FileHandle FileCreate(FileLayer& layer, const char* path, uint32_t attributes) {
  layer.lastSystemError = 0;
  const NativePath native(layer, path);
  if (!native.ok) {
    layer.lastSystemError = kSystemErrorBadPathname;
    return kInvalidFileHandle;
  }
  struct stat st;
  if (stat(native.text, &st) == 0 && IsReadOnlyFile(st)) {
    layer.lastSystemError = kSystemErrorAccessDenied;
    return kInvalidFileHandle;
  }
  // A new read-only file is still open for writing through this handle, as on Win32.
  const bool readOnly = attributes & kAttributeReadOnly;
  const int fd = open(native.text, O_CREAT | O_TRUNC | O_RDWR | O_CLOEXEC, readOnly ? 0444 : 0666);
  if (fd < 0) {
    layer.lastSystemError = PathError(native);
    return kInvalidFileHandle;
  }
  // Replacing a file takes the new attributes too; the mode of open only applies to a new one.
  if (readOnly && fstat(fd, &st) == 0 && (st.st_mode & 0222)) fchmod(fd, st.st_mode & ~0222u & 07777);
  return fd;
}

int FileClose(FileLayer& layer, FileHandle handle) {
  // A close interrupted by a signal has still released the descriptor on Linux: it is not retried.
  if (close(static_cast<int>(handle)) == 0) return 1;
  if (layer.lastSystemError == 0) layer.lastSystemError = SystemError(errno, nullptr);
  return 0;
}

int32_t FileRead(FileLayer& layer, FileHandle handle, void* buffer, uint32_t count) {
  layer.lastSystemError = 0;
  // Reads until the count or the end of the file, as ReadFile does for a disk file, so that a short
  // result always means the end of the data.
  uint8_t* out = static_cast<uint8_t*>(buffer);
  uint32_t done = 0;
  while (done < count) {
    const ssize_t n = read(static_cast<int>(handle), out + done, count - done);
    if (n > 0) {
      done += static_cast<uint32_t>(n);
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      layer.lastSystemError = SystemError(errno, nullptr);
      return -1;
    }
  }
  return static_cast<int32_t>(done);
}

int32_t FileWrite(FileLayer& layer, FileHandle handle, const void* buffer, uint32_t count) {
  layer.lastSystemError = 0;
  if (handle == kDiscardFileHandle) return static_cast<int32_t>(count);
  if (handle == kSinkFileHandle) {
    if (layer.sink && layer.sink(layer.sinkContext, buffer, count)) return static_cast<int32_t>(count);
    layer.lastSystemError = kSystemErrorWriteFault;
    return -1;
  }
  // A partial write is continued; the call that then fails tells why (ENOSPC, or EFBIG at a size limit).
  const uint8_t* in = static_cast<const uint8_t*>(buffer);
  uint32_t done = 0;
  while (done < count) {
    const ssize_t n = write(static_cast<int>(handle), in + done, count - done);
    if (n > 0) {
      done += static_cast<uint32_t>(n);
    } else if (n == 0) {
      layer.lastSystemError = kSystemErrorDiskFull;
      return -1;
    } else if (errno != EINTR) {
      layer.lastSystemError = SystemError(errno, nullptr);
      return -1;
    }
  }
  return static_cast<int32_t>(done);
}

uint32_t FileSeek(FileLayer& layer, FileHandle handle, int32_t distance, int origin) {
  layer.lastSystemError = 0;
  const int fd = static_cast<int>(handle);
  // The target is worked out first so that a failing seek leaves the position where it was.
  off_t base = 0;
  if (origin == kSeekCurrent) {
    base = lseek(fd, 0, SEEK_CUR);
  } else if (origin == kSeekEnd) {
    struct stat st;
    base = fstat(fd, &st) == 0 ? st.st_size : -1;
    if (base >= 0 && !S_ISREG(st.st_mode)) {
      errno = ESPIPE;
      base = -1;
    }
  } else if (origin != kSeekBegin) {
    layer.lastSystemError = kSystemErrorInvalidParameter;
    return kSeekFailed;
  }
  if (base < 0) {
    layer.lastSystemError = SystemError(errno, nullptr);
    return kSeekFailed;
  }
  const int64_t target = static_cast<int64_t>(base) + distance;
  if (target < 0) {
    layer.lastSystemError = kSystemErrorNegativeSeek;
    return kSeekFailed;
  }
  // Positions are 32-bit and all ones means failure.
  if (target >= static_cast<int64_t>(kSeekFailed)) {
    layer.lastSystemError = kSystemErrorInvalidParameter;
    return kSeekFailed;
  }
  if (lseek(fd, static_cast<off_t>(target), SEEK_SET) < 0) {
    layer.lastSystemError = SystemError(errno, nullptr);
    return kSeekFailed;
  }
  return static_cast<uint32_t>(target);
}

int FileSetTimes(FileLayer& layer, FileHandle handle, uint16_t createDate, uint16_t createTime,
                 uint16_t writeDate, uint16_t writeTime) {
  layer.lastSystemError = 0;
  // There is no creation time to set here; it is accepted and dropped.
  (void)createDate;
  (void)createTime;
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;  // last access: left as it is
  if (writeDate == 0 || !DosToTime(writeDate, writeTime, &times[1])) {
    times[1].tv_sec = 0;
    times[1].tv_nsec = UTIME_OMIT;
  }
  if (futimens(static_cast<int>(handle), times) == 0) return 1;
  layer.lastSystemError = SystemError(errno, nullptr);
  return 0;
}

uint32_t FileGetAttributes(FileLayer& layer, const char* path) {
  const NativePath native(layer, path);
  struct stat st;
  if (!native.ok || lstat(native.text, &st) != 0) {
    layer.lastSystemError = PathError(native);
    return kInvalidAttributes;
  }
  if (S_ISLNK(st.st_mode)) {
    // Dangling or not, the link is there; it shows as a folder when it leads to one.
    const bool folder = stat(native.text, &st) == 0 && S_ISDIR(st.st_mode);
    return kAttributeReparsePoint | (folder ? kAttributeDirectory : kAttributeArchive);
  }
  if (S_ISDIR(st.st_mode)) return kAttributeDirectory;
  // A file written and not changed since carries the archive bit on Win32.
  return IsReadOnlyFile(st) ? kAttributeReadOnly : kAttributeArchive;
}

int FileSetAttributes(FileLayer& layer, const char* path, uint32_t attributes) {
  layer.lastSystemError = 0;
  const NativePath native(layer, path);
  struct stat st;
  if (!native.ok || lstat(native.text, &st) != 0) {
    layer.lastSystemError = PathError(native);
    return 0;
  }
  // Hidden and system have no equivalent; read-only is the write permission, and only for files (a
  // read-only folder on Win32 still takes new files). A link has no permissions of its own here, and what
  // it leads to is not ours to change.
  if (S_ISDIR(st.st_mode) || S_ISLNK(st.st_mode)) return 1;
  const mode_t mode = st.st_mode & 07777;
  mode_t wanted = mode;
  if (attributes & kAttributeReadOnly) {
    wanted = mode & ~0222u;
  } else if (IsReadOnlyFile(st)) {
    wanted = mode | S_IWUSR;
  }
  if (wanted == mode || chmod(native.text, wanted) == 0) return 1;
  layer.lastSystemError = SystemError(errno, native.text);
  return 0;
}

int FileDelete(FileLayer& layer, const char* path) {
  const NativePath native(layer, path);
  struct stat st;
  if (!native.ok || lstat(native.text, &st) != 0) {
    layer.lastSystemError = PathError(native);
    return 0;
  }
  if (S_ISDIR(st.st_mode) || (S_ISREG(st.st_mode) && IsReadOnlyFile(st))) {
    layer.lastSystemError = kSystemErrorAccessDenied;
    return 0;
  }
  if (unlink(native.text) == 0) return 1;
  layer.lastSystemError = SystemError(errno, native.text);
  return 0;
}

int CreateOneFolder(FileLayer& layer, const char* path) {
  const NativePath native(layer, path);
  if (native.ok && mkdir(native.text, 0777) == 0) return 1;
  // An existing folder or file is "already exists" here, as CreateDirectoryA says, not "file exists".
  layer.lastSystemError = native.ok && errno == EEXIST ? kSystemErrorAlreadyExists : PathError(native);
  return 0;
}

uint32_t CurrentFolder(char* buffer, uint32_t size) {
  if (size == 0) return 0;
  if (!getcwd(buffer, size)) {
    buffer[0] = 0;
    return 0;
  }
  return static_cast<uint32_t>(strlen(buffer));
}

int32_t MaxComponentLength(const char* rootPath) {
  const FileLayer plain{};  // a drive root: nothing to convert
  const NativePath native(plain, rootPath);
  if (!native.ok) return -1;
  const long length = pathconf(native.text, _PC_NAME_MAX);
  if (length < 0) return -1;
  return length > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int32_t>(length);
}

// A zero-byte request still gets a block of its own (and never frees one), as LocalAlloc and
// LocalReAlloc behave.
void* MemAlloc(uint32_t count) { return malloc(count ? count : 1); }

void* MemResize(void* block, uint32_t count) { return realloc(block, count ? count : 1); }

void MemFree(void* block) { free(block); }

}  // namespace zor
