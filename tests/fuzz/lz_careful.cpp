// Built with the whole engine renamed (zor -> zorcareful) and ZOR_LZ_CAREFUL_ONLY: the LZ decoder without
// its fast loop, as the stub runs it, for the differential target.
#include "decoder/lz_decoder.h"
#include "support/engine_fixture.h"

extern "C" int32_t CarefulDecodeLzBlock(const uint8_t* block, size_t size, uint8_t* window, uint32_t history,
                                        uint32_t length, bool marks, uint32_t* markCount) {
  using namespace zor;
  test::EngineFixture f;
  ErrorCode rc = f.OpenAt(std::vector<uint8_t>(block, block + size), 50);
  if (rc < 0) return rc;
  int32_t n = DecodeLzBlock(f.x(), window, history, length, marks);
  *markCount = f.x().deltaMarkCount;
  return n;
}
