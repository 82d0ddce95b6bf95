// The tool's EntryWriter: folders reached without following links, files renamed into place when whole.
#include "cli/tree_writer.h"

#include <cstring>
#include <random>

#include "archive/archive_format.h"
#include "cli/ahead_decoder.h"
#include "cli/terminal.h"
#include "decoder/decoder.h"
#include "extract/errors.h"
#include "extract/extract_all.h"
#include "extract/extraction.h"

namespace zor {
namespace {

constexpr uint32_t kNativePathSize = 4096;
// Open folders kept for later entries; past this many they are all closed (descriptors are limited).
constexpr size_t kMaxOpenFolders = 256;

// The native relative path without empty components ("a//b/" is "a/b"), which the system ignores too.
std::string Components(const char* path) {
  std::string out;
  for (const char* p = path; *p;) {
    const char* end = p;
    while (*end && *end != '/') ++end;
    if (end != p) {
      if (!out.empty()) out += '/';
      out.append(p, end);
    }
    p = *end ? end + 1 : end;
  }
  return out;
}

}  // namespace

TreeWriter::TreeWriter(RefusalReporter refused, const Options& options, AheadDecoder* ahead)
    : refused_(std::move(refused)), options_(options), ahead_(ahead) {
  // The run's number in the high half keeps two runs writing into one folder apart.
  serial_ = static_cast<uint64_t>(std::random_device()()) << 32;
}

TreeWriter::~TreeWriter() {
  CloseFolders();
  CloseFolder(target_.handle);
}

void TreeWriter::CloseFolders() {
  for (auto& entry : folders_) CloseFolder(entry.second.handle);
  folders_.clear();
}

void TreeWriter::Report(Extraction& x, bool okCancel, ErrorCode code, bool& stop) {
  if (ReportError(x, nullptr, okCancel, code, x.options.targetFolder) != 0 || !okCancel) stop = true;
}

EntryOutcome TreeWriter::Write(Extraction& x, const DirectoryEntry& e, uint32_t index, uint32_t joinPoint,
                               bool& stop) {
  const bool folder = (e.flags & kEntryFolder) != 0;
  if (options_.testOnly) return folder ? EntryOutcome::kDone : TestFile(x, e, index, stop);

  char* const path = x.options.targetFolder;
  if (!targetOpened_) {
    // The target without the separator the walk put behind it (a lone backslash, the root, keeps it).
    char target[kNativePathSize] = "";
    const uint32_t length = joinPoint > 1 && path[joinPoint - 1] == '\\' ? joinPoint - 1 : joinPoint;
    char engine[kTargetFolderSize];
    for (uint32_t i = 0; i < length; ++i) engine[i] = path[i];
    engine[length] = 0;
    if (ToNativePath(x.files, engine, target, sizeof target)) target_.handle = OpenFolder(x.files, target);
    if (target_.handle == kInvalidFolderHandle) {
      if (!x.files.lastSystemError) x.files.lastSystemError = kSystemErrorBadPathname;
      Report(x, !folder, folder ? kErrorCreateFolder : kErrorCreateFile, stop);
      return EntryOutcome::kFailed;
    }
    target_.fresh = options_.targetIsNew;
    targetOpened_ = true;
  }
  if (folders_.size() >= kMaxOpenFolders) CloseFolders();

  char native[kNativePathSize];
  if (!ToNativePath(x.files, path + joinPoint, native, sizeof native)) {
    x.files.lastSystemError = kSystemErrorBadPathname;
    Report(x, !folder, folder ? kErrorCreateFolder : kErrorCreateFile, stop);
    return EntryOutcome::kFailed;
  }
  return folder ? WriteFolder(x, Components(native), stop) : WriteFile(x, e, index, native, stop);
}

FolderStep TreeWriter::Reach(Extraction& x, const std::string& relative, const Folder*& out, std::string& where) {
  if (relative.empty()) {
    out = &target_;
    return FolderStep::kOpened;
  }
  if (auto it = folders_.find(relative); it != folders_.end()) {
    out = &it->second;
    return FolderStep::kOpened;
  }
  const size_t slash = relative.rfind('/');
  const Folder* parent = &target_;
  if (slash != std::string::npos) {
    const FolderStep up = Reach(x, relative.substr(0, slash), parent, where);
    if (up != FolderStep::kOpened && up != FolderStep::kCreated) return up;
  }
  FolderHandle handle;
  const char* name = relative.c_str() + (slash == std::string::npos ? 0 : slash + 1);
  const FolderStep step = OpenSubfolder(x.files, parent->handle, name, options_.followLinks, &handle);
  if (step != FolderStep::kOpened && step != FolderStep::kCreated) {
    where = relative;
    return step;
  }
  // What this run made stays known as fresh when its descriptor is closed to make room.
  if (step == FolderStep::kCreated) made_.insert(relative);
  out = &folders_.emplace(relative, Folder{handle, made_.count(relative) > 0}).first->second;
  return step;
}

const TreeWriter::Folder* TreeWriter::OpenFolderPath(Extraction& x, const std::string& relative, bool folderEntry,
                                                     bool& stop, EntryOutcome& outcome) {
  const Folder* folder = nullptr;
  std::string where;
  switch (Reach(x, relative, folder, where)) {
    case FolderStep::kOpened:
    case FolderStep::kCreated:
      return folder;
    case FolderStep::kLink: {
      // Not a failure of the disk: the entry is refused, the walk goes on.
      std::string reason = where;
      reason.insert(0, 1, '"');
      reason += "\" is a link to a folder (--follow-links follows it)";
      refused_(reason);
      outcome = EntryOutcome::kFailed;
      return nullptr;
    }
    case FolderStep::kNotFolder:
      // A file in the way: the folder itself "exists" as a file, one on the way to it is a path not found.
      x.files.lastSystemError = folderEntry && where == relative ? kSystemErrorFileExists : kSystemErrorPathNotFound;
      break;
    case FolderStep::kFailed:
      break;
  }
  Report(x, !folderEntry, folderEntry ? kErrorCreateFolder : kErrorCreateFile, stop);
  outcome = EntryOutcome::kFailed;
  return nullptr;
}

EntryOutcome TreeWriter::WriteFolder(Extraction& x, const std::string& relative, bool& stop) {
  EntryOutcome outcome = EntryOutcome::kDone;
  // The read-only, hidden and system attributes mean nothing for a folder here.
  OpenFolderPath(x, relative, true, stop, outcome);
  return outcome;
}

TreeWriter::Answer TreeWriter::Ask(Extraction& x) {
  if (x.options.overwriteWithoutPrompting) return Answer::kReplace;
  asked_ = true;
  switch (x.frontEnd->AskOverwrite(x.options.targetFolder)) {
    case OverwriteAnswer::kNo:
      return Answer::kKeep;
    case OverwriteAnswer::kYesToAll:
      x.options.overwriteWithoutPrompting = true;
      return Answer::kReplace;
    default:
      return Answer::kReplace;
  }
}

bool TreeWriter::KeptAfterAll(Extraction& x, FolderHandle folder, const char* name) {
  if (asked_ || x.options.overwriteWithoutPrompting) return false;
  const NameKind kind = KindOfName(x.files, folder, name);
  return kind != NameKind::kNothing && kind != NameKind::kFolder && Ask(x) == Answer::kKeep;
}

ErrorCode TreeWriter::Decode(Extraction& x, const DirectoryEntry& e, uint32_t index, FileHandle file, uint32_t& crc) {
  if (ahead_ && e.length > 0 && ahead_->Planned(index)) {
    const AheadResult r = ahead_->Take(
        index, [&](const uint8_t* bytes, uint32_t count) { return FileWrite(x.files, file, bytes, count) == static_cast<int32_t>(count); },
        x.cancelRequested);
    if (r.kind == AheadResult::Kind::kAborted) return kErrorWrite;  // FileWrite recorded why
    if (r.kind == AheadResult::Kind::kDecoded) {
      if (r.rc < 0) x.files.lastSystemError = r.systemError;
      crc = r.crc;
      return r.rc;
    }
    // Not decoded ahead: the walk's own decoder takes over, as it would have without the workers.
  }
  const uint32_t segmentPos = x.archiveOffset + e.segmentOffset + kSegmentSignatureSize;
  const ErrorCode rc = DecodeFileData(x.decoder, file, segmentPos, e.position, e.length, CallFilterOf(e.flags));
  crc = x.decoder.output.fileCrc;
  return rc;
}

EntryOutcome TreeWriter::TestFile(Extraction& x, const DirectoryEntry& e, uint32_t index, bool& stop) {
  PumpMessages(x);
  uint32_t crc = 0;
  const ErrorCode rc = Decode(x, e, index, kDiscardFileHandle, crc);
  if (rc < 0) {
    Report(x, false, rc, stop);  // shows nothing for a cancel
    return rc == kErrorCancelled ? EntryOutcome::kCancelled : EntryOutcome::kFailed;
  }
  if (crc != e.crc) {
    Report(x, true, kErrorCrc, stop);
    return EntryOutcome::kFailed;
  }
  return EntryOutcome::kDone;
}

EntryOutcome TreeWriter::WriteFile(Extraction& x, const DirectoryEntry& e, uint32_t index, const char* native,
                                   bool& stop) {
  FileLayer& f = x.files;
  // A file's name cannot end in a separator (the create would fail on Windows too).
  const size_t length = std::strlen(native);
  if (length > 0 && native[length - 1] == '/') {
    f.lastSystemError = kSystemErrorBadPathname;
    Report(x, true, kErrorCreateFile, stop);
    return EntryOutcome::kFailed;
  }
  const std::string relative = Components(native);
  const size_t slash = relative.rfind('/');
  const std::string name = slash == std::string::npos ? relative : relative.substr(slash + 1);
  EntryOutcome outcome = EntryOutcome::kFailed;
  const Folder* folder = OpenFolderPath(x, slash == std::string::npos ? std::string() : relative.substr(0, slash),
                                        false, stop, outcome);
  if (!folder) return outcome;
  const FolderHandle dir = folder->handle;
  asked_ = false;

  // Where something may stand under the name, ask before decoding, as the self-extractor does. A folder is
  // not asked about: the file cannot be made over it. Neither can it over a read-only file, once replacing
  // it was allowed.
  if (!folder->fresh && !x.options.overwriteWithoutPrompting) {
    const NameKind found = KindOfName(f, dir, name.c_str());
    if (found == NameKind::kFolder) {
      f.lastSystemError = kSystemErrorAccessDenied;
      Report(x, true, kErrorCreateFile, stop);
      return EntryOutcome::kFailed;
    }
    if (found != NameKind::kNothing) {
      if (Ask(x) == Answer::kKeep) return EntryOutcome::kSkipped;
      if (found == NameKind::kReadOnlyFile) {
        f.lastSystemError = kSystemErrorAccessDenied;
        Report(x, true, kErrorCreateFile, stop);
        return EntryOutcome::kFailed;
      }
    }
  }

  char temporary[kTemporaryNameSize];
  const FileHandle file = CreateTemporaryFile(f, dir, (e.attributes & kAttributeReadOnly) != 0, serial_++, temporary);
  if (file == kInvalidFileHandle) {
    Report(x, true, kErrorCreateFile, stop);
    return EntryOutcome::kFailed;
  }
  WritingFile(static_cast<int>(dir), temporary);
  const auto discard = [&] {
    DiscardFile(dir, temporary);
    WritingFile(-1, nullptr);
  };

  PumpMessages(x);
  uint32_t crc = 0;
  const ErrorCode rc = Decode(x, e, index, file, crc);
  if (rc < 0) {
    FileClose(f, file);
    discard();
    // A file nobody was asked about yet, kept after all, was never to be decoded: its failure is not told,
    // and the next file of its segment starts the segment afresh.
    if (rc != kErrorCancelled && KeptAfterAll(x, dir, name.c_str())) {
      ResetSegmentDecoder(x.decoder);
      return EntryOutcome::kSkipped;
    }
    Report(x, false, rc, stop);  // shows nothing for a cancel
    return rc == kErrorCancelled ? EntryOutcome::kCancelled : EntryOutcome::kFailed;
  }
  FileSetTimes(f, file, e.createDate, e.createTime, e.writeDate, e.writeTime);
  FileClose(f, file);
  if (crc != e.crc) {
    discard();
    if (KeptAfterAll(x, dir, name.c_str())) return EntryOutcome::kSkipped;
    Report(x, true, kErrorCrc, stop);
    return EntryOutcome::kFailed;
  }
  // Ctrl-C while the file was written: it is not put in place.
  if (x.cancelRequested.load()) {
    discard();
    stop = true;
    return EntryOutcome::kCancelled;
  }

  WritingFile(-1, nullptr);  // from here on the temporary file is the one that may take the final name
  if (CommitFile(f, dir, temporary, name.c_str(), false)) return EntryOutcome::kDone;
  if (f.lastSystemError == kSystemErrorFileExists) {
    // The name was taken meanwhile, or in a folder of this run by an earlier entry of the same name.
    const NameKind found = KindOfName(f, dir, name.c_str());
    if (found != NameKind::kFolder && !asked_ && Ask(x) == Answer::kKeep) {
      DiscardFile(dir, temporary);
      return EntryOutcome::kSkipped;
    }
    if (found == NameKind::kFolder || found == NameKind::kReadOnlyFile) {
      f.lastSystemError = kSystemErrorAccessDenied;
    } else if (CommitFile(f, dir, temporary, name.c_str(), true)) {
      return EntryOutcome::kDone;
    }
  }
  DiscardFile(dir, temporary);
  Report(x, true, kErrorCreateFile, stop);
  return EntryOutcome::kFailed;
}

}  // namespace zor
