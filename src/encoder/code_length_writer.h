// The transmission of code lengths: a 21-symbol pre-code, then deltas modulo 17 against a running
// reference, zero runs and repeat runs, over one or more table sets.
#pragma once

#include <cstdint>
#include <vector>

#include "encoder/bit_writer.h"
#include "encoder/format_tables.h"

namespace zor::encoder {

// Pre-code symbols: 0..16 deltas, 17/18 zero-run digits (weight w, 2w), 19/20 repeat-run digits.
inline constexpr uint8_t kZeroRunOne = 17, kZeroRunTwo = 18, kRepeatOne = 19, kRepeatTwo = 20;

struct CodeLengthEncoding {
  uint8_t precodeLengths[kPreCodeSymbols] = {};
  std::vector<uint8_t> items;  // pre-code symbols in the order they are sent
  uint64_t bits = 0;           // the whole transmission: pre-code lengths and items
};

// The shortest encoding we find for setCount sets of setLength lengths each (each 0..16): a shortest
// path over (position, reference, kind of the previous item) under the pre-code's costs, alternated
// with rebuilding the pre-code from the path's symbol counts.
CodeLengthEncoding EncodeCodeLengths(const uint8_t* lengths, uint32_t setLength, uint32_t setCount);

// Sends an encoding (pre-code lengths, then the items with the pre-code).
void WriteCodeLengths(BitWriter& out, const CodeLengthEncoding& encoding);

// The pre-code's 21 lengths as 5-bit items with bijective zero runs; any values 0..30 may be sent.
void WritePrecodeLengths(BitWriter& out, const uint8_t lengths[kPreCodeSymbols]);
uint32_t PrecodeLengthsBits(const uint8_t lengths[kPreCodeSymbols]);

// What a reader makes of items: the lengths they write (runs cut at the end), or false when an item
// is not a pre-code symbol. Used to check encodings.
bool ExpandCodeLengthItems(const std::vector<uint8_t>& items, uint32_t setLength, uint32_t setCount,
                           std::vector<uint8_t>& lengths);

// Appends the bijective base-2 digits of n >= 1 (least significant first) as symbols one/two.
void AppendBijectiveDigits(uint32_t n, uint8_t one, uint8_t two, std::vector<uint8_t>& out);

}  // namespace zor::encoder
