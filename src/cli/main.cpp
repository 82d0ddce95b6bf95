// zor: the command-line tool around the self-extractor (zor info, zor create).
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <string>

#include "cli/create_command.h"
#include "cli/info_command.h"
#include "cli/progress_bar.h"
#include "cli/terminal_front_end.h"

namespace {

void AddCreate(CLI::App& app, zor::CreateOptions& o) {
  CLI::App* c = app.add_subcommand("create", "Pack files and folders into a self-extractor");
  c->add_option("OUT", o.output, "the self-extractor to write")->required();
  c->add_option("INPUT", o.inputs, "files and folders to pack (folders with everything in them)")->required();
  c->add_option("--title", o.title, "the self-extractor's window title (at most 79 characters)");
  c->add_option("--default-folder", o.defaultFolder, "the folder it offers to extract into (at most 259)");
  c->add_flag("--overwrite-without-prompting", o.overwriteWithoutPrompting,
              "start with 'Overwrite Existing Files Without Prompting' checked");
  c->add_flag("--bare", o.bare, "write the archive (and stub header) without the stub in front");
  CLI::Option_group* levels = c->add_option_group("level", "compression level");
  for (int level = 0; level <= 9; ++level) {
    levels->add_flag_callback("-" + std::to_string(level), [&o, level] { o.level = level; },
                              level == 0 ? "store only" : level == 1 ? "fastest" : level == 6 ? "default" :
                              level == 9 ? "strongest" : "");
  }
  levels->require_option(0, 1);
  c->add_option("-j,--jobs", o.threads, "segments compressed in parallel (default: one per core)");
  c->add_option("--codepage", o.codePage, "Windows code page of the stored names (default: 1252)");
  c->add_flag("-q,--quiet", o.quiet, "no warnings, no progress bar");
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"zor: makes and reads ZOR self-extractors"};
  app.require_subcommand(1);
  std::string infoFile;
  CLI::App* info = app.add_subcommand("info", "Show where the archive lies in FILE and what its headers say");
  info->add_option("FILE", infoFile, "a self-extractor or a bare archive")->required();
  zor::CreateOptions create;
  AddCreate(app, create);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    int code = app.exit(e);
    return code == 0 ? zor::kExitOk : zor::kExitUsage;
  }

  zor::TerminalFrontEnd frontEnd(stdin, stderr, isatty(0) && isatty(2));
  if (*info) return zor::RunInfo(infoFile.c_str(), stdout, frontEnd);
  if (app.got_subcommand("create")) {
    create.progress = zor::ProgressWanted();
    return zor::RunCreate(create, stdout, stderr);
  }
  return zor::kExitUsage;
}
