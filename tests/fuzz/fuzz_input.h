// Shared by the fuzz targets: parameters taken from the front of the fuzz input, and an extraction
// context whose program file is the rest of it.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "support/decoder_fixture.h"

namespace zor::fuzz {

class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint32_t Take(uint32_t bytes) {
    uint32_t v = 0;
    for (uint32_t i = 0; i < bytes && pos_ < size_; ++i) v |= static_cast<uint32_t>(data_[pos_++]) << (8 * i);
    return v;
  }
  // A value in [0, bound).
  uint32_t Below(uint32_t bound, uint32_t bytes = 4) { return bound ? Take(bytes) % bound : 0; }
  std::vector<uint8_t> Rest() const { return std::vector<uint8_t>(data_ + pos_, data_ + size_); }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

// An output file that swallows everything.
inline FileHandle NullSink() {
  static int fd = open("/dev/null", O_WRONLY);
  return fd;
}

}  // namespace zor::fuzz
