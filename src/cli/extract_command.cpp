// zor extract and zor test: prepares the output folder and the context, then runs the same ExtractAll as
// the self-extractor, with the terminal answering its questions.
#include "cli/extract_command.h"

#include <cstring>

#include "cli/archive_file.h"
#include "cli/exit_codes.h"
#include "cli/terminal.h"
#include "extract/extract_all.h"
#include "extract/paths.h"

namespace zor {
namespace {

constexpr char kNoFiles[] = "Archive contains no files";

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

// The whole size of the files, for the progress bar; 0 when the directory cannot be read (the walk will
// say why).
uint64_t TotalBytes(Extraction& x) {
  uint64_t total = 0;
  if (WalkDirectory(x, [&](const DirectoryEntry& e, std::string_view) {
        if (!(e.flags & kEntryFolder)) total += e.length;
      }) != 0)
    return 0;
  return total;
}

}  // namespace

int RunExtract(const ExtractCommandOptions& options, CodePage& codePage, TerminalFrontEnd& frontEnd, std::FILE* out) {
  std::string target;
  if (!options.testOnly && !PrepareOutputFolder(options.outputFolder, codePage, target)) return kExitUsage;

  ArchiveFile archive(frontEnd);
  Extraction& x = archive.x();
  if (ErrorCode r = archive.Open(options.path); r < 0) return ReportFailure(x, r, options.path);
  if (x.archiveHeader.fileCount == 0) {
    frontEnd.ShowMessage(nullptr, kNoFiles, x.windowTitle, Notice::kInformation);
    return kExitOk;
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
  if (style == ProgressStyle::kBar) progress.SetTotals(x.archiveHeader.fileCount, TotalBytes(x));
  frontEnd.SetProgress(&progress);

  CatchInterrupt(&x.cancelRequested);
  const ErrorCode result = ExtractAll(x, nullptr);
  ReleaseInterrupt();
  // A failure nobody has reported yet (the directory reader's, or the archive too short).
  if (result < 0) ReportFailure(x, result, options.path);

  const bool cancelled = x.cancelRequested.load();
  progress.Close(frontEnd.counts(), cancelled);
  frontEnd.SetProgress(nullptr);
  if (cancelled) return kExitCancelled;
  return frontEnd.counts().errors > 0 ? kExitDataError : kExitOk;
}

}  // namespace zor
