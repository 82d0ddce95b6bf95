// Icon files (.ico): their images checked one by one, and the icon group that lists them in a program's
// resources.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zor::encoder {

struct IconImage {
  uint16_t width = 0, height = 0;  // 1 to 256 pixels
  uint8_t colourCount = 0;         // as the file's entry gives it (0 for 256 colours or more)
  uint16_t planes = 1;
  uint16_t bitCount = 0;
  bool png = false;                // a PNG image (Windows Vista and later) rather than a bitmap
  std::vector<uint8_t> data;       // the image as it goes into an RT_ICON resource
};

// Reads every image of an .ico file. False with `error` saying what is wrong when the file is not an
// icon file, an entry points outside it, or an image is neither a bitmap nor a PNG of the size its entry
// gives.
bool ParseIconFile(const std::vector<uint8_t>& file, std::vector<IconImage>& images, std::string& error);

// The RT_GROUP_ICON resource for `images`, whose RT_ICON resources are numbered firstId, firstId + 1...
std::vector<uint8_t> BuildIconGroup(const std::vector<IconImage>& images, uint16_t firstId);

struct IconGroupEntry {
  uint16_t width, height, bitCount, id;
};
// The entries of an RT_GROUP_ICON resource; false when it is damaged.
bool ParseIconGroup(const std::vector<uint8_t>& group, std::vector<IconGroupEntry>& entries);

}  // namespace zor::encoder
