// zor list: the archive's directory, as a table or as JSON.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "cli/code_page.h"
#include "extract/front_end.h"

namespace zor {

struct ListOptions {
  const char* path;
  bool json;
  std::vector<std::string> patterns;  // only the entries these select (EntrySelection); none: all
  std::vector<std::string> excludes;
};

// Prints every directory entry of the archive in `options.path` that the patterns select to out, names
// converted from codePage. Failures go to frontEnd as the self-extractor's messages; a pattern that selects
// nothing is an error too. Returns an exit code.
int RunList(const ListOptions& options, CodePage& codePage, std::FILE* out, FrontEnd& frontEnd);

// A JSON string literal for UTF-8 text: quotes, backslashes and control characters (C0, DEL, C1)
// escaped, everything else as it is.
std::string JsonString(std::string_view utf8);
// A DOS date and time as "YYYY-MM-DD<separator>hh:mm:ss"; empty when the date is 0 (not set) or the
// fields are no calendar time (which extraction does not set either).
std::string FormatDosTime(uint16_t date, uint16_t time, char separator);

}  // namespace zor
