// The parse of an LZ block: the sequence of literals, matches, delta marks and table-set ends that
// a parser produces and the LZ block writer codes. A parser is a replaceable stage.
#pragma once

#include <cstdint>
#include <vector>

namespace zor::encoder {

enum class LzItemKind : uint8_t { kLiteral, kMatch, kDeltaMark, kEndOfSet };

struct LzItem {
  LzItemKind kind;
  int8_t distanceSymbol;  // matches: -1 = the coder chooses; 0..41 forces that symbol
  uint32_t value;         // literal byte, match length, or delta distance 0..7
  uint32_t distance;      // matches: bytes back; with a forced symbol 0 or 1 the recent distance rules

  static LzItem Literal(uint8_t byte) { return {LzItemKind::kLiteral, -1, byte, 0}; }
  static LzItem Match(uint32_t length, uint32_t distance, int8_t symbol = -1) {
    return {LzItemKind::kMatch, symbol, length, distance};
  }
  static LzItem DeltaMark(uint32_t d) { return {LzItemKind::kDeltaMark, -1, d, 0}; }
  static LzItem EndOfSet() { return {LzItemKind::kEndOfSet, -1, 0, 0}; }
};

// What a parser may use. The block writer checks the result against the block's m and tables.
struct ParseOptions {
  uint32_t maxChain = 48;        // hash-chain candidates tried per position
  uint32_t niceLength = 192;     // a match this long is taken without looking further
  bool lazy = true;              // try the next position before taking a match
  bool allowLength2 = true;      // length-2 matches (distance alphabet 1; not with m = 1)
  uint32_t maxLength3Distance = 8192;  // length-3 matches beyond this are not worth it (and m = 3 needs it)
};

// A parser fills `items` for window[historyLength, historyLength + blockLength); window[0,
// historyLength) is history that matches may copy from. No item may cross a barrier (a block offset
// at which a delta mark goes): the caller inserts the marks there.
class LzParser {
 public:
  virtual ~LzParser() = default;
  virtual void Parse(const uint8_t* window, uint32_t historyLength, uint32_t blockLength,
                     const std::vector<uint32_t>& barriers, std::vector<LzItem>& items) = 0;
};

// Hash chains with lazy matching: fast, plain, good enough for fixtures and the fast levels.
class HashChainParser : public LzParser {
 public:
  explicit HashChainParser(const ParseOptions& options = ParseOptions()) : options_(options) {}
  void Parse(const uint8_t* window, uint32_t historyLength, uint32_t blockLength,
             const std::vector<uint32_t>& barriers, std::vector<LzItem>& items) override;

 private:
  ParseOptions options_;
  std::vector<int32_t> head_, previous_;
};

// Literals for each byte: the trivial parse.
void AppendLiterals(const uint8_t* bytes, uint32_t count, std::vector<LzItem>& items);

// Splits a parse into `sets` table sets of about equal item counts (1..63).
void SplitIntoTableSets(std::vector<LzItem>& items, uint32_t sets);

}  // namespace zor::encoder
