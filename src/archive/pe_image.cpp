// PE header parsing for appendedDataOffset and the integrity stamp; every read is bounds-checked.
#include "archive/pe_image.h"

#include "archive/archive_format.h"
#include "platform/bytes.h"

namespace zor {

namespace {

constexpr uint32_t kDosHeaderSize = 0x40;
constexpr uint32_t kLfanewOffset = 0x3C;
constexpr uint32_t kFileHeaderSize = 20;       // behind the 4-byte "PE\0\0"
constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr uint32_t kCertificateDirectory = 4;  // index in the data directories

// Zeroes the part of the file range [start, start + length) that falls into bytes.
void ClearRange(uint8_t* bytes, uint32_t size, uint32_t fileOffset, uint32_t start, uint32_t length) {
  for (uint32_t i = 0; i < length; ++i) {
    uint32_t at = start + i;
    if (at >= fileOffset && at - fileOffset < size) bytes[at - fileOffset] = 0;
  }
}

}  // namespace

bool ParsePeImage(const uint8_t* bytes, uint32_t size, PeLayout& layout) {
  if (size < kDosHeaderSize || bytes[0] != 'M' || bytes[1] != 'Z') return false;
  uint32_t pe = LoadLE32(bytes + kLfanewOffset);
  // All further offsets are sums of values below 2^17, so they cannot wrap once pe is bounded here.
  if (pe > size || size - pe < 4 + kFileHeaderSize) return false;
  if (LoadLE32(bytes + pe) != 0x00004550) return false;  // "PE\0\0"
  uint32_t sectionCount = LoadLE16(bytes + pe + 6);
  uint32_t optionalSize = LoadLE16(bytes + pe + 20);
  uint32_t optional = pe + 4 + kFileHeaderSize;
  if (size - optional < optionalSize) return false;

  // The fields we use: Magic at 0, SizeOfHeaders at 60, CheckSum at 64, NumberOfRvaAndSizes at 92 (PE32)
  // or 108 (PE32+), the data directories right behind it.
  if (optionalSize < 2) return false;
  uint16_t magic = LoadLE16(bytes + optional);
  if (magic != kPe32Magic && magic != kPe32PlusMagic) return false;
  bool is64Bit = magic == kPe32PlusMagic;
  uint32_t directoryCountAt = is64Bit ? 108 : 92;
  if (optionalSize < directoryCountAt + 4) return false;
  uint32_t directoryCount = LoadLE32(bytes + optional + directoryCountAt);
  uint32_t certificateAt = directoryCountAt + 4 + 8 * kCertificateDirectory;
  bool hasCertificateEntry = directoryCount > kCertificateDirectory && optionalSize >= certificateAt + 8;

  uint32_t sections = optional + optionalSize;
  if (sectionCount > (size - sections) / kSectionHeaderSize) return false;

  // The image is at least its headers: SizeOfHeaders, and never less than the section table's end.
  uint32_t end = LoadLE32(bytes + optional + 60);
  if (end < sections + sectionCount * kSectionHeaderSize) end = sections + sectionCount * kSectionHeaderSize;
  for (uint32_t i = 0; i < sectionCount; ++i) {
    const uint8_t* section = bytes + sections + i * kSectionHeaderSize;
    uint32_t rawSize = LoadLE32(section + 16);
    uint32_t rawPointer = LoadLE32(section + 20);
    if (rawSize == 0) continue;  // uninitialised data occupies no bytes of the file
    if (rawPointer > 0xFFFFFFFFu - rawSize) return false;
    if (rawPointer + rawSize > end) end = rawPointer + rawSize;
  }

  layout.appendedDataOffset = end;
  layout.checkSumOffset = optional + 64;
  layout.certificateEntryOffset = hasCertificateEntry ? optional + certificateAt : 0;
  layout.sectionCount = static_cast<uint16_t>(sectionCount);
  layout.is64Bit = is64Bit;
  return true;
}

void ClearUnstampedFields(const PeLayout& layout, uint8_t* bytes, uint32_t size, uint32_t fileOffset) {
  ClearRange(bytes, size, fileOffset, kImageStampOffset, kImageStampSize);
  ClearRange(bytes, size, fileOffset, layout.checkSumOffset, 4);
  if (layout.certificateEntryOffset != 0) ClearRange(bytes, size, fileOffset, layout.certificateEntryOffset, 8);
}

}  // namespace zor
