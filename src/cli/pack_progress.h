// What zor create shows while it packs: on a terminal, a bar with the bytes read and written, their
// ratio and the speed, drawn like the bar of zor extract (cli/progress.h); nothing otherwise.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace zor {

// The bar line, at most `width` columns: percentage, bar, bytes in and out, ratio, speed.
std::string FormatPackLine(uint64_t total, uint64_t bytesIn, uint64_t bytesOut, double seconds, int width);

class PackProgress {
 public:
  // `total`: the input bytes expected.
  PackProgress(std::FILE* out, uint64_t total);

  // Redraws at most ten times a second, and always once the input is complete.
  void Update(uint64_t bytesIn, uint64_t bytesOut);
  // Takes the bar off the screen.
  void Clear();

 private:
  std::FILE* out_;
  uint64_t total_;
  std::chrono::steady_clock::time_point start_, lastDraw_;
  bool shown_ = false;
};

}  // namespace zor
