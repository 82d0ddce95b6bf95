// The resource tree of a PE image: read with every offset checked, written in the layout linkers use, and
// put back as the image's last section.
#include "encoder/pe_resources.h"

#include <algorithm>
#include <map>

#include "platform/bytes.h"

namespace zor::encoder {

namespace {

constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint32_t kResourceDirectory = 2;     // index in the data directories
constexpr uint32_t kCertificateDirectory = 4;
constexpr uint32_t kSubdirectoryBit = 0x80000000u;
constexpr uint32_t kInitializedData = 0x00000040u;  // IMAGE_SCN_CNT_INITIALIZED_DATA
// A resource tree is three levels deep; more entries than this in a whole tree is damage, not a program.
constexpr uint32_t kMaxEntries = 65536;

uint32_t AlignUp(uint32_t value, uint32_t alignment) { return (value + alignment - 1) / alignment * alignment; }

uint32_t DirectoryCountAt(const PeHeaders& h) { return h.optional + (h.is64Bit ? 108 : 92); }
uint32_t DirectoryAt(const PeHeaders& h, uint32_t index) { return DirectoryCountAt(h) + 4 + 8 * index; }

struct Section {
  uint32_t virtualSize, virtualAddress, rawSize, rawPointer;
};

Section SectionAt(const uint8_t* bytes, const PeHeaders& h, uint32_t index) {
  const uint8_t* s = bytes + h.sectionTable + index * kSectionHeaderSize;
  return {LoadLE32(s + 8), LoadLE32(s + 12), LoadLE32(s + 16), LoadLE32(s + 20)};
}

// Walks a resource tree inside `tree` (the bytes of the section that holds it, starting at its root).
class TreeReader {
 public:
  TreeReader(const uint8_t* bytes, size_t size, const PeHeaders& headers, uint32_t rootRva, std::string& error)
      : bytes_(bytes), size_(size), headers_(headers), rootRva_(rootRva), error_(error) {}

  bool Read(std::vector<Resource>& out) {
    uint32_t root;
    if (!FileOffset(rootRva_, 16, root)) return Fail("the resource directory lies outside the file");
    root_ = root;
    return Walk(0, 0, Resource{}, out);
  }

 private:
  bool Fail(const char* what) {
    error_ = what;
    return false;
  }

  // The file offset of `length` bytes at relative address rva, when a section's raw data holds them all.
  bool FileOffset(uint32_t rva, uint32_t length, uint32_t& offset) const {
    for (uint32_t i = 0; i < headers_.sectionCount; ++i) {
      Section s = SectionAt(bytes_, headers_, i);
      if (rva < s.virtualAddress || rva - s.virtualAddress >= s.rawSize) continue;
      uint32_t inSection = rva - s.virtualAddress;
      if (length > s.rawSize - inSection) return false;
      if (s.rawPointer > size_ || inSection > size_ - s.rawPointer || length > size_ - s.rawPointer - inSection)
        return false;
      offset = s.rawPointer + inSection;
      return true;
    }
    return false;
  }

  // A position `relative` bytes from the root, with `length` bytes there inside the file.
  bool InTree(uint32_t relative, uint32_t length, uint32_t& offset) const {
    if (relative > size_ - root_ || length > size_ - root_ - relative) return false;
    offset = root_ + relative;
    return true;
  }

  bool ReadName(uint32_t relative, std::u16string& text) {
    uint32_t at;
    if (!InTree(relative, 2, at)) return Fail("a resource name lies outside the file");
    uint32_t length = LoadLE16(bytes_ + at);
    if (!InTree(relative + 2, 2 * length, at)) return Fail("a resource name lies outside the file");
    text.clear();
    for (uint32_t i = 0; i < length; ++i) text.push_back(static_cast<char16_t>(LoadLE16(bytes_ + at + 2 * i)));
    return true;
  }

  // Level 0: types, 1: names, 2: languages, each leading to data entries at level 3.
  bool Walk(uint32_t relative, int level, Resource current, std::vector<Resource>& out) {
    uint32_t at;
    if (!InTree(relative, 16, at)) return Fail("a resource directory lies outside the file");
    uint32_t count = static_cast<uint32_t>(LoadLE16(bytes_ + at + 12)) + LoadLE16(bytes_ + at + 14);
    if (count > kMaxEntries - entries_) return Fail("the resource tree has too many entries");
    entries_ += count;
    for (uint32_t i = 0; i < count; ++i) {
      uint32_t entry;
      if (!InTree(relative + 16 + 8 * i, 8, entry)) return Fail("a resource directory lies outside the file");
      uint32_t name = LoadLE32(bytes_ + entry), target = LoadLE32(bytes_ + entry + 4);
      ResourceKey key;
      if (name & kSubdirectoryBit) {
        if (!ReadName(name & ~kSubdirectoryBit, key.text)) return false;
        if (key.text.empty()) return Fail("a resource has an empty name");
      } else {
        key.id = static_cast<uint16_t>(name);
      }
      if (level == 0) current.type = key;
      else if (level == 1) current.name = key;
      else current.language = key.id;

      const bool subdirectory = (target & kSubdirectoryBit) != 0;
      if (subdirectory != (level < 2)) return Fail("the resource tree is not three levels deep");
      if (subdirectory) {
        if (!Walk(target & ~kSubdirectoryBit, level + 1, current, out)) return false;
        continue;
      }
      uint32_t data;
      if (!InTree(target, 16, data)) return Fail("a resource's data entry lies outside the file");
      uint32_t rva = LoadLE32(bytes_ + data), length = LoadLE32(bytes_ + data + 4), offset;
      if (!FileOffset(rva, length, offset)) return Fail("a resource's data lies outside the file");
      if (length > size_ - copied_) return Fail("the resources claim more bytes than the file holds");
      copied_ += length;
      Resource r = current;
      r.codePage = LoadLE32(bytes_ + data + 8);
      r.data.assign(bytes_ + offset, bytes_ + offset + length);
      out.push_back(std::move(r));
    }
    return true;
  }

  const uint8_t* bytes_;
  size_t size_;
  const PeHeaders& headers_;
  uint32_t rootRva_;
  std::string& error_;
  uint32_t root_ = 0;
  uint32_t entries_ = 0;
  size_t copied_ = 0;
};

// Names sort before numbers; names by their upper-case code units, numbers by value.
bool KeyLess(const ResourceKey& a, const ResourceKey& b) {
  if (a.text.empty() != b.text.empty()) return !a.text.empty();
  if (a.text.empty()) return a.id < b.id;
  auto upper = [](char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; };
  return std::lexicographical_compare(a.text.begin(), a.text.end(), b.text.begin(), b.text.end(),
                                      [&](char16_t x, char16_t y) { return upper(x) < upper(y); });
}

struct KeyOrder {
  bool operator()(const ResourceKey& a, const ResourceKey& b) const { return KeyLess(a, b); }
};

}  // namespace

bool ReadPeHeaders(const uint8_t* bytes, size_t size, PeHeaders& h, std::string& error) {
  error = "not a Windows executable";
  if (size < 0x40 || bytes[0] != 'M' || bytes[1] != 'Z') return false;
  uint32_t pe = LoadLE32(bytes + 0x3C);
  if (pe > size || size - pe < 24 || LoadLE32(bytes + pe) != 0x00004550) return false;
  h.sectionCount = LoadLE16(bytes + pe + 6);
  uint32_t optionalSize = LoadLE16(bytes + pe + 20);
  h.optional = pe + 24;
  error = "the executable's headers are damaged";
  if (size - h.optional < optionalSize || optionalSize < 2) return false;
  uint16_t magic = LoadLE16(bytes + h.optional);
  if (magic != 0x10B && magic != 0x20B) return false;
  h.is64Bit = magic == 0x20B;
  if (optionalSize < DirectoryCountAt(h) + 4 - h.optional) return false;
  h.sectionAlignment = LoadLE32(bytes + h.optional + 32);
  h.fileAlignment = LoadLE32(bytes + h.optional + 36);
  if (h.fileAlignment == 0 || h.sectionAlignment == 0 || h.fileAlignment > 0x10000 ||
      h.sectionAlignment > 0x10000000)
    return false;
  h.directoryCount = std::min<uint32_t>(LoadLE32(bytes + DirectoryCountAt(h)),
                                        (h.optional + optionalSize - DirectoryCountAt(h) - 4) / 8);
  h.sectionTable = h.optional + optionalSize;
  if (h.sectionCount > (size - h.sectionTable) / kSectionHeaderSize) return false;
  h.imageEnd = std::max(LoadLE32(bytes + h.optional + 60), h.sectionTable + h.sectionCount * kSectionHeaderSize);
  for (uint32_t i = 0; i < h.sectionCount; ++i) {
    Section s = SectionAt(bytes, h, i);
    if (s.rawSize == 0) continue;
    if (s.rawPointer > 0xFFFFFFFFu - s.rawSize) return false;
    h.imageEnd = std::max(h.imageEnd, s.rawPointer + s.rawSize);
  }
  error.clear();
  return true;
}

bool ReadResources(const uint8_t* bytes, size_t size, std::vector<Resource>& resources, std::string& error) {
  resources.clear();
  PeHeaders h;
  if (!ReadPeHeaders(bytes, size, h, error)) return false;
  if (h.directoryCount <= kResourceDirectory) return true;
  uint32_t rva = LoadLE32(bytes + DirectoryAt(h, kResourceDirectory));
  uint32_t length = LoadLE32(bytes + DirectoryAt(h, kResourceDirectory) + 4);
  if (rva == 0 && length == 0) return true;
  TreeReader reader(bytes, size, h, rva, error);
  return reader.Read(resources);
}

std::vector<uint8_t> BuildResourceSection(const std::vector<Resource>& resources, uint32_t sectionRva) {
  // type -> name -> language -> resource
  std::map<ResourceKey, std::map<ResourceKey, std::map<uint16_t, const Resource*>, KeyOrder>, KeyOrder> tree;
  for (const Resource& r : resources) tree[r.type][r.name][r.language] = &r;

  // Sizes of the parts, in the order they are laid out.
  auto directorySize = [](size_t entries) { return static_cast<uint32_t>(16 + 8 * entries); };
  uint32_t directories = directorySize(tree.size()), leaves = 0, names = 0, data = 0;
  auto nameSize = [](const ResourceKey& k) { return k.text.empty() ? 0u : static_cast<uint32_t>(2 + 2 * k.text.size()); };
  for (auto& [type, byName] : tree) {
    directories += directorySize(byName.size());
    names += nameSize(type);
    for (auto& [name, byLanguage] : byName) {
      directories += directorySize(byLanguage.size());
      names += nameSize(name);
      for (auto& entry : byLanguage) {
        leaves += 16;
        data += AlignUp(static_cast<uint32_t>(entry.second->data.size()), 8);
      }
    }
  }
  const uint32_t leavesAt = directories, namesAt = leavesAt + leaves, dataAt = AlignUp(namesAt + names, 8);
  std::vector<uint8_t> out(dataAt + data);
  uint32_t nextDirectory = 0, nextLeaf = leavesAt, nextName = namesAt, nextData = dataAt;

  auto putName = [&](const ResourceKey& k) -> uint32_t {
    if (k.text.empty()) return k.id;
    uint32_t at = nextName;
    StoreLE16(&out[at], static_cast<uint16_t>(k.text.size()));
    for (size_t i = 0; i < k.text.size(); ++i) StoreLE16(&out[at + 2 + 2 * i], k.text[i]);
    nextName += nameSize(k);
    return at | kSubdirectoryBit;
  };
  // Writes a directory header with room for its entries and returns where they start.
  auto putDirectory = [&](size_t named, size_t numbered) {
    uint32_t at = nextDirectory;
    StoreLE16(&out[at + 12], static_cast<uint16_t>(named));
    StoreLE16(&out[at + 14], static_cast<uint16_t>(numbered));
    nextDirectory += directorySize(named + numbered);
    return at + 16;
  };
  auto countNamed = [](const auto& map) {
    size_t n = 0;
    for (auto& entry : map) n += !entry.first.text.empty();
    return n;
  };

  uint32_t typeEntry = putDirectory(countNamed(tree), tree.size() - countNamed(tree));
  for (auto& [type, byName] : tree) {
    StoreLE32(&out[typeEntry], putName(type));
    StoreLE32(&out[typeEntry + 4], nextDirectory | kSubdirectoryBit);
    typeEntry += 8;
    uint32_t nameEntry = putDirectory(countNamed(byName), byName.size() - countNamed(byName));
    for (auto& [name, byLanguage] : byName) {
      StoreLE32(&out[nameEntry], putName(name));
      StoreLE32(&out[nameEntry + 4], nextDirectory | kSubdirectoryBit);
      nameEntry += 8;
      uint32_t languageEntry = putDirectory(0, byLanguage.size());
      for (auto& [language, resource] : byLanguage) {
        StoreLE32(&out[languageEntry], language);
        StoreLE32(&out[languageEntry + 4], nextLeaf);
        languageEntry += 8;
        const uint32_t size = static_cast<uint32_t>(resource->data.size());
        StoreLE32(&out[nextLeaf], sectionRva + nextData);
        StoreLE32(&out[nextLeaf + 4], size);
        StoreLE32(&out[nextLeaf + 8], resource->codePage);
        nextLeaf += 16;
        std::copy(resource->data.begin(), resource->data.end(), out.begin() + nextData);
        nextData += AlignUp(size, 8);
      }
    }
  }
  return out;
}

bool ReplaceResources(std::vector<uint8_t>& image, const std::vector<Resource>& resources, std::string& error) {
  PeHeaders h;
  if (!ReadPeHeaders(image.data(), image.size(), h, error)) return false;
  if (h.imageEnd != image.size()) {
    error = "the executable has data behind its image";
    return false;
  }
  if (h.directoryCount <= kCertificateDirectory) {
    error = "the executable has no resource directory entry";
    return false;
  }
  if (LoadLE32(&image[DirectoryAt(h, kCertificateDirectory) + 4]) != 0) {
    error = "the executable is signed; its resources can only change before signing";
    return false;
  }
  const uint32_t rva = LoadLE32(&image[DirectoryAt(h, kResourceDirectory)]);
  // The section that holds the resources must be the last one in the file and in memory.
  uint32_t index = h.sectionCount;
  for (uint32_t i = 0; i < h.sectionCount; ++i) {
    Section s = SectionAt(image.data(), h, i);
    if (rva >= s.virtualAddress && rva - s.virtualAddress < std::max(s.virtualSize, s.rawSize)) index = i;
  }
  if (index == h.sectionCount || rva != SectionAt(image.data(), h, index).virtualAddress) {
    error = "the executable's resources do not fill a section of their own";
    return false;
  }
  const Section old = SectionAt(image.data(), h, index);
  for (uint32_t i = 0; i < h.sectionCount; ++i) {
    Section s = SectionAt(image.data(), h, i);
    if (i != index && (s.virtualAddress > old.virtualAddress || (s.rawSize && s.rawPointer > old.rawPointer))) {
      error = "the executable's resources are not its last section";
      return false;
    }
  }
  if (old.rawPointer + old.rawSize != image.size()) {
    error = "the executable's resources are not at the end of its file";
    return false;
  }

  std::vector<uint8_t> section = BuildResourceSection(resources, old.virtualAddress);
  const uint32_t virtualSize = static_cast<uint32_t>(section.size());
  const uint32_t rawSize = AlignUp(virtualSize, h.fileAlignment);
  section.resize(rawSize);
  image.resize(old.rawPointer);
  image.insert(image.end(), section.begin(), section.end());

  uint8_t* header = &image[h.sectionTable + index * kSectionHeaderSize];
  StoreLE32(header + 8, virtualSize);
  StoreLE32(header + 16, rawSize);
  if (LoadLE32(header + 36) & kInitializedData) {
    uint8_t* initialized = &image[h.optional + 8];
    StoreLE32(initialized, LoadLE32(initialized) - old.rawSize + rawSize);
  }
  StoreLE32(&image[h.optional + 56], AlignUp(old.virtualAddress + virtualSize, h.sectionAlignment));  // SizeOfImage
  StoreLE32(&image[DirectoryAt(h, kResourceDirectory) + 4], virtualSize);
  return true;
}

void PeChecksum::Add(const uint8_t* data, size_t size) {
  for (size_t i = 0; i < size; ++i, ++offset_) {
    uint32_t byte = offset_ - skip_ < 4 ? 0 : data[i];
    if (pending_ < 0) {
      pending_ = static_cast<int>(byte);
      continue;
    }
    sum_ += static_cast<uint32_t>(pending_) | byte << 8;
    sum_ = (sum_ & 0xFFFF) + (sum_ >> 16);
    pending_ = -1;
  }
}

uint32_t PeChecksum::Finish() const {
  uint64_t sum = sum_;
  if (pending_ >= 0) {
    sum += static_cast<uint32_t>(pending_);
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint32_t>((sum & 0xFFFF) + offset_);
}

}  // namespace zor::encoder
