// A Windows executable's resources as a list, read from and written back into its resource section,
// and the PE checksum: what `zor create` needs to give the stub the author's icon, version information
// and execution level.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zor::encoder {

// Resource types by number (winuser.h).
inline constexpr uint16_t kResourceIcon = 3;
inline constexpr uint16_t kResourceDialog = 5;
inline constexpr uint16_t kResourceGroupIcon = 14;
inline constexpr uint16_t kResourceVersion = 16;
inline constexpr uint16_t kResourceManifest = 24;

// A type or a name of the resource tree: a number, or a text when `text` is not empty.
struct ResourceKey {
  uint16_t id = 0;
  std::u16string text;
  bool operator==(const ResourceKey&) const = default;
};

struct Resource {
  ResourceKey type;
  ResourceKey name;
  uint16_t language = 0;
  uint32_t codePage = 0;  // as the data entry records it; 0 for ours
  std::vector<uint8_t> data;
};

// What ReadPeHeaders finds: the offsets of the fields an edit of the last section touches.
struct PeHeaders {
  uint32_t optional = 0;           // file offset of the optional header
  bool is64Bit = false;
  uint32_t sectionTable = 0;       // file offset of the first section header
  uint16_t sectionCount = 0;
  uint32_t sectionAlignment = 0;
  uint32_t fileAlignment = 0;
  uint32_t directoryCount = 0;     // data directories present
  uint32_t imageEnd = 0;           // end of the last section's raw data (at least the headers)
};

// Reads the headers of the image at the start of `bytes`; false with `error` set when they are not usable.
bool ReadPeHeaders(const uint8_t* bytes, size_t size, PeHeaders& headers, std::string& error);

// Reads every resource of the image in `bytes` (the file from its start; at least the image). A file
// without resources gives an empty list. False with `error` set when the resource tree is damaged: every
// offset is checked, and loops or absurd counts end the walk.
bool ReadResources(const uint8_t* bytes, size_t size, std::vector<Resource>& resources, std::string& error);

// The resource section's bytes for `resources` when the section starts at relative address `sectionRva`:
// the three levels of directories (names before numbers, both sorted, as the loader's binary search
// expects), the data entries, the names, then the data.
std::vector<uint8_t> BuildResourceSection(const std::vector<Resource>& resources, uint32_t sectionRva);

// Replaces the resources of `image` (an executable without anything behind its image) by `resources`.
// The resource section must be the last section, in the file and in memory, and the image unsigned; the
// section is rebuilt in place and the headers follow it (section sizes, SizeOfInitializedData,
// SizeOfImage, the resource directory entry). The checksum and the integrity stamp are left to the caller.
bool ReplaceResources(std::vector<uint8_t>& image, const std::vector<Resource>& resources, std::string& error);

// The PE checksum as Windows computes it (CheckSumMappedFile): the 16-bit one's-complement sum of the
// whole file with the CheckSum field read as zero, plus the file's length. Fed in pieces, in order.
class PeChecksum {
 public:
  explicit PeChecksum(uint64_t checkSumOffset) : skip_(checkSumOffset) {}
  void Add(const uint8_t* data, size_t size);
  uint32_t Finish() const;

 private:
  uint64_t skip_;
  uint64_t offset_ = 0;
  uint64_t sum_ = 0;
  int pending_ = -1;  // the low byte of a word whose high byte is still to come
};

// The file offset of the CheckSum field of an image whose headers ReadPeHeaders read.
inline uint32_t CheckSumOffset(const PeHeaders& headers) { return headers.optional + 64; }

}  // namespace zor::encoder
