// The switches administrators give a self-extractor for unattended installs: /S (silent), /Y (overwrite
// existing files) and /D=FOLDER (the target; last, the rest of the line, spaces included).
#pragma once

#include <cstdint>

namespace zor {

struct Switches {
  bool silent;         // /S: extract without a window
  bool overwrite;      // /Y: replace existing files without asking
  const char* folder;  // /D=: where the folder starts in the command line; null without /D=
  uint32_t folderLength;
};

// Reads the switches behind the program's name (quoted or not) on a command line. Letters may be upper or
// lower case; other words are ignored, as they always were. The /D= folder loses its trailing blanks and
// one pair of quotes around it, or around the whole switch.
void ParseSwitches(const char* commandLine, Switches& switches);

}  // namespace zor
