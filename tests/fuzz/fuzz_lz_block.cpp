// Fuzz target: one LZ block, with history and block length taken from the input, decoded into a window.
#include "decoder/lz_decoder.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zor;
  fuzz::FuzzInput in(data, size);
  uint32_t history = in.Below(70000);
  uint32_t length = in.Below(1u << 20) >> (in.Take(1) & 7);
  bool marks = in.Take(1) & 1;
  test::DecoderFixture f;
  if (f.OpenAt(in.Rest(), 50) < 0) return 0;
  std::vector<uint8_t> window(history + length);
  for (uint32_t i = 0; i < history; ++i) window[i] = static_cast<uint8_t>(i * 7);
  int32_t n = DecodeLzBlock(f.d(), window.data(), history, length, marks);
  if (n > static_cast<int32_t>(length)) __builtin_trap();
  return 0;
}
