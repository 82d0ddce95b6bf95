// Fuzz target: the tool's whole extraction (its entry writer, on one thread or with a decoding worker) of
// an archive made from the input, into a scratch folder where links and second names planted by the input
// lead outside. Whatever the entries are called, whatever their data and however the questions are
// answered, nothing outside the folder may change (what exists, its kind, permissions, size, content and
// link target), and no temporary file may be left behind.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "cli/ahead_decoder.h"
#include "cli/tree_writer.h"
#include "encoder/archive_writer.h"
#include "encoder/segment_writer.h"
#include "extract/extract_all.h"
#include "extract/extraction.h"
#include "fuzz_input.h"

namespace {

using namespace zor;
namespace fs = std::filesystem;

// Answers from the input: overwrite questions and OK-Cancel messages.
class ScriptedFrontEnd final : public FrontEnd {
 public:
  explicit ScriptedFrontEnd(uint32_t script) : script_(script) {}
  NoticeAnswer ShowMessage(WindowRef, const char*, const char*, Notice) override {
    return Next() ? NoticeAnswer::kOk : NoticeAnswer::kCancel;
  }
  void SetStatus(WindowRef, const char*) override {}
  OverwriteAnswer AskOverwrite(const char*) override {
    static constexpr OverwriteAnswer kAnswers[] = {OverwriteAnswer::kYes, OverwriteAnswer::kNo,
                                                   OverwriteAnswer::kYesToAll, OverwriteAnswer::kNo};
    return kAnswers[(Next() << 1 | Next()) & 3];
  }
  void PumpMessages() override {}

 private:
  uint32_t Next() {
    const uint32_t bit = script_ & 1;
    script_ = script_ >> 1 | bit << 31;
    return bit;
  }
  uint32_t script_;
};

// The scratch folder, made once: "outside" with what must not change, "target" emptied for each input.
struct Scratch {
  fs::path root, outside, target, archive;
  Scratch() {
    // In memory where the system has a folder for it: every run makes and removes a small tree.
    const fs::path base = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    std::string pattern = (base / "zor-fuzz-links-XXXXXX").string();
    root = mkdtemp(pattern.data());
    outside = root / "outside";
    target = root / "target";
    archive = root / "archive.zor";
    fs::create_directories(outside / "folder");
    std::ofstream(outside / "victim") << "victim";
    std::ofstream(outside / "locked") << "locked";
    std::ofstream(outside / "folder" / "inner") << "inner";
    chmod((outside / "locked").c_str(), 0400);
  }
  ~Scratch() { fs::remove_all(root); }
};

// Everything about what lies in the scratch folder outside the target, link targets included, without
// following links.
std::map<std::string, std::string> Snapshot(const Scratch& s) {
  std::map<std::string, std::string> seen;
  for (auto it = fs::recursive_directory_iterator(s.root); it != fs::recursive_directory_iterator(); ++it) {
    const auto& e = *it;
    if (e.path() == s.target) {
      it.disable_recursion_pending();
      continue;
    }
    if (e.path() == s.archive) continue;
    struct stat st;
    if (lstat(e.path().c_str(), &st) != 0) continue;
    std::string what = std::to_string(st.st_mode) + " " + std::to_string(st.st_size) + " " +
                       std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
    if (S_ISLNK(st.st_mode)) {
      what += " -> " + fs::read_symlink(e.path()).string();
    } else if (S_ISREG(st.st_mode)) {
      std::ifstream in(e.path(), std::ios::binary);
      what += " " + std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    seen[e.path().string()] = what;
  }
  return seen;
}

// Plants in `at` one of the things an attacker (or an unlucky user) leaves in a folder before extraction.
void Plant(const Scratch& s, const fs::path& at, uint32_t kind) {
  std::error_code ec;
  switch (kind) {
    case 1: std::ofstream(at) << "old"; break;
    case 2: fs::create_directory(at, ec); break;
    case 3: fs::create_symlink(s.outside / "victim", at, ec); break;
    case 4: fs::create_symlink(s.outside / "locked", at, ec); break;
    case 5: fs::create_directory_symlink(s.outside / "folder", at, ec); break;
    case 6: fs::create_symlink(s.outside / "new", at, ec); break;  // dangling
    case 7: fs::create_hard_link(s.outside / "victim", at, ec); break;
    case 8: fs::create_directory_symlink("..", at, ec); break;
    default: break;
  }
}

const char* const kComponents[] = {"a", "b", "c", ".", "victim", "folder", "outside", "new"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Scratch s;
  fuzz::FuzzInput in(data, size);

  // The target as the input leaves it: what stands under a, b, c and a/b.
  fs::remove_all(s.target);
  fs::create_directory(s.target);
  for (const char* name : {"a", "b", "c"}) Plant(s, s.target / name, in.Below(10, 1));
  if (fs::is_directory(fs::symlink_status(s.target / "a"))) Plant(s, s.target / "a" / "b", in.Below(10, 1));

  // The archive: up to eight entries over up to three segments, names made of the planted ones.
  encoder::ArchiveBuilder builder;
  encoder::HashChainParser parser;
  std::vector<encoder::EntryRecord> files;
  const uint32_t entries = 1 + in.Below(8, 1);
  const uint32_t segments = 1 + in.Below(3, 1);
  std::vector<encoder::SegmentStream> streams(segments);
  std::vector<std::vector<size_t>> members(segments);
  for (uint32_t i = 0; i < entries; ++i) {
    encoder::EntryRecord e;
    const uint32_t depth = 1 + in.Below(3, 1);
    for (uint32_t k = 0; k < depth; ++k) e.path += std::string(k ? "\\" : "") + kComponents[in.Below(8, 1)];
    e.folder = in.Take(1) % 4 == 0;
    e.attributes = static_cast<uint8_t>(encoder::kAttributeArchive | (in.Take(1) & 7));
    e.writeDate = static_cast<uint16_t>((44 << 9) | (1 << 5) | 1);
    if (e.folder) {
      e.attributes |= encoder::kAttributeFolder;
      builder.AddEntry(e);
      continue;
    }
    const uint32_t segment = in.Below(segments, 1);
    std::vector<uint8_t> bytes(in.Below(1200, 2));
    for (size_t k = 0; k < bytes.size(); ++k) bytes[k] = static_cast<uint8_t>(k * (i + 3));
    const encoder::StoredFile stored =
        streams[segment].AddFile(bytes.data(), static_cast<uint32_t>(bytes.size()), 0);
    e.position = stored.position;
    e.length = stored.length;
    e.crc = in.Take(1) % 16 == 0 ? stored.crc ^ 1 : stored.crc;
    members[segment].push_back(files.size());
    files.push_back(e);
  }
  for (uint32_t k = 0; k < segments; ++k) {
    if (members[k].empty()) continue;
    const auto& bytes = streams[k].bytes();
    const uint32_t length = static_cast<uint32_t>(bytes.size());
    std::vector<uint8_t> segment;
    // Stored blocks mostly: the writer is what is tried here, and they are quick to make.
    const encoder::SegmentPlan plan = encoder::UniformSegmentPlan(length, 4096, in.Take(1) % 8 == 0 ? 1 : 0);
    if (encoder::EncodeSegment(bytes.data(), length, plan, parser, segment, nullptr) != encoder::EncodeStatus::kOk)
      return 0;
    // Damage now and then: the decoding fails half-way.
    if (in.Take(1) % 8 == 0 && segment.size() > 16) segment[8 + in.Below(static_cast<uint32_t>(segment.size()) - 8)] ^= 0x5A;
    const uint32_t offset = builder.AddSegment(segment);
    for (size_t i : members[k]) files[i].segmentOffset = offset;
  }
  for (const auto& e : files) builder.AddEntry(e);
  std::vector<uint8_t> archive;
  encoder::DirectoryOptions directory;
  directory.blockType = 0;  // stored: quick to make
  if (builder.Finish(directory, archive) != encoder::EncodeStatus::kOk) return 0;
  std::ofstream(s.archive, std::ios::binary).write(reinterpret_cast<const char*>(archive.data()),
                                                   static_cast<std::streamsize>(archive.size()));

  const auto before = Snapshot(s);
  {
    ScriptedFrontEnd frontEnd(in.Take(4));
    auto x = std::make_unique<Extraction>();
    InitExtraction(*x, &frontEnd);
    x->files.programFile = FileOpen(x->files, s.archive.c_str(), kGenericRead);
    x->archiveHeader = ParseArchiveHeader(archive.data());
    const std::string target = s.target.string();
    std::memcpy(x->options.targetFolder, target.c_str(), target.size() + 1);
    x->options.overwriteWithoutPrompting = in.Take(1) % 4 == 0;
    std::unique_ptr<AheadDecoder> ahead;
    if (in.Take(1) & 1) {
      std::vector<PlannedFile> planned;
      // Folders first, then files, as the builder lists them.
      uint32_t index = entries - static_cast<uint32_t>(files.size());
      for (const auto& e : files) {
        if (e.length > 0)
          planned.push_back({index, e.segmentOffset + kSegmentSignatureSize, e.position, e.length, CallFilter::kNone});
        ++index;
      }
      ahead = std::make_unique<AheadDecoder>(planned, false);
      if (!ahead->Start(s.archive.c_str(), 1 + in.Below(2, 1))) ahead.reset();
    }
    TreeWriter::Options options;
    TreeWriter writer([](const std::string&) {}, options, ahead.get());
    x->entryWriter = &writer;
    ExtractAll(*x, nullptr);
    if (ahead) ahead->Stop();
    FileClose(x->files, x->files.programFile);
  }
  if (Snapshot(s) != before) __builtin_trap();
  for (const auto& e : fs::recursive_directory_iterator(s.target)) {
    if (e.path().filename().string().rfind(".zor-", 0) == 0) __builtin_trap();
  }
  return 0;
}
