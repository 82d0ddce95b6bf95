// A decoder's start-up state and the buffers it holds for one walk.
#include "decoder/decoder.h"

namespace zor {

void InitDecoder(Decoder& d, FileLayer* files, const std::atomic<bool>* cancelRequested) {
  d.files = files;
  d.cancelRequested = cancelRequested;
  BuildCrcTable(d.crc);
  d.bitReader = BitReader{};
  d.segment = SegmentDecoder{};
  d.segment.segmentPos = 0xFFFFFFFFu;
  d.localHeader = LocalHeader{};
  d.output = OutputFilter{};
  d.deltaMarkCount = 0;
}

ErrorCode AllocateInput(Decoder& d) {
  ResetSegmentDecoder(d);  // the first request restarts
  if (!d.bitReader.buffer) d.bitReader.buffer = static_cast<uint8_t*>(MemAlloc(kBitReaderAllocSize));
  return d.bitReader.buffer ? 0 : kErrorNoMemory;
}

void FreeInput(Decoder& d) {
  ResetSegmentDecoder(d);
  MemFree(d.bitReader.buffer);
  d.bitReader.buffer = nullptr;
}

}  // namespace zor
