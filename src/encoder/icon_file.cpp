// .ico parsing and the icon group resource.
#include "encoder/icon_file.h"

#include <algorithm>

#include "platform/bytes.h"

namespace zor::encoder {

namespace {

constexpr uint32_t kDirectorySize = 6;
constexpr uint32_t kFileEntrySize = 16;
constexpr uint32_t kGroupEntrySize = 14;
constexpr uint32_t kMaxImages = 256;
constexpr uint32_t kBitmapHeaderSize = 40;  // BITMAPINFOHEADER
constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

uint32_t LoadBE32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | p[2] << 8 | p[3];
}
void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

bool Fail(std::string& error, const std::string& what) {
  error = what;
  return false;
}

// Checks one image against its entry's size and fills in what the entry may leave out.
bool CheckImage(IconImage& image, size_t number, std::string& error) {
  const std::vector<uint8_t>& d = image.data;
  const std::string which = "image " + std::to_string(number);
  const std::string size = std::to_string(image.width) + " x " + std::to_string(image.height);
  if (d.size() >= 8 && std::equal(kPngSignature, kPngSignature + 8, d.begin())) {
    // The first chunk of a PNG is IHDR: width and height, big-endian.
    if (d.size() < 33 || std::string(d.begin() + 12, d.begin() + 16) != "IHDR")
      return Fail(error, which + " is a PNG without its header");
    if (LoadBE32(&d[16]) != image.width || LoadBE32(&d[20]) != image.height)
      return Fail(error, which + " is a PNG of " + std::to_string(LoadBE32(&d[16])) + " x " +
                             std::to_string(LoadBE32(&d[20])) + " pixels, but its entry says " + size);
    image.png = true;
    if (image.bitCount == 0) image.bitCount = 32;
    image.planes = 1;
    return true;
  }
  if (d.size() < kBitmapHeaderSize || LoadLE32(&d[0]) != kBitmapHeaderSize)
    return Fail(error, which + " is neither a bitmap nor a PNG");
  // A bitmap icon stores its colour image and its mask one above the other: twice the height.
  const int32_t width = static_cast<int32_t>(LoadLE32(&d[4])), height = static_cast<int32_t>(LoadLE32(&d[8]));
  if (width != image.width || height != 2 * image.height)
    return Fail(error, which + " is a bitmap of " + std::to_string(width) + " x " + std::to_string(height / 2) +
                           " pixels, but its entry says " + size);
  const uint16_t bits = LoadLE16(&d[14]);
  if (LoadLE16(&d[12]) != 1 || (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32))
    return Fail(error, which + " has " + std::to_string(bits) + " bits per pixel, which icons do not use");
  image.planes = 1;
  image.bitCount = bits;
  return true;
}

}  // namespace

bool ParseIconFile(const std::vector<uint8_t>& file, std::vector<IconImage>& images, std::string& error) {
  images.clear();
  if (file.size() < kDirectorySize || LoadLE16(&file[0]) != 0 || LoadLE16(&file[2]) != 1) {
    const bool cursor = file.size() >= kDirectorySize && LoadLE16(&file[0]) == 0 && LoadLE16(&file[2]) == 2;
    return Fail(error, cursor ? "it is a cursor file, not an icon file" : "it is not an icon file");
  }
  const uint32_t count = LoadLE16(&file[4]);
  if (count == 0) return Fail(error, "it holds no image");
  if (count > kMaxImages) return Fail(error, "it holds " + std::to_string(count) + " images; at most 256 are taken");
  if (file.size() < kDirectorySize + count * kFileEntrySize) return Fail(error, "it ends inside its list of images");
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* e = &file[kDirectorySize + i * kFileEntrySize];
    IconImage image;
    image.width = e[0] ? e[0] : 256;
    image.height = e[1] ? e[1] : 256;
    image.colourCount = e[2];
    image.planes = LoadLE16(e + 4);
    image.bitCount = LoadLE16(e + 6);
    const uint32_t length = LoadLE32(e + 8), offset = LoadLE32(e + 12);
    if (offset > file.size() || length > file.size() - offset)
      return Fail(error, "image " + std::to_string(i + 1) + " lies outside the file");
    image.data.assign(file.begin() + offset, file.begin() + offset + length);
    if (!CheckImage(image, i + 1, error)) return false;
    images.push_back(std::move(image));
  }
  return true;
}

std::vector<uint8_t> BuildIconGroup(const std::vector<IconImage>& images, uint16_t firstId) {
  std::vector<uint8_t> out;
  Put16(out, 0);
  Put16(out, 1);
  Put16(out, static_cast<uint32_t>(images.size()));
  for (size_t i = 0; i < images.size(); ++i) {
    const IconImage& image = images[i];
    out.push_back(static_cast<uint8_t>(image.width));  // 256 is stored as 0
    out.push_back(static_cast<uint8_t>(image.height));
    out.push_back(image.colourCount);
    out.push_back(0);
    Put16(out, image.planes);
    Put16(out, image.bitCount);
    Put16(out, static_cast<uint32_t>(image.data.size()) & 0xFFFF);
    Put16(out, static_cast<uint32_t>(image.data.size()) >> 16);
    Put16(out, static_cast<uint32_t>(firstId + i));
  }
  return out;
}

bool ParseIconGroup(const std::vector<uint8_t>& group, std::vector<IconGroupEntry>& entries) {
  entries.clear();
  if (group.size() < kDirectorySize || LoadLE16(&group[2]) != 1) return false;
  const uint32_t count = LoadLE16(&group[4]);
  if (group.size() < kDirectorySize + count * kGroupEntrySize) return false;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* e = &group[kDirectorySize + i * kGroupEntrySize];
    entries.push_back({static_cast<uint16_t>(e[0] ? e[0] : 256), static_cast<uint16_t>(e[1] ? e[1] : 256),
                       LoadLE16(e + 6), LoadLE16(e + 12)});
  }
  return true;
}

}  // namespace zor::encoder
