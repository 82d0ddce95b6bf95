// Walking the inputs of `zor create` and checking every name, path, size and time on the way.
#include "cli/input_tree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <cwctype>
#include <map>
#include <unordered_map>

#include "encoder/packer.h"

namespace zor {

namespace {

// Decodes one UTF-8 character at text[at], advancing `at`; false (and `at` one byte on) for bytes that are
// not the shortest form of a Unicode scalar value.
bool NextUtf8(std::string_view text, size_t& at, char32_t& c) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
  uint8_t first = byte(at);
  size_t length = first < 0x80 ? 1 : (first >> 5) == 6 ? 2 : (first >> 4) == 14 ? 3 : (first >> 3) == 30 ? 4 : 0;
  if (length == 0 || at + length > text.size()) {
    ++at;
    return false;
  }
  char32_t value = length == 1 ? first : first & (0x7F >> length);
  for (size_t k = 1; k < length; ++k) {
    if ((byte(at + k) & 0xC0) != 0x80) {
      ++at;
      return false;
    }
    value = (value << 6) | (byte(at + k) & 0x3F);
  }
  static constexpr char32_t kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < kSmallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    ++at;
    return false;
  }
  at += length;
  c = value;
  return true;
}

void AppendUtf8(char32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

constexpr uint8_t kReadOnly = 0x01;
constexpr uint8_t kFolderAttribute = 0x10;
constexpr uint8_t kArchiveAttribute = 0x20;

struct Facts {
  mode_t mode = 0;
  uint64_t size = 0;
  dev_t device = 0;
  ino_t inode = 0;
  int64_t written = 0;
  int64_t created = 0;  // the birth time where the file system keeps one, else the write time
};

// Follows symbolic links. Returns 0 or an errno value.
int Inspect(const std::string& path, Facts& facts) {
  struct statx sx;
  if (statx(AT_FDCWD, path.c_str(), AT_STATX_SYNC_AS_STAT, STATX_BASIC_STATS | STATX_BTIME, &sx) == 0) {
    facts.mode = sx.stx_mode;
    facts.size = sx.stx_size;
    facts.device = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    facts.inode = sx.stx_ino;
    facts.written = sx.stx_mtime.tv_sec;
    facts.created = (sx.stx_mask & STATX_BTIME) ? sx.stx_btime.tv_sec : facts.written;
    return 0;
  }
  if (errno != ENOSYS && errno != EPERM) return errno;  // statx filtered out: fall back to stat
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return errno;
  facts.mode = st.st_mode;
  facts.size = static_cast<uint64_t>(st.st_size);
  facts.device = st.st_dev;
  facts.inode = st.st_ino;
  facts.written = st.st_mtime;
  facts.created = st.st_mtime;
  return 0;
}

std::string Quote(std::string_view text) { return "\"" + std::string(text) + "\""; }

// Why Inspect failed, for a person: a link to nothing says so.
std::string Unreadable(const std::string& path, int error) {
  struct stat st;
  if (error == ENOENT && lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
    return Quote(path) + ": a symbolic link to something that does not exist";
  return Quote(path) + ": " + std::strerror(error);
}

bool IsDeviceName(std::string_view name) {
  // Windows opens the device whatever the extension: "nul.txt" is NUL.
  std::string stem(name.substr(0, name.find('.')));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (char& c : stem) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL") return true;
  return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
         stem[3] >= '1' && stem[3] <= '9';
}

// Names that differ only in case are one name on Windows. Simple upper-casing by the Unicode tables, as
// Windows' own comparison does.
class CaseFolder {
 public:
  CaseFolder() : locale_(newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0))) {}
  ~CaseFolder() {
    if (locale_) freelocale(locale_);
  }
  CaseFolder(const CaseFolder&) = delete;
  CaseFolder& operator=(const CaseFolder&) = delete;

  std::string Fold(std::string_view utf8) const {
    std::string out;
    size_t at = 0;
    while (at < utf8.size()) {
      size_t start = at;
      char32_t c;
      if (!NextUtf8(utf8, at, c)) {
        out.append(utf8.substr(start, at - start));
        continue;
      }
      if (locale_) {
        c = static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), locale_));
      } else if (c >= 'a' && c <= 'z') {
        c -= 'a' - 'A';
      }
      AppendUtf8(c, out);
    }
    return out;
  }

 private:
  locale_t locale_;
};

class Walker {
 public:
  Walker(const InputRules& rules, InputTree& tree, std::vector<std::string>& errors,
         std::vector<std::string>& warnings)
      : rules_(rules), tree_(tree), errors_(errors), warnings_(warnings) {}

  void AddInput(std::string path);

 private:
  struct Ancestor {
    dev_t device;
    ino_t inode;
    std::string source;
  };

  void Visit(const std::string& source, const std::string& storedUtf8, const std::string& stored,
             const Facts& facts, bool named);
  // Checks a name and converts it; false (with the refusal noted) when it cannot be stored.
  bool StoreName(const std::string& source, const std::string& name, std::string& converted);
  bool CheckPath(const std::string& source, const std::string& storedUtf8, const std::string& stored);
  InputEntry Entry(const std::string& source, const std::string& storedUtf8, const std::string& stored,
                   const Facts& facts, bool folder);

  const InputRules& rules_;
  InputTree& tree_;
  std::vector<std::string>& errors_;
  std::vector<std::string>& warnings_;
  std::vector<Ancestor> ancestors_;
  std::map<std::pair<dev_t, ino_t>, std::string> visited_;  // every folder walked so far, by device and inode
  CaseFolder folder_;
  struct Seen {
    std::string source, storedUtf8;
  };
  std::unordered_map<std::string, Seen> seen_;  // by stored path with case folded
};

bool Walker::StoreName(const std::string& source, const std::string& name, std::string& converted) {
  std::string reason = CheckName(name);
  if (!reason.empty()) {
    errors_.push_back(Quote(source) + ": the name " + Quote(name) + " " + reason);
    return false;
  }
  if (!rules_.codePage->FromUtf8(name, converted)) {
    errors_.push_back(Quote(source) + ": the name " + Quote(name) + " " + Unconvertible(*rules_.codePage, name) +
                      " (choose another with --codepage)");
    return false;
  }
  return true;
}

bool Walker::CheckPath(const std::string& source, const std::string& storedUtf8, const std::string& stored) {
  if (stored.size() > kMaxStoredPath) {
    errors_.push_back(Quote(source) + ": its stored path is " + std::to_string(stored.size()) +
                      " characters long; the self-extractor takes at most " + std::to_string(kMaxStoredPath));
    return false;
  }
  auto [it, added] = seen_.emplace(folder_.Fold(storedUtf8), Seen{source, storedUtf8});
  if (added) return true;
  const Seen& first = it->second;
  if (first.storedUtf8 == storedUtf8) {
    errors_.push_back(Quote(first.source) + " and " + Quote(source) + " would both be stored as " +
                      Quote(storedUtf8));
    return false;
  }
  // Both are kept, as other archivers keep them: on Linux they extract side by side; on Windows the
  // second meets the first (the overwrite question, or a failure where one is a folder).
  warnings_.push_back(Quote(first.source) + " and " + Quote(source) + " are stored as " + Quote(first.storedUtf8) +
                      " and " + Quote(storedUtf8) +
                      ", one name to Windows, which ignores case: extracted there, the second meets the first");
  return true;
}

InputEntry Walker::Entry(const std::string& source, const std::string& storedUtf8, const std::string& stored,
                         const Facts& facts, bool folder) {
  InputEntry e;
  e.source = source;
  e.storedUtf8 = storedUtf8;
  e.storedPath = stored;
  e.folder = folder;
  e.size = folder ? 0 : facts.size;
  e.device = facts.device;
  e.inode = facts.inode;
  struct stat st;
  e.link = lstat(source.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
  // Folders get no read-only bit: they are created before their files, and an extractor that applies
  // the bit to a folder could then not write into it.
  e.attributes = folder ? kFolderAttribute : kArchiveAttribute;
  if (!folder && !(facts.mode & S_IWUSR)) e.attributes |= kReadOnly;
  bool clamped = false;
  e.written = ToDosTime(facts.written, clamped);
  e.created = ToDosTime(facts.created, clamped);
  if (clamped) ++tree_.clampedTimes;
  return e;
}

void Walker::AddInput(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  Facts facts;
  if (int error = Inspect(path, facts); error != 0) {
    errors_.push_back(Unreadable(path, error));
    return;
  }
  std::string name = path.substr(path.rfind('/') + 1);
  if (name.empty() || name == "." || name == "..") {
    // "." or "dir/..": the folder's own name, from its real path.
    char* real = realpath(path.c_str(), nullptr);
    std::string resolved = real ? real : "";
    std::free(real);
    name = resolved.substr(resolved.rfind('/') + 1);
    if (name.empty()) {
      errors_.push_back(Quote(path) + ": a file system's root has no name to store; name the folders in it");
      return;
    }
  }
  std::string stored;
  if (!StoreName(path, name, stored)) return;
  Visit(path, name, stored, facts, true);
}

void Walker::Visit(const std::string& source, const std::string& storedUtf8, const std::string& stored,
                   const Facts& facts, bool named) {
  if (rules_.skipOutput && facts.device == rules_.outputDevice && facts.inode == rules_.outputInode) {
    if (named) {
      errors_.push_back(Quote(source) + ": it is the output file");
    } else {
      warnings_.push_back("skipping " + Quote(source) + ": it is the output file");
    }
    return;
  }
  if (S_ISREG(facts.mode)) {
    if (!CheckPath(source, storedUtf8, stored)) return;
    InputEntry e = Entry(source, storedUtf8, stored, facts, false);
    std::string error;
    int fd = OpenWalkedFile(e, error);
    if (fd < 0) {
      errors_.push_back(error);
      return;
    }
    close(fd);
    uint64_t largest = encoder::LargestFile(rules_.outputStart, stored.size());
    if (facts.size > largest) {
      errors_.push_back(Quote(source) + ": " + std::to_string(facts.size) +
                        " bytes is more than a self-extractor can hold (at most " + std::to_string(largest) +
                        " bytes: the self-extractor must stay below 2 GiB)");
      return;
    }
    tree_.files.push_back(std::move(e));
    tree_.totalBytes += facts.size;
    return;
  }
  if (!S_ISDIR(facts.mode)) {
    if (named) {
      errors_.push_back(Quote(source) + ": not a file or a folder");
    } else {
      warnings_.push_back("skipping " + Quote(source) + ": not a file or a folder");
    }
    return;
  }
  for (const Ancestor& a : ancestors_) {
    if (a.device == facts.device && a.inode == facts.inode) {
      warnings_.push_back("skipping " + Quote(source) + ": it leads back to " + Quote(a.source) +
                          ", a folder it lies in");
      return;
    }
  }
  if (!CheckPath(source, storedUtf8, stored)) return;
  // Links may lead to one folder many times over (each level of a tree of links doubling the count):
  // it is packed where the walk first meets it.
  auto [first, added] = visited_.emplace(std::make_pair(facts.device, facts.inode), source);
  if (!added) {
    warnings_.push_back("skipping " + Quote(source) + ": it is " + Quote(first->second) + ", packed already");
    return;
  }
  DIR* dir = opendir(source.c_str());
  if (!dir) {
    errors_.push_back(Quote(source) + ": " + std::strerror(errno));
    return;
  }
  std::vector<std::string> names;
  errno = 0;
  while (const dirent* d = readdir(dir)) {
    if (std::strcmp(d->d_name, ".") != 0 && std::strcmp(d->d_name, "..") != 0) names.emplace_back(d->d_name);
  }
  int readError = errno;
  closedir(dir);
  if (readError != 0) {
    errors_.push_back(Quote(source) + ": " + std::strerror(readError));
    return;
  }
  std::sort(names.begin(), names.end());
  tree_.folders.push_back(Entry(source, storedUtf8, stored, facts, true));
  ancestors_.push_back({facts.device, facts.inode, source});
  for (const std::string& name : names) {
    std::string child = source == "/" ? "/" + name : source + "/" + name;
    Facts childFacts;
    if (int error = Inspect(child, childFacts); error != 0) {
      errors_.push_back(Unreadable(child, error));
      continue;
    }
    std::string converted;
    if (!StoreName(child, name, converted)) continue;
    Visit(child, storedUtf8 + "\\" + name, stored + "\\" + converted, childFacts, false);
  }
  ancestors_.pop_back();
}

}  // namespace

int OpenWalkedFile(const InputEntry& entry, std::string& error) {
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer, for ever.
  const int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | (entry.link ? 0 : O_NOFOLLOW);
  int fd = open(entry.source.c_str(), flags);
  if (fd < 0) {
    error = Quote(entry.source) + ": " + std::strerror(errno);
    return -1;
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_dev != entry.device || st.st_ino != entry.inode) {
    close(fd);
    error = Quote(entry.source) + " changed while it was being packed: it is no longer the file that was found";
    return -1;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

std::string Unconvertible(CodePage& codePage, std::string_view utf8) {
  std::string out;
  for (size_t at = 0; at < utf8.size();) {
    size_t start = at;
    char32_t c;
    if (!NextUtf8(utf8, at, c)) return "is not UTF-8 text";
    std::string_view one = utf8.substr(start, at - start);
    if (!codePage.FromUtf8(one, out))
      return "holds " + Quote(one) + ", which code page " + std::to_string(codePage.number()) + " does not have";
  }
  return "cannot be converted to code page " + std::to_string(codePage.number());
}

DosTime ToDosTime(int64_t seconds, bool& clamped) {
  constexpr DosTime kFirst = {(0 << 9) | (1 << 5) | 1, 0};
  constexpr DosTime kLast = {(127 << 9) | (12 << 5) | 31, (23 << 11) | (59 << 5) | 29};
  time_t t = static_cast<time_t>(seconds);
  struct tm local;
  if (!localtime_r(&t, &local)) {
    clamped = true;
    return seconds < 0 ? kFirst : kLast;
  }
  int year = local.tm_year + 1900;
  if (year < 1980) {
    clamped = true;
    return kFirst;
  }
  if (year > 2107) {
    clamped = true;
    return kLast;
  }
  DosTime d;
  d.date = static_cast<uint16_t>(((year - 1980) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
  // A leap second (tm_sec 60) stays within the minute.
  d.time = static_cast<uint16_t>((local.tm_hour << 11) | (local.tm_min << 5) | (std::min(local.tm_sec, 59) / 2));
  return d;
}

std::string CheckName(std::string_view name) {
  if (name.empty()) return "is empty";
  size_t at = 0;
  while (at < name.size()) {
    char32_t c;
    if (!NextUtf8(name, at, c)) return "is not UTF-8 text";
  }
  bool onlyDotsAndSpaces = name.find_first_not_of(". ") == std::string_view::npos;
  if (onlyDotsAndSpaces) return "consists of dots and spaces only, which the self-extractor refuses";
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20) return "holds a control character, which Windows does not allow in names";
    if (std::strchr("<>:\"/\\|?*", c))
      return std::string("holds \"") + c + "\", which Windows does not allow in names";
  }
  if (name.back() == '.' || name.back() == ' ') return "ends in a dot or a space, which Windows would drop";
  if (IsDeviceName(name)) return "is the name of a device on Windows";
  return "";
}

bool CollectInputs(const std::vector<std::string>& inputs, const InputRules& rules, InputTree& tree,
                   std::vector<std::string>& errors, std::vector<std::string>& warnings) {
  size_t before = errors.size();
  Walker walker(rules, tree, errors, warnings);
  for (const std::string& input : inputs) walker.AddInput(input);
  // The self-extractor refuses an archive without entries.
  if (errors.size() == before && tree.folders.empty() && tree.files.empty()) errors.push_back("nothing to pack");
  return errors.size() == before;
}

}  // namespace zor
