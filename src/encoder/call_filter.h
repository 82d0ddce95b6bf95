// The archiver's side of the x86 call filters: the exact inverses of the extractor's translations
// (decoder/call_filter.h), over a whole file in place.
#pragma once

#include <cstdint>

namespace zor::encoder {

// Every 0xE8 takes the 2 (16-bit filter) or 4 (32-bit filter) bytes behind it as its operand and turns the
// call's displacement into the stored form; operands that would reach past the file's end stay as they are.
void EncodeCalls16(uint8_t* bytes, uint32_t length);
void EncodeCalls32(uint8_t* bytes, uint32_t length);

}  // namespace zor::encoder
