// How zor extract and zor test put each entry on disk: the walk's EntryWriter for the tool.
//
// Everything a person sees or the disk keeps happens here, on the walk's thread, in directory order; the
// bytes come from the walk's own decoder or, decoded ahead on other threads, from an AheadDecoder. So the
// messages, questions, progress lines and exit status are the same whatever the number of threads.
//
// A file is written under a temporary name in its folder and renamed into place when it is complete and its
// CRC matches; nothing is ever written through a link (platform/output_tree.h). The overwrite question is
// asked before the file is decoded where something may stand under its name (in folders this run did not
// make), and otherwise only when the rename finds the name taken; either way it comes before anything else
// said about the entry, as in the self-extractor. Differences from the self-extractor, all on the safe side:
// a folder entry over a file or a link fails instead of counting as made; a path through a link to a
// folder is refused unless links may be followed; a file that fails its check leaves the file it was to
// replace in place.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "extract/entry_writer.h"
#include "platform/output_tree.h"

namespace zor {

class AheadDecoder;
struct DirectoryEntry;

class TreeWriter final : public EntryWriter {
 public:
  struct Options {
    bool testOnly = false;     // decode and check only
    bool followLinks = false;  // --follow-links: a link to a folder on the way is followed
    bool targetIsNew = false;  // the target folder did not exist before this run: nothing can stand in it
  };

  // Says why the current entry is not extracted (UTF-8, without its name).
  using RefusalReporter = std::function<void(const std::string& reason)>;

  // `ahead` (may be null) has the files' bytes decoded ahead; what it does not have is decoded here.
  TreeWriter(RefusalReporter refused, const Options& options, AheadDecoder* ahead);
  ~TreeWriter();  // closes the folders; removes a temporary file left behind
  TreeWriter(const TreeWriter&) = delete;
  TreeWriter& operator=(const TreeWriter&) = delete;

  EntryOutcome Write(Extraction& x, const DirectoryEntry& entry, uint32_t index, uint32_t joinPoint,
                     bool& stop) override;

 private:
  struct Folder {
    FolderHandle handle;
    bool fresh;  // made by this run: nothing of its own can stand in it
  };
  enum class Answer : uint8_t { kReplace, kKeep };

  EntryOutcome WriteFolder(Extraction& x, const std::string& relative, bool& stop);
  EntryOutcome WriteFile(Extraction& x, const DirectoryEntry& e, uint32_t index, const char* native, bool& stop);
  EntryOutcome TestFile(Extraction& x, const DirectoryEntry& e, uint32_t index, bool& stop);
  // The folder `relative` (native, below the target, no empty components), opened and made as needed,
  // component by component from the nearest one open. On a failure `where` names the component.
  FolderStep Reach(Extraction& x, const std::string& relative, const Folder*& out, std::string& where);
  // Reach, with a failure reported: for a folder entry -9 (the walk ends), for a file -3 (OK goes on); a
  // link refused names itself. Null after a failure, with `outcome` set.
  const Folder* OpenFolderPath(Extraction& x, const std::string& relative, bool folderEntry, bool& stop,
                               EntryOutcome& outcome);
  // Decodes the file into `file` (from the workers when they have it): 0, or the failure's code with
  // lastSystemError set. `crc` gets the CRC of what was written.
  ErrorCode Decode(Extraction& x, const DirectoryEntry& e, uint32_t index, FileHandle file, uint32_t& crc);
  // The overwrite question for the current path (none with overwriteWithoutPrompting).
  Answer Ask(Extraction& x);
  // After a failure of a file nobody was asked about: whether something stands under its name after all and
  // the question keeps it (the self-extractor would have asked before decoding it).
  bool KeptAfterAll(Extraction& x, FolderHandle folder, const char* name);
  // Reports `code` naming the current path, OK-Cancel or OK only; sets stop as the answer says.
  void Report(Extraction& x, bool okCancel, ErrorCode code, bool& stop);
  void CloseFolders();

  RefusalReporter refused_;
  Options options_;
  AheadDecoder* ahead_;
  Folder target_{kInvalidFolderHandle, false};
  bool targetOpened_ = false;
  std::unordered_map<std::string, Folder> folders_;  // open below the target, by native relative path
  std::unordered_set<std::string> made_;             // the folders this run made
  uint64_t serial_;                                  // for the temporary names: the run's, and the file's
  bool asked_ = false;                               // the current file's question is answered
};

}  // namespace zor
