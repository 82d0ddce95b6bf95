// zor: makes ZOR self-extractors (create) and reads them without running them (info, list, test, extract).
#include <CLI/CLI.hpp>
#include <cstdio>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

#include "cli/windows_text.h"
#endif

#include "cli/code_page.h"
#include "cli/create_command.h"
#include "cli/exit_codes.h"
#include "cli/extract_command.h"
#include "cli/info_command.h"
#include "cli/list_command.h"
#include "cli/terminal.h"
#include "cli/terminal_front_end.h"
#include "cli/version.h"

namespace {

constexpr char kCodePageHelp[] =
    "code page of the stored names (default 1252; 437, 850, 852, 866, 874, 932, 936, 949, 950, 1250-1258)";

constexpr char kJobsHelp[] = "threads decoding at once (default: one per core, at most 8; 1: all on one thread)";

int Run(int argc, char** argv) {
  CLI::App app{"zor: makes ZOR self-extractors and reads them without running them"};
  app.require_subcommand(1);
  app.set_version_flag("--version", zor::VersionReport, "print the version of zor and of its stub, then exit");

  std::string file;
  std::string codePageText = std::to_string(zor::kDefaultCodePage);
  std::string outputFolder;
  bool json = false, quiet = false, overwrite = false, skipExisting = false, blocks = false, followLinks = false,
       force = false;
  unsigned threads = 0;
  std::vector<std::string> patterns, excludes;
  const auto addSelection = [&](CLI::App* command) {
    command->add_option("PATTERN", patterns, "only the entries these match, and what is in folders they match");
    command->add_option("--exclude", excludes, "leave out what PATTERN matches, by path or by name (repeatable)")
        ->type_name("PATTERN")
        ->allow_extra_args(false);
  };

  CLI::App* info = app.add_subcommand("info", "Show where the archive lies in FILE and what its headers say");
  info->add_option("FILE", file, "a self-extractor or a bare archive")->required();
  info->add_option("--codepage", codePageText, "code page of the stub header's title and folder (default 1252)");
  info->add_flag("--blocks", blocks, "also show each data segment's blocks, table sets and call-filtered files");

  CLI::App* list = app.add_subcommand("list", "List the files and folders of the archive in FILE");
  list->add_option("FILE", file, "a self-extractor or a bare archive")->required();
  addSelection(list);
  list->add_flag("--json", json, "print JSON for scripts");
  list->add_option("--codepage", codePageText, kCodePageHelp);

  CLI::App* test = app.add_subcommand("test", "Decode every file of the archive in FILE and check its CRC; write nothing");
  test->add_option("FILE", file, "a self-extractor or a bare archive")->required();
  addSelection(test);
  test->add_flag("-q,--quiet", quiet, "print nothing but errors");
  test->add_option("-j,--jobs", threads, kJobsHelp)->check(CLI::PositiveNumber);
  test->add_option("--codepage", codePageText, kCodePageHelp);

  CLI::App* extract = app.add_subcommand("extract", "Extract the files and folders of the archive in FILE");
  extract->add_option("FILE", file, "a self-extractor or a bare archive")->required();
  addSelection(extract);
  extract->add_option("-o,--output", outputFolder, "the folder to extract into (default: the current folder)");
  CLI::Option* replace = extract->add_flag("--overwrite", overwrite, "replace existing files without asking");
  extract->add_flag("--skip-existing", skipExisting, "keep existing files without asking")->excludes(replace);
  extract->add_flag("--follow-links", followLinks, "write through links to folders found in the output folder");
  extract->add_flag("--force", force, "extract even when the files will not fit in the free space");
  extract->add_flag("-q,--quiet", quiet, "print nothing but errors");
  extract->add_option("-j,--jobs", threads, kJobsHelp)->check(CLI::PositiveNumber);
  extract->add_option("--codepage", codePageText, kCodePageHelp);

  CLI::App* version = app.add_subcommand("version", "Print the version of zor and of its self-extractor stub");

  zor::CreateOptions create;
  CLI::App* createCommand = zor::AddCreateCommand(app, create);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    int code = app.exit(e);
    return code == 0 ? zor::kExitOk : zor::kExitUsage;
  }

  if (*version) {
    std::printf("%s\n", zor::VersionReport().c_str());
    return zor::kExitOk;
  }

  zor::CodePage codePage;
  const unsigned codePageNumber = zor::ParseCodePage(codePageText);
  if (codePageNumber == 0 || !codePage.Open(codePageNumber)) {
    std::fprintf(stderr, "zor: unknown code page \"%s\" (known: %s)\n", codePageText.c_str(),
                 zor::KnownCodePages());
    return zor::kExitUsage;
  }

  zor::TerminalFrontEnd frontEnd(stdin, stderr, zor::CanAskQuestions());
  frontEnd.SetCodePage(&codePage);
  if (*info) return zor::RunInfo(file.c_str(), codePage, stdout, frontEnd, blocks);
  if (*list) return zor::RunList({file.c_str(), json, patterns, excludes}, codePage, stdout, frontEnd);
  if (*test || *extract) {
    const zor::OverwritePolicy policy = overwrite      ? zor::OverwritePolicy::kReplace
                                        : skipExisting ? zor::OverwritePolicy::kKeep
                                                       : zor::OverwritePolicy::kAsk;
    zor::ExtractCommandOptions options;
    options.path = file.c_str();
    options.outputFolder = outputFolder;
    options.testOnly = static_cast<bool>(*test);
    options.overwrite = policy;
    options.quiet = quiet;
    options.patterns = patterns;
    options.excludes = excludes;
    options.threads = threads;
    options.followLinks = followLinks;
    options.force = force;
    return zor::RunExtract(options, codePage, frontEnd, stdout);
  }
  if (*createCommand) return zor::RunCreate(create, stdout, stderr);
  return zor::kExitUsage;
}

}  // namespace

#ifdef _WIN32
// Windows hands the arguments over in UTF-16: they become UTF-8, as everywhere else in the tool. While zor
// runs, a console shows UTF-8, and standard output and error carry it unchanged, lines ending in "\n" as
// on POSIX.
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> arguments;
  for (int i = 0; i < argc; ++i) arguments.push_back(zor::Utf8(argv[i]));
  std::vector<char*> pointers;
  for (std::string& a : arguments) pointers.push_back(a.data());
  pointers.push_back(nullptr);
  const UINT before = GetConsoleOutputCP();
  SetConsoleOutputCP(CP_UTF8);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  const int rc = Run(argc, pointers.data());
  std::fflush(stdout);
  std::fflush(stderr);
  if (before) SetConsoleOutputCP(before);
  return rc;
}
#else
int main(int argc, char** argv) { return Run(argc, argv); }
#endif
