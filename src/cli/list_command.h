// zor list: the archive's directory, as a table or as JSON.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "cli/code_page.h"
#include "extract/front_end.h"

namespace zor {

struct ListOptions {
  const char* path;
  bool json;
};

// Prints every directory entry of the archive in `options.path` to out, names converted from codePage.
// Failures go to frontEnd as the self-extractor's messages. Returns an exit code.
int RunList(const ListOptions& options, CodePage& codePage, std::FILE* out, FrontEnd& frontEnd);

// A JSON string literal for UTF-8 text: quotes, backslashes and control characters (C0, DEL, C1)
// escaped, everything else as it is.
std::string JsonString(std::string_view utf8);
// A DOS date and time as "YYYY-MM-DD<separator>hh:mm:ss"; empty when the date is 0 (not set) or the
// fields are no calendar time (which extraction does not set either).
std::string FormatDosTime(uint16_t date, uint16_t time, char separator);

}  // namespace zor
