// The version texts of the tool and of the stubs it reads and writes.
#include "cli/version.h"

#include <cstring>
#include <string_view>
#include <vector>

#include "cli/stub_image.h"
#include "zor_version.h"

namespace zor {
namespace {

constexpr std::string_view kMarkStart = "$zorsfx: ";
constexpr std::string_view kMarkEnd = " $";
constexpr size_t kLongestMark = 128;  // a version text longer than this is not taken for one

// The mark's text in data when it starts at `at` and ends within the bytes given; empty otherwise.
std::string MarkAt(std::string_view data, size_t at) {
  const size_t text = at + kMarkStart.size();
  const size_t end = data.find(kMarkEnd, text);
  if (end == std::string_view::npos || end - at > kLongestMark) return std::string();
  std::string version(data.substr(text, end - text));
  for (char c : version) {
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) return std::string();
  }
  return version;
}

}  // namespace

const char* VersionText() { return ZOR_VERSION_TEXT; }

std::string FindStubVersion(const uint8_t* image, size_t size) {
  const std::string_view data(reinterpret_cast<const char*>(image), size);
  for (size_t at = data.find(kMarkStart); at != std::string_view::npos; at = data.find(kMarkStart, at + 1)) {
    std::string version = MarkAt(data, at);
    if (!version.empty()) return version;
  }
  return std::string();
}

std::string VersionReport() {
  std::string stub = FindStubVersion(kStubImage, kStubImageSize);
  if (stub.empty()) stub = "(no version mark)";
  return std::string("zor ") + VersionText() + "\nself-extractor stub: zorsfx " + stub + ", " +
         std::to_string(kStubImageSize) + " bytes";
}

}  // namespace zor
