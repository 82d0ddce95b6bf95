// Test-only generators of data that exercise the coders: random bytes, text, repeats, long runs,
// x86-like code with E8 calls, and tables and bitmaps that suit the delta filter.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace zor::test {

enum class SampleKind { kRandom, kText, kRepeats, kRuns, kCode, kTable, kBitmap, kMixed };
inline constexpr SampleKind kAllSampleKinds[] = {SampleKind::kRandom, SampleKind::kText,  SampleKind::kRepeats,
                                                 SampleKind::kRuns,   SampleKind::kCode,  SampleKind::kTable,
                                                 SampleKind::kBitmap, SampleKind::kMixed};

inline std::vector<uint8_t> Sample(SampleKind kind, uint32_t size, uint32_t seed) {
  std::mt19937 rng(seed * 2654435761u + static_cast<uint32_t>(kind));
  auto below = [&](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
  std::vector<uint8_t> out;
  out.reserve(size);
  static const char* const kWords[] = {"the", "archive", "segment", "block", "window", "history", "of", "and",
                                       "decoder", "a", "to", "file", "table", "code", "length", "distance"};
  while (out.size() < size) {
    switch (kind) {
      case SampleKind::kRandom:
        out.push_back(static_cast<uint8_t>(rng()));
        break;
      case SampleKind::kText: {
        std::string w = kWords[below(16)];
        if (below(9) == 0) w += ".\n";
        else w += ' ';
        out.insert(out.end(), w.begin(), w.end());
        break;
      }
      case SampleKind::kRepeats: {
        if (out.size() < 16 || below(4) == 0) {
          for (uint32_t n = 1 + below(8); n > 0; --n) out.push_back(static_cast<uint8_t>('a' + below(6)));
        } else {
          uint32_t d = 1 + below(static_cast<uint32_t>(out.size()));
          uint32_t n = 2 + below(below(10) == 0 ? 600 : 20);
          size_t from = out.size() - d;
          for (uint32_t k = 0; k < n; ++k) out.push_back(out[from + k]);
        }
        break;
      }
      case SampleKind::kRuns:
        out.insert(out.end(), below(5) == 0 ? 2000 + below(40000) : 1 + below(300), static_cast<uint8_t>(below(3)));
        break;
      case SampleKind::kCode: {
        // Instructions with calls to a few targets: E8 and a displacement that points at one of them.
        uint32_t r = below(10);
        if (r < 3) {
          int32_t target = static_cast<int32_t>(below(4) * 4096 + 64);
          int32_t rel = target - static_cast<int32_t>(out.size() + 5);
          out.push_back(0xE8);
          for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(rel >> (8 * i)));
        } else if (r < 5) {
          static const uint8_t kOps[][3] = {{0x8B, 0x45, 0xFC}, {0x89, 0x4D, 0xF8}, {0x83, 0xC4, 0x08}};
          const uint8_t* op = kOps[below(3)];
          out.insert(out.end(), op, op + 3);
        } else {
          out.push_back(static_cast<uint8_t>(0x50 + below(8)));
          if (below(30) == 0) out.push_back(0xE8);  // a stray E8 that is no call
        }
        break;
      }
      case SampleKind::kTable: {
        // 16-bit samples of a slow wave: small differences at a stride of 2.
        uint32_t i = static_cast<uint32_t>(out.size() / 2);
        uint16_t v = static_cast<uint16_t>(1000 + 3 * i + (i * i) % 7 + below(3));
        out.push_back(static_cast<uint8_t>(v));
        out.push_back(static_cast<uint8_t>(v >> 8));
        break;
      }
      case SampleKind::kBitmap: {
        // 24-bit pixels of a gradient: each channel close to the one 3 bytes back.
        uint32_t p = static_cast<uint32_t>(out.size() / 3);
        out.push_back(static_cast<uint8_t>(p / 3 + below(2)));
        out.push_back(static_cast<uint8_t>(p / 5 + 40));
        out.push_back(static_cast<uint8_t>(255 - p / 7));
        break;
      }
      case SampleKind::kMixed: {
        SampleKind parts[] = {SampleKind::kRandom, SampleKind::kText, SampleKind::kRepeats, SampleKind::kRuns};
        std::vector<uint8_t> part = Sample(parts[below(4)], 200 + below(3000), static_cast<uint32_t>(rng()));
        out.insert(out.end(), part.begin(), part.end());
        break;
      }
    }
  }
  out.resize(size);
  return out;
}

}  // namespace zor::test
