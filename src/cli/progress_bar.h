// The progress bar of zor's long commands: one line on the terminal, redrawn in place, with bytes in and
// out, their ratio and the speed. Shown only to a person at a terminal.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace zor {

// True when standard output and standard error are terminals, TERM is not "dumb" and NO_COLOR is unset:
// a person is watching and wants the decoration.
bool ProgressWanted();

class ProgressBar {
 public:
  // `label` leads the line ("packing", "extracting"); `total` is the number of input bytes expected.
  ProgressBar(std::FILE* out, std::string label, uint64_t total);

  // Redraws at most ten times a second, and always when the input is complete.
  void Update(uint64_t bytesIn, uint64_t bytesOut);
  // Clears the line, leaving the terminal as it was.
  void Clear();

  // The text of one line, without redrawing: for tests and for a closing summary.
  static std::string Line(const std::string& label, uint64_t total, uint64_t bytesIn, uint64_t bytesOut,
                          double seconds, size_t width);
  // 1536 -> "1.5 KiB".
  static std::string Bytes(uint64_t bytes);

 private:
  std::FILE* out_;
  std::string label_;
  uint64_t total_;
  std::chrono::steady_clock::time_point start_, lastDraw_;
  bool drawn_ = false;
};

}  // namespace zor
