// zor create: packs files and folders into a self-extractor (the embedded stub, the stub header, the
// archive) or, with --bare, into the appended data alone.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace zor {

struct CreateOptions {
  std::string output;
  std::vector<std::string> inputs;          // "@LISTFILE" stands for the paths it lists
  std::vector<std::string> excludes;        // patterns of stored paths and names to leave out
  bool nulSeparated = false;                // --null: list files hold NUL-terminated paths
  std::optional<std::string> title;          // UTF-8; none: the stub's own
  std::optional<std::string> defaultFolder;  // UTF-8; none: the current folder
  bool overwriteWithoutPrompting = false;
  std::optional<std::string> elevation;      // the manifest's execution level; none: the stub's (asInvoker)
  std::optional<std::string> icon;           // an .ico file: the self-extractor's icon
  std::vector<std::string> versionInfo;      // KEY=VALUE (UTF-8) for the version information
  bool bare = false;
  int level = 6;
  unsigned threads = 0;                      // 0: one per core
  std::string codePage = "1252";
  bool quiet = false;                        // no warnings, no progress
  bool progress = false;                     // draw the progress bar on `err`
};

// Adds the create command and its options, to be filled in `options` by the parse. `options.progress` is
// set from the terminals at once.
CLI::App* AddCreateCommand(CLI::App& app, CreateOptions& options);

// The bytes that go in front of the archive: the stub (none for a bare archive), then a stub header when
// the options ask for a title, a default folder or the overwrite flag. The texts must already be in the
// code page.
std::vector<uint8_t> OutputPrefix(const std::vector<uint8_t>& stub, const std::optional<std::string>& title,
                                  const std::optional<std::string>& folder, bool overwrite);

// Returns the exit code: 0, 1 for a usage error, 2 for anything refused or failed (messages on `err`).
// Nothing appears under the output's name unless the whole archive was written.
int RunCreate(const CreateOptions& options, std::FILE* out, std::FILE* err);

}  // namespace zor
