// zor: the command-line tool around the self-extractor (for now: zor info).
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <string>

#include "cli/info_command.h"
#include "cli/terminal_front_end.h"

int main(int argc, char** argv) {
  CLI::App app{"zor: reads ZOR archives and self-extractors"};
  app.require_subcommand(1);
  std::string infoFile;
  CLI::App* info = app.add_subcommand("info", "Show where the archive lies in FILE and what its headers say");
  info->add_option("FILE", infoFile, "a self-extractor or a bare archive")->required();
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    int code = app.exit(e);
    return code == 0 ? zor::kExitOk : zor::kExitUsage;
  }

  zor::TerminalFrontEnd frontEnd(stdin, stderr, isatty(0) && isatty(2));
  if (*info) return zor::RunInfo(infoFile.c_str(), stdout, frontEnd);
  return zor::kExitUsage;
}
