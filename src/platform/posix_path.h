// What the POSIX back-ends share (file_layer_posix.cpp and output_tree_posix.cpp): a path as the system
// takes it, and errno as the Win32 error number that the same failure gives there, so that the messages
// built from lastSystemError read as they do on Windows.
#pragma once

#include <cstdint>

#include "platform/file_layer.h"

namespace zor::posix {

inline constexpr uint32_t kNativePathSize = 4096;

// A path as the system takes it, in a bounded copy: converted by the layer's converter when there is one
// (before the separators are looked at, as Win32 decodes a multi-byte code page before it parses a path),
// then with backslashes turned into slashes and "." components dropped, as Win32 drops them before it looks
// a path up ("a\.\b" is "a\b"). ok is false when it does not fit.
struct NativePath {
  char text[kNativePathSize];
  bool ok;

  NativePath(const FileLayer& layer, const char* path);
};

// errno as a Win32 error number; never 0. nativePath refines ENOENT into "file not found" (2) or "path not
// found" (3); null for calls on a descriptor.
uint32_t SystemError(int error, const char* nativePath);
// The Win32 number of the errno a call on `path` left: 161 (invalid path) when the path did not convert.
uint32_t PathError(const NativePath& path);

}  // namespace zor::posix
