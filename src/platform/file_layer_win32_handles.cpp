// What both Windows back-ends of the file layer share: the calls on open handles, which take no path and
// so are the same for the stub's ANSI calls and the tool's wide ones.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "platform/file_layer.h"

namespace zor {
namespace {

HANDLE ToHandle(FileHandle handle) { return reinterpret_cast<HANDLE>(handle); }

// A DOS date and time as UTC. A conversion that fails (an impossible date such as month 13) would leave
// the FILETIME undefined, so that time is then not set at all.
bool DosToUtc(uint16_t date, uint16_t time, FILETIME* utc) {
  FILETIME local;
  return DosDateTimeToFileTime(date, time, &local) && LocalFileTimeToFileTime(&local, utc);
}

}  // namespace

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

}  // namespace zor
