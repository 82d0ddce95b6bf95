// How a failure that ends a command is told.
#include "cli/exit_codes.h"

#include <string>

#include "cli/code_page.h"
#include "extract/errors.h"
#include "extract/extraction.h"

namespace zor {

int ReportFailure(Extraction& x, ErrorCode code, const char* path, CodePage* codePage) {
  const std::string converted = codePage ? codePage->FromUtf8Shown(path) : std::string(path);
  const char* name = converted.c_str();
  if (ReportError(x, nullptr, false, code, name) == 0 && code != kErrorCancelled)
    ReportError(x, nullptr, false, kErrorRead, name);
  return kExitDataError;
}

}  // namespace zor
