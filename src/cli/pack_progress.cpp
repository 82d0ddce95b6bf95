// The packing bar: the layout of zor extract's bar, with bytes out and the ratio in place of the entries.
#include "cli/pack_progress.h"

#include <algorithm>

#include "cli/progress.h"
#include "cli/terminal.h"

namespace zor {

namespace {

constexpr int kBarWidth = 20;
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

}  // namespace

std::string FormatPackLine(uint64_t total, uint64_t bytesIn, uint64_t bytesOut, double seconds, int width) {
  const double fraction = total > 0 ? std::min(1.0, static_cast<double>(bytesIn) / static_cast<double>(total)) : 1.0;
  char head[8];
  std::snprintf(head, sizeof head, "%3d%%", static_cast<int>(fraction * 100));
  std::string bar(kBarWidth, ' ');
  const int filled = static_cast<int>(fraction * kBarWidth);
  std::fill(bar.begin(), bar.begin() + filled, '=');
  if (filled < kBarWidth) bar[filled] = '>';

  char figures[128];
  const double ratio = bytesIn > 0 ? 100.0 * static_cast<double>(bytesOut) / static_cast<double>(bytesIn) : 0.0;
  std::snprintf(figures, sizeof figures, "%s in, %s out (%.1f%%)", FormatBytes(bytesIn).c_str(),
                FormatBytes(bytesOut).c_str(), ratio);
  std::string rate;
  if (seconds >= 0.2) rate = "  " + FormatBytes(static_cast<uint64_t>(static_cast<double>(bytesIn) / seconds)) + "/s";

  // The last column stays free (writing into it makes some terminals wrap); the bar goes first.
  const int room = width - 1;
  std::string text = std::string(head) + " [" + bar + "] " + figures + rate;
  if (static_cast<int>(text.size()) > room) text = std::string(head) + " " + figures + rate;
  if (static_cast<int>(text.size()) > room) text = std::string(head) + " " + figures;
  if (static_cast<int>(text.size()) > room) text.resize(room > 0 ? static_cast<size_t>(room) : 0);
  return text;
}

PackProgress::PackProgress(std::FILE* out, uint64_t total)
    : out_(out), total_(total), start_(std::chrono::steady_clock::now()), lastDraw_(start_) {}

void PackProgress::Update(uint64_t bytesIn, uint64_t bytesOut) {
  const auto now = std::chrono::steady_clock::now();
  if (shown_ && now - lastDraw_ < kRedrawInterval && bytesIn < total_) return;
  lastDraw_ = now;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  std::string line = FormatPackLine(total_, bytesIn, bytesOut, seconds, TerminalWidth(out_));
  std::fprintf(out_, "\r%s\x1b[K", line.c_str());
  std::fflush(out_);
  shown_ = true;
}

void PackProgress::Clear() {
  if (!shown_) return;
  std::fprintf(out_, "\r\x1b[K");
  std::fflush(out_);
  shown_ = false;
}

}  // namespace zor
