// The file, folder and memory layer: every platform call of the engine goes through these wrappers.
//
// A wrapper never shows anything. It returns a failure value (an invalid handle, -1, 0 or null) and records
// the Win32 error number in FileLayer::lastSystemError; the caller turns that into a negative ErrorCode.
// Which wrappers clear lastSystemError first and which keep an earlier value is part of the contract
// (ReportError prints the error of the last failing call as its second line), so each declaration says.
//
// Two back-ends implement this header: file_layer_win32.cpp (the stub) and file_layer_posix.cpp (the tool
// and the tests), which maps errno onto the Win32 numbers that SystemErrorText knows. They are the only
// engine files that include platform headers.
#pragma once

#include <cstdint>

namespace zor {

// Negative values are failures; 0 or a positive count is success.
using ErrorCode = int32_t;

inline constexpr ErrorCode kErrorReported = -1;      // already reported; also a failed read of the program file
inline constexpr ErrorCode kErrorNoMemory = -2;
inline constexpr ErrorCode kErrorCreateFile = -3;
inline constexpr ErrorCode kErrorOpenProgram = -5;
inline constexpr ErrorCode kErrorRead = -6;
inline constexpr ErrorCode kErrorWrite = -8;
inline constexpr ErrorCode kErrorCreateFolder = -9;
inline constexpr ErrorCode kErrorDamaged = -11;
inline constexpr ErrorCode kErrorCrc = -12;
inline constexpr ErrorCode kErrorSeek = -17;
inline constexpr ErrorCode kErrorCancelled = -25;    // never shown
inline constexpr ErrorCode kErrorInputExhausted = -50;

// A file handle: a Win32 HANDLE in the stub, a file descriptor on POSIX. -1 is INVALID_HANDLE_VALUE on both.
using FileHandle = intptr_t;
inline constexpr FileHandle kInvalidFileHandle = -1;
// A handle that FileWrite accepts and discards (the test-only walk decodes into it); no other wrapper takes
// it. Never a real handle: -2 is a pseudo-handle of the current thread on Win32 and no descriptor on POSIX.
inline constexpr FileHandle kDiscardFileHandle = -2;
// A handle whose writes FileWrite hands to FileLayer::sink (the tool's decoding threads keep the bytes for
// the thread that writes the files). Only the POSIX back-end takes it.
inline constexpr FileHandle kSinkFileHandle = -3;

// Access masks for FileOpen.
inline constexpr uint32_t kGenericRead = 0x80000000u;
inline constexpr uint32_t kGenericWrite = 0x40000000u;

// Seek origins.
inline constexpr int kSeekBegin = 0;
inline constexpr int kSeekCurrent = 1;
inline constexpr int kSeekEnd = 2;
inline constexpr uint32_t kSeekFailed = 0xFFFFFFFFu;

// File attribute bits.
inline constexpr uint32_t kAttributeReadOnly = 0x01;
inline constexpr uint32_t kAttributeHidden = 0x02;
inline constexpr uint32_t kAttributeSystem = 0x04;
inline constexpr uint32_t kAttributeDirectory = 0x10;
inline constexpr uint32_t kAttributeArchive = 0x20;
inline constexpr uint32_t kAttributeNormal = 0x80;
inline constexpr uint32_t kAttributeReparsePoint = 0x400;  // a link (symbolic link, junction, mount point)
inline constexpr uint32_t kInvalidAttributes = 0xFFFFFFFFu;

// Win32 error numbers the engine produces, tests for or describes in messages.
inline constexpr uint32_t kSystemErrorFileNotFound = 2;
inline constexpr uint32_t kSystemErrorPathNotFound = 3;
inline constexpr uint32_t kSystemErrorAccessDenied = 5;
inline constexpr uint32_t kSystemErrorInvalidDrive = 15;
inline constexpr uint32_t kSystemErrorWriteProtect = 19;
inline constexpr uint32_t kSystemErrorNotReady = 21;
inline constexpr uint32_t kSystemErrorSeek = 25;
inline constexpr uint32_t kSystemErrorNotDosDisk = 26;
inline constexpr uint32_t kSystemErrorSectorNotFound = 27;
inline constexpr uint32_t kSystemErrorWriteFault = 29;
inline constexpr uint32_t kSystemErrorReadFault = 30;
inline constexpr uint32_t kSystemErrorGenFailure = 31;
inline constexpr uint32_t kSystemErrorHandleDiskFull = 39;
inline constexpr uint32_t kSystemErrorNetworkFirst = 50;  // 50 to 71: the network errors
inline constexpr uint32_t kSystemErrorNetworkLast = 71;
inline constexpr uint32_t kSystemErrorFileExists = 80;
inline constexpr uint32_t kSystemErrorDiskFull = 112;
inline constexpr uint32_t kSystemErrorBadPathname = 161;
inline constexpr uint32_t kSystemErrorAlreadyExists = 183;

inline constexpr uint32_t kMessageBufferSize = 300;

// Turns a path in the archive's code page into the system's own bytes (the tool: UTF-8) in out, at
// most size bytes with the terminator. Returns false when the result does not fit.
using NativeNameConverter = bool (*)(void* context, const char* path, char* out, uint32_t size);

// The layer's state: one per extraction (the stub holds exactly one).
struct FileLayer {
  uint32_t lastSystemError;     // Win32 error number of the last failing call; 0 = none recorded
  FileHandle programFile;       // the archive's file, open read-only for the whole run
  uint32_t programFilePos;      // our record of programFile's position; readers seek only when it differs
  char messageBuffer[kMessageBufferSize];  // every message and dialog text is composed here
  // The POSIX back-end plays the part of Win32's "A" calls: it converts each path with this (null = the
  // bytes as they are) and then turns backslashes into slashes. The Win32 back-end ignores it.
  NativeNameConverter toNativeName;
  void* toNativeNameContext;
  // Takes what is written to kSinkFileHandle; false fails the write. The Win32 back-end ignores it.
  bool (*sink)(void* context, const void* bytes, uint32_t count);
  void* sinkContext;
};

// Opens an existing file. Cleared first, set on failure.
FileHandle FileOpen(FileLayer& layer, const char* path, uint32_t accessMask);
// Creates or truncates a file, no sharing. Cleared first, set on failure.
FileHandle FileCreate(FileLayer& layer, const char* path, uint32_t attributes);
// 1, or 0 on failure; a failure is recorded only when nothing is recorded yet.
int FileClose(FileLayer& layer, FileHandle handle);
// Counts are below 2^31, as the int32_t results of FileRead and FileWrite require.
// Bytes read (fewer at the end of the file: not a failure), or -1. Cleared first, set on failure.
int32_t FileRead(FileLayer& layer, FileHandle handle, void* buffer, uint32_t count);
// The full count, or -1. Cleared first, set on failure; disk full (39) and a short write are recorded as 112.
// Writes to kDiscardFileHandle succeed without going anywhere; those to kSinkFileHandle go to layer.sink.
int32_t FileWrite(FileLayer& layer, FileHandle handle, const void* buffer, uint32_t count);
// New 32-bit position, or kSeekFailed. Cleared first, set on failure.
uint32_t FileSeek(FileLayer& layer, FileHandle handle, int32_t distance, int origin);
// FileRead on programFile; any result but -1 advances programFilePos.
int32_t ArchiveRead(FileLayer& layer, void* buffer, uint32_t count);
// DOS dates and times in local time; a zero date leaves that time alone. 1 or 0. Cleared first, set on failure.
int FileSetTimes(FileLayer& layer, FileHandle handle, uint16_t createDate, uint16_t createTime,
                 uint16_t writeDate, uint16_t writeTime);
// Attribute bits, or kInvalidAttributes. Set on failure, not cleared first. A link is not followed, as
// GetFileAttributesA does not follow one: it shows kAttributeReparsePoint, with kAttributeDirectory when it
// leads to a folder.
uint32_t FileGetAttributes(FileLayer& layer, const char* path);
// 1 or 0. Cleared first, set on failure. Never changes what a link leads to.
int FileSetAttributes(FileLayer& layer, const char* path, uint32_t attributes);
// 1 or 0. Set on failure, not cleared first.
int FileDelete(FileLayer& layer, const char* path);
// Creates one folder. 1 or 0. Set on failure, not cleared first; an existing folder or file gives 183.
int CreateOneFolder(FileLayer& layer, const char* path);

// Volume queries of the extract driver; they record nothing.
// The current folder into buffer: its length, or 0 (buffer emptied) when it fails or does not fit.
uint32_t CurrentFolder(char* buffer, uint32_t size);
// The longest file-name component the volume holding rootPath ("C:\\") accepts, or -1 when unknown.
int32_t MaxComponentLength(const char* rootPath);

// Fixed blocks from the process heap. MemResize may move the block; on failure it returns null and the
// old block stays valid. None of them records an error.
void* MemAlloc(uint32_t count);
void* MemResize(void* block, uint32_t count);
void MemFree(void* block);

}  // namespace zor
