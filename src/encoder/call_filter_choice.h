// Which call filter a file gets: the 32-bit one for x86 code (PE images of 32- and 64-bit code, and
// any file whose E8 bytes mostly point inside it), the 16-bit one for 16-bit code where it pays.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zor::encoder {

// 0, kEntryCalls16 or kEntryCalls32. With trials, unclear cases are settled by coding a sample of the
// file both ways.
uint8_t ChooseCallFilterFor(const uint8_t* data, size_t size, const std::string& storedPath, bool trials);

}  // namespace zor::encoder
