// Win32 back-end of the file layer (the stub): thin wrappers over kernel32, no C runtime.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include "platform/file_layer.h"

namespace zor {
namespace {

FileHandle FromHandle(HANDLE handle) { return reinterpret_cast<FileHandle>(handle); }

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
