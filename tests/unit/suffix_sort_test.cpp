// Our suffix sorting (the Windows build's) against libdivsufsort, on texts that reach every part of SA-IS:
// runs, repeats that need a level of names below, all 256 byte values, and the smallest lengths.
#include <gtest/gtest.h>

#include <divsufsort.h>

#include <random>
#include <string>
#include <vector>

#include "encoder/suffix_sort.h"
#include "support/sample_data.h"

namespace zor::encoder {
namespace {

std::vector<uint8_t> Repeat(const std::string& unit, size_t times) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i < times; ++i) out.insert(out.end(), unit.begin(), unit.end());
  return out;
}

TEST(SuffixSort, SameAsLibdivsufsort) {
  std::mt19937 random(7);
  std::vector<std::vector<uint8_t>> texts = {
      {}, {'a'}, {'a', 'a'}, {'b', 'a'}, {'a', 'b'}, Repeat("a", 1000), Repeat("ab", 500), Repeat("abc", 333),
      Repeat("mississippi", 100), Repeat("abracadabra", 57), Repeat("aab", 300), Repeat("ba", 7),
      test::Sample(test::SampleKind::kText, 200000, 1), test::Sample(test::SampleKind::kCode, 100000, 2),
      test::Sample(test::SampleKind::kTable, 100000, 3), test::Sample(test::SampleKind::kRandom, 70000, 4),
  };
  for (int round = 0; round < 200; ++round) {
    std::vector<uint8_t> t(1 + random() % 300);
    const int alphabet = 1 + round % 5 * 60;
    for (uint8_t& c : t) c = static_cast<uint8_t>(random() % alphabet);
    texts.push_back(t);
  }
  for (const std::vector<uint8_t>& t : texts) {
    const int32_t n = static_cast<int32_t>(t.size());
    std::vector<int32_t> ours(t.size()), theirs(t.size());
    SuffixSort(t.data(), ours.data(), n);
    if (n > 0) divsufsort(t.data(), theirs.data(), n);
    ASSERT_EQ(ours, theirs) << "length " << n;
  }
}

}  // namespace
}  // namespace zor::encoder
