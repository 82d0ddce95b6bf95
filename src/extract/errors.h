// Error codes become messages here: the fixed text of each ErrorCode, the system error's second line, and
// the one message box per failure.
#pragma once

#include <cstdint>

#include "extract/file_layer.h"
#include "extract/front_end.h"

namespace zor {

struct Extraction;

// The second line describing x.files.lastSystemError ("\nAccess denied", ...), or "".
const char* SystemErrorText(uint32_t lastSystemError);

// Shows the message of `code` (nothing for codes without one) naming `name`, or displayName when name is
// null. Returns 0 to go on (OK chosen in an OK-Cancel box, or a silent code) and 1 to stop.
int ReportError(Extraction& x, WindowRef owner, bool okCancel, ErrorCode code, const char* name);

}  // namespace zor
