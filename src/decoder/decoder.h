// A decoder's whole state: what the bit input, the block decoders, the segment decoder and the output
// stage keep between calls. Every decoder operation takes it; nothing above the decoders is reachable
// from here but the file layer and the cancel flag, so decoders of different extractions share nothing
// and can run in parallel threads. The stub holds exactly one, inside its one extraction.
#pragma once

#include <atomic>
#include <cstdint>

#include "decoder/bit_reader.h"
#include "decoder/call_filter.h"
#include "decoder/crc32.h"
#include "decoder/huffman.h"
#include "decoder/lz_decoder.h"
#include "decoder/segment_decoder.h"
#include "platform/file_layer.h"

namespace zor {

struct Decoder {
  FileLayer* files;                          // reads the program file, writes the output files
  const std::atomic<bool>* cancelRequested;  // polled before each block, refill, table set and filter batch
  CrcTable crc;
  BitReader bitReader;
  SegmentDecoder segment;
  LocalHeader localHeader;
  OutputFilter output;
  DeltaMark deltaMarks[kMaxDeltaMarks];      // of the LZ block decoded last (segment decoder's blocks only)
  uint32_t deltaMarkCount;
  DecoderTables tables;                      // the block decoders' working storage, rebuilt per table set
};

// Puts a decoder into its start-up state: CRC table built, no segment, nothing allocated. `files` and
// `cancelRequested` must outlive it.
void InitDecoder(Decoder& d, FileLayer* files, const std::atomic<bool>* cancelRequested);

inline bool CancelRequested(const Decoder& d) { return d.cancelRequested->load(std::memory_order_relaxed); }

// The input buffer a walk needs (BitReader::buffer): allocated by AllocateInput unless the decoder holds
// one, freed by FreeInput together with the segment decoder's window. Both leave the segment decoder
// reset, so the next request restarts. AllocateInput returns 0 or -2.
ErrorCode AllocateInput(Decoder& d);
void FreeInput(Decoder& d);

}  // namespace zor
