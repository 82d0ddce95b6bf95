// Fuzz target: the LZ decoder with its fast loop against the careful loop alone (as the stub builds it):
// same count or error, same bytes, same delta marks, on any input.
#include <cstring>

#include "decoder/lz_decoder.h"
#include "fuzz_input.h"

extern "C" int32_t CarefulDecodeLzBlock(const uint8_t* block, size_t size, uint8_t* window, uint32_t history,
                                        uint32_t length, bool marks, uint32_t* markCount);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zor;
  fuzz::FuzzInput in(data, size);
  uint32_t history = in.Below(4096);
  uint32_t length = in.Below(1u << 18) >> (in.Take(1) & 7);
  bool marks = in.Take(1) & 1;
  std::vector<uint8_t> block = in.Rest();
  std::vector<uint8_t> w1(history + length), w2(history + length);
  for (uint32_t i = 0; i < history; ++i) w1[i] = w2[i] = static_cast<uint8_t>(i * 7);
  test::DecoderFixture f;
  ErrorCode rc = f.OpenAt(block, 50);
  int32_t n1 = rc < 0 ? rc : DecodeLzBlock(f.d(), w1.data(), history, length, marks);
  uint32_t marks2 = 0;
  int32_t n2 = CarefulDecodeLzBlock(block.data(), block.size(), w2.data(), history, length, marks, &marks2);
  if (n1 != n2) __builtin_trap();
  if (n1 > 0 && std::memcmp(w1.data(), w2.data(), history + n1) != 0) __builtin_trap();
  if (n1 >= 0 && marks && f.d().deltaMarkCount != marks2) __builtin_trap();
  return 0;
}
