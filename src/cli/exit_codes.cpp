// How a failure that ends a command is told.
#include "cli/exit_codes.h"

#include "extract/errors.h"
#include "extract/extraction.h"

namespace zor {

int ReportFailure(Extraction& x, ErrorCode code, const char* name) {
  if (ReportError(x, nullptr, false, code, name) == 0 && code != kErrorCancelled)
    ReportError(x, nullptr, false, kErrorRead, name);
  return kExitDataError;
}

}  // namespace zor
