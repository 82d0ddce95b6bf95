// What `zor create` changes in the stub before packing (the manifest's execution level, the icon, the
// version information), and what `zor info` reports of a self-extractor's resources.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "encoder/icon_file.h"
#include "encoder/version_info.h"

namespace zor::encoder {

// requestedExecutionLevel of the manifest, by the names the manifest uses.
inline constexpr const char* kExecutionLevels[] = {"asInvoker", "highestAvailable", "requireAdministrator"};

struct StubChanges {
  std::optional<std::string> executionLevel;  // one of kExecutionLevels; none: the stub's (asInvoker)
  std::vector<IconImage> icons;               // empty: the stub's own icon
  std::optional<VersionInfo> version;         // none: no version information
};

// A copy of the stub image with `changes` made: its resource section rebuilt and its integrity stamp
// renewed. False with `error` set when the stub cannot take them (no manifest, resources not in the last
// section, a signed stub).
bool CustomizeStub(const uint8_t* stub, size_t size, const StubChanges& changes, std::vector<uint8_t>& out,
                   std::string& error);

// Writes the integrity stamp of `image` (a whole executable image, nothing behind it): the CRC-32 that
// the stub's self-check recomputes at start-up.
void StampImage(std::vector<uint8_t>& image);

struct ResourceSummary {
  bool hasManifest = false;
  std::string executionLevel;               // empty: the manifest names none
  std::vector<IconGroupEntry> icons;        // the images of the first icon group, the file's icon
  bool hasVersion = false;
  VersionInfo version;
};

// Reads the resources of an executable image (the file up to the end of its image). False with `error`
// set when they are damaged.
bool SummarizeResources(const uint8_t* image, size_t size, ResourceSummary& summary, std::string& error);

}  // namespace zor::encoder
