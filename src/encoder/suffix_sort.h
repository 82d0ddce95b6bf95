// Suffix arrays for block-sorting blocks where libdivsufsort is not at hand (the Windows build of the tool):
// the induced-sorting algorithm (SA-IS), linear in time. A suffix array is unique, so archives come out the
// same either way.
#pragma once

#include <cstdint>

namespace zor::encoder {

// sa[0..n) := the start positions of the suffixes of text[0..n) in increasing order; a suffix that is a
// prefix of another sorts first.
void SuffixSort(const uint8_t* text, int32_t* sa, int32_t n);

}  // namespace zor::encoder
