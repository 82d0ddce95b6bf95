// Delta-filter regions by order-0 entropy of chunks, raw and as differences at each stride.
#include "encoder/delta_filter.h"

#include <algorithm>
#include <cmath>

#include "encoder/format_tables.h"
#include "encoder/lz_prices.h"
#include "encoder/trial_coding.h"

namespace zor::encoder {

namespace {

constexpr uint32_t kStrides = 7;
constexpr uint32_t kSampleShare = 2;  // the first half of a chunk tells its statistics well enough

double EntropyBits(const uint32_t* histogram, uint32_t total) {
  double sum = 0;
  for (uint32_t v = 0; v < 256; ++v) {
    if (histogram[v] != 0) sum += XLog2X(histogram[v]);
  }
  return XLog2X(total) - sum;
}

}  // namespace

std::vector<DeltaMarkSpec> ConfirmDeltaMarks(const uint8_t* bytes, uint32_t size, const std::vector<DeltaMarkSpec>& marks) {
  if (marks.empty()) return marks;
  std::vector<uint32_t> stretches;  // stretch k + 1 begins at marks[k]
  for (const DeltaMarkSpec& m : marks) stretches.push_back(m.offset);
  std::vector<uint8_t> filtered(bytes, bytes + size);
  RemoveDeltaMarks(filtered.data(), 0, size, marks);
  std::vector<uint64_t> with = QuickStretchBits(filtered.data(), size, marks, stretches);
  std::vector<uint64_t> without = QuickStretchBits(bytes, size, {}, stretches);
  std::vector<DeltaMarkSpec> kept;
  uint32_t current = 0;
  for (size_t k = 0; k < marks.size(); ++k) {
    uint32_t d = marks[k].d != 0 && with[k + 1] < without[k + 1] ? marks[k].d : 0;
    if (d != current) {
      kept.push_back({marks[k].offset, d});
      current = d;
    }
  }
  return kept;
}

std::vector<DeltaMarkSpec> ChooseDeltaMarks(const uint8_t* bytes, uint32_t size, const DeltaOptions& options) {
  std::vector<DeltaMarkSpec> marks;
  // Never more chunks than the decoder takes marks.
  const uint32_t chunk = std::max(options.chunk, (size + kMaxDeltaMarks - 1) / kMaxDeltaMarks);
  uint32_t current = 0;
  for (uint32_t begin = 0; begin < size; begin += chunk) {
    const uint32_t end = std::min(size, begin + chunk);
    uint32_t histogram[kStrides + 1][256] = {};
    const uint32_t sampleEnd = begin + (end - begin + kSampleShare - 1) / kSampleShare;
    for (uint32_t p = begin; p < sampleEnd; ++p) {
      uint8_t b = bytes[p];
      ++histogram[0][b];
      for (uint32_t d = 1; d <= kStrides; ++d) {
        uint8_t source = p >= d ? bytes[p - d] : 0;
        ++histogram[d][static_cast<uint8_t>(b - source)];
      }
    }
    const uint32_t length = sampleEnd - begin;
    const double raw = EntropyBits(histogram[0], length);
    uint32_t choice = 0;
    double best = raw - options.minGain * length;
    for (uint32_t d = 1; d <= kStrides; ++d) {
      double bits = EntropyBits(histogram[d], length);
      if (bits < best) {
        best = bits;
        choice = d;
      }
    }
    if (choice != current) {
      marks.push_back({begin, choice});
      current = choice;
    }
  }
  return marks;
}

}  // namespace zor::encoder
