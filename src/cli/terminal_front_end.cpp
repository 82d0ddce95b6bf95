// Messages and questions on the terminal for the zor tool.
#include "cli/terminal_front_end.h"

#include <cctype>

#include "archive/archive_format.h"
#include "extract/paths.h"

namespace zor {

std::string TerminalFrontEnd::Shown(std::string_view text) const {
  std::string utf8 = codePage_ ? codePage_->ToUtf8(text) : std::string(text);
  for (char& c : utf8)
    if (c == '\\') c = '/';
  std::string shown;
  size_t start = 0;
  for (size_t end; (end = utf8.find('\n', start)) != std::string::npos; start = end + 1) {
    shown += Printable(std::string_view(utf8).substr(start, end - start)) + "\n";
  }
  return shown + Printable(std::string_view(utf8).substr(start));
}

int TerminalFrontEnd::ReadAnswer() {
  int c = std::fgetc(in_);
  int first = c;
  while (c != EOF && c != '\n') c = std::fgetc(in_);
  if (first == EOF) {
    std::fputc('\n', err_);  // the answer's line was never ended
    return 0;
  }
  return std::tolower(first);
}

NoticeAnswer TerminalFrontEnd::ShowMessage(WindowRef, const char* text, const char*, Notice kind) {
  if (progress_) progress_->Clear();
  std::fprintf(err_, "zor: %s\n", Shown(text).c_str());
  // A failure of an entry is counted once, when the entry is finished with.
  if (kind != Notice::kInformation && !inEntry_) ++counts_.errors;
  if (kind != Notice::kFailureOrGoOn || !interactive_) return NoticeAnswer::kOk;
  for (;;) {
    std::fprintf(err_, "Continue? [o]k / [c]ancel: ");
    std::fflush(err_);
    switch (ReadAnswer()) {
      case 'o': case 'y': return NoticeAnswer::kOk;
      case 'c': case 'n': case 0: return NoticeAnswer::kCancel;
    }
  }
}

void TerminalFrontEnd::ReportRefused(const std::string& reason) {
  if (progress_) progress_->Clear();
  std::fprintf(err_, "zor: refused \"%s\": %s\n", entryName_.c_str(), Printable(reason).c_str());
}

// The progress display names the entries itself.
void TerminalFrontEnd::SetStatus(WindowRef, const char*) {}

OverwriteAnswer TerminalFrontEnd::AskOverwrite(const char* fullPath) {
  if (keepExisting_) return OverwriteAnswer::kNo;
  if (progress_) progress_->Clear();
  const std::string path = Shown(fullPath);
  if (!interactive_) {
    std::fprintf(err_, "zor: File \"%s\" already exists: kept (--overwrite replaces it)\n", path.c_str());
    return OverwriteAnswer::kNo;
  }
  for (;;) {
    std::fprintf(err_, "File \"%s\" already exists. Do you want to replace it? [y]es / [n]o / [a]ll: ",
                 path.c_str());
    std::fflush(err_);
    switch (ReadAnswer()) {
      case 'y': return OverwriteAnswer::kYes;
      case 'a': return OverwriteAnswer::kYesToAll;
      case 'n': case 0: return OverwriteAnswer::kNo;
    }
  }
}

void TerminalFrontEnd::PumpMessages() {
  if (progress_) progress_->Tick(counts_);
}

void TerminalFrontEnd::EntryStarted(const DirectoryEntry& entry, const char* storedPath, uint32_t length) {
  inEntry_ = true;
  entryName_ = Shown(std::string_view(storedPath, length));
  if (entry.flags & kEntryFolder) entryName_ += '/';
  if (progress_) progress_->EntryStarted(entryName_, counts_);
}

void TerminalFrontEnd::EntryFinished(const DirectoryEntry& entry, const char*, uint32_t, EntryOutcome outcome) {
  inEntry_ = false;
  ++counts_.entriesSeen;
  switch (outcome) {
    case EntryOutcome::kDone:
      if (entry.flags & kEntryFolder) {
        ++counts_.folders;
      } else {
        ++counts_.files;
        counts_.bytes += entry.length;
      }
      break;
    case EntryOutcome::kSkipped:
      ++counts_.kept;
      break;
    case EntryOutcome::kTooLong:
      // The self-extractor passes over it without a word; here it is an entry not extracted.
      if (progress_) progress_->Clear();
      std::fprintf(err_, "zor: skipped \"%s\": its full path would be longer than %u characters\n",
                   entryName_.c_str(), kMaxPathLength);
      ++counts_.errors;
      break;
    case EntryOutcome::kRefused:
      // The damaged-data message does not say which entry it was.
      if (progress_) progress_->Clear();
      std::fprintf(err_, "zor: refused \"%s\": it would be written outside the target folder\n",
                   entryName_.c_str());
      ++counts_.errors;
      break;
    case EntryOutcome::kDevice:
      if (progress_) progress_->Clear();
      std::fprintf(err_, "zor: refused \"%s\": it is the name of a device on Windows\n", entryName_.c_str());
      ++counts_.errors;
      break;
    case EntryOutcome::kFailed:
      ++counts_.errors;
      break;
    case EntryOutcome::kCancelled:
      break;
  }
  if (progress_) {
    progress_->EntryFinished(entryName_, entry.flags & kEntryFolder, outcome == EntryOutcome::kDone, counts_);
  }
}

}  // namespace zor
