// Bit output, least significant bit first: the exact inverse of the decoders' BitReader.
#pragma once

#include <cstdint>
#include <vector>

namespace zor::encoder {

class BitWriter {
 public:
  // Appends the low `bits` bits of value (bits 0..32), first bit = least significant.
  void Put(uint32_t value, uint32_t bits) {
    if (bits == 0) return;
    if (bits < 32) value &= (1u << bits) - 1;
    accumulator_ |= static_cast<uint64_t>(value) << count_;
    count_ += bits;
    while (count_ >= 8) {
      bytes_.push_back(static_cast<uint8_t>(accumulator_));
      accumulator_ >>= 8;
      count_ -= 8;
    }
  }
  // Pads with zero bits up to the next byte boundary.
  void AlignToByte() {
    if (count_ > 0) Put(0, 8 - count_);
  }
  uint64_t BitCount() const { return bytes_.size() * 8ull + count_; }
  // Overwrites bits already written (whole bytes only), e.g. a block's packedSize once it is known.
  void Patch(uint64_t bitPosition, uint32_t value, uint32_t bits) {
    for (uint32_t i = 0; i < bits; ++i, ++bitPosition) {
      uint8_t& b = bytes_[bitPosition / 8];
      uint8_t mask = static_cast<uint8_t>(1u << (bitPosition % 8));
      b = static_cast<uint8_t>(((value >> i) & 1) ? (b | mask) : (b & ~mask));
    }
  }
  // The whole bytes written so far; call AlignToByte first to include a partial byte.
  const std::vector<uint8_t>& bytes() const { return bytes_; }
  std::vector<uint8_t> Take() {
    AlignToByte();
    return std::move(bytes_);
  }

 private:
  std::vector<uint8_t> bytes_;
  uint64_t accumulator_ = 0;
  uint32_t count_ = 0;
};

}  // namespace zor::encoder
