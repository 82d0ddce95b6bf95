// The packer's view of a POSIX file system: statx for birth times, readdir, and the C library's case tables.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <cwctype>

#include "cli/host_files.h"
#include "encoder/utf8.h"

namespace zor {

bool HostInspect(const std::string& path, HostFacts& facts, std::string& reason) {
  facts = HostFacts{};
  mode_t mode;
  struct statx sx;
  if (statx(AT_FDCWD, path.c_str(), AT_STATX_SYNC_AS_STAT, STATX_BASIC_STATS | STATX_BTIME, &sx) == 0) {
    mode = sx.stx_mode;
    facts.size = sx.stx_size;
    facts.device = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    facts.inode = sx.stx_ino;
    facts.written = sx.stx_mtime.tv_sec;
    facts.created = (sx.stx_mask & STATX_BTIME) ? sx.stx_btime.tv_sec : facts.written;
  } else {
    struct stat st;
    // statx filtered out (ENOSYS, EPERM): stat.
    if ((errno != ENOSYS && errno != EPERM) || stat(path.c_str(), &st) != 0) {
      const int error = errno;
      if (error == ENOENT && lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        reason = "a symbolic link to something that does not exist";
      } else {
        reason = std::strerror(error);
      }
      return false;
    }
    mode = st.st_mode;
    facts.size = static_cast<uint64_t>(st.st_size);
    facts.device = st.st_dev;
    facts.inode = st.st_ino;
    facts.written = st.st_mtime;
    facts.created = st.st_mtime;
  }
  facts.kind = S_ISREG(mode) ? HostKind::kFile : S_ISDIR(mode) ? HostKind::kFolder : HostKind::kOther;
  facts.readOnly = !(mode & S_IWUSR);
  struct stat own;
  facts.link = lstat(path.c_str(), &own) == 0 && S_ISLNK(own.st_mode);
  return true;
}

bool HostListFolder(const std::string& path, std::vector<std::string>& names, std::string& reason) {
  names.clear();
  DIR* dir = opendir(path.c_str());
  if (!dir) {
    reason = std::strerror(errno);
    return false;
  }
  errno = 0;
  while (const dirent* d = readdir(dir)) {
    if (std::strcmp(d->d_name, ".") != 0 && std::strcmp(d->d_name, "..") != 0) names.emplace_back(d->d_name);
  }
  const int error = errno;
  closedir(dir);
  if (error != 0) reason = std::strerror(error);
  return error == 0;
}

bool HostReadWalked(const std::string& path, const HostFacts& walked, uint64_t offset, uint8_t* data, size_t size,
                    size_t& got, std::string& reason) {
  got = 0;
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer, for ever.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | (walked.link ? 0 : O_NOFOLLOW));
  if (fd < 0) {
    reason = errno == ELOOP ? "changed while it was being packed: it is a symbolic link now" : std::strerror(errno);
    return false;
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || static_cast<uint64_t>(st.st_dev) != walked.device ||
      static_cast<uint64_t>(st.st_ino) != walked.inode) {
    close(fd);
    reason = "changed while it was being packed: it is no longer the file that was found";
    return false;
  }
  bool ok = true;
  while (got < size) {
    const ssize_t n = pread(fd, data + got, size - got, static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  const int error = errno;
  close(fd);
  if (!ok) reason = std::strerror(error);
  return ok;
}

bool HostReadFile(const std::string& path, uint64_t limit, std::vector<uint8_t>& data, std::string& reason) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    reason = std::strerror(errno);
    return false;
  }
  data.resize(limit);
  size_t done = 0;
  bool ok = true;
  while (done < data.size()) {
    ssize_t n = read(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  const int error = errno;
  close(fd);
  if (!ok) {
    reason = std::strerror(error);
    return false;
  }
  data.resize(done);
  return true;
}

std::string HostFolderName(const std::string& path) {
  char* real = realpath(path.c_str(), nullptr);
  std::string resolved = real ? real : "";
  std::free(real);
  return resolved.substr(resolved.rfind('/') + 1);
}

std::string HostJoin(const std::string& folder, const std::string& child) {
  return folder == "/" ? "/" + child : folder + "/" + child;
}

bool HostIsSeparator(char c) { return c == '/'; }

bool HostLocalTime(int64_t seconds, std::tm& local) {
  const time_t t = static_cast<time_t>(seconds);
  return localtime_r(&t, &local) != nullptr;
}

// Simple upper-casing by the Unicode tables of the C library.
std::string HostFoldCase(std::string_view utf8) {
  static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  std::string out;
  size_t at = 0;
  while (at < utf8.size()) {
    size_t start = at;
    char32_t c;
    if (!NextUtf8(utf8, at, c)) {
      out.append(utf8.substr(start, at - start));
      continue;
    }
    if (locale) {
      c = static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), locale));
    } else if (c >= 'a' && c <= 'z') {
      c -= 'a' - 'A';
    }
    AppendUtf8(c, out);
  }
  return out;
}

bool HostExists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

int64_t HostFreeSpace(const std::string& path) {
  std::string at = path.empty() ? "." : path;
  for (;;) {
    struct statvfs vfs;
    if (statvfs(at.c_str(), &vfs) == 0) return static_cast<int64_t>(vfs.f_bavail) * static_cast<int64_t>(vfs.f_frsize);
    if (errno != ENOENT || at == "." || at == "/") return -1;
    // Not made yet: the folder that will hold it.
    const size_t slash = at.find_last_of('/');
    at = slash == std::string::npos ? "." : slash == 0 ? "/" : at.substr(0, slash);
  }
}

}  // namespace zor
