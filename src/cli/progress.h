// What zor extract and zor test show while they run: a progress bar on a terminal, a line per entry
// otherwise, nothing with --quiet; and the closing line.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace zor {

enum class ProgressStyle : uint8_t { kQuiet, kLines, kBar };

// The counts of one run, shown by the bar and the closing line.
struct RunCounts {
  uint32_t entriesSeen = 0;   // entries the walk has finished with
  uint32_t files = 0;         // written (or, testing, decoded with a matching CRC)
  uint32_t folders = 0;
  uint32_t kept = 0;          // existing files not replaced
  uint32_t errors = 0;
  uint64_t bytes = 0;         // of the files counted
};

// Everything the bar line says.
struct ProgressLine {
  uint32_t entriesDone;
  uint32_t entriesTotal;
  uint64_t bytesDone;
  uint64_t bytesTotal;   // 0 = unknown
  double seconds;        // since the start
  std::string_view name;  // the current entry, display form
};

// The bar line, at most `width` columns: percentage, bar, entries, bytes, throughput, the current name
// (its start cut off when short of room).
std::string FormatProgressLine(const ProgressLine& line, int width);
// "1.5 MiB", "734 KiB", "12 bytes".
std::string FormatBytes(uint64_t bytes);
// Columns a UTF-8 text takes on a terminal (wide East Asian characters count two, combining marks none).
int DisplayWidth(std::string_view text);
// A name fit for the terminal: control characters (C0, DEL and C1) become '?'.
std::string Printable(std::string_view utf8);

class Progress {
 public:
  // testOnly changes the wording: files are tested, not written.
  Progress(std::FILE* out, ProgressStyle style, bool testOnly);

  void SetTotals(uint32_t entries, uint64_t bytes);
  // An entry begins (name in display form; folders end in '/').
  void EntryStarted(std::string_view name, const RunCounts& counts);
  // An entry is done with; the line form prints a file written or tested and a folder written.
  void EntryFinished(std::string_view name, bool folder, bool done, const RunCounts& counts);
  // Redraws the bar when it is due (called between files).
  void Tick(const RunCounts& counts);
  // Takes the bar off the screen before a message or question is written; the next update draws it again.
  void Clear();
  // The closing line (not with --quiet), after the bar is cleared for good.
  void Close(const RunCounts& counts, bool cancelled);

 private:
  void Draw(const RunCounts& counts);

  std::FILE* out_;
  ProgressStyle style_;
  bool testOnly_;
  uint32_t entriesTotal_ = 0;
  uint64_t bytesTotal_ = 0;
  std::string current_;
  bool shown_ = false;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point lastDraw_;
};

// "Done: 3 files and 1 folder written, 0 errors." and its variants.
std::string ClosingLine(const RunCounts& counts, bool testOnly, bool cancelled);

}  // namespace zor
