// zor: makes ZOR self-extractors (create) and reads them without running them (info, list, test, extract).
#include <CLI/CLI.hpp>
#include <cstdio>
#include <string>

#include "cli/code_page.h"
#include "cli/create_command.h"
#include "cli/exit_codes.h"
#include "cli/extract_command.h"
#include "cli/info_command.h"
#include "cli/list_command.h"
#include "cli/terminal.h"
#include "cli/terminal_front_end.h"

namespace {

constexpr char kCodePageHelp[] =
    "code page of the stored names (default 1252; 437, 850, 852, 866, 874, 932, 936, 949, 950, 1250-1258)";

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"zor: makes ZOR self-extractors and reads them without running them"};
  app.require_subcommand(1);

  std::string file;
  std::string codePageText = std::to_string(zor::kDefaultCodePage);
  std::string outputFolder;
  bool json = false, quiet = false, overwrite = false, skipExisting = false;

  CLI::App* info = app.add_subcommand("info", "Show where the archive lies in FILE and what its headers say");
  info->add_option("FILE", file, "a self-extractor or a bare archive")->required();
  info->add_option("--codepage", codePageText, "code page of the stub header's title and folder (default 1252)");

  CLI::App* list = app.add_subcommand("list", "List the files and folders of the archive in FILE");
  list->add_option("FILE", file, "a self-extractor or a bare archive")->required();
  list->add_flag("--json", json, "print JSON for scripts");
  list->add_option("--codepage", codePageText, kCodePageHelp);

  CLI::App* test = app.add_subcommand("test", "Decode every file of the archive in FILE and check its CRC; write nothing");
  test->add_option("FILE", file, "a self-extractor or a bare archive")->required();
  test->add_flag("-q,--quiet", quiet, "print nothing but errors");
  test->add_option("--codepage", codePageText, kCodePageHelp);

  CLI::App* extract = app.add_subcommand("extract", "Extract the files and folders of the archive in FILE");
  extract->add_option("FILE", file, "a self-extractor or a bare archive")->required();
  extract->add_option("-o,--output", outputFolder, "the folder to extract into (default: the current folder)");
  CLI::Option* replace = extract->add_flag("--overwrite", overwrite, "replace existing files without asking");
  extract->add_flag("--skip-existing", skipExisting, "keep existing files without asking")->excludes(replace);
  extract->add_flag("-q,--quiet", quiet, "print nothing but errors");
  extract->add_option("--codepage", codePageText, kCodePageHelp);

  zor::CreateOptions create;
  CLI::App* createCommand = zor::AddCreateCommand(app, create);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    int code = app.exit(e);
    return code == 0 ? zor::kExitOk : zor::kExitUsage;
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
  if (*info) return zor::RunInfo(file.c_str(), codePage, stdout, frontEnd);
  if (*list) return zor::RunList({file.c_str(), json}, codePage, stdout, frontEnd);
  if (*test || *extract) {
    const zor::OverwritePolicy policy = overwrite      ? zor::OverwritePolicy::kReplace
                                        : skipExisting ? zor::OverwritePolicy::kKeep
                                                       : zor::OverwritePolicy::kAsk;
    return zor::RunExtract({file.c_str(), outputFolder, static_cast<bool>(*test), policy, quiet}, codePage, frontEnd,
                           stdout);
  }
  if (*createCommand) return zor::RunCreate(create, stdout, stderr);
  return zor::kExitUsage;
}
