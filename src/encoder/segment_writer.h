// The segment writer: a segment's decoded stream into blocks, with the decoder's window modelled
// exactly (history kept per block, window capacity, delta marks undone before the history is used).
#pragma once

#include <cstdint>
#include <vector>

#include "encoder/block_writer.h"
#include "encoder/lz_items.h"

namespace zor::encoder {

struct DeltaMarkSpec {
  uint32_t offset;  // in the block
  uint32_t d;       // 0..7; 0 switches the filter off
};

struct BlockPlan {
  uint32_t type = 1;              // 0 stored, 1 or 3 LZ, 2 block-sorting
  uint32_t size = 0;              // decoded bytes
  bool storeIfSmaller = false;    // LZ and block-sorting blocks fall back to stored when that is smaller
  bool last = false;              // forces the last flag (the segment's final block always has it)
  uint32_t historyCode = kHistoryCodeLargest;  // LZ blocks
  LzBlockOptions lz;              // m and tables (lz.type is taken from `type`)
  uint32_t tableSets = 1;         // LZ: the parse is split into this many table sets
  std::vector<DeltaMarkSpec> deltaMarks;  // LZ: where the delta filter switches (ignored with items)
  bool useItems = false;          // LZ: `items` is the block's parse (checked against the bytes)
  bool checkItems = true;         // false: write `items` as given even when they decode otherwise
  std::vector<LzItem> items;
  SortedBlockOptions sorted;
};

struct SegmentPlan {
  std::vector<BlockPlan> blocks;  // sizes must add up to the stream's length
};

// As archives are written: a first block of 0xFF000 bytes, then blocks of 0x7F000 with the
// history-size code 30, all LZ (stored where that is smaller). An empty stream gets one empty block.
SegmentPlan DefaultSegmentPlan(uint32_t streamLength);
// The same with blocks of a given size (the first one too).
SegmentPlan UniformSegmentPlan(uint32_t streamLength, uint32_t blockSize, uint32_t type = 1);

// The decoder's window after a block: whether it exists, its capacity, and the history and block it
// holds. It starts at the first block's size + 512 bytes and grows to n + 512 whenever an LZ block needs
// n bytes of history and block, or a stored or block-sorting block n bytes for itself.
struct WindowModel {
  bool haveWindow = false;
  uint32_t capacity = 0;
  uint32_t historyLength = 0;  // the decoder's historyLength while it decoded the previous block
  uint32_t blockLength = 0;    // the previous block's length
  void Advance(uint32_t history, uint32_t capacity, uint32_t size);
};
inline constexpr uint32_t kWindowSlack = 512;

// History in front of a block of this type and size (LZ blocks: by their history-size code; stored
// and block-sorting ones: what fits in 0x80000 bytes and the window, none behind a last block), and
// the window's capacity while the decoder decodes it.
void PlaceBlock(const WindowModel& model, uint32_t type, uint32_t size, bool last, uint32_t historyCode,
                uint32_t& history, uint32_t& capacity);

// What an LZ block's symbols must produce, given what the decoder hands out: takes the delta filter
// off window[history, history + size) in place, its sources read as the decoder reads them (the
// block's bytes as they come out, the history as kept, 0 in front of the window).
void RemoveDeltaMarks(uint8_t* window, uint32_t history, uint32_t size, const std::vector<DeltaMarkSpec>& marks);

// Puts each mark before the first item that starts at or after its offset (a parse made with the
// marks' offsets as barriers has an item boundary there).
void InsertDeltaMarks(std::vector<LzItem>& items, const std::vector<DeltaMarkSpec>& marks);

// What the decoder will hold for each block, as the writer modelled it.
struct BlockReport {
  uint32_t type;
  uint32_t size;
  uint32_t historyLength;   // bytes of history in front of the block in the decoder's window
  uint32_t windowCapacity;  // the decoder's window capacity while it decodes the block
  uint32_t packedSize;
};

struct SegmentReport {
  std::vector<BlockReport> blocks;
};

// Appends the segment ("ZORLH\0" and its blocks) to `out`. The parser is used for LZ blocks without
// a given parse.
EncodeStatus EncodeSegment(const uint8_t* stream, uint32_t length, const SegmentPlan& plan, LzParser& parser,
                           std::vector<uint8_t>& out, SegmentReport* report = nullptr);

// The decoder's LZ step alone, for checking parses and building expectations: applies items to
// window[historyLength...] (window holds history plus room for blockLength bytes) exactly as the
// decoder does, skipped and cut matches included, and collects the delta marks (block offsets).
// Returns the number of bytes produced.
uint32_t ApplyLzItems(const std::vector<LzItem>& items, uint8_t* window, uint32_t historyLength,
                      uint32_t blockLength, std::vector<DeltaMarkSpec>* marks);

// The bytes the decoder hands out for an LZ block: applies the delta marks over block bytes that
// follow `historyLength` bytes of history (as the window holds them), in place.
void ApplyDeltaMarkSpecs(uint8_t* window, uint32_t historyLength, uint32_t blockLength,
                         const std::vector<DeltaMarkSpec>& marks);

}  // namespace zor::encoder
