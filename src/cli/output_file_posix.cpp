// Temporary file, rename into place, and the signal handler that removes the temporary file.
//
// The handler may only use async-signal-safe calls: it unlinks a path kept in a static buffer, then
// re-raises the signal with its default action so the caller sees the usual death by signal. The
// buffer is published before the handler is armed and cleared, with the signals blocked, together
// with the rename, so a signal never removes a file that has already taken the final name.
#include "cli/output_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace zor {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

char g_temporary[4096];                  // the path the handler removes
volatile std::sig_atomic_t g_armed = 0;  // g_temporary holds a live temporary file

void RemoveAndDie(int signal) {
  if (g_armed) unlink(g_temporary);
  std::signal(signal, SIG_DFL);
  raise(signal);
}

sigset_t HandledSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int s : kSignals) sigaddset(&set, s);
  return set;
}

void Arm(const std::string& path) {
  sigset_t set = HandledSignals(), old;
  pthread_sigmask(SIG_BLOCK, &set, &old);
  std::memcpy(g_temporary, path.c_str(), path.size() + 1);
  g_armed = 1;
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = RemoveAndDie;
  sigemptyset(&action.sa_mask);
  for (int s : kSignals) {
    struct sigaction previous;
    // A signal the caller's parent ignores (nohup) stays ignored.
    if (sigaction(s, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
    sigaction(s, &action, nullptr);
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

void Disarm() { g_armed = 0; }

std::string SystemError(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

mode_t NewFileMode() {
  mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

}  // namespace

AtomicOutputFile::~AtomicOutputFile() { Discard(); }

bool AtomicOutputFile::Open(const std::string& path, std::string& error) {
  path_ = path;
  size_t slash = path.rfind('/');
  std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string pattern = folder + "." + name + ".zor-XXXXXX";
  if (pattern.size() >= sizeof g_temporary) {
    errno = ENAMETOOLONG;
    error = SystemError("cannot create the output");
    return false;
  }
  std::string buffer = pattern;
  // Blocked while the file exists but the handler does not know it yet.
  sigset_t set = HandledSignals(), old;
  pthread_sigmask(SIG_BLOCK, &set, &old);
  file_ = mkostemp(buffer.data(), O_CLOEXEC);
  if (static_cast<int>(file_) >= 0) {
    temporary_ = buffer;
    Arm(temporary_);
  }
  int saved = errno;
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  if (static_cast<int>(file_) < 0) {
    errno = saved;
    error = SystemError(("cannot create a file in " + (folder.empty() ? std::string(".") : folder)).c_str());
    return false;
  }
  return true;
}

bool AtomicOutputFile::Write(const uint8_t* data, size_t size, std::string& error) {
  while (size > 0) {
    ssize_t n = write(static_cast<int>(file_), data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = SystemError(("cannot write " + temporary_).c_str());
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool AtomicOutputFile::WriteAt(uint64_t offset, const uint8_t* data, size_t size, std::string& error) {
  while (size > 0) {
    ssize_t n = pwrite(static_cast<int>(file_), data, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = SystemError(("cannot write " + temporary_).c_str());
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
    offset += static_cast<uint64_t>(n);
  }
  return true;
}

int64_t AtomicOutputFile::ReadAt(uint64_t offset, uint8_t* data, size_t size, std::string& error) {
  for (;;) {
    ssize_t n = pread(static_cast<int>(file_), data, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) error = SystemError(("cannot read " + temporary_).c_str());
    return n;
  }
}

bool AtomicOutputFile::Commit(std::string& error) {
  if (fchmod(static_cast<int>(file_), NewFileMode()) != 0 || fsync(static_cast<int>(file_)) != 0) {
    error = SystemError(("cannot write " + temporary_).c_str());
    return false;
  }
  if (close(static_cast<int>(file_)) != 0) {
    file_ = -1;
    error = SystemError(("cannot write " + temporary_).c_str());
    return false;
  }
  file_ = -1;
  sigset_t set = HandledSignals(), old;
  pthread_sigmask(SIG_BLOCK, &set, &old);
  bool renamed = rename(temporary_.c_str(), path_.c_str()) == 0;
  int saved = errno;
  if (renamed) {
    Disarm();
    temporary_.clear();
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  if (!renamed) {
    errno = saved;
    error = SystemError(("cannot create " + path_).c_str());
    return false;
  }
  // The rename itself reaches the disk with the folder.
  size_t slash = path_.rfind('/');
  std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path_.substr(0, slash);
  int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return true;
}

void AtomicOutputFile::Discard() {
  if (static_cast<int>(file_) >= 0) close(static_cast<int>(file_));
  file_ = -1;
  if (temporary_.empty()) return;
  sigset_t set = HandledSignals(), old;
  pthread_sigmask(SIG_BLOCK, &set, &old);
  unlink(temporary_.c_str());
  Disarm();
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  temporary_.clear();
}

}  // namespace zor
