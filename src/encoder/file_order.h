// The order of files in the stream: similar files next to each other, so that a window of at most
// 1 MB sees what they share, and otherwise files of a kind together, by extension and path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zor::encoder {

// Content fingerprints of a file: hashes of its content-defined chunks (sorted, without repeats).
std::vector<uint64_t> SketchContent(const uint8_t* data, size_t size);

// A 64-bit hash of the whole content, never 0.
uint64_t ContentHash(const uint8_t* data, size_t size);

struct OrderInput {
  std::string storedPath;
  uint64_t size;
  const std::vector<uint64_t>* sketch;  // may be null or empty
  uint64_t contentKey = 0;              // ContentHash, or 0 when not known
};

// A permutation of the files: by kind (extension) and path, except that files sharing content are
// chained together, and copies of one content (same key and size) follow the first right behind it.
std::vector<size_t> OrderFiles(const std::vector<OrderInput>& files);

// Lower-case extension of a stored path ("" when there is none).
std::string ExtensionOf(const std::string& storedPath);

}  // namespace zor::encoder
