// Test-only archive assembly: a prefix standing in for the executable, the ArchiveHeader, data segments
// from hand-built blocks, directory segments, and the file stretches of a segment's stream.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace zor::test {

inline void PutLE(std::vector<uint8_t>& v, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) v.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// One file's stretch of a segment's stream: LocalHeader, variable part (the name), data, CRC.
inline std::vector<uint8_t> FileStretch(const std::vector<uint8_t>& data, const std::string& name,
                                        uint32_t crc = 0) {
  std::vector<uint8_t> s;
  PutLE(s, static_cast<uint32_t>(data.size()), 4);
  PutLE(s, static_cast<uint32_t>(name.size()), 2);
  PutLE(s, 0x210A, 2);
  PutLE(s, 0x1234, 2);
  s.push_back(0);
  s.insert(s.end(), name.begin(), name.end());
  s.insert(s.end(), data.begin(), data.end());
  PutLE(s, crc, 4);
  return s;
}

// A directory entry's bytes.
inline std::vector<uint8_t> EntryBytes(const std::string& name, uint32_t segmentOffset, uint32_t position,
                                       uint32_t length, uint32_t crc, uint8_t flags = 0,
                                       uint8_t extra1 = 0, uint16_t extra2 = 0) {
  std::vector<uint8_t> e;
  PutLE(e, flags & 1 ? 0x205A : 0x210A, 4);
  PutLE(e, segmentOffset, 4);
  e.push_back(flags & 1 ? 0x10 : 0x20);
  e.push_back(0);
  e.push_back(extra1);
  e.push_back(flags);
  PutLE(e, position, 4);
  PutLE(e, length, 4);
  PutLE(e, crc, 4);
  PutLE(e, extra2, 2);
  PutLE(e, static_cast<uint32_t>(name.size()), 2);
  PutLE(e, 0x6000, 2);
  PutLE(e, 0x5521, 2);
  PutLE(e, 0x6000, 2);
  PutLE(e, 0x5521, 2);
  PutLE(e, 0, 2);
  e.insert(e.end(), name.begin(), name.end());
  e.insert(e.end(), static_cast<size_t>(extra1) + extra2, 0x77);
  return e;
}

class ArchiveBuilder {
 public:
  explicit ArchiveBuilder(uint32_t prefix = 13) : archiveOffset_(prefix), bytes_(prefix, 0x4D) {
    bytes_.resize(prefix + 42, 0);
    std::memcpy(bytes_.data() + prefix, "ZOR\n", 4);
  }
  uint32_t archiveOffset() const { return archiveOffset_; }
  // Appends a data segment of these blocks; returns its offset from the ArchiveHeader.
  uint32_t AddSegment(const std::vector<std::vector<uint8_t>>& blocks, const char* signature = "ZORLH") {
    uint32_t at = static_cast<uint32_t>(bytes_.size()) - archiveOffset_;
    bytes_.insert(bytes_.end(), signature, signature + 6);
    for (const auto& b : blocks) bytes_.insert(bytes_.end(), b.begin(), b.end());
    return at;
  }
  // Directory segments come last; the first one's offset goes into the header.
  uint32_t AddDirectorySegment(const std::vector<uint8_t>& block, const char* signature = "ZORDE") {
    uint32_t at = AddSegment({block}, signature);
    if (!directoryOffset_) SetLE(archiveOffset_ + 4, directoryOffset_ = at);
    return at;
  }
  void SetFileCount(uint32_t n) { SetLE(archiveOffset_ + 8, n); }
  void Append(const std::vector<uint8_t>& raw) { bytes_.insert(bytes_.end(), raw.begin(), raw.end()); }
  std::vector<uint8_t>& bytes() { return bytes_; }

 private:
  void SetLE(uint32_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_[at + i] = static_cast<uint8_t>(v >> (8 * i));
  }
  uint32_t archiveOffset_;
  uint32_t directoryOffset_ = 0;
  std::vector<uint8_t> bytes_;
};

}  // namespace zor::test
