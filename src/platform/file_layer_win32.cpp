// Win32 back-end of the file layer (the stub): thin wrappers over kernel32, no C runtime.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include "platform/file_layer.h"

namespace zor {
namespace {

HANDLE ToHandle(FileHandle handle) { return reinterpret_cast<HANDLE>(handle); }
FileHandle FromHandle(HANDLE handle) { return reinterpret_cast<FileHandle>(handle); }

// A DOS date and time as UTC. A conversion that fails (an impossible date such as month 13) would leave
// the FILETIME undefined, so that time is then not set at all.
bool DosToUtc(uint16_t date, uint16_t time, FILETIME* utc) {
  FILETIME local;
  return DosDateTimeToFileTime(date, time, &local) && LocalFileTimeToFileTime(&local, utc);
}

}  // namespace

FileHandle FileOpen(FileLayer& layer, const char* path, uint32_t accessMask) {
  layer.lastSystemError = 0;
  // A writer lets others only read; a reader lets them read and write.
  const DWORD share = (accessMask & GENERIC_WRITE) ? FILE_SHARE_READ : FILE_SHARE_READ | FILE_SHARE_WRITE;
  HANDLE h = CreateFileA(path, accessMask, share, nullptr, OPEN_EXISTING, FILE_FLAG_RANDOM_ACCESS, nullptr);
  if (h == INVALID_HANDLE_VALUE) layer.lastSystemError = GetLastError();
  return FromHandle(h);
}

FileHandle FileCreate(FileLayer& layer, const char* path, uint32_t attributes) {
  layer.lastSystemError = 0;
  HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         attributes | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) layer.lastSystemError = GetLastError();
  return FromHandle(h);
}

int FileClose(FileLayer& layer, FileHandle handle) {
  if (CloseHandle(ToHandle(handle))) return 1;
  if (layer.lastSystemError == 0) layer.lastSystemError = GetLastError();
  return 0;
}

int32_t FileRead(FileLayer& layer, FileHandle handle, void* buffer, uint32_t count) {
  layer.lastSystemError = 0;
  DWORD done = 0;
  if (!ReadFile(ToHandle(handle), buffer, count, &done, nullptr)) {
    layer.lastSystemError = GetLastError();
    return -1;
  }
  return static_cast<int32_t>(done);
}

int32_t FileWrite(FileLayer& layer, FileHandle handle, const void* buffer, uint32_t count) {
  layer.lastSystemError = 0;
  if (handle == kDiscardFileHandle) return static_cast<int32_t>(count);
  DWORD done = 0;
  if (!WriteFile(ToHandle(handle), buffer, count, &done, nullptr)) {
    const DWORD error = GetLastError();
    layer.lastSystemError = error == ERROR_HANDLE_DISK_FULL ? ERROR_DISK_FULL : error;
    return -1;
  }
  // A write that stops short has run out of room.
  if (done != count) {
    layer.lastSystemError = ERROR_DISK_FULL;
    return -1;
  }
  return static_cast<int32_t>(done);
}

uint32_t FileSeek(FileLayer& layer, FileHandle handle, int32_t distance, int origin) {
  layer.lastSystemError = 0;
  // Without the high part every result but INVALID_SET_FILE_POINTER is a position.
  const DWORD position = SetFilePointer(ToHandle(handle), distance, nullptr, static_cast<DWORD>(origin));
  if (position == INVALID_SET_FILE_POINTER) layer.lastSystemError = GetLastError();
  return position;
}

int FileSetTimes(FileLayer& layer, FileHandle handle, uint16_t createDate, uint16_t createTime,
                 uint16_t writeDate, uint16_t writeTime) {
  layer.lastSystemError = 0;
  FILETIME created;
  FILETIME written;
  const bool setCreated = createDate != 0 && DosToUtc(createDate, createTime, &created);
  const bool setWritten = writeDate != 0 && DosToUtc(writeDate, writeTime, &written);
  if (SetFileTime(ToHandle(handle), setCreated ? &created : nullptr, nullptr,
                  setWritten ? &written : nullptr)) {
    return 1;
  }
  layer.lastSystemError = GetLastError();
  return 0;
}

uint32_t FileGetAttributes(FileLayer& layer, const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) layer.lastSystemError = GetLastError();
  return attributes;
}

int FileSetAttributes(FileLayer& layer, const char* path, uint32_t attributes) {
  layer.lastSystemError = 0;
  if (SetFileAttributesA(path, attributes)) return 1;
  layer.lastSystemError = GetLastError();
  return 0;
}

int FileDelete(FileLayer& layer, const char* path) {
  if (DeleteFileA(path)) return 1;
  layer.lastSystemError = GetLastError();
  return 0;
}

int CreateOneFolder(FileLayer& layer, const char* path) {
  if (CreateDirectoryA(path, nullptr)) return 1;
  layer.lastSystemError = GetLastError();
  return 0;
}

uint32_t CurrentFolder(char* buffer, uint32_t size) {
  // Too small a buffer gives the size it would need, without the text.
  const DWORD length = GetCurrentDirectoryA(size, buffer);
  if (length == 0 || length >= size) {
    if (size != 0) buffer[0] = 0;
    return 0;
  }
  return length;
}

int32_t MaxComponentLength(const char* rootPath) {
  DWORD length = 0;
  if (!GetVolumeInformationA(rootPath, nullptr, 0, nullptr, &length, nullptr, nullptr, 0)) return -1;
  return static_cast<int32_t>(length);
}

void* MemAlloc(uint32_t count) { return LocalAlloc(LMEM_FIXED, count); }

void* MemResize(void* block, uint32_t count) { return LocalReAlloc(block, count, LMEM_MOVEABLE); }

void MemFree(void* block) { LocalFree(block); }

}  // namespace zor
