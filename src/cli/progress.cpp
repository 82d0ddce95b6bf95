// The progress bar, the per-entry lines and the closing line of zor extract and zor test.
#include "cli/progress.h"

#include <algorithm>

#include "cli/terminal.h"

namespace zor {
namespace {

constexpr int kBarWidth = 20;
constexpr int kNameRoom = 30;
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

// The code point starting at text[i] and its byte count; a stray byte stands for itself.
uint32_t DecodeUtf8(std::string_view text, size_t i, size_t* length) {
  const unsigned char c = static_cast<unsigned char>(text[i]);
  size_t n = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
  if (i + n > text.size()) n = 1;
  uint32_t cp = n == 1 ? c : c & (0x3F >> (n - 1));
  for (size_t k = 1; k < n; ++k) {
    const unsigned char t = static_cast<unsigned char>(text[i + k]);
    if ((t & 0xC0) != 0x80) {
      n = 1;
      cp = c;
      break;
    }
    cp = (cp << 6) | (t & 0x3F);
  }
  *length = n;
  return cp;
}

int CodePointWidth(uint32_t cp) {
  if ((cp >= 0x0300 && cp <= 0x036F) || (cp >= 0x200B && cp <= 0x200F)) return 0;
  if ((cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) || (cp >= 0xAC00 && cp <= 0xD7A3) ||
      (cp >= 0xF900 && cp <= 0xFAFF) || (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
      (cp >= 0xFFE0 && cp <= 0xFFE6))
    return 2;
  return 1;
}

std::string Plural(uint32_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

std::string FormatBytes(uint64_t bytes) {
  char text[32];
  if (bytes < 1024) {
    std::snprintf(text, sizeof text, "%llu %s", static_cast<unsigned long long>(bytes), bytes == 1 ? "byte" : "bytes");
  } else if (bytes < 1024 * 1024) {
    std::snprintf(text, sizeof text, "%.1f KiB", static_cast<double>(bytes) / 1024);
  } else if (bytes < 1024ull * 1024 * 1024) {
    std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1024 * 1024));
  } else {
    std::snprintf(text, sizeof text, "%.2f GiB", static_cast<double>(bytes) / (1024.0 * 1024 * 1024));
  }
  return text;
}

int DisplayWidth(std::string_view text) {
  int width = 0;
  for (size_t i = 0, n = 0; i < text.size(); i += n) width += CodePointWidth(DecodeUtf8(text, i, &n));
  return width;
}

std::string Printable(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0, n = 0; i < utf8.size(); i += n) {
    const uint32_t cp = DecodeUtf8(utf8, i, &n);
    if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) out += '?';
    else out.append(utf8.substr(i, n));
  }
  return out;
}

std::string FormatProgressLine(const ProgressLine& line, int width) {
  const double fraction =
      line.bytesTotal > 0 ? static_cast<double>(line.bytesDone) / static_cast<double>(line.bytesTotal)
      : line.entriesTotal > 0 ? static_cast<double>(line.entriesDone) / line.entriesTotal
                              : 0.0;
  const int percent = static_cast<int>(fraction * 100);
  char head[64];
  std::snprintf(head, sizeof head, "%3d%%", percent > 100 ? 100 : percent);
  std::string bar(kBarWidth, ' ');
  const int filled = static_cast<int>(fraction * kBarWidth);
  for (int i = 0; i < filled && i < kBarWidth; ++i) bar[i] = '=';
  if (filled < kBarWidth) bar[filled] = '>';

  char counts[128];
  std::snprintf(counts, sizeof counts, "%u/%u  %s", line.entriesDone, line.entriesTotal,
                FormatBytes(line.bytesDone).c_str());
  std::string rate;
  if (line.seconds >= 0.2) {
    rate = "  " + FormatBytes(static_cast<uint64_t>(static_cast<double>(line.bytesDone) / line.seconds)) + "/s";
  }

  // Leave the last column free: writing into it makes some terminals wrap. The bar goes first when
  // the name would get fewer than kNameRoom columns with it.
  const int room = width - 1;
  const int nameWidth = DisplayWidth(line.name);
  const std::string full = std::string(head) + " [" + bar + "] " + counts + rate;
  const std::string compact = std::string(head) + " " + counts + rate;
  std::string text = full;
  if (static_cast<int>(full.size()) + 2 + std::min(nameWidth, kNameRoom) > room) text = compact;
  if (static_cast<int>(text.size()) > room) text = std::string(head) + " " + counts;
  if (static_cast<int>(text.size()) > room) return text.substr(0, room > 0 ? room : 0);

  const int nameRoom = room - static_cast<int>(text.size()) - 2;
  if (nameRoom < 4 || line.name.empty()) return text;
  if (nameWidth <= nameRoom) return text + "  " + std::string(line.name);
  // Keep the end, which names the file.
  std::string_view name = line.name;
  while (!name.empty() && DisplayWidth(name) + 3 > nameRoom) {
    size_t n = 0;
    DecodeUtf8(name, 0, &n);
    name.remove_prefix(n);
  }
  return text + "  ..." + std::string(name);
}

std::string ClosingLine(const RunCounts& counts, bool testOnly, bool cancelled) {
  std::string line = cancelled ? "Cancelled: " : "Done: ";
  if (testOnly) {
    line += Plural(counts.files, "file", "files") + " tested";
  } else {
    line += Plural(counts.files, "file", "files") + " and " + Plural(counts.folders, "folder", "folders") +
            " written";
  }
  if (counts.kept > 0) line += ", " + Plural(counts.kept, "existing file", "existing files") + " kept";
  line += ", " + Plural(counts.errors, "error", "errors") + ".";
  return line;
}

Progress::Progress(std::FILE* out, ProgressStyle style, bool testOnly)
    : out_(out), style_(style), testOnly_(testOnly), start_(std::chrono::steady_clock::now()) {}

void Progress::SetTotals(uint32_t entries, uint64_t bytes) {
  entriesTotal_ = entries;
  bytesTotal_ = bytes;
}

void Progress::EntryStarted(std::string_view name, const RunCounts& counts) {
  current_.assign(name);
  if (style_ == ProgressStyle::kBar) Draw(counts);
}

void Progress::EntryFinished(std::string_view name, bool folder, bool done, const RunCounts& counts) {
  if (style_ == ProgressStyle::kLines && done && !(folder && testOnly_)) {
    std::fprintf(out_, "%s\n", std::string(name).c_str());
    std::fflush(out_);
  } else if (style_ == ProgressStyle::kBar) {
    Draw(counts);
  }
}

void Progress::Tick(const RunCounts& counts) {
  if (style_ == ProgressStyle::kBar) Draw(counts);
}

void Progress::Draw(const RunCounts& counts) {
  const auto now = std::chrono::steady_clock::now();
  if (shown_ && now - lastDraw_ < kRedrawInterval) return;
  lastDraw_ = now;
  const ProgressLine line{counts.entriesSeen, entriesTotal_, counts.bytes, bytesTotal_,
                          std::chrono::duration<double>(now - start_).count(), current_};
  std::fprintf(out_, "\r%s\x1b[K", FormatProgressLine(line, TerminalWidth(out_)).c_str());
  std::fflush(out_);
  shown_ = true;
}

void Progress::Clear() {
  if (!shown_) return;
  std::fputs("\r\x1b[K", out_);
  std::fflush(out_);
  shown_ = false;
}

void Progress::Close(const RunCounts& counts, bool cancelled) {
  Clear();
  if (style_ == ProgressStyle::kQuiet) return;
  std::fprintf(out_, "%s\n", ClosingLine(counts, testOnly_, cancelled).c_str());
  std::fflush(out_);
}

}  // namespace zor
