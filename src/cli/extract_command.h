// zor extract and zor test: the self-extractor's own walk (ExtractAll) driven from the terminal.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "cli/code_page.h"
#include "cli/terminal_front_end.h"

namespace zor {

enum class OverwritePolicy : uint8_t {
  kAsk,      // ask on a terminal; otherwise keep the file and say so
  kReplace,  // --overwrite
  kKeep,     // --skip-existing
};

struct ExtractCommandOptions {
  const char* path = nullptr;  // the archive or self-extractor
  std::string outputFolder;    // -o, UTF-8 as typed; empty = the current folder
  bool testOnly = false;       // zor test: decode and check, write nothing
  OverwritePolicy overwrite = OverwritePolicy::kAsk;
  bool quiet = false;
  std::vector<std::string> patterns;  // only the entries these choose (EntrySelection); none: all
  std::vector<std::string> excludes;
  unsigned threads = 0;        // -j: threads decoding; 0 = one per core (at most 8), 1 = all on one thread
  bool followLinks = false;    // --follow-links: write through links to folders found on the way
  bool force = false;          // --force: go on when the files will not fit in the free space
};

// Runs the extraction (or the test) of `options.path` with frontEnd answering the engine, progress and the
// closing line on out. With patterns, only the entries they choose are extracted or tested, and the folders
// above them created. Returns an exit code: 0 when every entry was done (existing files kept as asked
// count as done), 1 for an output folder that cannot be used, 2 when any error was reported (a pattern that
// chooses nothing among them, or files that would not fit), 128 + the signal after Ctrl-C (130), SIGTERM or
// SIGHUP.
int RunExtract(const ExtractCommandOptions& options, CodePage& codePage, TerminalFrontEnd& frontEnd, std::FILE* out);

}  // namespace zor
