// Prefix codes from frequencies: length-limited code lengths and their canonical codes.
#pragma once

#include <cstdint>

namespace zor::encoder {

// Optimal code lengths of at most maxLength bits (package-merge) for count symbols. A symbol with
// frequency 0 gets length 0; a lone used symbol gets length 1, so that the decoder has a code to read.
// Requires 2^maxLength >= the number of used symbols.
void BuildLengthLimitedLengths(const uint64_t* frequencies, uint32_t count, uint32_t maxLength,
                               uint8_t* lengths);

// Canonical codes of the given lengths, bit-reversed so that BitWriter::Put(code, length) sends the
// code's first bit first, as the decoder reads it.
void AssignWriterCodes(const uint8_t* lengths, uint32_t count, uint32_t* codes);

// Whether the lengths form a prefix code (complete or not) with nothing longer than maxLength.
bool LengthsArePrefixCode(const uint8_t* lengths, uint32_t count, uint32_t maxLength);

}  // namespace zor::encoder
