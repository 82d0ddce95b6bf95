// Where a Windows executable's image ends, read from its PE headers, and the header fields that the
// integrity stamp leaves out of its sum.
//
// Self-extractors are signed after packing: the signature and any padding go to the end of the file, so
// the appended data must be found from the front, not measured back from the end.
#pragma once

#include <cstdint>

namespace zor {

// How much of the file's start ParsePeImage needs at most: headers and section table of any image that
// ParsePeImage accepts lie within this many bytes.
inline constexpr uint32_t kPeHeadReadSize = 4096;

// The DOS header's reserved words at 0x28 (e_res2) carry the stub's integrity stamp: a CRC-32 of the
// image computed with the excluded fields below set to zero.
inline constexpr uint32_t kImageStampOffset = 0x28;
inline constexpr uint32_t kImageStampSize = 4;

struct PeLayout {
  uint32_t appendedDataOffset;      // end of the last section's raw data (at least SizeOfHeaders)
  uint32_t checkSumOffset;          // file offset of the optional header's CheckSum (4 bytes)
  uint32_t certificateEntryOffset;  // file offset of the certificate-table directory entry (8 bytes); 0: none
  uint16_t sectionCount;
  bool is64Bit;                     // PE32+ rather than PE32
};

// Parses the PE headers in the first `size` bytes of a file. Returns false, without reading outside
// bytes[0, size), when they are not a complete and consistent set of headers.
bool ParsePeImage(const uint8_t* bytes, uint32_t size, PeLayout& layout);

// Sets the stamp and the fields a signing tool rewrites to zero, where they lie within bytes[0, size)
// (bytes holds the file from `fileOffset` on), so that the stamp's CRC can be taken over the result.
void ClearUnstampedFields(const PeLayout& layout, uint8_t* bytes, uint32_t size, uint32_t fileOffset);

}  // namespace zor
