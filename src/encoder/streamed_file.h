// Large files coded while they are read: a segment of their own, written block by block, so that what
// the packer holds for them does not grow with their size.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "encoder/archive_writer.h"
#include "encoder/lz_items.h"
#include "encoder/packer.h"
#include "encoder/segment_writer.h"

namespace zor::encoder {

// The forward call transform of EncodeCalls16/EncodeCalls32 over a file that arrives in pieces: the same
// bytes come out, each once no later byte can change it (at most 4 bytes are held back).
class StreamingCallEncoder {
 public:
  StreamingCallEncoder(uint8_t flags, uint32_t fileLength) : flags_(flags), length_(fileLength) {}
  // Takes the file's next bytes and appends to `out` the transformed bytes that are final.
  void Feed(const uint8_t* data, size_t size, std::vector<uint8_t>& out);

 private:
  uint8_t flags_;
  uint32_t length_;
  uint32_t start_ = 0;  // file position of held_[0]
  std::vector<uint8_t> held_;
};

// A segment coded block by block as its stream arrives, the decoder's window modelled as EncodeSegment
// does: LZ blocks from the hash-chain parser with the largest history, or block-sorting blocks, whichever
// is smaller (stored where that is smaller still), or stored blocks only. Holds the last 512 KB of the
// stream and one block.
class SegmentStreamer {
 public:
  // storeOnly: stored blocks only. sorting 0: no block-sorting blocks; 1: tried where the last trial came
  // close and on every fourth block (as the middle levels do); 2: tried on every block. A block-sorting
  // block is taken where it saves sortingSaving of its decoded bytes (kSortingSaving).
  SegmentStreamer(const ParseOptions& options, bool storeOnly, int sorting, double sortingSaving)
      : parser_(options), storeOnly_(storeOnly), sorting_(sorting), sortingSaving_(sortingSaving) {}
  // Codes the next block (at most kFirstBlockSize bytes) and appends it to out.
  EncodeStatus AddBlock(const uint8_t* bytes, uint32_t size, bool last, std::vector<uint8_t>& out);

 private:
  HashChainParser parser_;
  bool storeOnly_;
  int sorting_;
  double sortingSaving_;
  bool sortingCloseCall_ = true;
  uint32_t blocksSinceSorting_ = 0;
  WindowModel model_;
  std::vector<uint8_t> tail_;    // the stream's last bytes, up to the largest history
  std::vector<uint8_t> window_;  // history and block, for the parser
  std::vector<LzItem> items_;
};

// Packs file `index` of the job into a segment of its own, read in pieces through io.ReadFileAt and
// written through io.Write as its blocks are coded, behind `archiveLength` bytes of archive, with
// io.Progress after each piece (`inputBefore`: the files' bytes packed before it). Fills `stored`,
// `flags` and `segmentBytes`. What it holds is bounded: a sample of the file's start for the
// call-filter choice, one read piece, one block and the parser's window.
PackStatus StreamFileSegment(const PackJob& job, size_t index, PackIo& io, uint64_t archiveLength,
                             uint64_t inputBefore, StoredFile& stored, uint8_t& flags, uint64_t& segmentBytes,
                             std::string& error);

}  // namespace zor::encoder
