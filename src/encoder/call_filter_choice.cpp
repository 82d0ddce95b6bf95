// Call-filter choice.
//
// An x86 near call is E8 and a displacement relative to the next instruction. In code, most E8 bytes
// are calls, and their targets lie inside the image; the filter turns those displacements into
// absolute positions, which repeat wherever a function is called. In other data an E8 is followed by
// four arbitrary bytes, which land inside a file of n bytes with probability n / 2^32. So the share of
// E8 bytes whose targets fall inside the file tells code from data without reading any headers.
#include "encoder/call_filter_choice.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "archive/archive_format.h"
#include "encoder/archive_writer.h"
#include "encoder/call_filter.h"
#include "encoder/trial_coding.h"
#include "platform/bytes.h"

namespace zor::encoder {

namespace {

constexpr size_t kTrialBytes = 1 << 20;

struct CallCounts {
  uint32_t e8 = 0;         // E8 bytes with four bytes behind them
  uint32_t inside32 = 0;   // whose 32-bit displacement points inside the file
};

CallCounts CountCalls(const uint8_t* data, size_t size) {
  CallCounts c;
  const int64_t n = static_cast<int64_t>(size);
  for (size_t i = 0; i + 5 <= size; ++i) {
    if (data[i] != 0xE8) continue;
    ++c.e8;
    int64_t target = static_cast<int64_t>(i) + 5 + static_cast<int32_t>(LoadLE32(data + i + 1));
    if (target >= 0 && target < n) ++c.inside32;
  }
  return c;
}

enum class Image { kNone, kDos, kPeX86, kPeOther };

struct ImageInfo {
  Image kind = Image::kNone;
  uint64_t codeBytes = 0;  // PE: raw bytes of the sections that hold code or are executable
};

uint16_t Load16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

ImageInfo ReadImage(const uint8_t* data, size_t size) {
  ImageInfo info;
  if (size < 64 || data[0] != 'M' || data[1] != 'Z') return info;
  info.kind = Image::kDos;
  uint32_t pe = LoadLE32(data + 0x3C);
  if (pe > size - 24 || std::memcmp(data + pe, "PE\0\0", 4) != 0) return info;
  uint16_t machine = Load16(data + pe + 4);
  info.kind = machine == 0x014C || machine == 0x8664 ? Image::kPeX86 : Image::kPeOther;
  uint32_t sections = Load16(data + pe + 6);
  uint64_t table = uint64_t{pe} + 24 + Load16(data + pe + 20);
  for (uint32_t k = 0; k < sections && table + 40 * (k + 1) <= size; ++k) {
    const uint8_t* s = data + table + 40 * k;
    constexpr uint32_t kContainsCode = 0x20, kExecutable = 0x20000000;
    if (LoadLE32(s + 36) & (kContainsCode | kExecutable)) info.codeBytes += LoadLE32(s + 16);
  }
  return info;
}

// Bits of a quick coding of a sample of the file with the filter applied (0 = none).
uint64_t TrialBits(const uint8_t* data, size_t size, uint8_t filter) {
  size_t from = size > kTrialBytes ? (size - kTrialBytes) / 2 : 0;
  size_t n = std::min(size, kTrialBytes);
  if (filter == 0) return QuickLzBits(data + from, static_cast<uint32_t>(n));
  std::vector<uint8_t> copy(data, data + size);
  if (filter == kEntryCalls32) {
    EncodeCalls32(copy.data(), static_cast<uint32_t>(size));
  } else {
    EncodeCalls16(copy.data(), static_cast<uint32_t>(size));
  }
  return QuickLzBits(copy.data() + from, static_cast<uint32_t>(n));
}

}  // namespace

uint8_t ChooseCallFilterFor(const uint8_t* data, size_t size, const std::string& storedPath, bool trials) {
  (void)storedPath;
  if (size < 256 || size > UINT32_MAX) return 0;
  ImageInfo image = ReadImage(data, size);
  if (image.kind == Image::kPeX86) {
    // The filter pays on code sections and costs next to nothing elsewhere; a resource-only image
    // has no calls to gain on.
    if (image.codeBytes < 1024) return 0;
    if (!trials || image.codeBytes * 4 >= size) return kEntryCalls32;
    return TrialBits(data, size, kEntryCalls32) < TrialBits(data, size, 0) ? kEntryCalls32 : 0;
  }
  if (image.kind == Image::kDos && trials) {
    // 16-bit code: no header tells us its calls apart, so try.
    uint64_t none = TrialBits(data, size, 0), calls16 = TrialBits(data, size, kEntryCalls16);
    if (calls16 < none - none / 100) return kEntryCalls16;
    return 0;
  }
  // Other code (ELF images, raw code): most E8 bytes call inside the file (chance gives about
  // size / 2^32 of them).
  CallCounts calls = CountCalls(data, size);
  if (calls.inside32 < 64 || calls.inside32 * 2 < calls.e8) return 0;
  if (!trials) return kEntryCalls32;
  uint64_t none = TrialBits(data, size, 0), calls32 = TrialBits(data, size, kEntryCalls32);
  return calls32 < none ? kEntryCalls32 : 0;
}

}  // namespace zor::encoder
