// File order: a base order by extension and path, and chains of files that share content.
//
// Sharing is found from content-defined chunks (cut where a rolling hash of the last bytes hits a
// pattern, so that an insertion moves the cuts with the content): two files that have chunks in
// common are similar in proportion to how many. The chains come from the greedy edge method for
// short tours: the pairs are taken from the most similar down, each joining the ends of two chains.
// Only files below the largest match distance take part, since a larger file's start is out of reach
// of a neighbour's end.
#include "encoder/file_order.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <numeric>
#include <unordered_map>

#include "encoder/format_tables.h"

namespace zor::encoder {

namespace {

constexpr uint32_t kMinChunk = 32;
constexpr uint32_t kMaxChunk = 1024;
constexpr uint32_t kChunkBits = 7;      // chunks of about 128 + kMinChunk bytes
constexpr size_t kAllPairsUpTo = 16;    // a chunk shared by more files links only neighbours in the base order
constexpr uint32_t kMinSharedChunks = 2;

constexpr std::array<uint64_t, 256> MakeGear() {
  std::array<uint64_t, 256> t{};
  uint64_t x = 0x9E3779B97F4A7C15ull;
  for (auto& v : t) {  // splitmix64
    x += 0x9E3779B97F4A7C15ull;
    uint64_t z = x;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    v = z ^ (z >> 31);
  }
  return t;
}
constexpr std::array<uint64_t, 256> kGear = MakeGear();

uint64_t HashBytes(const uint8_t* p, size_t n) {
  uint64_t h = 0xCBF29CE484222325ull ^ n;
  for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 0x100000001B3ull;
  return h ^ (h >> 29);
}

struct UnionFind {
  std::vector<uint32_t> parent;
  explicit UnionFind(size_t n) : parent(n) { std::iota(parent.begin(), parent.end(), 0u); }
  uint32_t Find(uint32_t x) {
    while (parent[x] != x) x = parent[x] = parent[parent[x]];
    return x;
  }
};

}  // namespace

std::string ExtensionOf(const std::string& path) {
  size_t slash = path.find_last_of('\\');
  size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string e = path.substr(dot + 1);
  for (char& c : e) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return e;
}

uint64_t ContentHash(const uint8_t* data, size_t size) {
  uint64_t h = 0x9E3779B97F4A7C15ull ^ size;
  size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    uint64_t w;
    std::memcpy(&w, data + i, 8);
    h = (h ^ w) * 0xBF58476D1CE4E5B9ull;
    h ^= h >> 31;
  }
  for (; i < size; ++i) h = (h ^ data[i]) * 0x100000001B3ull;
  h ^= h >> 29;
  return h != 0 ? h : 1;
}

std::vector<uint64_t> SketchContent(const uint8_t* data, size_t size) {
  std::vector<uint64_t> chunks;
  size_t start = 0;
  uint64_t h = 0;
  for (size_t i = 0; i < size; ++i) {
    h = (h << 1) + kGear[data[i]];
    size_t length = i + 1 - start;
    if ((length >= kMinChunk && (h >> (64 - kChunkBits)) == 0) || length >= kMaxChunk) {
      chunks.push_back(HashBytes(data + start, length));
      start = i + 1;
      h = 0;
    }
  }
  if (size - start >= kMinChunk) chunks.push_back(HashBytes(data + start, size - start));
  std::sort(chunks.begin(), chunks.end());
  chunks.erase(std::unique(chunks.begin(), chunks.end()), chunks.end());
  return chunks;
}

namespace {

std::vector<size_t> ChainFiles(const std::vector<OrderInput>& files) {
  const size_t n = files.size();
  std::vector<std::string> ext(n);
  for (size_t i = 0; i < n; ++i) ext[i] = ExtensionOf(files[i].storedPath);
  // Within a kind, by path: files of one folder are often alike (and their directory entries share
  // the path's beginning), more than files of one name in different folders.
  std::vector<size_t> order(n);
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    if (ext[a] != ext[b]) return ext[a] < ext[b];
    return files[a].storedPath < files[b].storedPath;
  });
  std::vector<uint32_t> rank(n);
  for (size_t r = 0; r < n; ++r) rank[order[r]] = static_cast<uint32_t>(r);

  // Shared chunks per pair of files (by rank).
  std::vector<std::pair<uint64_t, uint32_t>> all;  // chunk hash, rank
  for (size_t i = 0; i < n; ++i) {
    if (!files[i].sketch || files[i].size >= kMaxDistance) continue;
    for (uint64_t c : *files[i].sketch) all.push_back({c, rank[i]});
  }
  if (all.empty()) return order;
  std::sort(all.begin(), all.end());
  std::unordered_map<uint64_t, uint32_t> shared;
  auto link = [&](uint32_t a, uint32_t b) { ++shared[(static_cast<uint64_t>(std::min(a, b)) << 32) | std::max(a, b)]; };
  for (size_t i = 0; i < all.size();) {
    size_t j = i;
    while (j < all.size() && all[j].first == all[i].first) ++j;
    if (j - i <= kAllPairsUpTo) {
      for (size_t a = i; a < j; ++a)
        for (size_t b = a + 1; b < j; ++b) link(all[a].second, all[b].second);
    } else {
      for (size_t a = i; a + 1 < j; ++a) link(all[a].second, all[a + 1].second);
    }
    i = j;
  }
  struct Edge {
    uint32_t weight, a, b;
  };
  std::vector<Edge> edges;
  for (const auto& [key, weight] : shared) {
    if (weight >= kMinSharedChunks)
      edges.push_back({weight, static_cast<uint32_t>(key >> 32), static_cast<uint32_t>(key & 0xFFFFFFFF)});
  }
  std::sort(edges.begin(), edges.end(), [](const Edge& x, const Edge& y) {
    if (x.weight != y.weight) return x.weight > y.weight;
    if (x.a != y.a) return x.a < y.a;
    return x.b < y.b;
  });

  // Greedy edges: join two chain ends of different chains.
  UnionFind sets(n);
  std::vector<std::array<int64_t, 2>> next(n, {-1, -1});  // neighbours by rank
  for (const Edge& e : edges) {
    if (next[e.a][1] >= 0 || next[e.b][1] >= 0) continue;  // already two neighbours
    uint32_t ra = sets.Find(e.a), rb = sets.Find(e.b);
    if (ra == rb) continue;
    sets.parent[std::max(ra, rb)] = std::min(ra, rb);
    next[e.a][next[e.a][0] >= 0 ? 1 : 0] = e.b;
    next[e.b][next[e.b][0] >= 0 ? 1 : 0] = e.a;
  }
  // Chains in the order of their first member by rank, each walked from its lower-ranked end.
  std::vector<uint32_t> chainStart(n, UINT32_MAX);
  for (uint32_t r = 0; r < n; ++r) {
    if (next[r][1] >= 0) continue;  // not an end
    uint32_t root = sets.Find(r);
    chainStart[root] = std::min(chainStart[root], r);
  }
  std::vector<size_t> result;
  result.reserve(n);
  std::vector<bool> placed(n, false);
  for (uint32_t r = 0; r < n; ++r) {
    uint32_t root = sets.Find(r);
    if (placed[r] || chainStart[root] == UINT32_MAX) continue;
    // Walk the chain from its first end.
    int64_t prev = -1, cur = chainStart[root];
    chainStart[root] = UINT32_MAX;
    while (cur >= 0) {
      placed[cur] = true;
      result.push_back(order[cur]);
      int64_t following = next[cur][0] != prev ? next[cur][0] : next[cur][1];
      prev = cur;
      cur = following;
    }
  }
  return result;
}

}  // namespace

std::vector<size_t> OrderFiles(const std::vector<OrderInput>& files) {
  std::vector<size_t> chained = ChainFiles(files);
  // Copies: each right behind the first of its content, in the order they came.
  std::map<std::pair<uint64_t, uint64_t>, std::vector<size_t>> copies;  // (key, size) -> later copies
  std::vector<bool> later(files.size(), false);
  std::map<std::pair<uint64_t, uint64_t>, size_t> first;
  for (size_t i : chained) {
    if (files[i].contentKey == 0 || files[i].size == 0) continue;
    auto key = std::make_pair(files[i].contentKey, files[i].size);
    if (first.emplace(key, i).second) continue;
    copies[key].push_back(i);
    later[i] = true;
  }
  if (copies.empty()) return chained;
  std::vector<size_t> result;
  result.reserve(chained.size());
  for (size_t i : chained) {
    if (later[i]) continue;
    result.push_back(i);
    if (files[i].contentKey == 0 || files[i].size == 0) continue;
    auto it = copies.find({files[i].contentKey, files[i].size});
    if (it != copies.end()) result.insert(result.end(), it->second.begin(), it->second.end());
  }
  return result;
}

}  // namespace zor::encoder
