// Block-sorting blocks: suffix sorting (libdivsufsort), move-to-front with bijective runs, and up to
// six code tables chosen per group of 50 symbols.
#if ZOR_HAVE_DIVSUFSORT
#include <divsufsort.h>
#endif

#include <algorithm>
#include <limits>
#include <numeric>

#include "encoder/block_writer.h"
#include "encoder/huffman_builder.h"
#include "encoder/suffix_sort.h"

namespace zor::encoder {

namespace {

using Frequencies = std::vector<uint64_t>;

// Cost of each group under each table's lengths; a symbol without a code makes a table unusable.
uint64_t GroupCost(const std::vector<uint16_t>& symbols, size_t begin, size_t end, const std::vector<uint8_t>& lengths) {
  uint64_t cost = 0;
  for (size_t i = begin; i < end; ++i) {
    uint8_t l = lengths[symbols[i]];
    if (l == 0) return std::numeric_limits<uint64_t>::max();
    cost += l;
  }
  return cost;
}

uint64_t SelectorBits(const std::vector<uint8_t>& tableNumbers) {
  uint8_t list[kMaxSortedTables] = {0, 1, 2, 3, 4, 5};
  uint64_t bits = 0;
  for (uint8_t t : tableNumbers) {
    uint32_t j = 0;
    while (list[j] != t) ++j;
    bits += j + 1;
    for (; j > 0; --j) list[j] = list[j - 1];
    list[0] = t;
  }
  return bits;
}

struct Choice {
  std::vector<std::vector<uint8_t>> tables;
  std::vector<uint8_t> tableNumbers;  // per group
  uint64_t bits = std::numeric_limits<uint64_t>::max();
};

// The usual refinement: start from tables that split the alphabet by cumulative frequency, then
// alternately assign each group to its cheapest table and rebuild the tables from their groups.
Choice ChooseTables(const std::vector<uint16_t>& symbols, uint32_t tableCount) {
  size_t groups = (symbols.size() + kSelectorGroup - 1) / kSelectorGroup;
  Frequencies total(kSortedSymbols, 0);
  for (uint16_t s : symbols) ++total[s];
  std::vector<std::vector<uint8_t>> tables(tableCount, std::vector<uint8_t>(kSortedSymbols, 0));

  // Initial tables: table k codes a band of symbols cheaply and the rest expensively.
  {
    uint64_t remaining = symbols.size();
    uint32_t s = 0;
    for (uint32_t k = 0; k < tableCount; ++k) {
      uint64_t want = remaining / (tableCount - k), got = 0;
      uint32_t first = s;
      while (s < kSortedSymbols && (got < want || s == first)) got += total[s++];
      remaining -= got;
      for (uint32_t v = 0; v < kSortedSymbols; ++v)
        tables[k][v] = total[v] == 0 ? 0 : (v >= first && v < s) ? 1 : 15;
    }
  }

  std::vector<uint8_t> assignment(groups, 0);
  for (int iteration = 0; iteration < 4; ++iteration) {
    std::vector<Frequencies> freq(tableCount, Frequencies(kSortedSymbols, 0));
    for (size_t g = 0; g < groups; ++g) {
      size_t b = g * kSelectorGroup, e = std::min(symbols.size(), b + kSelectorGroup);
      uint64_t best = std::numeric_limits<uint64_t>::max();
      for (uint32_t k = 0; k < tableCount; ++k) {
        uint64_t c = GroupCost(symbols, b, e, tables[k]);
        if (c < best) {
          best = c;
          assignment[g] = static_cast<uint8_t>(k);
        }
      }
      for (size_t i = b; i < e; ++i) ++freq[assignment[g]][symbols[i]];
    }
    // Every symbol of the block keeps a (long) code in every table, so that any group may move.
    for (uint32_t k = 0; k < tableCount; ++k) {
      Frequencies f(kSortedSymbols, 0);
      for (uint32_t v = 0; v < kSortedSymbols; ++v) f[v] = total[v] == 0 ? 0 : 2 * freq[k][v] + 1;
      BuildLengthLimitedLengths(f.data(), kSortedSymbols, kMaxCodeLength, tables[k].data());
    }
  }

  // Final: exact tables from the groups each one got; tables nobody uses are dropped.
  Choice c;
  std::vector<Frequencies> freq(tableCount, Frequencies(kSortedSymbols, 0));
  for (size_t g = 0; g < groups; ++g) {
    size_t b = g * kSelectorGroup, e = std::min(symbols.size(), b + kSelectorGroup);
    for (size_t i = b; i < e; ++i) ++freq[assignment[g]][symbols[i]];
  }
  std::vector<int> renumber(tableCount, -1);
  for (size_t g = 0; g < groups; ++g) {
    uint8_t k = assignment[g];
    if (renumber[k] < 0) {
      renumber[k] = static_cast<int>(c.tables.size());
      c.tables.emplace_back(kSortedSymbols, 0);
      BuildLengthLimitedLengths(freq[k].data(), kSortedSymbols, kMaxCodeLength, c.tables.back().data());
    }
    c.tableNumbers.push_back(static_cast<uint8_t>(renumber[k]));
  }
  return c;
}

std::vector<uint8_t> SelectorIndices(const std::vector<uint8_t>& tableNumbers) {
  uint8_t list[kMaxSortedTables] = {0, 1, 2, 3, 4, 5};
  std::vector<uint8_t> indices;
  for (uint8_t t : tableNumbers) {
    uint32_t j = 0;
    while (list[j] != t) ++j;
    indices.push_back(static_cast<uint8_t>(j));
    for (; j > 0; --j) list[j] = list[j - 1];
    list[0] = t;
  }
  return indices;
}

void AppendRun(uint32_t run, std::vector<uint16_t>& out) {
  while (run > 0) {
    if (run & 1) {
      out.push_back(0);
      run = (run - 1) / 2;
    } else {
      out.push_back(1);
      run = (run - 2) / 2;
    }
  }
}

}  // namespace

std::vector<uint16_t> SortedSymbols(const uint8_t* bytes, uint32_t size, uint32_t bias) {
  // The decoder sorts the rotations of the text with a sentinel that precedes every byte, so row 0 is
  // the sentinel's and the other rows follow the suffix array of the text (a suffix that is a prefix
  // of another sorts first, as the sentinel makes it). Last column: row 0 ends with the last byte,
  // row r + 1 with the byte before suffix SA[r], or with the sentinel for SA[r] = 0 (the origin).
  std::vector<uint8_t> text(size);
  for (uint32_t i = 0; i < size; ++i) text[i] = static_cast<uint8_t>(bytes[i] - bias);
  std::vector<int32_t> suffixes(size);
#if ZOR_HAVE_DIVSUFSORT
  if (size > 0) divsufsort(text.data(), suffixes.data(), static_cast<int32_t>(size));
#else
  SuffixSort(text.data(), suffixes.data(), static_cast<int32_t>(size));
#endif

  std::vector<uint16_t> out;
  uint8_t list[256];
  std::iota(list, list + 256, 0);
  uint32_t run = 0;
  auto put = [&](int32_t column) {  // column: a byte, or -1 for the sentinel
    if (column < 0) {
      AppendRun(run, out);
      run = 0;
      out.push_back(kOriginMarker);
      return;
    }
    uint8_t b = static_cast<uint8_t>(column);
    if (list[0] == b) {
      ++run;
      return;
    }
    AppendRun(run, out);
    run = 0;
    uint32_t j = 1;
    while (list[j] != b) ++j;
    out.push_back(static_cast<uint16_t>(j + 1));
    for (; j > 0; --j) list[j] = list[j - 1];
    list[0] = b;
  };
  put(size == 0 ? -1 : text[size - 1]);
  for (uint32_t r = 0; r < size; ++r) put(suffixes[r] == 0 ? -1 : text[suffixes[r] - 1]);
  AppendRun(run, out);
  return out;
}

void EncodeSortedTables(SortedBlockCoding& coding) {
  coding.tableEncodings.clear();
  for (const auto& t : coding.tables)
    coding.tableEncodings.push_back(EncodeCodeLengths(t.data(), kSortedSymbols, 1));
}

SortedBlockCoding PlanSortedBlock(const uint8_t* bytes, uint32_t size, const SortedBlockOptions& options) {
  SortedBlockCoding coding;
  coding.bias = options.bias & 0xFF;
  coding.symbols = SortedSymbols(bytes, size, coding.bias);

  std::vector<uint32_t> counts;
  if (options.tableCount != 0) {
    counts.push_back(std::clamp<uint32_t>(options.tableCount, 1, kMaxSortedTables));
  } else {
    size_t n = coding.symbols.size();
    uint32_t guess = n < 200 ? 2 : n < 600 ? 3 : n < 1200 ? 4 : n < 2400 ? 5 : 6;
    for (uint32_t t = guess - 1; t <= std::min(guess + 1, kMaxSortedTables); ++t) counts.push_back(t);
  }

  uint64_t bestBits = std::numeric_limits<uint64_t>::max();
  for (uint32_t count : counts) {
    Choice c = ChooseTables(coding.symbols, count);
    uint64_t bits = SelectorBits(c.tableNumbers);
    std::vector<CodeLengthEncoding> encodings;
    for (const auto& t : c.tables) {
      encodings.push_back(EncodeCodeLengths(t.data(), kSortedSymbols, 1));
      bits += encodings.back().bits;
    }
    for (size_t g = 0; g < c.tableNumbers.size(); ++g) {
      size_t b = g * kSelectorGroup, e = std::min(coding.symbols.size(), b + kSelectorGroup);
      bits += GroupCost(coding.symbols, b, e, c.tables[c.tableNumbers[g]]);
    }
    // A forced table count keeps its unused tables out only if it must; tests ask for exact counts.
    if (options.tableCount != 0) {
      while (c.tables.size() < count) {
        c.tables.push_back(c.tables.back());
        encodings.push_back(encodings.back());
      }
    }
    if (bits < bestBits) {
      bestBits = bits;
      coding.tables = std::move(c.tables);
      coding.tableEncodings = std::move(encodings);
      coding.selectors = SelectorIndices(c.tableNumbers);
    }
  }
  coding.tableCountField = static_cast<uint32_t>(coding.tables.size());
  return coding;
}

std::vector<uint8_t> WriteSortedBlock(const SortedBlockCoding& coding, bool last, uint32_t size) {
  BitWriter out;
  WriteBlockHeader(out, 2, last, size);
  out.Put(coding.bias, 8);
  out.Put(coding.tableCountField, 3);
  for (const auto& e : coding.tableEncodings) WriteCodeLengths(out, e);
  out.AlignToByte();

  std::vector<std::vector<uint32_t>> codes(coding.tables.size(), std::vector<uint32_t>(kSortedSymbols));
  for (size_t k = 0; k < coding.tables.size(); ++k)
    AssignWriterCodes(coding.tables[k].data(), kSortedSymbols, codes[k].data());
  uint8_t list[kMaxSortedTables] = {0, 1, 2, 3, 4, 5};
  uint32_t table = 0;
  for (size_t i = 0; i < coding.symbols.size(); ++i) {
    if (i % kSelectorGroup == 0 && i / kSelectorGroup < coding.selectors.size()) {
      uint32_t j = coding.selectors[i / kSelectorGroup];
      for (uint32_t k = 0; k < j; ++k) out.Put(1, 1);
      out.Put(0, 1);
      j = std::min<uint32_t>(j, kMaxSortedTables - 1);
      table = list[j];
      for (; j > 0; --j) list[j] = list[j - 1];
      list[0] = static_cast<uint8_t>(table);
    }
    if (table < coding.tables.size()) {
      uint16_t s = coding.symbols[i];
      out.Put(codes[table][s], coding.tables[table][s]);
    }
  }
  FinishBlock(out);
  return out.Take();
}

}  // namespace zor::encoder
