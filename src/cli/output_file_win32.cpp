// The output file on Windows: a temporary file beside the output, marked for deletion from the moment it
// exists, so that Ctrl-C, a crash or any other end of the process removes it; Commit takes the mark away,
// flushes the file and moves it into place, replacing what stood there.
#include "cli/output_file.h"
#include "cli/windows_text.h"

namespace zor {

namespace {

HANDLE ToHandle(intptr_t file) { return reinterpret_cast<HANDLE>(file); }

bool MarkForDeletion(HANDLE file, bool remove) {
  FILE_DISPOSITION_INFO disposition;
  disposition.DeleteFile = remove ? TRUE : FALSE;
  return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

std::string Failure(const std::string& what) { return what + ": " + ErrorText(GetLastError()); }

}  // namespace

AtomicOutputFile::~AtomicOutputFile() { Discard(); }

bool AtomicOutputFile::Open(const std::string& path, std::string& error) {
  path_ = path;
  size_t name = path.size();
  while (name > 0 && path[name - 1] != '/' && path[name - 1] != '\\') --name;
  const std::string folder = path.substr(0, name);
  const uint64_t seed = GetTickCount64() ^ (static_cast<uint64_t>(GetCurrentProcessId()) << 20);
  for (uint32_t attempt = 0; attempt < 100; ++attempt) {
    char suffix[24];
    wsprintfA(suffix, ".zor-%06x", static_cast<unsigned>((seed + attempt * 7919) & 0xFFFFFF));
    const std::string temporary = folder + "." + path.substr(name) + suffix;
    HANDLE h = CreateFileW(Wide(temporary).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                           CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS) continue;
    if (h == INVALID_HANDLE_VALUE) {
      error = Failure("cannot create a file in " + (folder.empty() ? std::string(".") : folder));
      return false;
    }
    if (!MarkForDeletion(h, true)) {
      error = Failure("cannot create " + temporary);
      CloseHandle(h);
      DeleteFileW(Wide(temporary).c_str());
      return false;
    }
    file_ = reinterpret_cast<intptr_t>(h);
    temporary_ = temporary;
    return true;
  }
  error = "cannot create a file in " + (folder.empty() ? std::string(".") : folder) + ": too many temporary files";
  return false;
}

bool AtomicOutputFile::Write(const uint8_t* data, size_t size, std::string& error) {
  while (size > 0) {
    const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    DWORD done = 0;
    if (!WriteFile(ToHandle(file_), data, chunk, &done, nullptr) || done == 0) {
      error = Failure("cannot write " + temporary_);
      return false;
    }
    data += done;
    size -= done;
  }
  return true;
}

bool AtomicOutputFile::WriteAt(uint64_t offset, const uint8_t* data, size_t size, std::string& error) {
  while (size > 0) {
    const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD done = 0;
    if (!WriteFile(ToHandle(file_), data, chunk, &done, &at) || done == 0) {
      error = Failure("cannot write " + temporary_);
      return false;
    }
    data += done;
    size -= done;
    offset += done;
  }
  // Writes at an offset move the file pointer: back to the end for the next Write.
  LARGE_INTEGER zero = {};
  SetFilePointerEx(ToHandle(file_), zero, nullptr, FILE_END);
  return true;
}

int64_t AtomicOutputFile::ReadAt(uint64_t offset, uint8_t* data, size_t size, std::string& error) {
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD done = 0;
  const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
  if (!ReadFile(ToHandle(file_), data, chunk, &done, &at)) {
    if (GetLastError() == ERROR_HANDLE_EOF) return 0;
    error = Failure("cannot read " + temporary_);
    return -1;
  }
  LARGE_INTEGER zero = {};
  SetFilePointerEx(ToHandle(file_), zero, nullptr, FILE_END);
  return done;
}

bool AtomicOutputFile::Commit(std::string& error) {
  HANDLE h = ToHandle(file_);
  if (!FlushFileBuffers(h) || !MarkForDeletion(h, false)) {
    error = Failure("cannot write " + temporary_);
    return false;
  }
  CloseHandle(h);
  file_ = -1;
  if (!MoveFileExW(Wide(temporary_).c_str(), Wide(path_).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    error = Failure("cannot create " + path_);
    DeleteFileW(Wide(temporary_).c_str());
    temporary_.clear();
    return false;
  }
  temporary_.clear();
  return true;
}

void AtomicOutputFile::Discard() {
  if (file_ != -1) CloseHandle(ToHandle(file_));  // marked for deletion: closing removes it
  file_ = -1;
  temporary_.clear();
}

}  // namespace zor
