// Windows back-end of the file layer for the tool (zor.exe): the Win32 wrappers with the wide calls. A path
// reaches the system as the POSIX back-end's does, converted by the layer's converter (the archive's code
// page to UTF-8) or taken as UTF-8 without one, and then as UTF-16: every name keeps its characters, whatever
// the system's ANSI code page. The stub's back-end, with the ANSI calls, is file_layer_win32.cpp.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstring>

#include "platform/file_layer.h"

namespace zor {
namespace {

constexpr uint32_t kPathBufferSize = 4096;

FileHandle FromHandle(HANDLE handle) { return reinterpret_cast<FileHandle>(handle); }

// A path as the wide calls take it; ok is false when it cannot be converted or does not fit.
struct WidePath {
  wchar_t text[kPathBufferSize];
  bool ok = false;

  WidePath(const FileLayer& layer, const char* path) {
    text[0] = 0;
    char utf8[kPathBufferSize];
    if (layer.toNativeName) {
      if (!layer.toNativeName(layer.toNativeNameContext, path, utf8, kPathBufferSize)) return;
      path = utf8;
    }
    ok = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, text, kPathBufferSize) > 0;
  }
};

}  // namespace

FileHandle FileOpen(FileLayer& layer, const char* path, uint32_t accessMask) {
  layer.lastSystemError = 0;
  const WidePath wide(layer, path);
  if (!wide.ok) {
    layer.lastSystemError = kSystemErrorBadPathname;
    return kInvalidFileHandle;
  }
  const DWORD share = (accessMask & GENERIC_WRITE) ? FILE_SHARE_READ : FILE_SHARE_READ | FILE_SHARE_WRITE;
  HANDLE h = CreateFileW(wide.text, accessMask, share, nullptr, OPEN_EXISTING, FILE_FLAG_RANDOM_ACCESS, nullptr);
  if (h == INVALID_HANDLE_VALUE) layer.lastSystemError = GetLastError();
  return FromHandle(h);
}

FileHandle FileCreate(FileLayer& layer, const char* path, uint32_t attributes) {
  layer.lastSystemError = 0;
  const WidePath wide(layer, path);
  if (!wide.ok) {
    layer.lastSystemError = kSystemErrorBadPathname;
    return kInvalidFileHandle;
  }
  HANDLE h = CreateFileW(wide.text, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         attributes | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) layer.lastSystemError = GetLastError();
  return FromHandle(h);
}

uint32_t FileGetAttributes(FileLayer& layer, const char* path) {
  const WidePath wide(layer, path);
  const DWORD attributes = wide.ok ? GetFileAttributesW(wide.text) : INVALID_FILE_ATTRIBUTES;
  if (attributes == INVALID_FILE_ATTRIBUTES) layer.lastSystemError = wide.ok ? GetLastError() : kSystemErrorBadPathname;
  return attributes;
}

int FileSetAttributes(FileLayer& layer, const char* path, uint32_t attributes) {
  layer.lastSystemError = 0;
  const WidePath wide(layer, path);
  if (wide.ok && SetFileAttributesW(wide.text, attributes)) return 1;
  layer.lastSystemError = wide.ok ? GetLastError() : kSystemErrorBadPathname;
  return 0;
}

int FileDelete(FileLayer& layer, const char* path) {
  const WidePath wide(layer, path);
  if (wide.ok && DeleteFileW(wide.text)) return 1;
  layer.lastSystemError = wide.ok ? GetLastError() : kSystemErrorBadPathname;
  return 0;
}

int CreateOneFolder(FileLayer& layer, const char* path) {
  const WidePath wide(layer, path);
  if (wide.ok && CreateDirectoryW(wide.text, nullptr)) return 1;
  layer.lastSystemError = wide.ok ? GetLastError() : kSystemErrorBadPathname;
  return 0;
}

// In UTF-8: the tool asks only for its drive letter.
uint32_t CurrentFolder(char* buffer, uint32_t size) {
  if (size == 0) return 0;
  wchar_t wide[kPathBufferSize];
  const DWORD length = GetCurrentDirectoryW(kPathBufferSize, wide);
  const int written = length == 0 || length >= kPathBufferSize
                          ? 0
                          : WideCharToMultiByte(CP_UTF8, 0, wide, -1, buffer, static_cast<int>(size), nullptr, nullptr);
  if (written <= 0) {
    buffer[0] = 0;
    return 0;
  }
  return static_cast<uint32_t>(written - 1);
}

int32_t MaxComponentLength(const char* rootPath) {
  wchar_t root[8];
  if (MultiByteToWideChar(CP_UTF8, 0, rootPath, -1, root, 8) <= 0) return -1;
  DWORD length = 0;
  if (!GetVolumeInformationW(root, nullptr, 0, nullptr, &length, nullptr, nullptr, 0)) return -1;
  return static_cast<int32_t>(length);
}

void* MemAlloc(uint32_t count) { return HeapAlloc(GetProcessHeap(), 0, count ? count : 1); }

void* MemResize(void* block, uint32_t count) { return HeapReAlloc(GetProcessHeap(), 0, block, count ? count : 1); }

void MemFree(void* block) {
  if (block) HeapFree(GetProcessHeap(), 0, block);
}

}  // namespace zor
