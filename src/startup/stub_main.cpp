// The stub's main routine: opens its own file, checks that the image is intact, finds the archive behind
// it, runs the main dialog (or, with /S, the extraction alone) and tears down.
#include "startup/stub_main.h"

#include "archive/locate.h"
#include "extract/errors.h"
#include "extract/extract_all.h"
#include "extract/extraction.h"
#include "startup/switches.h"
#include "ui/resource_ids.h"
#include "ui/stub_ui.h"

namespace zor {

constinit Stub theStub{};

namespace {

constexpr DWORD kPathBufferSize = 261;

constexpr char kImageModified[] =
    "This self-extractor has been modified,\n"
    "possibly by a download error or a virus.\n"
    "Please run an up-to-date virus scan.";
constexpr char kNoFiles[] = "Archive contains no files";

int Fail(Extraction& x, ErrorCode code) {
  ReportError(x, nullptr, false, code, nullptr);
  return kExitNotDone;
}

}  // namespace

int StubMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  Extraction& x = theStub.extraction;
  Switches switches;
  ParseSwitches(commandLine, switches);
  theStub.silent = switches.silent;
  theStub.exitCode = kExitNotDone;
  // The front-end lives for the whole run, here rather than in static storage: an object with a virtual
  // table there would be the stub's only initialised data.
  Win32FrontEnd frontEnd;
  InitExtraction(x, &frontEnd);  // default title, empty folder; builds the CRC table

  char path[kPathBufferSize];
  DWORD length = GetModuleFileNameA(instance, path, kPathBufferSize);
  path[length < kPathBufferSize ? length : kPathBufferSize - 1] = 0;  // older systems leave a cut path open
  SetDisplayName(x, path);

  x.files.programFile = FileOpen(x.files, path, kGenericRead);
  if (x.files.programFile == kInvalidFileHandle) return Fail(x, kErrorOpenProgram);

  // Integrity self-check: the build stamped a CRC-32 of the image into it.
  ImageCheck image;
  if (ErrorCode r = InspectProgramFile(x.files, x.decoder.crc, image); r < 0) return Fail(x, r);
  if (!ImageIsIntact(image)) {
    frontEnd.ShowMessage(nullptr, kImageModified, x.windowTitle, Notice::kFailure);
    return kExitNotDone;
  }

  // The default target folder: the current directory, empty when it cannot be had or is too long.
  CurrentFolder(x.options.targetFolder, kPathBufferSize);

  if (FileSeek(x.files, x.files.programFile, 0, kSeekEnd) == kSeekFailed) return Fail(x, kErrorSeek);

  StubHeaderInfo stub;
  if (ErrorCode r = LocateArchive(x, image.layout.appendedDataOffset, stub); r < 0) return Fail(x, r);

  if (x.archiveHeader.fileCount == 0) {
    frontEnd.ShowMessage(nullptr, kNoFiles, x.windowTitle, Notice::kInformation);
    return kExitNotDone;
  }

  // /D= takes the place of the default folder, /Y of the overwrite flag; a silent run without /Y keeps
  // existing files whatever the flag says. A folder the dialog could not hold is refused.
  if (switches.folder) {
    if (switches.folderLength >= kPathBufferSize) return kExitNotDone;
    for (uint32_t i = 0; i < switches.folderLength; ++i) x.options.targetFolder[i] = switches.folder[i];
    x.options.targetFolder[switches.folderLength] = 0;
  }
  if (switches.silent || switches.overwrite) x.options.overwriteWithoutPrompting = switches.overwrite;
  if (switches.silent) return ExitCodeAfterWalk(x, ExtractAll(x, nullptr));

  theStub.instance = instance;
  theStub.dialogBrush = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
  // The character height is 6/8 of the vertical dialog base unit.
  int baseUnit = static_cast<short>(HIWORD(GetDialogBaseUnits()));
  theStub.dialogFont = CreateFontA(-((baseUnit * 6) / 8), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                   ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DRAFT_QUALITY,
                                   DEFAULT_PITCH | FF_SWISS, "Helv");
  DialogBoxParamA(instance, MAKEINTRESOURCEA(ZDLG_MAIN), nullptr, MainDialogProc, 0);

  DeleteObject(theStub.dialogFont);
  DeleteObject(theStub.dialogBrush);
  FileClose(x.files, x.files.programFile);
  return theStub.exitCode;
}

}  // namespace zor
