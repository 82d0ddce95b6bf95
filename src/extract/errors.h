// Error codes become messages here: the fixed text of each ErrorCode, the system error's second line, and
// the one message box per failure.
#pragma once

#include <cstdint>

#include "platform/file_layer.h"
#include "extract/front_end.h"

namespace zor {

struct Extraction;

// The second line describing a recorded Win32 error number ("\nAccess denied", ...), or "".
const char* SystemErrorText(uint32_t lastSystemError);

// Composes format into buffer (size bytes, terminator included): the first %s becomes name, the second
// suffix (null = ""), any later one nothing; every other character is copied. The result always fits:
// when it would not, the middle of name is replaced by "..." (its start and end kept) so that the fixed
// text and the whole suffix stay. name and suffix must not lie in buffer. Returns the length written,
// terminator excluded.
uint32_t ComposeMessage(char* buffer, uint32_t size, const char* format, const char* name,
                        const char* suffix);

// Shows the message of `code` (nothing for codes without one) naming `name`, or displayName when name is
// null. Returns 0 to go on (OK chosen in an OK-Cancel box, or a silent code) and 1 to stop.
int ReportError(Extraction& x, WindowRef owner, bool okCancel, ErrorCode code, const char* name);

}  // namespace zor
