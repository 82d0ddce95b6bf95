// The packer's view of a Windows file system, through the wide calls: names keep every character.
#include <algorithm>

#include "cli/host_files.h"
#include "cli/windows_text.h"

namespace zor {

namespace {

constexpr int64_t kUnixEpochInFileTime = 116444736000000000LL;  // 1601 to 1970 in 100 ns steps

int64_t Seconds(const FILETIME& t) {
  const int64_t ticks = static_cast<int64_t>(static_cast<uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime);
  return (ticks - kUnixEpochInFileTime) / 10000000;
}

}  // namespace

bool HostInspect(const std::string& path, HostFacts& facts, std::string& reason) {
  facts = HostFacts{};
  const std::wstring wide = Wide(path);
  // Opening follows symbolic links and junctions; folders need the backup flag to be opened at all.
  HANDLE h = CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
        (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)) {
      reason = "a symbolic link to something that does not exist";
    } else {
      reason = ErrorText(error);
    }
    return false;
  }
  BY_HANDLE_FILE_INFORMATION info;
  const bool ok = GetFileInformationByHandle(h, &info) != 0;
  const DWORD type = GetFileType(h);
  const DWORD error = GetLastError();
  CloseHandle(h);
  if (!ok) {
    reason = ErrorText(error);
    return false;
  }
  const bool folder = info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
  facts.kind = folder ? HostKind::kFolder : type == FILE_TYPE_DISK ? HostKind::kFile : HostKind::kOther;
  facts.size = static_cast<uint64_t>(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
  facts.device = info.dwVolumeSerialNumber;
  facts.inode = static_cast<uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
  facts.written = Seconds(info.ftLastWriteTime);
  facts.created = Seconds(info.ftCreationTime);
  facts.readOnly = info.dwFileAttributes & FILE_ATTRIBUTE_READONLY;
  const DWORD own = GetFileAttributesW(wide.c_str());
  facts.link = own != INVALID_FILE_ATTRIBUTES && (own & FILE_ATTRIBUTE_REPARSE_POINT);
  return true;
}

bool HostListFolder(const std::string& path, std::vector<std::string>& names, std::string& reason) {
  names.clear();
  WIN32_FIND_DATAW found;
  HANDLE h = FindFirstFileExW(Wide(HostJoin(path, "*")).c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                              nullptr, 0);
  if (h == INVALID_HANDLE_VALUE) {
    reason = ErrorText(GetLastError());
    return false;
  }
  do {
    if (wcscmp(found.cFileName, L".") != 0 && wcscmp(found.cFileName, L"..") != 0)
      names.push_back(Utf8(found.cFileName));
  } while (FindNextFileW(h, &found));
  const DWORD error = GetLastError();
  FindClose(h);
  if (error != ERROR_NO_MORE_FILES) {
    reason = ErrorText(error);
    return false;
  }
  return true;
}

bool HostReadWalked(const std::string& path, const HostFacts& walked, uint64_t offset, uint8_t* data, size_t size,
                    size_t& got, std::string& reason) {
  got = 0;
  // Not through a reparse point the walk did not follow; then the same file, by volume and file index.
  HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         walked.link ? 0 : FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    reason = ErrorText(GetLastError());
    return false;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(h, &info) || GetFileType(h) != FILE_TYPE_DISK ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
      info.dwVolumeSerialNumber != walked.device ||
      (static_cast<uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow) != walked.inode) {
    CloseHandle(h);
    reason = "changed while it was being packed: it is no longer the file that was found";
    return false;
  }
  bool ok = true;
  while (got < size) {
    OVERLAPPED at = {};
    const uint64_t position = offset + got;
    at.Offset = static_cast<DWORD>(position);
    at.OffsetHigh = static_cast<DWORD>(position >> 32);
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size - got, 1u << 30));
    DWORD n = 0;
    if (!ReadFile(h, data + got, chunk, &n, &at)) {
      if (GetLastError() == ERROR_HANDLE_EOF) break;
      ok = false;
      reason = ErrorText(GetLastError());
      break;
    }
    if (n == 0) break;
    got += n;
  }
  CloseHandle(h);
  return ok;
}

bool HostReadFile(const std::string& path, uint64_t limit, std::vector<uint8_t>& data, std::string& reason) {
  HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    reason = ErrorText(GetLastError());
    return false;
  }
  data.resize(limit);
  size_t done = 0;
  bool ok = true;
  while (done < data.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(data.size() - done, 1u << 30));
    DWORD n = 0;
    if (!ReadFile(h, data.data() + done, chunk, &n, nullptr)) {
      ok = false;
      reason = ErrorText(GetLastError());
      break;
    }
    if (n == 0) break;
    done += n;
  }
  CloseHandle(h);
  data.resize(done);
  return ok;
}

std::string HostFolderName(const std::string& path) {
  wchar_t full[4096];
  const DWORD n = GetFullPathNameW(Wide(path).c_str(), 4096, full, nullptr);
  if (n == 0 || n >= 4096) return "";
  std::string resolved = Utf8(full);
  while (!resolved.empty() && HostIsSeparator(resolved.back())) resolved.pop_back();
  size_t name = resolved.size();
  while (name > 0 && !HostIsSeparator(resolved[name - 1])) --name;
  std::string last = resolved.substr(name);
  return last.size() == 2 && last[1] == ':' ? "" : last;  // a drive's root has no name
}

std::string HostJoin(const std::string& folder, const std::string& child) {
  if (!folder.empty() && HostIsSeparator(folder.back())) return folder + child;
  return folder + "\\" + child;
}

bool HostIsSeparator(char c) { return c == '/' || c == '\\'; }

// As Windows' own conversion gives it: the offset from UTC in force now, the one the extractor's
// LocalFileTimeToFileTime uses too, so that a file's time comes back as it was.
bool HostLocalTime(int64_t seconds, std::tm& local) {
  const int64_t ticks = seconds * 10000000 + kUnixEpochInFileTime;
  if (ticks < 0) return false;
  FILETIME utc = {static_cast<DWORD>(ticks), static_cast<DWORD>(static_cast<uint64_t>(ticks) >> 32)};
  FILETIME there;
  SYSTEMTIME t;
  if (!FileTimeToLocalFileTime(&utc, &there) || !FileTimeToSystemTime(&there, &t)) return false;
  local = std::tm{};
  local.tm_year = t.wYear - 1900;
  local.tm_mon = t.wMonth - 1;
  local.tm_mday = t.wDay;
  local.tm_hour = t.wHour;
  local.tm_min = t.wMinute;
  local.tm_sec = t.wSecond;
  return true;
}

std::string HostFoldCase(std::string_view utf8) {
  std::u16string text;
  if (!Utf8ToUtf16(utf8, text) || text.empty()) return std::string(utf8);
  std::wstring wide(text.begin(), text.end());
  CharUpperBuffW(wide.data(), static_cast<DWORD>(wide.size()));
  return Utf16ToUtf8(std::u16string(wide.begin(), wide.end()));
}

bool HostExists(const std::string& path) { return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

int64_t HostFreeSpace(const std::string& path) {
  std::string at = path.empty() ? "." : path;
  for (;;) {
    ULARGE_INTEGER available;
    if (GetDiskFreeSpaceExW(Wide(at).c_str(), &available, nullptr, nullptr))
      return static_cast<int64_t>(available.QuadPart);
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return -1;
    // Not made yet: the folder that will hold it, up to the root ("\\" or "C:\\") or the current folder.
    const size_t slash = at.find_last_of("/\\");
    const std::string up = slash == std::string::npos                     ? std::string(".")
                           : slash == 0 || (slash == 2 && at[1] == ':') ? at.substr(0, slash + 1)
                                                                          : at.substr(0, slash);
    if (up == at) return -1;
    at = up;
  }
}

}  // namespace zor
