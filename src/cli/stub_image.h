// The self-extractor stub (zorsfx.exe) as built with this tool, embedded at build time by
// cmake/embed_binary.py: `zor create` writes it in front of every archive.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zor {

extern const uint8_t kStubImage[];
extern const size_t kStubImageSize;

}  // namespace zor
