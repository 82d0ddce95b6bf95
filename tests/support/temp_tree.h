// Test-only scratch folders on disk: files and folders made by path, removed with everything in them.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace zor::test {

class TempTree {
 public:
  TempTree() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/zor-test.XXXXXX";
    root_ = mkdtemp(pattern.data()) ? pattern : std::string();
  }
  ~TempTree() {
    if (root_.empty()) return;
    // Read-only folders left by a test must not stop the clean-up.
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(root_, ec);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
      if (!it->is_symlink(ec) && it->is_directory(ec)) chmod(it->path().c_str(), 0700);
    }
    std::filesystem::remove_all(root_, ec);
  }
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  const std::string& root() const { return root_; }
  std::string Path(const std::string& relative) const { return root_ + "/" + relative; }

  void Folder(const std::string& relative) const { std::filesystem::create_directories(Path(relative)); }
  void File(const std::string& relative, const std::vector<uint8_t>& bytes) const {
    std::filesystem::path p(Path(relative));
    std::filesystem::create_directories(p.parent_path());
    int fd = open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    size_t done = 0;
    while (fd >= 0 && done < bytes.size()) {
      ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    if (fd >= 0) close(fd);
  }
  void File(const std::string& relative, const std::string& text) const {
    File(relative, std::vector<uint8_t>(text.begin(), text.end()));
  }
  std::vector<uint8_t> Read(const std::string& relative) const {
    std::vector<uint8_t> out;
    int fd = open(Path(relative).c_str(), O_RDONLY);
    if (fd < 0) return out;
    uint8_t buffer[65536];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0) out.insert(out.end(), buffer, buffer + n);
    close(fd);
    return out;
  }
  bool Exists(const std::string& relative) const {
    struct stat st;
    return lstat(Path(relative).c_str(), &st) == 0;
  }
  // Names in a folder, "." and ".." left out.
  std::vector<std::string> List(const std::string& relative) const {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(Path(relative), ec))
      names.push_back(e.path().filename().string());
    return names;
  }

 private:
  std::string root_;
};

}  // namespace zor::test
