// Fuzz target: a whole archive through the segment decoder, with a handful of file requests (segment,
// position, length, filter flags) taken from the front of the input; output goes to /dev/null.
#include "decoder/segment_decoder.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zor;
  fuzz::FuzzInput in(data, size);
  struct Request {
    uint32_t segment, position, length;
    uint8_t flags;
  } requests[4];
  uint32_t count = 1 + in.Below(4, 1);
  for (uint32_t i = 0; i < count; ++i) {
    requests[i].segment = in.Below(64, 1);
    requests[i].position = in.Take(1) & 1 ? in.Below(1u << 21) : in.Below(256, 1);
    requests[i].length = in.Below(1u << 22);
    requests[i].flags = static_cast<uint8_t>(in.Take(1));
  }
  test::DecoderFixture f;
  f.SetProgram(in.Rest());
  f.archiveOffset = 0;
  for (uint32_t i = 0; i < count; ++i) {
    ErrorCode rc = f.DecodeFile(fuzz::NullSink(), requests[i].segment, requests[i].position,
                                  requests[i].length, requests[i].flags);
    if (rc < 0 && rc != kErrorDamaged && rc != kErrorInputExhausted && rc != kErrorSeek) __builtin_trap();
  }
  return 0;
}
