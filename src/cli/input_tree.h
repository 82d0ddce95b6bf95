// The inputs of `zor create`: files and folders walked into archive entries, every name checked on the
// way against what the code page, Windows and the self-extractor accept.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/code_page.h"
#include "cli/host_files.h"

namespace zor {

inline constexpr size_t kMaxStoredPath = 259;  // the extractor's full paths hold at most 259 characters

struct DosTime {
  uint16_t date;
  uint16_t time;
};

// Seconds since 1970 (UTC) as a DOS date and local time, in 2-second steps rounded down. DOS dates run from
// 1980 to 2107: times outside are clamped to the nearest end and `clamped` is set.
DosTime ToDosTime(int64_t seconds, bool& clamped);

// Why a name (one path component, UTF-8) cannot be stored, or an empty text when it can. Refused: names
// that are not UTF-8, characters Windows forbids in names (controls, < > : " / \ | ? *), names that Windows
// would change (a trailing dot or space), names of devices (CON, NUL, COM1...), and names of only dots and
// spaces, which the extractor refuses.
std::string CheckName(std::string_view name);

struct InputEntry {
  std::string source;      // where to read it
  std::string storedUtf8;  // the stored path in UTF-8, for messages
  std::string storedPath;  // in the code page, backslashes
  bool folder = false;
  uint64_t size = 0;
  uint8_t attributes = 0;  // 0x01 read-only, 0x10 folder, 0x20 archive
  DosTime created{}, written{};
  HostFacts walked;        // what the walk found at source: which file it was, and whether through a link
};

// Reads up to `size` bytes of a walked file from `offset` into `data` (`got`: how many), safely: never a
// FIFO or device swapped in since the walk (opened without waiting for a writer, and refused unless it is
// the regular file the walk found), never through a symbolic link where the walk found none. A size of 0
// only checks that. False with a message naming the file in `error`.
bool ReadWalkedFile(const InputEntry& entry, uint64_t offset, uint8_t* data, size_t size, size_t& got,
                    std::string& error);

struct InputTree {
  std::vector<InputEntry> folders;  // parents before their children
  std::vector<InputEntry> files;    // in walk order
  uint64_t totalBytes = 0;
  size_t clampedTimes = 0;          // entries whose times lie outside the DOS range
};

// How a text fails to convert, for a message: "holds "X", which code page N does not have", or "is not
// UTF-8 text".
std::string Unconvertible(CodePage& codePage, std::string_view utf8);

class EntrySelection;

struct InputRules {
  CodePage* codePage = nullptr;
  const EntrySelection* exclude = nullptr;  // what it excludes is left out, unread and unchecked
  std::optional<int64_t> latestTime;        // SOURCE_DATE_EPOCH: later times are stored as this one
  uint64_t outputStart = 0;     // bytes in front of the archive, for the largest file that fits
  bool skipOutput = false;      // the output file exists: never pack it into itself
  uint64_t outputDevice = 0;    // which file it is (HostFacts)
  uint64_t outputInode = 0;
};

struct InputPath {
  std::string path;
  bool listed = false;  // read from a list file
};

// The command line's inputs with each "@LISTFILE" replaced by the paths it lists, one a line (a CR before
// the line end is dropped) or, with `nulSeparated`, one per NUL-terminated piece; empty ones are skipped,
// and "@-" reads standard input. False with a message in `error` when a list cannot be read.
bool ExpandListFiles(const std::vector<std::string>& arguments, bool nulSeparated, std::vector<InputPath>& paths,
                     std::string& error);

// Walks the inputs: each input of the command line is stored under its own name, each listed one under its
// path as listed (without a leading '/' or "." components; ".." is refused; "." stands for what is in the
// folder), folders with everything below them (names sorted bytewise). The same file reached twice under
// one path is packed once. Symbolic links are followed; a link back to a folder it lies in is skipped with a
// warning, and so is a folder reached a second time (by device and inode: packed once, however many links
// lead to it), and sockets, pipes and devices found inside folders. Refusals go to `errors`, one message each, and
// make the result false.
bool CollectInputs(const std::vector<InputPath>& inputs, const InputRules& rules, InputTree& tree,
                   std::vector<std::string>& errors, std::vector<std::string>& warnings);

}  // namespace zor
