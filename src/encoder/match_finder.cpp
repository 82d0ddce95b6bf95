// Binary-tree match finder.
//
// Each 4-byte hash heads a binary search tree of the earlier positions with that hash, ordered by the
// bytes that follow them (compared up to niceLength). Inserting a position walks the tree from the root
// and rebuilds it with the new position as root; the nodes passed on the way are the candidates, and
// the common prefix with the bounds on either side (len0, len1) lets each comparison start where the
// last one left off. The walk stops after `depth` nodes or at the window's limit; the subtrees not
// reached are cut off, which only loses old candidates. Children live in a cyclic array of 2^21 slots,
// twice the largest distance, so no slot that a walk may reach is ever reused.
#include "encoder/match_finder.h"

#include <algorithm>
#include <cstring>

#include "encoder/format_tables.h"
#include "platform/bytes.h"

namespace zor::encoder {

namespace {

constexpr uint32_t kCyclicBits = 21;  // slots: twice the largest distance
constexpr uint32_t kCyclicMask = (1u << kCyclicBits) - 1;
constexpr uint32_t kNearTwo = 64;
constexpr uint32_t kNearThree = kMaxDistance;

inline uint32_t LoadLE32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

}  // namespace

// Common prefix of a and b, at most limit bytes; both ranges must be readable up to limit.
uint32_t CommonLength(const uint8_t* a, const uint8_t* b, uint32_t limit) {
  uint32_t n = 0;
  while (n + 8 <= limit) {
    uint64_t x = Load64(a + n) ^ Load64(b + n);
    if (x != 0) return n + (static_cast<uint32_t>(__builtin_ctzll(x)) >> 3);
    n += 8;
  }
  while (n < limit && a[n] == b[n]) ++n;
  return n;
}

void BinaryTreeMatchFinder::Reset(const uint8_t* data, uint32_t size, const MatchFinderOptions& options) {
  data_ = data;
  size_ = size;
  options_ = options;
  options_.niceLength = std::clamp<uint32_t>(options_.niceLength, 4, kMaxMatch);
  options_.hashBits = std::clamp<uint32_t>(options_.hashBits, 12, 24);
  head4_.assign(size_t{1} << options_.hashBits, 0);
  head3_.assign(size_t{1} << 16, 0);
  head2_.assign(size_t{1} << 16, 0);
  // The tree only needs slots for positions that exist.
  size_t slots = 1;
  while (slots < size && slots <= kCyclicMask) slots <<= 1;
  if (slots != treeSlots_) {
    tree_.reset(new uint32_t[2 * slots]);
    treeSlots_ = slots;
  }
}

uint32_t BinaryTreeMatchFinder::Walk(uint32_t pos, uint32_t windowStart, uint32_t end, Match* out, uint32_t count,
                                     uint32_t best) {
  const uint8_t* cur = data_ + pos;
  const uint32_t lenLimit = std::min(options_.niceLength, size_ - pos);
  const uint32_t maxDistance = std::min(kMaxDistance, pos - windowStart);
  const uint32_t cap = out ? std::min(end - pos, kMaxMatch) : 0;
  const uint32_t slotMask = static_cast<uint32_t>(treeSlots_ - 1);
  uint32_t h = (LoadLE32(cur) * 2654435761u) >> (32 - options_.hashBits);
  // The next position's bucket is a cache miss of its own: start it now.
  if (size_ - pos >= 5) __builtin_prefetch(&head4_[(LoadLE32(cur + 1) * 2654435761u) >> (32 - options_.hashBits)]);
  uint32_t candidate = head4_[h];
  head4_[h] = pos + 1;
  uint32_t* smaller = &tree_[2 * (pos & slotMask)];
  uint32_t* larger = smaller + 1;
  uint32_t len0 = 0, len1 = 0;  // common prefix with the bounds on the larger / smaller side
  uint32_t depth = options_.depth;
  for (;;) {
    uint32_t distance = pos + 1 - candidate;
    if (candidate == 0 || depth-- == 0 || distance > maxDistance) {
      *smaller = *larger = 0;
      break;
    }
    uint32_t* pair = &tree_[2 * ((candidate - 1) & slotMask)];
    const uint8_t* other = cur - distance;
    uint32_t len = std::min(len0, len1);
    if (other[len] == cur[len]) {
      len = len + 1 + CommonLength(other + len + 1, cur + len + 1, lenLimit - len - 1);
      if (out && len > best && best < cap) {
        best = len;
        if (count == BinaryTreeMatchFinder::kMaxMatches) --count;  // keep the longest
        out[count++] = {std::min(len, cap), distance};
      }
      if (len == lenLimit) {
        *smaller = pair[0];
        *larger = pair[1];
        break;
      }
    }
    if (other[len] < cur[len]) {
      *smaller = candidate;
      smaller = &pair[1];
      candidate = *smaller;
      len1 = len;
    } else {
      *larger = candidate;
      larger = &pair[0];
      candidate = *larger;
      len0 = len;
    }
  }
  return count;
}

uint32_t BinaryTreeMatchFinder::Find(uint32_t pos, uint32_t windowStart, uint32_t end, Match* out) {
  uint32_t avail = size_ - pos;
  if (avail < 2 || end <= pos + 1) {
    if (avail >= 4) Walk(pos, windowStart, end, nullptr, 0, 0);
    return 0;
  }
  const uint8_t* cur = data_ + pos;
  const uint32_t maxDistance = std::min(kMaxDistance, pos - windowStart);
  const uint32_t cap = std::min(end - pos, kMaxMatch);
  const uint32_t compare = std::min(cap, options_.niceLength);
  uint32_t count = 0, best = 1;

  // The nearest 2- and 3-byte matches, which the tree of 4-byte hashes does not see. Only near ones
  // are worth a look: a length-2 match reaches 64 bytes back, and a far length-3 match costs about as
  // much as three literals.
  uint32_t v2 = cur[0] | (cur[1] << 8);
  uint32_t c2 = head2_[v2];
  head2_[v2] = pos + 1;
  uint32_t d2 = pos + 1 - c2;
  if (c2 != 0 && d2 <= std::min(maxDistance, kNearTwo)) {
    uint32_t len = 2 + CommonLength(cur + 2, cur + 2 - d2, compare - 2);
    out[count++] = {len, d2};
    best = len;
  }
  if (avail >= 3) {
    uint32_t h3 = ((cur[0] | (cur[1] << 8) | (cur[2] << 16)) * 2654435761u) >> 16;
    uint32_t c3 = head3_[h3];
    head3_[h3] = pos + 1;
    uint32_t d3 = pos + 1 - c3;
    if (c3 != 0 && d3 <= std::min(maxDistance, kNearThree) && d3 != d2 && best < compare) {
      uint32_t len = CommonLength(cur, cur - d3, compare);
      if (len > best) {
        out[count++] = {len, d3};
        best = len;
      }
    }
  }
  if (avail >= 4) count = Walk(pos, windowStart, end, out, count, best);
  // A match that reached the comparison limit may go on.
  if (count > 0) {
    Match& last = out[count - 1];
    if (last.length >= compare && cap > compare)
      last.length = compare + CommonLength(cur + compare, cur + compare - last.distance, cap - compare);
  }
  return count;
}

void BinaryTreeMatchFinder::Skip(uint32_t pos, uint32_t windowStart) {
  uint32_t avail = size_ - pos;
  if (avail < 2) return;
  const uint8_t* cur = data_ + pos;
  head2_[cur[0] | (cur[1] << 8)] = pos + 1;
  if (avail >= 3) head3_[((cur[0] | (cur[1] << 8) | (cur[2] << 16)) * 2654435761u) >> 16] = pos + 1;
  if (avail >= 4) Walk(pos, windowStart, pos, nullptr, 0, 0);
}

}  // namespace zor::encoder
