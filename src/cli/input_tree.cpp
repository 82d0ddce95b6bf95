// Walking the inputs of `zor create` and checking every name, path, size and time on the way.
#include "cli/input_tree.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <unordered_map>

#include "cli/host_files.h"
#include "cli/pattern.h"
#include "encoder/packer.h"
#include "encoder/utf8.h"

namespace zor {

namespace {

constexpr uint8_t kReadOnly = 0x01;
constexpr uint8_t kFolderAttribute = 0x10;
constexpr uint8_t kArchiveAttribute = 0x20;

std::string Quote(std::string_view text) { return "\"" + std::string(text) + "\""; }

bool IsDeviceName(std::string_view name) {
  // Windows opens the device whatever the extension: "nul.txt" is NUL.
  std::string stem(name.substr(0, name.find('.')));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (char& c : stem) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL") return true;
  return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
         stem[3] >= '1' && stem[3] <= '9';
}

class Walker {
 public:
  Walker(const InputRules& rules, InputTree& tree, std::vector<std::string>& errors,
         std::vector<std::string>& warnings)
      : rules_(rules), tree_(tree), errors_(errors), warnings_(warnings) {}

  void AddInput(std::string path);
  void AddListed(const std::string& path);

 private:
  struct Ancestor {
    uint64_t device, inode;
    std::string source;
  };

  void Visit(const std::string& source, const std::string& storedUtf8, const std::string& stored,
             const HostFacts& facts, bool named);
  // The folder's entries, stored behind its stored path (at the top when that is empty).
  void VisitChildren(const std::string& source, const std::string& storedUtf8, const std::string& stored,
                     const HostFacts& facts);
  // Checks a name and converts it; false (with the refusal noted) when it cannot be stored.
  bool StoreName(const std::string& source, const std::string& name, std::string& converted);
  enum class PathCheck { kNew, kAgain, kRefused };  // kAgain: the same file under the same path, once more
  PathCheck CheckPath(const std::string& source, const std::string& storedUtf8, const std::string& stored,
                      const HostFacts& facts);
  // Whether an --exclude pattern leaves the entry out (storedUtf8 with backslashes).
  bool Excluded(std::string storedUtf8) const;
  InputEntry Entry(const std::string& source, const std::string& storedUtf8, const std::string& stored,
                   const HostFacts& facts, bool folder);

  const InputRules& rules_;
  InputTree& tree_;
  std::vector<std::string>& errors_;
  std::vector<std::string>& warnings_;
  std::vector<Ancestor> ancestors_;
  std::map<std::pair<uint64_t, uint64_t>, std::string> visited_;  // every folder walked so far, by device and inode
  struct Seen {
    std::string source, storedUtf8;
    uint64_t device, inode;
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

Walker::PathCheck Walker::CheckPath(const std::string& source, const std::string& storedUtf8,
                                    const std::string& stored, const HostFacts& facts) {
  if (stored.size() > kMaxStoredPath) {
    errors_.push_back(Quote(source) + ": its stored path is " + std::to_string(stored.size()) +
                      " characters long; the self-extractor takes at most " + std::to_string(kMaxStoredPath));
    return PathCheck::kRefused;
  }
  // Names that differ only in case are one name on Windows.
  auto [it, added] = seen_.emplace(HostFoldCase(storedUtf8), Seen{source, storedUtf8, facts.device, facts.inode});
  if (added) return PathCheck::kNew;
  const Seen& first = it->second;
  if (first.storedUtf8 == storedUtf8) {
    // A list from `find` names a folder and then what is in it: each is packed once.
    if (first.device == facts.device && first.inode == facts.inode) return PathCheck::kAgain;
    errors_.push_back(Quote(first.source) + " and " + Quote(source) + " would both be stored as " +
                      Quote(storedUtf8));
    return PathCheck::kRefused;
  }
  // Both are kept, as other archivers keep them: on Linux they extract side by side; on Windows the
  // second meets the first (the overwrite question, or a failure where one is a folder).
  warnings_.push_back(Quote(first.source) + " and " + Quote(source) + " are stored as " + Quote(first.storedUtf8) +
                      " and " + Quote(storedUtf8) +
                      ", one name to Windows, which ignores case: extracted there, the second meets the first");
  return PathCheck::kNew;
}

bool Walker::Excluded(std::string storedUtf8) const {
  if (!rules_.exclude) return false;
  std::replace(storedUtf8.begin(), storedUtf8.end(), '\\', '/');
  return rules_.exclude->Excludes(storedUtf8);
}

InputEntry Walker::Entry(const std::string& source, const std::string& storedUtf8, const std::string& stored,
                         const HostFacts& facts, bool folder) {
  InputEntry e;
  e.source = source;
  e.storedUtf8 = storedUtf8;
  e.storedPath = stored;
  e.folder = folder;
  e.size = folder ? 0 : facts.size;
  e.walked = facts;
  // Folders get no read-only bit: they are created before their files, and an extractor that applies
  // the bit to a folder could then not write into it.
  e.attributes = folder ? kFolderAttribute : kArchiveAttribute;
  if (!folder && facts.readOnly) e.attributes |= kReadOnly;
  bool clamped = false;
  int64_t written = facts.written, created = facts.created;
  if (rules_.latestTime) {
    written = std::min(written, *rules_.latestTime);
    created = std::min(created, *rules_.latestTime);
  }
  e.written = ToDosTime(written, clamped);
  e.created = ToDosTime(created, clamped);
  if (clamped) ++tree_.clampedTimes;
  return e;
}

void Walker::AddInput(std::string path) {
  while (path.size() > 1 && HostIsSeparator(path.back()) && !(path.size() == 3 && path[1] == ':')) path.pop_back();
  HostFacts facts;
  std::string reason;
  if (!HostInspect(path, facts, reason)) {
    errors_.push_back(Quote(path) + ": " + reason);
    return;
  }
  size_t separator = path.size();
  while (separator > 0 && !HostIsSeparator(path[separator - 1])) --separator;
  std::string name = path.substr(separator);
  if (name.empty() || name == "." || name == ".." || (name.size() == 2 && name[1] == ':')) {
    // "." or "dir/..": the folder's own name, from its real path.
    name = HostFolderName(path);
    if (name.empty()) {
      errors_.push_back(Quote(path) + ": a file system's root has no name to store; name the folders in it");
      return;
    }
  }
  std::string stored;
  if (!StoreName(path, name, stored)) return;
  if (Excluded(name)) return;
  Visit(path, name, stored, facts, true);
}

void Walker::AddListed(const std::string& path) {
  HostFacts facts;
  std::string reason;
  if (!HostInspect(path, facts, reason)) {
    errors_.push_back(Quote(path) + ": " + reason);
    return;
  }
  // Stored as listed, relative: without a leading separator and without "." components.
  std::string storedUtf8, stored;
  for (size_t start = 0; start <= path.size();) {
    size_t end = start;
    while (end < path.size() && !HostIsSeparator(path[end])) ++end;
    const std::string name = path.substr(start, end - start);
    start = end + 1;
    if (name.empty() || name == ".") continue;
    if (name == "..") {
      errors_.push_back(Quote(path) + ": a listed path cannot climb out with \"..\" (list from the folder above)");
      return;
    }
    std::string converted;
    if (!StoreName(path, name, converted)) return;
    storedUtf8 += (storedUtf8.empty() ? "" : "\\") + name;
    stored += (stored.empty() ? "" : "\\") + converted;
  }
  if (storedUtf8.empty()) {
    // "." (as `find .` lists it first): what is in the folder, at the top.
    if (HostFolderName(path).empty()) {
      errors_.push_back(Quote(path) + ": a file system's root has no name to store; name the folders in it");
      return;
    }
    VisitChildren(path, storedUtf8, stored, facts);
    return;
  }
  if (Excluded(storedUtf8)) return;
  Visit(path, storedUtf8, stored, facts, true);
}

void Walker::Visit(const std::string& source, const std::string& storedUtf8, const std::string& stored,
                   const HostFacts& facts, bool named) {
  if (rules_.skipOutput && facts.device == rules_.outputDevice && facts.inode == rules_.outputInode) {
    if (named) {
      errors_.push_back(Quote(source) + ": it is the output file");
    } else {
      warnings_.push_back("skipping " + Quote(source) + ": it is the output file");
    }
    return;
  }
  std::string reason;
  if (facts.kind == HostKind::kFile) {
    if (CheckPath(source, storedUtf8, stored, facts) != PathCheck::kNew) return;
    InputEntry e = Entry(source, storedUtf8, stored, facts, false);
    std::string error;
    size_t got;
    if (!ReadWalkedFile(e, 0, nullptr, 0, got, error)) {
      errors_.push_back(error);
      return;
    }
    uint64_t largest = encoder::LargestFile(rules_.outputStart);
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
  if (facts.kind != HostKind::kFolder) {
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
  if (CheckPath(source, storedUtf8, stored, facts) != PathCheck::kNew) return;
  // Links may lead to one folder many times over (each level of a tree of links doubling the count):
  // it is packed where the walk first meets it.
  auto [first, added] = visited_.emplace(std::make_pair(facts.device, facts.inode), source);
  if (!added) {
    warnings_.push_back("skipping " + Quote(source) + ": it is " + Quote(first->second) + ", packed already");
    return;
  }
  tree_.folders.push_back(Entry(source, storedUtf8, stored, facts, true));
  VisitChildren(source, storedUtf8, stored, facts);
}

void Walker::VisitChildren(const std::string& source, const std::string& storedUtf8, const std::string& stored,
                           const HostFacts& facts) {
  std::vector<std::string> names;
  std::string reason;
  if (!HostListFolder(source, names, reason)) {
    errors_.push_back(Quote(source) + ": " + reason);
    return;
  }
  std::sort(names.begin(), names.end());
  ancestors_.push_back({facts.device, facts.inode, source});
  for (const std::string& name : names) {
    const std::string childUtf8 = storedUtf8.empty() ? name : storedUtf8 + "\\" + name;
    if (Excluded(childUtf8)) continue;
    std::string child = HostJoin(source, name);
    HostFacts childFacts;
    if (!HostInspect(child, childFacts, reason)) {
      errors_.push_back(Quote(child) + ": " + reason);
      continue;
    }
    std::string converted;
    if (!StoreName(child, name, converted)) continue;
    Visit(child, childUtf8, stored.empty() ? converted : stored + "\\" + converted, childFacts, false);
  }
  ancestors_.pop_back();
}

}  // namespace

bool ReadWalkedFile(const InputEntry& entry, uint64_t offset, uint8_t* data, size_t size, size_t& got,
                    std::string& error) {
  std::string reason;
  if (HostReadWalked(entry.source, entry.walked, offset, data, size, got, reason)) return true;
  error = Quote(entry.source) + ": " + reason;
  return false;
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
  std::tm local;
  if (!HostLocalTime(seconds, local)) {
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

bool ExpandListFiles(const std::vector<std::string>& arguments, bool nulSeparated, std::vector<InputPath>& paths,
                     std::string& error) {
  for (const std::string& input : arguments) {
    if (input.size() < 2 || input[0] != '@') {
      paths.push_back({input, false});
      continue;
    }
    const std::string list = input.substr(1);
    const bool standardInput = list == "-";
    std::FILE* file = standardInput ? stdin : std::fopen(list.c_str(), "rb");
    if (!file) {
      error = "the list " + Quote(list) + ": " + std::strerror(errno);
      return false;
    }
    const char end = nulSeparated ? '\0' : '\n';
    std::string path;
    int c;
    while ((c = std::getc(file)) != EOF) {
      if (c != end) {
        path += static_cast<char>(c);
        continue;
      }
      if (!nulSeparated && !path.empty() && path.back() == '\r') path.pop_back();
      if (!path.empty()) paths.push_back({path, true});
      path.clear();
    }
    if (!nulSeparated && !path.empty() && path.back() == '\r') path.pop_back();
    if (!path.empty()) paths.push_back({path, true});
    const bool failed = std::ferror(file) != 0;
    const int saved = errno;
    if (!standardInput) std::fclose(file);
    if (failed) {
      error = "the list " + Quote(standardInput ? std::string("standard input") : list) + ": " + std::strerror(saved);
      return false;
    }
  }
  return true;
}

bool CollectInputs(const std::vector<InputPath>& inputs, const InputRules& rules, InputTree& tree,
                   std::vector<std::string>& errors, std::vector<std::string>& warnings) {
  size_t before = errors.size();
  Walker walker(rules, tree, errors, warnings);
  for (const InputPath& input : inputs) {
    if (input.listed) {
      walker.AddListed(input.path);
    } else {
      walker.AddInput(input.path);
    }
  }
  // The self-extractor refuses an archive without entries.
  if (errors.size() == before && tree.folders.empty() && tree.files.empty()) errors.push_back("nothing to pack");
  return errors.size() == before;
}

}  // namespace zor
