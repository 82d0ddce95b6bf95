// zor create: checks everything first, then packs into a temporary file that takes the output's name
// only when complete.
#include "cli/create_command.h"

#include <CLI/CLI.hpp>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <map>
#include <memory>
#include <new>
#include <thread>

#include "archive/archive_format.h"
#include "cli/code_page.h"
#include "cli/exit_codes.h"
#include "cli/host_files.h"
#include "cli/input_tree.h"
#include "cli/output_file.h"
#include "cli/pack_progress.h"
#include "cli/pattern.h"
#include "cli/progress.h"
#include "cli/stub_image.h"
#include "cli/terminal.h"
#include "encoder/archive_writer.h"
#include "encoder/packer.h"
#include "encoder/pe_resources.h"
#include "encoder/stub_resources.h"
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
    // One byte beyond the expected size notices a file that grew.
    data.resize(e.size + 1);
    size_t got = 0;
    if (!ReadWalkedFile(e, 0, data.data(), data.size(), got, error)) return false;
    data.resize(got);
    if (got != e.size) {
      error = "\"" + e.source + "\" changed while it was being packed";
      return false;
    }
    return true;
  }
  bool ReadFileAt(size_t index, uint64_t offset, uint8_t* data, size_t size, size_t& got,
                  std::string& error) override {
    return ReadWalkedFile(tree_.files[index], offset, data, size, got, error);
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

// SOURCE_DATE_EPOCH, the reproducible-builds convention: no time stored is later than it. False with a
// message when it is set but no number of seconds.
bool SourceDateEpoch(std::optional<int64_t>& latest, std::FILE* err) {
  const char* text = std::getenv("SOURCE_DATE_EPOCH");
  if (!text || !*text) return true;
  char* end = nullptr;
  errno = 0;
  const long long seconds = std::strtoll(text, &end, 10);
  if (*end != 0 || errno != 0 || seconds < 0 || *text < '0' || *text > '9') {
    std::fprintf(err, "zor: SOURCE_DATE_EPOCH is \"%s\", not a number of seconds since 1970\n", text);
    return false;
  }
  latest = seconds;
  return true;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

// The version information from --version-info and the defaults: FileDescription and ProductName from the
// title (the stub's own caption without one), each version from the other, OriginalFilename from the
// output's name. An empty value leaves a key out. kExitOk, or kExitUsage with a message on `err`.
int VersionInfoFor(const CreateOptions& o, encoder::VersionInfo& info, std::FILE* err) {
  std::map<std::string, std::u16string> given;
  for (const std::string& item : o.versionInfo) {
    const size_t equals = item.find('=');
    std::string key = item.substr(0, equals);
    const char* canonical = nullptr;
    for (const char* known : encoder::kVersionKeys)
      if (EqualNoCase(known, key)) canonical = known;
    if (equals == std::string::npos || !canonical) {
      std::string known;
      for (const char* k : encoder::kVersionKeys) known += (known.empty() ? "" : ", ") + std::string(k);
      std::fprintf(err, "zor: --version-info takes KEY=VALUE with one of the keys %s; not \"%s\"\n", known.c_str(),
                   item.c_str());
      return kExitUsage;
    }
    std::u16string value;
    if (!Utf8ToUtf16(item.substr(equals + 1), value)) {
      std::fprintf(err, "zor: the value of %s is not UTF-8 text\n", canonical);
      return kExitUsage;
    }
    if (value.size() > encoder::kMaxVersionValue) {
      std::fprintf(err, "zor: the value of %s is %zu characters long; at most %zu are taken\n", canonical,
                   value.size(), encoder::kMaxVersionValue);
      return kExitUsage;
    }
    if (!given.emplace(canonical, value).second) {
      std::fprintf(err, "zor: --version-info gives %s twice\n", canonical);
      return kExitUsage;
    }
  }
  std::u16string title, file;
  Utf8ToUtf16(o.title ? *o.title : std::string(kDefaultWindowTitle), title);
  size_t name = o.output.size();
  while (name > 0 && !HostIsSeparator(o.output[name - 1])) --name;
  Utf8ToUtf16(o.output.substr(name), file);
  given.emplace("FileDescription", title);
  given.emplace("ProductName", title);
  if (given.count("FileVersion") && !given.count("ProductVersion")) given["ProductVersion"] = given["FileVersion"];
  if (given.count("ProductVersion") && !given.count("FileVersion")) given["FileVersion"] = given["ProductVersion"];
  given.emplace("OriginalFilename", file);
  info = encoder::VersionInfo{};
  for (const char* key : encoder::kVersionKeys) {
    auto it = given.find(key);
    if (it != given.end() && !it->second.empty()) info.strings.emplace_back(key, it->second);
  }
  if (given.count("FileVersion")) info.fileVersion = encoder::ParseVersionNumbers(given["FileVersion"]);
  if (given.count("ProductVersion")) info.productVersion = encoder::ParseVersionNumbers(given["ProductVersion"]);
  return kExitOk;
}

// The stub for this self-extractor: the embedded one, with the manifest's execution level, the icon and
// the version information the options ask for. Empty for a bare archive. kExitOk, or the exit code with a
// message on `err`.
int StubFor(const CreateOptions& o, std::vector<uint8_t>& stub, std::FILE* err) {
  stub.clear();
  const bool changesStub = o.elevation || o.icon || !o.versionInfo.empty();
  if (o.bare) {
    if (!changesStub) return kExitOk;
    std::fprintf(err, "zor: --elevation, --icon and --version-info change the stub, and --bare writes none\n");
    return kExitUsage;
  }
  encoder::StubChanges changes;
  changes.executionLevel = o.elevation;
  if (o.icon) {
    constexpr uint64_t kLargestIcon = 16u << 20;  // 256 images of 256 x 256 pixels in 32 bits are 64 MB;
                                                   // icons in use are a few hundred kilobytes
    std::vector<uint8_t> file;
    std::string error;
    if (!HostReadFile(*o.icon, kLargestIcon + 1, file, error)) {
      std::fprintf(err, "zor: cannot read \"%s\": %s\n", o.icon->c_str(), error.c_str());
      return kExitDataError;
    }
    if (file.size() > kLargestIcon) {
      std::fprintf(err, "zor: \"%s\" is not a usable icon: it is larger than 16 MB\n", o.icon->c_str());
      return kExitDataError;
    }
    if (!encoder::ParseIconFile(file, changes.icons, error)) {
      std::fprintf(err, "zor: \"%s\" is not a usable icon: %s\n", o.icon->c_str(), error.c_str());
      return kExitDataError;
    }
  }
  if (o.title || !o.versionInfo.empty()) {
    if (int rc = VersionInfoFor(o, changes.version.emplace(), err); rc != kExitOk) return rc;
  }
  if (!o.elevation && !o.icon && !changes.version) {
    stub.assign(kStubImage, kStubImage + kStubImageSize);
    return kExitOk;
  }
  std::string error;
  if (!encoder::CustomizeStub(kStubImage, kStubImageSize, changes, stub, error)) {
    std::fprintf(err, "zor: %s\n", error.c_str());
    return kExitDataError;
  }
  return kExitOk;
}

// Sets the PE checksum of the whole self-extractor, archive included, as Windows' tools compute it.
bool SetChecksum(AtomicOutputFile& file, const std::vector<uint8_t>& stub, std::string& error) {
  encoder::PeHeaders headers;
  if (!encoder::ReadPeHeaders(stub.data(), stub.size(), headers, error)) return false;
  const uint32_t at = encoder::CheckSumOffset(headers);
  encoder::PeChecksum sum(at);
  std::vector<uint8_t> buffer(1 << 20);
  for (uint64_t offset = 0;;) {
    const int64_t n = file.ReadAt(offset, buffer.data(), buffer.size(), error);
    if (n < 0) return false;
    if (n == 0) break;
    sum.Add(buffer.data(), static_cast<size_t>(n));
    offset += static_cast<uint64_t>(n);
  }
  const uint32_t value = sum.Finish();
  const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                            static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
  return file.WriteAt(at, bytes, 4, error);
}

}  // namespace

CLI::App* AddCreateCommand(CLI::App& app, CreateOptions& o) {
  CLI::App* c = app.add_subcommand("create", "Pack files and folders into a self-extractor");
  c->add_option("OUT", o.output, "the self-extractor to write")->required();
  c->add_option("INPUT", o.inputs,
                "files and folders to pack (folders with everything in them); @LISTFILE: those it lists, one a "
                "line (@- standard input)")
      ->required();
  c->add_option("--exclude", o.excludes, "leave out what PATTERN matches, by stored path or by name (repeatable)")
      ->type_name("PATTERN")
      ->allow_extra_args(false);
  c->add_flag("--null", o.nulSeparated, "list files hold NUL-terminated paths, as find -print0 writes them");
  c->add_option("--title", o.title, "the self-extractor's window title (at most 79 characters)");
  c->add_option("--default-folder", o.defaultFolder, "the folder it offers to extract into (at most 259)");
  c->add_flag("--overwrite-without-prompting", o.overwriteWithoutPrompting,
              "start with 'Overwrite Existing Files Without Prompting' checked");
  c->add_option("--elevation", o.elevation, "the execution level the self-extractor asks Windows for")
      ->check(CLI::IsMember({"asInvoker", "highestAvailable", "requireAdministrator"}));
  c->add_option("--icon", o.icon, "an .ico file: the self-extractor's icon (all its images)");
  c->add_option("--version-info", o.versionInfo,
                "KEY=VALUE for the version information (ProductName, ProductVersion, FileVersion, "
                "FileDescription, CompanyName, LegalCopyright...; repeatable)")
      ->allow_extra_args(false);
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

std::vector<uint8_t> OutputPrefix(const std::vector<uint8_t>& stub, const std::optional<std::string>& title,
                                  const std::optional<std::string>& folder, bool overwrite) {
  std::vector<uint8_t> prefix = stub;
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
  std::vector<uint8_t> stub;
  if (int rc = StubFor(options, stub, err); rc != kExitOk) return rc;
  const std::vector<uint8_t> prefix = OutputPrefix(stub, title, folder, options.overwriteWithoutPrompting);

  InputRules rules;
  rules.codePage = &codePage;
  if (!SourceDateEpoch(rules.latestTime, err)) return kExitUsage;
  const EntrySelection exclude({}, options.excludes);
  rules.exclude = &exclude;
  // A bare archive is meant to go behind a stub later: it must leave the stub's room.
  rules.outputStart = prefix.size() + (options.bare ? kStubImageSize : 0);
  HostFacts outputFacts;
  std::string missing;
  if (HostInspect(options.output, outputFacts, missing)) {
    if (outputFacts.kind == HostKind::kFolder) {
      std::fprintf(err, "zor: \"%s\" is a folder; name the file to create\n", options.output.c_str());
      return kExitDataError;
    }
    rules.skipOutput = true;
    rules.outputDevice = outputFacts.device;
    rules.outputInode = outputFacts.inode;
  }

  std::vector<InputPath> inputs;
  if (std::string listError; !ExpandListFiles(options.inputs, options.nulSeparated, inputs, listError)) {
    std::fprintf(err, "zor: %s; nothing written\n", listError.c_str());
    return kExitDataError;
  }
  InputTree tree;
  std::vector<std::string> errors, warnings;
  bool usable = CollectInputs(inputs, rules, tree, errors, warnings);
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
  if (result.status == encoder::PackStatus::kOk && !stub.empty() && !SetChecksum(file, stub, result.error))
    result.status = encoder::PackStatus::kWriteFailed;
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
