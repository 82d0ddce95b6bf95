// Fuzz target: a whole archive through the native segment decoder and through the stub's build of the
// decoders (32-bit bit buffer, no fast loop): same codes, same CRCs, same bytes written.
#include "decoder/segment_decoder.h"
#include "fuzz_input.h"

extern "C" void CarefulDecodeRequests(const uint8_t* archive, size_t size, const uint32_t* requests,
                                      uint32_t count, int32_t* codes, uint32_t* crcs,
                                      std::vector<uint8_t>* written);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zor;
  fuzz::FuzzInput in(data, size);
  uint32_t requests[4 * 4];
  uint32_t count = 1 + in.Below(4, 1);
  for (uint32_t i = 0; i < count; ++i) {
    requests[4 * i] = in.Below(64, 1);
    requests[4 * i + 1] = in.Take(1) & 1 ? in.Below(1u << 21) : in.Below(256, 1);
    requests[4 * i + 2] = in.Below(1u << 20);
    requests[4 * i + 3] = in.Take(1);
  }
  std::vector<uint8_t> archive = in.Rest();
  int32_t codes[4], carefulCodes[4];
  uint32_t crcs[4], carefulCrcs[4];
  std::vector<uint8_t> written, carefulWritten;
  {
    test::DecoderFixture f;
    f.SetProgram(archive);
    f.archiveOffset = 0;
    for (uint32_t i = 0; i < count; ++i) {
      FileHandle sink = f.NewSink();
      const uint32_t* r = requests + 4 * i;
      codes[i] = f.DecodeFile(sink, r[0], r[1], r[2], static_cast<uint8_t>(r[3]));
      crcs[i] = f.d().output.fileCrc;
      std::vector<uint8_t> out = test::ReadAll(static_cast<int>(sink));
      written.insert(written.end(), out.begin(), out.end());
    }
  }
  CarefulDecodeRequests(archive.data(), archive.size(), requests, count, carefulCodes, carefulCrcs,
                        &carefulWritten);
  for (uint32_t i = 0; i < count; ++i) {
    if (codes[i] != carefulCodes[i]) __builtin_trap();
    if (codes[i] == 0 && crcs[i] != carefulCrcs[i]) __builtin_trap();
  }
  if (written != carefulWritten) __builtin_trap();
  return 0;
}
