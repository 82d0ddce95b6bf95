// zor extract and zor test: prepares the output folder and the context, then runs the same ExtractAll as
// the self-extractor, with the terminal answering its questions.
#include "cli/extract_command.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <thread>
#include <unordered_set>
#include <vector>

#include "cli/ahead_decoder.h"
#include "cli/archive_file.h"
#include "cli/exit_codes.h"
#include "cli/host_files.h"
#include "cli/pattern.h"
#include "cli/terminal.h"
#include "cli/tree_writer.h"
#include "extract/extract_all.h"
#include "extract/paths.h"

namespace zor {
namespace {

constexpr char kNoFiles[] = "Archive contains no files";
constexpr unsigned kDefaultThreadsMax = 8;

// The -o folder as the engine takes it: in the code page, at most as long as the stub's folder box
// allows. Backslashes and colons are separators and drive marks to the engine, so a folder whose name
// holds one would not be the folder written to: it is refused rather than taken for another.
bool PrepareOutputFolder(std::string folder, CodePage& codePage, std::string& ansi) {
  const char* problem = nullptr;
#ifdef _WIN32
  // On Windows the engine's separators are the system's: slashes become backslashes, and a colon may
  // only follow a drive letter.
  for (char& c : folder)
    if (c == '/') c = '\\';
  while (folder.size() > 1 && folder.back() == '\\' && !(folder.size() == 3 && folder[1] == ':')) folder.pop_back();
  const size_t colon = folder.find(':');
  if (colon != std::string::npos && (colon != 1 || folder.find(':', 2) != std::string::npos)) {
    problem = "a colon can only follow a drive letter";
  } else
#else
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (folder.find_first_of("\\:") != std::string::npos) {
    problem = "a backslash or a colon cannot stand in it";
  } else
#endif
  if (!codePage.FromUtf8(folder, ansi)) {
    problem = "it cannot be written in the code page of the stored names";
  } else if (ansi.size() > kPathBufferSize) {
    problem = "it is longer than 260 characters";
  }
  if (!problem) return true;
  std::fprintf(stderr, "zor: cannot extract into \"%s\": %s\n", Printable(folder).c_str(), problem);
  return false;
}

// What a walk over the directory before anything is written finds: the entries the patterns choose, by their
// number, together with the folder entries above them (created with their attributes, as in a whole
// extraction); how many they are and their files' bytes, for the progress bar and the free-space check; and
// the chosen files with data, for the decoding threads.
struct Choice {
  std::vector<bool> chosen;
  uint32_t entries = 0;
  uint64_t bytes = 0;
  bool complete = false;  // the directory was read to its end (else the extraction will say why not)
  std::vector<PlannedFile> files;
};

Choice ChooseEntries(Extraction& x, CodePage& codePage, EntrySelection& selection) {
  Choice c;
  const bool everything = selection.SelectsAll();
  std::vector<std::string> folders;        // each entry's path upper-cased when it is a folder, else empty
  std::unordered_set<std::string> above;  // the folders above chosen entries, upper-cased (Windows' case)
  uint32_t index = 0;
  c.complete = WalkDirectory(x, [&](const DirectoryEntry& e, std::string_view stored) {
                 bool take = true;
                 if (!everything) {
                   const std::string path = codePage.ToNativePath(stored);
                   take = selection.Selects(path);
                   folders.push_back((e.flags & kEntryFolder) ? HostFoldCase(path) : std::string());
                   for (size_t cut = path.find('/'); take && cut != std::string::npos; cut = path.find('/', cut + 1))
                     above.insert(HostFoldCase(path.substr(0, cut)));
                 }
                 c.chosen.push_back(take);
                 if (take && !(e.flags & kEntryFolder)) {
                   c.bytes += e.length;
                   if (e.length > 0)
                     c.files.push_back({index, x.archiveOffset + e.segmentOffset + kSegmentSignatureSize, e.position,
                                        e.length, CallFilterOf(e.flags)});
                 }
                 ++index;
               }) == 0;
  for (size_t i = 0; i < c.chosen.size(); ++i) {
    if (!everything && !c.chosen[i] && !folders[i].empty() && above.count(folders[i])) c.chosen[i] = true;
    if (c.chosen[i]) ++c.entries;
  }
  return c;
}

// Entries may share bytes, so a small archive can hold much more than it looks: before anything is written,
// what the files take is set against the free space where they go.
bool FitsInFreeSpace(const std::string& folder, uint64_t needed) {
  const std::string shown = folder.empty() ? "." : folder;
  const int64_t free = HostFreeSpace(shown);
  if (free < 0 || needed <= static_cast<uint64_t>(free)) return true;
  std::fprintf(stderr,
               "zor: not enough free space in \"%s\": the files take %s (%llu bytes), %s (%llu bytes) are free "
               "(--force extracts anyway)\n",
               Printable(shown).c_str(), FormatBytes(needed).c_str(), static_cast<unsigned long long>(needed),
               FormatBytes(static_cast<uint64_t>(free)).c_str(), static_cast<unsigned long long>(free));
  return false;
}

bool Chosen(void* context, uint32_t index, const DirectoryEntry&, const uint8_t*) {
  const std::vector<bool>& chosen = *static_cast<const std::vector<bool>*>(context);
  return index < chosen.size() && chosen[index];
}

}  // namespace

int RunExtract(const ExtractCommandOptions& options, CodePage& codePage, TerminalFrontEnd& frontEnd, std::FILE* out) {
  std::string target;
  if (!options.testOnly && !PrepareOutputFolder(options.outputFolder, codePage, target)) return kExitUsage;

  ArchiveFile archive(frontEnd, &codePage);
  Extraction& x = archive.x();
  if (ErrorCode r = archive.Open(options.path); r < 0) return archive.ReportOpenFailure(r, options.path);
  EntrySelection selection(options.patterns, options.excludes);
  if (x.archiveHeader.fileCount == 0) {
    frontEnd.ShowMessage(nullptr, kNoFiles, x.windowTitle, Notice::kInformation);
    return ReportUnmatched(selection, stderr) > 0 ? kExitDataError : kExitOk;
  }

  Choice choice = ChooseEntries(x, codePage, selection);
  if (!options.testOnly && !options.force && !FitsInFreeSpace(options.outputFolder, choice.bytes)) {
    frontEnd.CountError();
    return kExitDataError;
  }

  // Paths reach the file system in UTF-8. The stub header's folder and overwrite flag are the Windows
  // dialog's defaults; here the command line decides.
  x.files.toNativeName = CodePage::ConvertPath;
  x.files.toNativeNameContext = &codePage;
  std::memcpy(x.options.targetFolder, target.c_str(), target.size() + 1);
  x.options.overwriteWithoutPrompting = options.overwrite == OverwritePolicy::kReplace;
  x.options.testOnly = options.testOnly;
  frontEnd.SetKeepExisting(options.overwrite == OverwritePolicy::kKeep);

  const ProgressStyle style = options.quiet           ? ProgressStyle::kQuiet
                              : CanDrawProgressBar() ? ProgressStyle::kBar
                                                     : ProgressStyle::kLines;
  Progress progress(out, style, options.testOnly);
  if (!selection.SelectsAll()) {
    x.chooseEntry = Chosen;
    x.chooseEntryContext = &choice.chosen;
  }
  if (style == ProgressStyle::kBar)
    progress.SetTotals(selection.SelectsAll() ? x.archiveHeader.fileCount : choice.entries,
                       choice.complete ? choice.bytes : 0);
  frontEnd.SetProgress(&progress);

  CatchInterrupt(&x.cancelRequested);
#ifndef _WIN32
  // The tool's own writer (temporary names, no link followed), with the files decoded ahead on other threads.
  // By default one per core, but not more than the one thread that writes can keep busy.
  const unsigned threads =
      options.threads ? options.threads : std::clamp(std::thread::hardware_concurrency(), 1u, kDefaultThreadsMax);
  std::unique_ptr<AheadDecoder> ahead;
  if (threads > 1 && !choice.files.empty()) {
    ahead = std::make_unique<AheadDecoder>(choice.files, options.testOnly);
    if (!ahead->Start(options.path, threads)) ahead.reset();
  }
  TreeWriter::Options writing;
  writing.testOnly = options.testOnly;
  writing.followLinks = options.followLinks;
  writing.targetIsNew = !options.testOnly && !HostExists(options.outputFolder.empty() ? "." : options.outputFolder);
  TreeWriter writer([&frontEnd](const std::string& reason) { frontEnd.ReportRefused(reason); }, writing, ahead.get());
  x.entryWriter = &writer;
#endif
  const ErrorCode result = ExtractAll(x, nullptr);
#ifndef _WIN32
  if (ahead) ahead->Stop();
#endif
  ReleaseInterrupt();
  // A failure nobody has reported yet (the directory reader's, or the archive too short).
  if (result < 0) ReportFailure(x, result, options.path, &codePage);

  const bool cancelled = x.cancelRequested.load();
  if (choice.complete && !cancelled) {
    progress.Clear();
    for (size_t n = ReportUnmatched(selection, stderr); n > 0; --n) frontEnd.CountError();
  }
  progress.Close(frontEnd.counts(), cancelled);
  frontEnd.SetProgress(nullptr);
  if (cancelled) return 128 + (InterruptingSignal() ? InterruptingSignal() : 2);
  return frontEnd.counts().errors > 0 ? kExitDataError : kExitOk;
}

}  // namespace zor
