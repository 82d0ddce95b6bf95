// zor list: walks the directory as the extractor does and prints each entry; nothing is decoded.
//
// The JSON form (one entry per line, keys always present and in this order):
//   {"code_page": 1252,
//    "entries": [
//     {"path": "docs/a.txt", "kind": "file", "size": 12, "modified": "2024-05-06T07:08:10",
//      "created": null, "attributes": "R--A", "crc32": "0a1b2c3d"},
//     ...],
//    "complete": true}
// path: UTF-8, '/' between components; kind: "file" or "folder"; size: bytes (0 for folders); modified
// and created: DOS local time as stored, null when not set; attributes: R, H, S, A or '-' in that order;
// crc32: eight lowercase hex digits, null for folders; complete: false when the directory is damaged
// (the exit code is then 2 and the message on standard error).
#include "cli/list_command.h"

#include <vector>

#include "cli/archive_file.h"
#include "cli/exit_codes.h"
#include "cli/pattern.h"
#include "cli/progress.h"
#include "extract/errors.h"

namespace zor {
namespace {

struct Listed {
  std::string path;  // UTF-8, '/' separators
  bool folder;
  uint32_t size;
  uint32_t crc;
  uint16_t writeDate, writeTime, createDate, createTime;
  uint8_t attributes;
};

std::string AttributeLetters(uint8_t attributes) {
  std::string letters = "----";
  if (attributes & kAttributeReadOnly) letters[0] = 'R';
  if (attributes & kAttributeHidden) letters[1] = 'H';
  if (attributes & kAttributeSystem) letters[2] = 'S';
  if (attributes & kAttributeArchive) letters[3] = 'A';
  return letters;
}

void PrintTableHead(std::FILE* out) {
  std::fprintf(out, "%-6s  %10s  %-19s  %-4s  %-8s  %s\n", "Kind", "Size", "Modified", "Attr", "CRC-32", "Path");
}

void PrintTableRow(std::FILE* out, const Listed& e) {
  const std::string when = FormatDosTime(e.writeDate, e.writeTime, ' ');
  char size[16] = "-";
  char crc[16] = "-";
  if (!e.folder) {
    std::snprintf(size, sizeof size, "%u", e.size);
    std::snprintf(crc, sizeof crc, "%08x", e.crc);
  }
  std::fprintf(out, "%-6s  %10s  %-19s  %-4s  %-8s  %s\n", e.folder ? "folder" : "file", size,
               when.empty() ? "-" : when.c_str(), AttributeLetters(e.attributes).c_str(), crc,
               Printable(e.path).c_str());
}

std::string JsonTime(uint16_t date, uint16_t time) {
  const std::string text = FormatDosTime(date, time, 'T');
  return text.empty() ? "null" : "\"" + text + "\"";
}

void PrintJsonEntry(std::FILE* out, const Listed& e, bool first) {
  char crc[16] = "null";
  if (!e.folder) std::snprintf(crc, sizeof crc, "\"%08x\"", e.crc);
  std::fprintf(out,
               "%s\n  {\"path\": %s, \"kind\": \"%s\", \"size\": %u, \"modified\": %s, \"created\": %s, "
               "\"attributes\": \"%s\", \"crc32\": %s}",
               first ? "" : ",", JsonString(e.path).c_str(), e.folder ? "folder" : "file", e.folder ? 0 : e.size,
               JsonTime(e.writeDate, e.writeTime).c_str(), JsonTime(e.createDate, e.createTime).c_str(),
               AttributeLetters(e.attributes).c_str(), crc);
}

}  // namespace

std::string JsonString(std::string_view utf8) {
  std::string out = "\"";
  for (size_t i = 0; i < utf8.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    char escape[8];
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else if (c == 0xC2 && i + 1 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(utf8[i + 1]) <= 0x9F) {
      // A C1 control character (U+0080 to U+009F), which some terminals obey.
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned char>(utf8[++i]));
      out += escape;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string FormatDosTime(uint16_t date, uint16_t time, char separator) {
  static constexpr uint8_t kDaysInMonth[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (date == 0) return std::string();
  const unsigned year = 1980 + (date >> 9), month = (date >> 5) & 0x0F, day = date & 0x1F;
  const unsigned hour = time >> 11, minute = (time >> 5) & 0x3F, second = (time & 0x1F) * 2;
  if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59) return std::string();
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (day > kDaysInMonth[month - 1] + (month == 2 && leap ? 1u : 0u)) return std::string();
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u%c%02u:%02u:%02u", year, month, day, separator, hour, minute,
                second);
  return text;
}

int RunList(const ListOptions& options, CodePage& codePage, std::FILE* out, FrontEnd& frontEnd) {
  ArchiveFile archive(frontEnd, &codePage);
  Extraction& x = archive.x();
  if (ErrorCode r = archive.Open(options.path); r < 0) return archive.ReportOpenFailure(r, options.path);

  EntrySelection selection(options.patterns, options.excludes);
  uint32_t files = 0, folders = 0;
  uint64_t bytes = 0;
  bool first = true;
  if (options.json) {
    std::fprintf(out, "{\"code_page\": %u,\n \"entries\": [", codePage.number());
  } else {
    PrintTableHead(out);
  }
  const ErrorCode walk = WalkDirectory(x, [&](const DirectoryEntry& entry, std::string_view storedPath) {
    std::string path = codePage.ToNativePath(storedPath);
    if (!selection.Selects(path)) return;
    Listed e{std::move(path),
             (entry.flags & kEntryFolder) != 0,
             entry.length,
             entry.crc,
             entry.writeDate,
             entry.writeTime,
             entry.createDate,
             entry.createTime,
             entry.attributes};
    if (e.folder) {
      ++folders;
    } else {
      ++files;
      bytes += e.size;
    }
    if (options.json) PrintJsonEntry(out, e, first);
    else PrintTableRow(out, e);
    first = false;
  });
  if (options.json) {
    std::fprintf(out, "%s],\n \"complete\": %s}\n", first ? "" : "\n ", walk == 0 ? "true" : "false");
  } else if (walk == 0) {
    std::fprintf(out, "%u %s and %u %s, %llu %s\n", files, files == 1 ? "file" : "files", folders,
                 folders == 1 ? "folder" : "folders", static_cast<unsigned long long>(bytes),
                 bytes == 1 ? "byte" : "bytes");
  }
  std::fflush(out);
  if (walk != 0) return ReportFailure(x, walk, options.path, &codePage);
  return ReportUnmatched(selection, stderr) > 0 ? kExitDataError : kExitOk;
}

}  // namespace zor
