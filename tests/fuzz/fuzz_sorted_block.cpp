// Fuzz target: one block-sorting block of a size taken from the input.
#include "decoder/sorted_decoder.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zor;
  fuzz::FuzzInput in(data, size);
  uint32_t length = in.Below(1u << 20) >> (in.Take(1) & 15);
  test::DecoderFixture f;
  if (f.OpenAt(in.Rest(), 45) < 0) return 0;
  std::vector<uint8_t> out(length + 1);
  DecodeSortedBlock(f.d(), out.data(), length);
  return 0;
}
