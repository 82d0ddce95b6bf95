// The progress bar: a line of text redrawn with a carriage return, fitted to the terminal's width.
#include "cli/progress_bar.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace zor {

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

size_t TerminalWidth(std::FILE* out) {
  struct winsize ws;
  if (ioctl(fileno(out), TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
  return 80;
}

}  // namespace

bool ProgressWanted() {
  const char* term = std::getenv("TERM");
  if (term && std::strcmp(term, "dumb") == 0) return false;
  if (std::getenv("NO_COLOR")) return false;
  return isatty(STDOUT_FILENO) && isatty(STDERR_FILENO);
}

ProgressBar::ProgressBar(std::FILE* out, std::string label, uint64_t total)
    : out_(out), label_(std::move(label)), total_(total), start_(std::chrono::steady_clock::now()),
      lastDraw_(start_) {}

std::string ProgressBar::Bytes(uint64_t bytes) {
  static const char* const kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB"};
  if (bytes < 1024) return std::to_string(bytes) + " B";
  double v = static_cast<double>(bytes);
  size_t unit = 0;
  while (v >= 1024 && unit + 1 < sizeof kUnits / sizeof kUnits[0]) {
    v /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, v < 10 ? "%.2f %s" : v < 100 ? "%.1f %s" : "%.0f %s", v, kUnits[unit]);
  return text;
}

std::string ProgressBar::Line(const std::string& label, uint64_t total, uint64_t bytesIn, uint64_t bytesOut,
                              double seconds, size_t width) {
  char figures[160];
  double ratio = bytesIn ? 100.0 * static_cast<double>(bytesOut) / static_cast<double>(bytesIn) : 0.0;
  double speed = seconds > 0 ? static_cast<double>(bytesIn) / seconds : 0.0;
  int percent = total ? static_cast<int>(std::min<uint64_t>(100, bytesIn * 100 / total)) : 100;
  // Fixed widths, so that the bar keeps its length as the figures change.
  std::snprintf(figures, sizeof figures, " %3d%%  %9s in, %9s out (%5.1f%%)  %9s/s", percent,
                Bytes(bytesIn).c_str(), Bytes(bytesOut).c_str(), ratio, Bytes(static_cast<uint64_t>(speed)).c_str());
  std::string line = label + " ";
  // The bar takes what the label and the figures leave, between 10 and 40 columns; none on a narrow terminal.
  size_t rest = width > line.size() + std::strlen(figures) + 3 ? width - line.size() - std::strlen(figures) - 3 : 0;
  size_t bar = std::min<size_t>(rest, 40);
  if (bar >= 10) {
    size_t done = total ? static_cast<size_t>(bar * std::min(bytesIn, total) / total) : bar;
    line += "[" + std::string(done, '#') + std::string(bar - done, '.') + "]";
  }
  line += figures;
  if (line.size() >= width) line.resize(width > 0 ? width - 1 : 0);
  return line;
}

void ProgressBar::Update(uint64_t bytesIn, uint64_t bytesOut) {
  auto now = std::chrono::steady_clock::now();
  if (drawn_ && now - lastDraw_ < kRedrawInterval && bytesIn < total_) return;
  lastDraw_ = now;
  double seconds = std::chrono::duration<double>(now - start_).count();
  std::string line = Line(label_, total_, bytesIn, bytesOut, seconds, TerminalWidth(out_));
  std::fprintf(out_, "\r%s\x1b[K", line.c_str());
  std::fflush(out_);
  drawn_ = true;
}

void ProgressBar::Clear() {
  if (!drawn_) return;
  std::fprintf(out_, "\r\x1b[K");
  std::fflush(out_);
  drawn_ = false;
}

}  // namespace zor
