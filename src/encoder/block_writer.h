// Block writers: stored, LZ and block-sorting blocks, each a whole number of bytes that begins with
// the 45-bit block header (type, last, size, packedSize).
#pragma once

#include <cstdint>
#include <vector>

#include "encoder/bit_writer.h"
#include "encoder/code_length_writer.h"
#include "encoder/format_tables.h"
#include "encoder/lz_items.h"

namespace zor::encoder {

enum class EncodeStatus : uint8_t {
  kOk,
  kInvalidItems,     // a parse the decoder would not read back (bad distance symbol, m, set count...)
  kItemsMismatch,    // a given parse does not reproduce the block's bytes
  kBlockTooLarge,    // size or packedSize beyond 20 bits
  kInvalidPlan,      // block sizes or types that do not fit the stream
};

// Writes type, last and size, and a placeholder for packedSize; FinishBlock fills it in.
void WriteBlockHeader(BitWriter& out, uint32_t type, bool last, uint32_t size);
// Aligns to a byte and stores the block's length in bytes as its packedSize.
EncodeStatus FinishBlock(BitWriter& out);

// Type 0: the header, then the bytes from the next byte boundary (byte 6).
std::vector<uint8_t> WriteStoredBlock(const uint8_t* bytes, uint32_t size, bool last);

// ---- LZ blocks (types 1 and 3) ----

enum class TableChoice : uint8_t { kAuto, kBuiltIn, kDynamic };

struct LzBlockOptions {
  uint32_t type = 1;               // 1 or 3: decoded alike
  uint32_t distanceAlphabets = 0;  // m: 0 = the cheapest that can code the parse, else 1..3
  TableChoice tables = TableChoice::kAuto;
};

// One coded item: a literal/length symbol with its extra bits, for matches the distance symbol of the
// alphabet chosen by the match length, with its extra bits; for delta marks the 3-bit distance.
struct LzSymbol {
  uint16_t symbol;
  uint8_t extraBits;
  uint8_t distanceSymbol;      // matches only
  uint8_t distanceExtraBits;
  uint32_t extra;              // length extra bits, or the mark's d
  uint32_t distanceExtra;
  uint32_t length;             // matches: for the alphabet choice
};

// Everything an LZ block sends after its header, ready to be written or costed.
struct LzBlockCoding {
  uint32_t historyCode = kHistoryCodeLargest;
  uint32_t m = 2;                 // sent as is (tests may send 0)
  uint32_t tableSets = 1;         // u; 0 = built-in lengths
  std::vector<uint8_t> lengths;   // u * t lengths (t = 344, or 372 when m = 3); built-in: 344
  CodeLengthEncoding lengthEncoding;  // how `lengths` are sent (u > 0)
  std::vector<LzSymbol> symbols;
};

// Turns items into symbols: recent distances as the decoder keeps them, distance symbols chosen
// (0 for the last distance, 2..5 for 1..4, 1 for the one before, else explicit) unless forced.
EncodeStatus ResolveLzItems(const std::vector<LzItem>& items, std::vector<LzSymbol>& symbols);

// Chooses m and the tables (built-in or one dynamic set per EndOfSet-separated part) for the
// symbols; reach = history length + block length (the built-in distance lengths depend on it).
EncodeStatus PlanLzBlock(std::vector<LzSymbol> symbols, uint32_t reach, const LzBlockOptions& options,
                         LzBlockCoding& coding);

// Bits of the coded block after its header (history code included).
uint64_t LzBlockBits(const LzBlockCoding& coding);

// The whole block. The coding's lengths must code every symbol it sends (PlanLzBlock sees to that);
// tests may hand-edit a coding to send damaged blocks.
std::vector<uint8_t> WriteLzBlock(const LzBlockCoding& coding, uint32_t type, bool last, uint32_t size);

// The built-in lengths of an LZ block: 288 literal/length, 42 and 14 distance lengths.
void BuiltInLengths(uint32_t reach, uint8_t lengths[kSetLengthSmall]);

// ---- Block-sorting blocks (type 2) ----

struct SortedBlockOptions {
  uint32_t bias = 0;        // added by the decoder to every byte; we sort the bytes minus bias
  uint32_t tableCount = 0;  // 0 = chosen by cost, else 1..6
};

// Everything a block-sorting block sends after its header.
struct SortedBlockCoding {
  uint32_t bias = 0;
  uint32_t tableCountField = 1;  // the 3-bit T as sent
  std::vector<std::vector<uint8_t>> tables;  // T lists of 258 lengths
  std::vector<CodeLengthEncoding> tableEncodings;
  std::vector<uint8_t> selectors;            // table number per group of 50 symbols
  std::vector<uint16_t> symbols;             // run steps, indices + 1, origin marker
};

// Last column, move-to-front and runs, then the tables and selectors.
SortedBlockCoding PlanSortedBlock(const uint8_t* bytes, uint32_t size, const SortedBlockOptions& options);
// Recomputes the tables' transmissions after tables or selectors were changed by hand.
void EncodeSortedTables(SortedBlockCoding& coding);
std::vector<uint8_t> WriteSortedBlock(const SortedBlockCoding& coding, bool last, uint32_t size);

// The symbol stream alone (last column as move-to-front indices with bijective runs); exposed for tests.
std::vector<uint16_t> SortedSymbols(const uint8_t* bytes, uint32_t size, uint32_t bias);

}  // namespace zor::encoder
