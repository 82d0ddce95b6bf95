// Built with the whole engine renamed (zor -> zorcareful), a 32-bit bit buffer and ZOR_LZ_CAREFUL_ONLY: the
// decoders as the stub runs them, for the differential targets.
#include "decoder/lz_decoder.h"
#include "decoder/segment_decoder.h"
#include "support/decoder_fixture.h"

extern "C" int32_t CarefulDecodeLzBlock(const uint8_t* block, size_t size, uint8_t* window, uint32_t history,
                                        uint32_t length, bool marks, uint32_t* markCount) {
  using namespace zor;
  test::DecoderFixture f;
  ErrorCode rc = f.OpenAt(std::vector<uint8_t>(block, block + size), 50);
  if (rc < 0) return rc;
  int32_t n = DecodeLzBlock(f.d(), window, history, length, marks);
  *markCount = f.d().deltaMarkCount;
  return n;
}

// Runs `count` requests (segment, position, length, flags in fours) over the archive; per request its code,
// its CRC and what it wrote (appended to `written`).
extern "C" void CarefulDecodeRequests(const uint8_t* archive, size_t size, const uint32_t* requests,
                                      uint32_t count, int32_t* codes, uint32_t* crcs,
                                      std::vector<uint8_t>* written) {
  using namespace zor;
  test::DecoderFixture f;
  f.SetProgram(std::vector<uint8_t>(archive, archive + size));
  f.archiveOffset = 0;
  for (uint32_t i = 0; i < count; ++i) {
    FileHandle sink = f.NewSink();
    const uint32_t* r = requests + 4 * i;
    codes[i] = f.DecodeFile(sink, r[0], r[1], r[2], static_cast<uint8_t>(r[3]));
    crcs[i] = f.d().output.fileCrc;
    std::vector<uint8_t> out = test::ReadAll(static_cast<int>(sink));
    written->insert(written->end(), out.begin(), out.end());
  }
}
