// SA-IS: suffixes are typed S (smaller than the next suffix) or L; the leftmost S of each run (LMS) is
// sorted first, from which every L and then every S suffix is induced in bucket order. A sentinel smaller
// than every symbol stands behind the text without being stored. The sorted LMS substrings get names; when
// two are equal, the string of names is sorted the same way, one level down.
#include "encoder/suffix_sort.h"

#include <algorithm>
#include <vector>

namespace zor::encoder {

namespace {

template <typename Symbol>
class Sorter {
 public:
  Sorter(const Symbol* s, int32_t* sa, int32_t n, int32_t k) : s_(s), sa_(sa), n_(n), k_(k), type_(n), bucket_(k) {}

  void Run() {
    // Types from the end: the last symbol is L (the sentinel behind it is smaller).
    type_[n_ - 1] = kL;
    for (int32_t i = n_ - 2; i >= 0; --i)
      type_[i] = s_[i] < s_[i + 1] || (s_[i] == s_[i + 1] && type_[i + 1] == kS) ? kS : kL;

    // Sort the LMS substrings: LMS positions at their buckets' ends, then induce.
    std::fill(sa_, sa_ + n_, -1);
    Buckets(true);
    for (int32_t i = 1; i < n_; ++i)
      if (IsLms(i)) sa_[--bucket_[s_[i]]] = i;
    Induce();

    // The sorted LMS positions to the front, then a name for each distinct LMS substring.
    int32_t count = 0;
    for (int32_t i = 0; i < n_; ++i)
      if (IsLms(sa_[i])) sa_[count++] = sa_[i];
    std::fill(sa_ + count, sa_ + n_, -1);
    int32_t names = 0, previous = -1;
    for (int32_t i = 0; i < count; ++i) {
      const int32_t position = sa_[i];
      if (previous < 0 || !SameLmsSubstring(position, previous)) ++names;
      previous = position;
      sa_[count + position / 2] = names - 1;  // LMS positions are at least two apart
    }
    int32_t* reduced = sa_ + n_ - count;
    for (int32_t i = n_ - 1, j = n_ - 1; i >= count; --i)
      if (sa_[i] >= 0) sa_[j--] = sa_[i];

    // The order of the LMS suffixes: directly when every name differs, else one level down.
    if (names < count) {
      Sorter<int32_t>(reduced, sa_, count, names).Run();
    } else {
      for (int32_t i = 0; i < count; ++i) sa_[reduced[i]] = i;
    }
    for (int32_t i = 1, j = 0; i < n_; ++i)
      if (IsLms(i)) reduced[j++] = i;
    for (int32_t i = 0; i < count; ++i) sa_[i] = reduced[sa_[i]];

    // The sorted LMS suffixes at their buckets' ends, last first, then induce the rest.
    std::fill(sa_ + count, sa_ + n_, -1);
    Buckets(true);
    for (int32_t i = count - 1; i >= 0; --i) {
      const int32_t position = sa_[i];
      sa_[i] = -1;
      sa_[--bucket_[s_[position]]] = position;
    }
    Induce();
  }

 private:
  static constexpr uint8_t kL = 0, kS = 1;

  bool IsLms(int32_t i) const { return i > 0 && i < n_ && type_[i] == kS && type_[i - 1] == kL; }

  // Bucket starts, or ends (one past) with `ends`.
  void Buckets(bool ends) {
    std::fill(bucket_.begin(), bucket_.end(), 0);
    for (int32_t i = 0; i < n_; ++i) ++bucket_[s_[i]];
    int32_t sum = 0;
    for (int32_t c = 0; c < k_; ++c) {
      sum += bucket_[c];
      bucket_[c] = ends ? sum : sum - bucket_[c];
    }
  }

  void Induce() {
    Buckets(false);
    sa_[bucket_[s_[n_ - 1]]++] = n_ - 1;  // the suffix before the sentinel
    for (int32_t i = 0; i < n_; ++i) {
      const int32_t j = sa_[i] - 1;
      if (sa_[i] > 0 && type_[j] == kL) sa_[bucket_[s_[j]]++] = j;
    }
    Buckets(true);
    for (int32_t i = n_ - 1; i >= 0; --i) {
      const int32_t j = sa_[i] - 1;
      if (sa_[i] > 0 && type_[j] == kS) sa_[--bucket_[s_[j]]] = j;
    }
  }

  // Whether the LMS substrings at a and b (each up to the next LMS position, inclusive) are equal in
  // symbols and types; one reaching the sentinel differs from everything.
  bool SameLmsSubstring(int32_t a, int32_t b) const {
    for (int32_t d = 0;; ++d) {
      if (a + d == n_ || b + d == n_) return false;
      if (s_[a + d] != s_[b + d] || type_[a + d] != type_[b + d]) return false;
      if (d > 0 && (IsLms(a + d) || IsLms(b + d))) return IsLms(a + d) && IsLms(b + d);
    }
  }

  const Symbol* s_;
  int32_t* sa_;
  int32_t n_, k_;
  std::vector<uint8_t> type_;
  std::vector<int32_t> bucket_;
};

}  // namespace

void SuffixSort(const uint8_t* text, int32_t* sa, int32_t n) {
  if (n <= 0) return;
  if (n == 1) {
    sa[0] = 0;
    return;
  }
  Sorter<uint8_t>(text, sa, n, 256).Run();
}

}  // namespace zor::encoder
