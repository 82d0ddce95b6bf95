// Rewriting the stub's resources for one self-extractor, and reading them back.
#include "encoder/stub_resources.h"

#include <algorithm>

#include "archive/pe_image.h"
#include "decoder/crc32.h"
#include "encoder/pe_resources.h"
#include "platform/bytes.h"

namespace zor::encoder {

namespace {

constexpr uint16_t kProgramIconGroup = 1;
constexpr uint16_t kVersionId = 1;
constexpr char kLevelElement[] = "<requestedExecutionLevel";

// Where the value of the level attribute of requestedExecutionLevel stands in a manifest: [begin, end).
bool FindLevel(const std::string& manifest, size_t& begin, size_t& end) {
  size_t element = manifest.find(kLevelElement);
  if (element == std::string::npos) return false;
  size_t close = manifest.find('>', element);
  size_t attribute = manifest.find(" level=", element);
  if (attribute == std::string::npos || attribute > close) return false;
  size_t quote = attribute + 7;
  if (quote >= manifest.size() || (manifest[quote] != '"' && manifest[quote] != '\'')) return false;
  begin = quote + 1;
  end = manifest.find(manifest[quote], begin);
  return end != std::string::npos && end < close;
}

const Resource* Find(const std::vector<Resource>& resources, uint16_t type) {
  for (const Resource& r : resources)
    if (r.type.text.empty() && r.type.id == type) return &r;
  return nullptr;
}

void Remove(std::vector<Resource>& resources, uint16_t type) {
  std::erase_if(resources, [&](const Resource& r) { return r.type.text.empty() && r.type.id == type; });
}

}  // namespace

bool CustomizeStub(const uint8_t* stub, size_t size, const StubChanges& changes, std::vector<uint8_t>& out,
                   std::string& error) {
  std::vector<Resource> resources;
  if (!ReadResources(stub, size, resources, error)) {
    error = "the stub's resources cannot be read: " + error;
    return false;
  }
  // New resources take the language of the stub's own.
  const uint16_t language = resources.empty() ? 0 : resources.front().language;

  if (changes.executionLevel) {
    Resource* manifest = nullptr;
    for (Resource& r : resources)
      if (r.type.text.empty() && r.type.id == kResourceManifest && !manifest) manifest = &r;
    std::string text = manifest ? std::string(manifest->data.begin(), manifest->data.end()) : std::string();
    size_t begin = 0, end = 0;
    if (!manifest || !FindLevel(text, begin, end)) {
      error = "the stub has no manifest with an execution level";
      return false;
    }
    text.replace(begin, end - begin, *changes.executionLevel);
    manifest->data.assign(text.begin(), text.end());
  }

  if (!changes.icons.empty()) {
    uint16_t iconLanguage = language;
    for (const Resource& r : resources)
      if (r.type.text.empty() && r.type.id == kResourceGroupIcon) iconLanguage = r.language;
    Remove(resources, kResourceIcon);
    Remove(resources, kResourceGroupIcon);
    for (size_t i = 0; i < changes.icons.size(); ++i) {
      Resource r;
      r.type.id = kResourceIcon;
      r.name.id = static_cast<uint16_t>(1 + i);
      r.language = iconLanguage;
      r.data = changes.icons[i].data;
      resources.push_back(std::move(r));
    }
    Resource group;
    group.type.id = kResourceGroupIcon;
    group.name.id = kProgramIconGroup;
    group.language = iconLanguage;
    group.data = BuildIconGroup(changes.icons, 1);
    resources.push_back(std::move(group));
  }

  if (changes.version) {
    Remove(resources, kResourceVersion);
    Resource r;
    r.type.id = kResourceVersion;
    r.name.id = kVersionId;
    r.language = language;
    r.data = BuildVersionInfo(*changes.version);
    resources.push_back(std::move(r));
  }

  PeHeaders headers;
  if (!ReadPeHeaders(stub, size, headers, error)) return false;
  out.assign(stub, stub + std::min<size_t>(size, headers.imageEnd));
  if (!ReplaceResources(out, resources, error)) {
    error = "the stub's resources cannot be replaced: " + error;
    return false;
  }
  StampImage(out);
  return true;
}

void StampImage(std::vector<uint8_t>& image) {
  PeLayout layout;
  if (!ParsePeImage(image.data(), static_cast<uint32_t>(std::min<size_t>(image.size(), kPeHeadReadSize)), layout))
    return;
  std::vector<uint8_t> copy(image.begin(), image.begin() + std::min<size_t>(image.size(), layout.appendedDataOffset));
  ClearUnstampedFields(layout, copy.data(), static_cast<uint32_t>(copy.size()), 0);
  CrcTable table;
  BuildCrcTable(table);
  const uint32_t stamp = ~UpdateCrc(table, 0xFFFFFFFFu, copy.data(), static_cast<uint32_t>(copy.size()));
  StoreLE32(&image[kImageStampOffset], stamp);
}

bool SummarizeResources(const uint8_t* image, size_t size, ResourceSummary& summary, std::string& error) {
  summary = ResourceSummary{};
  std::vector<Resource> resources;
  if (!ReadResources(image, size, resources, error)) return false;
  if (const Resource* manifest = Find(resources, kResourceManifest)) {
    summary.hasManifest = true;
    std::string text(manifest->data.begin(), manifest->data.end());
    size_t begin, end;
    if (FindLevel(text, begin, end)) summary.executionLevel = text.substr(begin, end - begin);
  }
  // Windows shows the first icon group (in resource order: names, then the lowest number).
  if (const Resource* group = Find(resources, kResourceGroupIcon)) {
    if (!ParseIconGroup(group->data, summary.icons)) {
      error = "the icon group is damaged";
      return false;
    }
  }
  if (const Resource* version = Find(resources, kResourceVersion)) {
    summary.hasVersion = true;
    if (!ParseVersionInfo(version->data, summary.version)) {
      error = "the version information is damaged";
      return false;
    }
  }
  return true;
}

}  // namespace zor::encoder
