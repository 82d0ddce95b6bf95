// Large files coded while they are read. See streamed_file.h.
#include "encoder/streamed_file.h"

#include <algorithm>
#include <cstring>

#include "archive/archive_format.h"
#include "decoder/crc32.h"
#include "encoder/archive_writer.h"
#include "encoder/compressor.h"
#include "encoder/compressor_config.h"
#include "encoder/format_tables.h"
#include "platform/bytes.h"

namespace zor::encoder {

namespace {

constexpr uint32_t kPieceSize = 1u << 20;          // read at a time
constexpr uint32_t kFilterSample = 4u << 20;       // of the file's start, for the call-filter choice
constexpr uint32_t kStreamBlockSize = kFirstBlockSize;

// The parse of the levels the streamed path stands in for: the fast levels' own, the packer's default
// hash chains above them.
ParseOptions StreamParseOptions(int level) {
  ParseOptions options;
  if (level <= 2) {
    const CompressionConfig config = ConfigForLevel(level);
    if (config.fast) options = config.fastOptions;
  }
  return options;
}

}  // namespace

void StreamingCallEncoder::Feed(const uint8_t* data, size_t size, std::vector<uint8_t>& out) {
  held_.insert(held_.end(), data, data + size);
  const uint32_t width = (flags_ & kEntryCalls16) ? 2 : (flags_ & kEntryCalls32) ? 4 : 0;
  const uint32_t end = start_ + static_cast<uint32_t>(held_.size());
  uint32_t i = start_;  // the scan: every byte before i is final
  while (i < end) {
    uint8_t* p = held_.data() + (i - start_);
    if (width == 0 || *p != 0xE8 || i + width >= length_) {
      ++i;
      continue;
    }
    if (i + width >= end) break;  // the operand is not all here yet
    const uint32_t o = i + 1;
    if (width == 2) {
      StoreLE16(p + 1, static_cast<uint16_t>((LoadLE16(p + 1) + o) & 0xFFFF));
    } else {
      // As EncodeCalls32: a displacement v inside [-o, n - o) becomes v + o, one in [n - o, n - 1]
      // becomes n - o - 1 - v, all else stays.
      const int64_t n = length_, off = o;
      const int64_t v = static_cast<int32_t>(LoadLE32(p + 1));
      int64_t w = v;
      if (v >= -off && v < n - off) {
        w = v + off;
      } else if (v >= n - off && v <= n - 1) {
        w = n - off - 1 - v;
      }
      StoreLE32(p + 1, static_cast<uint32_t>(w));
    }
    i += width + 1;
  }
  const uint32_t final = std::min(i, end) - start_;
  out.insert(out.end(), held_.begin(), held_.begin() + final);
  held_.erase(held_.begin(), held_.begin() + final);
  start_ += final;
}

EncodeStatus SegmentStreamer::AddBlock(const uint8_t* bytes, uint32_t size, bool last, std::vector<uint8_t>& out) {
  if (size > kStreamBlockSize) return EncodeStatus::kInvalidPlan;
  uint32_t history = 0, capacity = 0;
  std::vector<uint8_t> block;
  if (!storeOnly_) {
    PlaceBlock(model_, 1, size, last, kHistoryCodeLargest, history, capacity);
    window_.assign(tail_.end() - history, tail_.end());
    window_.insert(window_.end(), bytes, bytes + size);
    items_.clear();
    parser_.Parse(window_.data(), history, size, {}, items_);
    std::vector<LzSymbol> symbols;
    LzBlockCoding coding;
    coding.historyCode = kHistoryCodeLargest;
    if (ResolveLzItems(items_, symbols) == EncodeStatus::kOk &&
        PlanLzBlock(std::move(symbols), history + size, LzBlockOptions(), coding) == EncodeStatus::kOk) {
      // The parse must give the block's bytes back as the decoder applies it.
      std::vector<uint8_t> check(window_.begin(), window_.begin() + history);
      check.resize(history + size, 0);
      if (ApplyLzItems(items_, check.data(), history, size, nullptr) == size &&
          std::equal(check.begin() + history, check.end(), window_.begin() + history)) {
        block = WriteLzBlock(coding, 1, last, size);
      }
    }
  }
  const bool trySorting = sorting_ == 2 || (sorting_ == 1 && (sortingCloseCall_ || blocksSinceSorting_ >= 4));
  if (trySorting && !storeOnly_ && size > 0) {
    std::vector<uint8_t> sorted = WriteSortedBlock(PlanSortedBlock(bytes, size, SortedBlockOptions()), last, size);
    sortingCloseCall_ = block.empty() || sorted.size() < block.size() + block.size() / 16;
    blocksSinceSorting_ = 0;
    if (block.empty() || SortingPays(sorted.size(), block.size(), size, sortingSaving_)) {
      block = std::move(sorted);
      PlaceBlock(model_, 2, size, last, 0, history, capacity);
    }
  } else {
    ++blocksSinceSorting_;
  }
  if (block.empty() || block.size() > size + 6) {
    block = WriteStoredBlock(bytes, size, last);
    PlaceBlock(model_, 0, size, last, 0, history, capacity);
  }
  if (block.size() > 0xFFFFF) return EncodeStatus::kBlockTooLarge;
  model_.Advance(history, capacity, size);
  out.insert(out.end(), block.begin(), block.end());
  // The decoder's window holds the stream's last bytes; the next block reaches at most kMaxHistory back.
  tail_.insert(tail_.end(), bytes, bytes + size);
  if (tail_.size() > kMaxHistory) tail_.erase(tail_.begin(), tail_.end() - kMaxHistory);
  return EncodeStatus::kOk;
}

PackStatus StreamFileSegment(const PackJob& job, size_t index, PackIo& io, uint64_t archiveLength,
                             uint64_t inputBefore, StoredFile& stored, uint8_t& flags, uint64_t& segmentBytes,
                             std::string& error) {
  const PackEntry& file = job.files[index];
  const uint32_t length = static_cast<uint32_t>(file.size);
  if (file.size > job.outputLimit) {
    error = "the file is larger than a self-extractor can hold";
    return PackStatus::kTooLarge;
  }
  std::vector<uint8_t> piece(std::min<uint64_t>(file.size, kFilterSample) + 1);
  size_t got = 0;
  if (!io.ReadFileAt(index, 0, piece.data(), piece.size() - 1, got, error)) return PackStatus::kReadFailed;
  if (got != piece.size() - 1) {
    error = "\"" + file.storedPath + "\" changed while it was being packed";
    return PackStatus::kReadFailed;
  }
  flags = ChooseCallFilter(piece.data(), got, file.storedPath, job.settings) & (kEntryCalls16 | kEntryCalls32);

  CrcTable crc;
  BuildCrcTable(crc);
  uint32_t fileCrc = 0xFFFFFFFFu;
  std::vector<uint8_t> stream;  // coded as soon as a block's worth is here
  // The same lean local header as SegmentStream::AddFile writes: no variable part, no trailing CRC.
  PutLE32(stream, 0);
  PutLE16(stream, 0);
  PutLE16(stream, kFileEntryTag & 0xFFFF);
  PutLE16(stream, 0);
  stream.push_back(0);
  stored = {0, length, 0, 0, false};

  const int level = job.settings.level;
  SegmentStreamer streamer(StreamParseOptions(level), level <= 0, level >= 7 ? 2 : level >= 3 ? 1 : 0,
                           ConfigForLevel(level).sortingSaving);
  StreamingCallEncoder filter(flags, length);
  std::vector<uint8_t> out(kDataSignature, kDataSignature + kSegmentSignatureSize);
  segmentBytes = 0;
  auto flush = [&](bool all) {
    uint32_t at = 0;
    while (stream.size() - at >= kStreamBlockSize + (all ? 0 : 1) || (all && at < stream.size())) {
      const uint32_t n = std::min<uint32_t>(kStreamBlockSize, static_cast<uint32_t>(stream.size()) - at);
      if (streamer.AddBlock(stream.data() + at, n, all && at + n == stream.size(), out) != EncodeStatus::kOk) {
        error = "a segment could not be coded";
        return PackStatus::kFailed;
      }
      at += n;
      segmentBytes += out.size();
      if (job.outputStart + archiveLength + segmentBytes + kSegmentSignatureSize + kDirectoryBlockBytesMax >
          job.outputLimit) {
        error = "the archive would be larger than a self-extractor can be";
        return PackStatus::kTooLarge;
      }
      if (!io.Write(out.data(), out.size(), error)) return PackStatus::kWriteFailed;
      out.clear();
    }
    stream.erase(stream.begin(), stream.begin() + at);
    return PackStatus::kOk;
  };

  piece.resize(kPieceSize + 1);
  for (uint64_t offset = 0;;) {
    // Read one byte beyond the expected size to notice a file that grew.
    const size_t want = static_cast<size_t>(std::min<uint64_t>(kPieceSize, file.size - offset + 1));
    if (!io.ReadFileAt(index, offset, piece.data(), want, got, error)) return PackStatus::kReadFailed;
    if (offset + got != std::min<uint64_t>(offset + want, file.size)) {
      error = "\"" + file.storedPath + "\" changed while it was being packed";
      return PackStatus::kReadFailed;
    }
    fileCrc = UpdateCrc(crc, fileCrc, piece.data(), static_cast<uint32_t>(got));
    filter.Feed(piece.data(), got, stream);
    offset += got;
    if (PackStatus s = flush(false); s != PackStatus::kOk) return s;
    io.Progress(inputBefore + offset, archiveLength + segmentBytes);
    if (offset == file.size && got < want) break;  // the byte beyond the end was asked for, and not there
    if (job.cancel && job.cancel->load()) {
      error = "cancelled";
      return PackStatus::kCancelled;
    }
  }
  stored.crc = ~fileCrc;
  return flush(true);
}

}  // namespace zor::encoder
