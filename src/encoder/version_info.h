// Version information (the RT_VERSION resource that Explorer's properties, the elevation prompt and
// SmartScreen show): built from key and value pairs, and read back.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "encoder/utf8.h"

namespace zor::encoder {

// The string keys Windows knows, in the order Explorer lists them.
inline constexpr const char* kVersionKeys[] = {
    "FileDescription", "FileVersion",     "ProductName",  "ProductVersion", "CompanyName",  "LegalCopyright",
    "LegalTrademarks", "OriginalFilename", "InternalName", "Comments",       "PrivateBuild", "SpecialBuild"};
// Longest value taken, in UTF-16 code units: the resource's lengths are 16-bit, and all twelve of this
// length still fit.
inline constexpr size_t kMaxVersionValue = 1024;

using VersionStrings = std::vector<std::pair<std::string, std::u16string>>;  // key, value

struct VersionInfo {
  VersionStrings strings;
  uint64_t fileVersion = 0;     // four 16-bit parts, most significant first
  uint64_t productVersion = 0;
};

// The four numbers at the start of a version text ("1.2.3.4", "2.0 beta" -> 2.0.0.0; commas count as
// dots); 0 when the text does not start with a number.
uint64_t ParseVersionNumbers(const std::u16string& text);

// The resource: one string table in US English and UTF-16 (040904B0) with `strings` in their order, the
// fixed part with the two versions, a 32-bit Windows application.
std::vector<uint8_t> BuildVersionInfo(const VersionInfo& info);

// Reads the fixed versions and the strings of the first string table; false when the resource is damaged.
bool ParseVersionInfo(const std::vector<uint8_t>& resource, VersionInfo& info);

}  // namespace zor::encoder
