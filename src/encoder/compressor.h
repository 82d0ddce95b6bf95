// The packer's compression stage: how files are grouped into solid segments, which call filter each file
// gets, and the coding of one segment's stream. `zor create` drives it; nothing here touches files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zor::encoder {

struct PackSettings {
  int level = 6;  // 0 stores .. 9 strongest
};

struct PackFileInfo {
  std::string storedPath;  // ANSI, backslashes
  uint64_t size;
  std::vector<uint64_t> sketch = {};  // optional: SketchFile of the content, so that similar files go together
  uint64_t contentKey = 0;            // optional: ContentKey of the content, so that copies go together
};

// Whether PlanSegments at this level orders files by their sketches and content keys (worth reading
// every file once more for).
bool UsesSketches(const PackSettings&);
// Content fingerprints for PackFileInfo::sketch (a few bytes per 160 bytes of content).
std::vector<uint64_t> SketchFile(const uint8_t* data, size_t size);
// A 64-bit hash of the whole content, never 0: equal for identical files.
uint64_t ContentKey(const uint8_t* data, size_t size);

// The sizes of a segment's blocks at this level: the first, then every later one.
struct BlockLayout {
  uint32_t first, later;
};
BlockLayout SegmentBlockLayout(const PackSettings&);

// Solid segments: groups of file indices, each group in stream order, the groups in archive order.
// Deterministic; depends only on its inputs.
std::vector<std::vector<size_t>> PlanSegments(const std::vector<PackFileInfo>& files, const PackSettings&);

// The call filter for one file, from its content (and name as a hint): 0, kEntryCalls16 or kEntryCalls32.
uint8_t ChooseCallFilter(const uint8_t* data, size_t size, const std::string& storedPath, const PackSettings&);

// One data segment (signature and blocks) for a stream built with SegmentStream. Deterministic, thread-safe
// (called concurrently for different segments).
std::vector<uint8_t> CompressSegment(const std::vector<uint8_t>& stream, const PackSettings&);

}  // namespace zor::encoder
