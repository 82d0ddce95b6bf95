// The extract-all driver: one walk over the archive directory that writes every folder and file into the
// target folder, restores times and attributes, checks CRCs and reports each problem through the front-end.
#pragma once

#include "platform/file_layer.h"
#include "extract/front_end.h"

namespace zor {

struct Extraction;

// Extracts the archive of x (programFile open, archiveOffset and archiveHeader read, frontEnd set) into
// x.options.targetFolder, with x.options.overwriteWithoutPrompting as the overwrite policy; `dialog` owns
// the message boxes and the status line. With x.options.testOnly the same walk decodes and checks every file
// but creates, asks about and writes nothing.
//
// Returns 0 when the walk ended: all entries done, cancelled, or stopped after a problem that has been
// reported already. A negative code is a problem nobody has reported yet, for the caller to report: -11
// (archive too short, or directory data ending inside an entry), -2 (no memory for the buffers) or the
// directory reader's code. A call while another ExtractAll runs on the same context (from a message pumped
// by the first) does nothing and returns -1, which shows no message.
//
// During the walk targetFolder holds the current entry's full path; afterwards the last one.
ErrorCode ExtractAll(Extraction& x, WindowRef dialog);

// Lets the front-end deliver its waiting messages (the dialog's Cancel among them).
void PumpMessages(Extraction& x);

}  // namespace zor
