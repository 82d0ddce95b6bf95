// The block header shared by every block type, and stored blocks.
#include "encoder/block_writer.h"

namespace zor::encoder {

namespace {
constexpr uint32_t kPackedSizeBit = 25;
constexpr uint32_t kFieldMax = 0xFFFFF;
}  // namespace

void WriteBlockHeader(BitWriter& out, uint32_t type, bool last, uint32_t size) {
  out.Put(type, 4);
  out.Put(last ? 1 : 0, 1);
  out.Put(size, 20);
  out.Put(0, 20);  // packedSize, patched by FinishBlock
}

EncodeStatus FinishBlock(BitWriter& out) {
  out.AlignToByte();
  uint64_t bytes = out.bytes().size();
  out.Patch(kPackedSizeBit, static_cast<uint32_t>(bytes), 20);
  return bytes > kFieldMax ? EncodeStatus::kBlockTooLarge : EncodeStatus::kOk;
}

std::vector<uint8_t> WriteStoredBlock(const uint8_t* bytes, uint32_t size, bool last) {
  BitWriter out;
  WriteBlockHeader(out, 0, last, size);
  out.AlignToByte();
  std::vector<uint8_t> block = out.Take();
  block.insert(block.end(), bytes, bytes + size);
  uint32_t packed = static_cast<uint32_t>(block.size());
  // packedSize occupies bits 25..44: the high bit of byte 3 up to bit 4 of byte 5.
  uint64_t field = (static_cast<uint64_t>(packed & kFieldMax)) << kPackedSizeBit;
  for (int i = 3; i <= 5; ++i) {
    uint8_t mask = static_cast<uint8_t>(((((1ull << 45) - 1) ^ ((1ull << kPackedSizeBit) - 1)) >> (8 * i)) & 0xFF);
    block[i] = static_cast<uint8_t>((block[i] & ~mask) | ((field >> (8 * i)) & mask));
  }
  return block;
}

}  // namespace zor::encoder
