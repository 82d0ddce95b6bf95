// zor create: checks everything first, then packs into a temporary file that takes the output's name
// only when complete.
#include "cli/create_command.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <thread>

#include "archive/archive_format.h"
#include "cli/code_page.h"
#include "cli/exit_codes.h"
#include "cli/input_tree.h"
#include "cli/output_file.h"
#include "cli/pack_progress.h"
#include "cli/progress.h"
#include "cli/stub_image.h"
#include "cli/terminal.h"
#include "encoder/archive_writer.h"
#include "encoder/packer.h"
#include "extract/extraction.h"

namespace zor {

namespace {

constexpr size_t kMaxTitle = 79;    // the stub keeps 79 characters of its title
constexpr size_t kMaxFolder = 259;  // and 259 of its default folder

// The code pages names may be written in: Windows' single-byte ANSI pages. In the double-byte ones (932,
// 936, 949, 950) the second byte of a character can be a backslash, which the self-extractor takes for a
// separator; the DOS pages (437, 850...) are not what Windows programs use for file names.
constexpr unsigned kWritableCodePages[] = {874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258};

// Opens the code page for writing; false with a message on `err`.
bool OpenWritableCodePage(const std::string& text, CodePage& codePage, std::FILE* err) {
  unsigned number = ParseCodePage(text);
  bool writable = false;
  for (unsigned n : kWritableCodePages) writable = writable || n == number;
  if (number == 932 || number == 936 || number == 949 || number == 950) {
    std::fprintf(err,
                 "zor: code page %u is a double-byte code page: a backslash byte inside a character would split "
                 "names in the self-extractor (choose 874 or 1250 to 1258)\n",
                 number);
    return false;
  }
  if (!writable) {
    std::fprintf(err, "zor: unknown code page \"%s\" for names in an archive (choose 874 or 1250 to 1258)\n",
                 text.c_str());
    return false;
  }
  if (!codePage.Open(number)) {
    std::fprintf(err, "zor: this system has no converter for code page %u\n", number);
    return false;
  }
  return true;
}

// Reads the walked files and writes the temporary output.
class CreateIo final : public encoder::PackIo {
 public:
  CreateIo(const InputTree& tree, AtomicOutputFile& file, PackProgress* bar)
      : tree_(tree), file_(file), bar_(bar) {}

  bool ReadFile(size_t index, std::vector<uint8_t>& data, std::string& error) override {
    const InputEntry& e = tree_.files[index];
    int fd = OpenWalkedFile(e, error);
    if (fd < 0) return false;
    struct stat st;
    bool ok = fstat(fd, &st) == 0;
    // Read one byte beyond the expected size to notice a file that grew.
    data.resize(e.size + 1);
    size_t done = 0;
    while (ok && done < data.size()) {
      ssize_t n = read(fd, data.data() + done, data.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) ok = false;
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    int saved = errno;
    close(fd);
    if (!ok) {
      error = "\"" + e.source + "\": " + std::strerror(saved);
      return false;
    }
    if (done != e.size) {
      error = "\"" + e.source + "\" changed while it was being packed";
      return false;
    }
    data.resize(done);
    return true;
  }
  bool ReadFileAt(size_t index, uint64_t offset, uint8_t* data, size_t size, size_t& got,
                  std::string& error) override {
    const InputEntry& e = tree_.files[index];
    int fd = OpenWalkedFile(e, error);
    if (fd < 0) return false;
    got = 0;
    while (got < size) {
      ssize_t n = pread(fd, data + got, size - got, static_cast<off_t>(offset + got));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        error = "\"" + e.source + "\": " + std::strerror(errno);
        close(fd);
        return false;
      }
      if (n == 0) break;
      got += static_cast<size_t>(n);
    }
    close(fd);
    return true;
  }
  bool Write(const uint8_t* data, size_t size, std::string& error) override {
    return file_.Write(data, size, error);
  }
  bool WriteAt(uint64_t offset, const uint8_t* data, size_t size, std::string& error) override {
    return file_.WriteAt(offset, data, size, error);
  }
  void Progress(uint64_t bytesIn, uint64_t bytesOut) override {
    if (bar_) bar_->Update(bytesIn, bytesOut);
  }

 private:
  const InputTree& tree_;
  AtomicOutputFile& file_;
  PackProgress* bar_;
};

encoder::PackEntry ToPackEntry(const InputEntry& e) {
  encoder::PackEntry p;
  p.storedPath = e.storedPath;
  p.attributes = e.attributes;
  p.createTime = e.created.time;
  p.createDate = e.created.date;
  p.writeTime = e.written.time;
  p.writeDate = e.written.date;
  p.size = e.size;
  return p;
}

// Converts an option's text to the code page and checks its length; false with a message on `err`.
bool ConvertText(CodePage& codePage, const char* what, const std::string& text, size_t limit,
                 std::string& out, std::FILE* err) {
  if (!codePage.FromUtf8(text, out)) {
    std::fprintf(err, "zor: the %s %s\n", what, Unconvertible(codePage, text).c_str());
    return false;
  }
  if (out.size() > limit) {
    std::fprintf(err, "zor: the %s is %zu characters long; the self-extractor takes at most %zu\n", what, out.size(),
                 limit);
    return false;
  }
  return true;
}

}  // namespace

CLI::App* AddCreateCommand(CLI::App& app, CreateOptions& o) {
  CLI::App* c = app.add_subcommand("create", "Pack files and folders into a self-extractor");
  c->add_option("OUT", o.output, "the self-extractor to write")->required();
  c->add_option("INPUT", o.inputs, "files and folders to pack (folders with everything in them)")->required();
  c->add_option("--title", o.title, "the self-extractor's window title (at most 79 characters)");
  c->add_option("--default-folder", o.defaultFolder, "the folder it offers to extract into (at most 259)");
  c->add_flag("--overwrite-without-prompting", o.overwriteWithoutPrompting,
              "start with 'Overwrite Existing Files Without Prompting' checked");
  c->add_flag("--bare", o.bare, "write the archive (with the stub header, if any) without the stub");
  static const char* const kLevelHelp[10] = {"store only", "fastest compression", nullptr, nullptr, nullptr,
                                             nullptr, "the default (-0 .. -9)", nullptr, nullptr, "strongest"};
  auto levelsGiven = std::make_shared<int>(0);
  for (int level = 0; level <= 9; ++level) {
    CLI::Option* flag = c->add_flag_callback(
        "-" + std::to_string(level), [&o, level, levelsGiven] { o.level = level, ++*levelsGiven; },
        kLevelHelp[level] ? kLevelHelp[level] : "");
    if (!kLevelHelp[level]) flag->group("");  // the levels between need no line of their own
  }
  c->callback([levelsGiven] {
    if (*levelsGiven > 1) throw CLI::ValidationError("-0 .. -9", "give one level at most");
  });
  c->add_option("-j,--jobs", o.threads, "segments compressed at once (default: one per core)");
  c->add_option("--codepage", o.codePage, "Windows code page of the names (default 1252; 874, 1250-1258)");
  c->add_flag("-q,--quiet", o.quiet, "no warnings, no progress bar");
  o.progress = CanDrawProgressBar();
  return c;
}

std::vector<uint8_t> OutputPrefix(bool bare, const std::optional<std::string>& title,
                                  const std::optional<std::string>& folder, bool overwrite) {
  std::vector<uint8_t> prefix;
  if (!bare) prefix.assign(kStubImage, kStubImage + kStubImageSize);
  if (title || folder || overwrite) {
    // A header without a title would leave the caption empty: the stub's own stands in for a missing one.
    std::vector<uint8_t> header = encoder::WriteStubHeader(overwrite ? kStubFlagOverwrite : 0,
                                                           title ? *title : kDefaultWindowTitle, folder ? *folder : "");
    prefix.insert(prefix.end(), header.begin(), header.end());
  }
  return prefix;
}

int RunCreate(const CreateOptions& options, std::FILE* out, std::FILE* err) {
  CodePage codePage;
  if (!OpenWritableCodePage(options.codePage, codePage, err)) return kExitUsage;
  if (options.level < 0 || options.level > 9) {
    std::fprintf(err, "zor: the level must be 0 to 9\n");
    return kExitUsage;
  }

  std::optional<std::string> title, folder;
  if (options.title && !ConvertText(codePage, "title", *options.title, kMaxTitle, title.emplace(), err))
    return kExitDataError;
  if (options.defaultFolder &&
      !ConvertText(codePage, "default folder", *options.defaultFolder, kMaxFolder, folder.emplace(), err))
    return kExitDataError;
  const std::vector<uint8_t> prefix = OutputPrefix(options.bare, title, folder, options.overwriteWithoutPrompting);

  InputRules rules;
  rules.codePage = &codePage;
  // A bare archive is meant to go behind a stub later: it must leave the stub's room.
  rules.outputStart = prefix.size() + (options.bare ? kStubImageSize : 0);
  struct stat outputStat;
  if (stat(options.output.c_str(), &outputStat) == 0) {
    if (S_ISDIR(outputStat.st_mode)) {
      std::fprintf(err, "zor: \"%s\" is a folder; name the file to create\n", options.output.c_str());
      return kExitDataError;
    }
    rules.skipOutput = true;
    rules.outputDevice = outputStat.st_dev;
    rules.outputInode = outputStat.st_ino;
  }

  InputTree tree;
  std::vector<std::string> errors, warnings;
  bool usable = CollectInputs(options.inputs, rules, tree, errors, warnings);
  if (!options.quiet) {
    for (const std::string& w : warnings) std::fprintf(err, "zor: %s\n", w.c_str());
    if (tree.clampedTimes > 0) {
      std::fprintf(err, "zor: %zu %s times outside 1980 to 2107, the years an archive can hold; %s the nearest\n",
                   tree.clampedTimes, tree.clampedTimes == 1 ? "entry has" : "entries have",
                   tree.clampedTimes == 1 ? "it gets" : "they get");
    }
  }
  if (!usable) {
    for (const std::string& e : errors) std::fprintf(err, "zor: %s\n", e.c_str());
    std::fprintf(err, "zor: nothing written\n");
    return kExitDataError;
  }

  encoder::PackJob job;
  for (const InputEntry& e : tree.folders) job.folders.push_back(ToPackEntry(e));
  for (const InputEntry& e : tree.files) job.files.push_back(ToPackEntry(e));
  job.settings.level = options.level;
  job.threads = options.threads ? options.threads : std::max(1u, std::thread::hardware_concurrency());
  job.outputStart = prefix.size();
  job.outputLimit = encoder::kMaxProgramFileLength - (options.bare ? kStubImageSize : 0);

  AtomicOutputFile file;
  std::string error;
  if (!file.Open(options.output, error)) {
    std::fprintf(err, "zor: %s\n", error.c_str());
    return kExitDataError;
  }
  std::optional<PackProgress> bar;
  if (options.progress && !options.quiet) bar.emplace(err, tree.totalBytes);
  CreateIo io(tree, file, bar ? &*bar : nullptr);
  if (!file.Write(prefix.data(), prefix.size(), error)) {
    std::fprintf(err, "zor: %s\n", error.c_str());
    return kExitDataError;
  }
  encoder::PackResult result;
  try {
    result = encoder::PackArchive(job, io);
  } catch (const std::bad_alloc&) {  // the temporary file goes with `file`
    result.status = encoder::PackStatus::kFailed;
    result.error = "out of memory";
  } catch (const std::exception& e) {
    result.status = encoder::PackStatus::kFailed;
    result.error = e.what();
  }
  if (bar) bar->Clear();
  if (result.status != encoder::PackStatus::kOk) {
    file.Discard();
    std::fprintf(err, "zor: %s; nothing written\n", result.error.c_str());
    return kExitDataError;
  }
  if (!file.Commit(error)) {
    std::fprintf(err, "zor: %s\n", error.c_str());
    return kExitDataError;
  }
  if (bar) {
    uint64_t total = prefix.size() + result.archiveLength;
    std::fprintf(out, "%s: %zu files and %zu folders, %s packed into %s (%.1f%%)\n", options.output.c_str(),
                 tree.files.size(), tree.folders.size(), FormatBytes(result.inputBytes).c_str(),
                 FormatBytes(total).c_str(),
                 result.inputBytes ? 100.0 * static_cast<double>(total) / static_cast<double>(result.inputBytes) : 0.0);
  }
  return kExitOk;
}

}  // namespace zor
