// The file system as `zor create` meets it, beyond the engine's file layer: facts about the inputs, folder
// listings, whole files, local time and the case rules of names; and what `zor extract` asks before it
// writes. Paths and names are UTF-8. Two back-ends: host_files_posix.cpp and host_files_win32.cpp (wide
// calls); they are the only files of the packer's input side that include platform headers.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace zor {

enum class HostKind : uint8_t { kFile, kFolder, kOther };

struct HostFacts {
  HostKind kind = HostKind::kOther;
  uint64_t size = 0;
  uint64_t device = 0, inode = 0;  // which file it is: a folder met again on the way down is a loop
  int64_t written = 0;             // seconds since 1970, UTC
  int64_t created = 0;             // the birth time where the file system keeps one, else the write time
  bool readOnly = false;           // no one may write it (POSIX: the owner's write bit is clear)
  bool link = false;               // the path itself is a symbolic link (or reparse point), followed here
};

// Facts about `path`, following symbolic links. False with `reason` (for a person, after the path) when they
// cannot be had; a link to nothing says so.
bool HostInspect(const std::string& path, HostFacts& facts, std::string& reason);
// The names in a folder, "." and ".." left out, in the order the system gives them.
bool HostListFolder(const std::string& path, std::vector<std::string>& names, std::string& reason);
// Reads up to `size` bytes of `path` from `offset` (`got`: how many; a size of 0 reads nothing), provided it
// still is the regular file `walked` describes: opened without waiting (a FIFO swapped in never blocks), not
// through a link unless walked.link, and refused unless device and inode match. False with `reason`.
bool HostReadWalked(const std::string& path, const HostFacts& walked, uint64_t offset, uint8_t* data, size_t size,
                    size_t& got, std::string& reason);
// Reads at most `limit` bytes of `path` from its start into `data` (fewer at its end).
bool HostReadFile(const std::string& path, uint64_t limit, std::vector<uint8_t>& data, std::string& reason);
// The name of the folder that `path` leads to ("." or "dir/.."), or empty for the root of a file system.
std::string HostFolderName(const std::string& path);
// `child` in the folder `folder`.
std::string HostJoin(const std::string& folder, const std::string& child);
// Whether c separates a path's components here: '/', and on Windows '\\' too.
bool HostIsSeparator(char c);
// Seconds since 1970 as the local time of the system that extracts them (the DOS times of the archive are
// local). False when the system cannot express them.
bool HostLocalTime(int64_t seconds, std::tm& local);
// A name in the one case that Windows' comparison of names sees, as the system's tables upper-case it.
std::string HostFoldCase(std::string_view utf8);
// Whether something (a link included) stands at `path`.
bool HostExists(const std::string& path);
// Bytes that may still be written on the volume holding `path`, or on that of its nearest existing parent
// (where it will be made); -1 when unknown.
int64_t HostFreeSpace(const std::string& path);

}  // namespace zor
