// Local headers, directory entries and segments, the archive and stub headers.
#include "encoder/archive_writer.h"

#include <algorithm>

#include "archive/archive_format.h"
#include "decoder/crc32.h"
#include "encoder/call_filter.h"
#include "encoder/lz_items.h"
#include "encoder/lz_optimal.h"
#include "encoder/lz_prices.h"
#include "encoder/match_finder.h"
#include "platform/bytes.h"

namespace zor::encoder {

namespace {

uint32_t Crc32(const uint8_t* data, uint32_t length) {
  static const CrcTable table = [] {
    CrcTable t;
    BuildCrcTable(t);
    return t;
  }();
  return ~UpdateCrc(table, 0xFFFFFFFFu, data, length);
}

}  // namespace

bool SegmentStream::WithinOneBlock(uint32_t begin, uint32_t end) const {
  if (firstBlock_ == 0 || laterBlock_ == 0) return false;
  auto blockOf = [&](uint32_t p) { return p < firstBlock_ ? 0 : 1 + (p - firstBlock_) / laterBlock_; };
  return end > begin && blockOf(begin) == blockOf(end - 1);
}

StoredFile SegmentStream::AddFile(const uint8_t* data, uint32_t length, uint8_t flags) {
  const uint32_t crc = Crc32(data, length);
  if (length == 0) return {static_cast<uint32_t>(bytes_.size()), 0, crc, flags, true};
  const Copy& c = last_;
  if (c.valid && c.length == length && c.crc == crc) {
    const uint8_t* stored = bytes_.data() + c.dataStart;
    if (c.flags & (kEntryCalls16 | kEntryCalls32)) {  // stored filtered: compare the same way
      std::vector<uint8_t> filtered(data, data + length);
      if (c.flags & kEntryCalls16) {
        EncodeCalls16(filtered.data(), length);
      } else {
        EncodeCalls32(filtered.data(), length);
      }
      if (std::equal(filtered.begin(), filtered.end(), stored)) return {c.position, length, crc, c.flags, true};
    } else if (std::equal(data, data + length, stored)) {
      return {c.position, length, crc, c.flags, true};
    }
  }
  const uint32_t position = static_cast<uint32_t>(bytes_.size());
  // The same 11 bytes for every file: the extractor reads only the variable part's length (0 here), so
  // the length field, which would repeat the directory's, stays 0 and each header codes as one match.
  PutLE32(bytes_, 0);
  PutLE16(bytes_, 0);
  PutLE16(bytes_, kFileEntryTag & 0xFFFF);
  PutLE16(bytes_, 0);
  bytes_.push_back(0);
  const uint32_t at = static_cast<uint32_t>(bytes_.size());
  bytes_.insert(bytes_.end(), data, data + length);
  if (flags & kEntryCalls16) {
    EncodeCalls16(bytes_.data() + at, length);
  } else if (flags & kEntryCalls32) {
    EncodeCalls32(bytes_.data() + at, length);
  }
  last_ = {position, at, length, crc, flags, WithinOneBlock(position, at + length)};
  return {position, length, crc, flags, false};
}

std::vector<uint8_t> SerializeEntry(const EntryRecord& e) {
  std::vector<uint8_t> out;
  uint32_t tag = e.tag != 0 ? e.tag : e.folder ? kFolderEntryTag : kFileEntryTag;
  PutLE32(out, tag);
  PutLE32(out, e.folder ? 0 : e.segmentOffset);
  out.push_back(static_cast<uint8_t>(e.attributes | (e.folder ? kAttributeFolder : 0)));
  out.push_back(0);
  out.push_back(static_cast<uint8_t>(e.extra1.size()));
  out.push_back(static_cast<uint8_t>(e.flags | (e.folder ? kEntryFolder : 0)));
  PutLE32(out, e.folder ? 0 : e.position);
  PutLE32(out, e.folder ? 0 : e.length);
  PutLE32(out, e.folder ? 0 : e.crc);
  PutLE16(out, static_cast<uint32_t>(e.extra2.size()));
  PutLE16(out, static_cast<uint32_t>(e.path.size()));
  PutLE16(out, e.createTime);
  PutLE16(out, e.createDate);
  PutLE16(out, e.writeTime);
  PutLE16(out, e.writeDate);
  PutLE16(out, e.field36);
  out.insert(out.end(), e.path.begin(), e.path.end());
  out.insert(out.end(), e.extra1.begin(), e.extra1.end());
  out.insert(out.end(), e.extra2.begin(), e.extra2.end());
  return out;
}

std::vector<uint8_t> EncodeDirectorySegment(const std::vector<uint8_t>& chunk, uint32_t blockType) {
  std::vector<uint8_t> out(kDirectorySignature, kDirectorySignature + kSegmentSignatureSize);
  uint32_t size = static_cast<uint32_t>(chunk.size());
  std::vector<uint8_t> block;
  if (blockType == 0) {
    // The reader starts both types 50 bits in, so a stored chunk's bytes begin at the 8th byte.
    BitWriter w;
    WriteBlockHeader(w, 0, true, size);
    w.Put(0, 5);
    w.AlignToByte();
    for (uint8_t b : chunk) w.Put(b, 8);
    FinishBlock(w);
    block = w.Take();
  } else {
    // Directory chunks are small and read by every extraction: the optimal parse, priced by the parse
    // before it, and the cheapest of the parses.
    MatchFinderOptions finderOptions;
    finderOptions.depth = 64;
    finderOptions.niceLength = 128;
    finderOptions.hashBits = 14;
    BinaryTreeMatchFinder finder;
    finder.Reset(chunk.data(), size, finderOptions);
    OptimalParser parser;
    parser.CollectMatches(finder, 0, 0, size, finderOptions.niceLength);
    PriceSet prices;
    InitialPrices(chunk.data(), size, prices);
    LzBlockCoding best;
    uint64_t bestBits = UINT64_MAX;
    for (uint32_t pass = 0; pass < 4; ++pass) {
      std::vector<LzItem> items;
      parser.Parse(chunk.data(), 0, {{0, &prices}}, {}, 3, items);
      std::vector<SymbolCounts> counts;
      CountItems(items, 3, counts);
      PricesFromCounts(counts[0], prices);
      std::vector<LzSymbol> symbols;
      LzBlockCoding coding;
      coding.historyCode = 0;  // present but not read
      if (ResolveLzItems(items, symbols) != EncodeStatus::kOk ||
          PlanLzBlock(std::move(symbols), size, LzBlockOptions(), coding) != EncodeStatus::kOk)
        continue;
      uint64_t bits = LzBlockBits(coding);
      if (bits < bestBits) {
        bestBits = bits;
        best = std::move(coding);
      }
    }
    block = WriteLzBlock(best, blockType, true, size);
  }
  out.insert(out.end(), block.begin(), block.end());
  return out;
}

EncodeStatus EncodeDirectory(const std::vector<EntryRecord>& entries, const DirectoryOptions& options,
                             std::vector<uint8_t>& out) {
  std::vector<std::vector<uint8_t>> serialized;
  for (const EntryRecord& e : entries) serialized.push_back(SerializeEntry(e));
  uint32_t limit = std::min(options.chunkLimit, kDirectoryChunkMax);
  size_t next = 0, forced = 0;
  while (next < serialized.size()) {
    // Whole entries up to the limit (or the forced count), then fewer if the block would not fit.
    size_t count = 0;
    uint32_t bytes = 0;
    if (forced < options.entriesPerChunk.size()) {
      count = std::min(options.entriesPerChunk[forced++], static_cast<uint32_t>(serialized.size() - next));
    } else {
      while (next + count < serialized.size() && bytes + serialized[next + count].size() <= limit)
        bytes += static_cast<uint32_t>(serialized[next + count++].size());
    }
    if (count == 0) return EncodeStatus::kInvalidPlan;  // one entry larger than a chunk
    for (;;) {
      std::vector<uint8_t> chunk;
      for (size_t i = next; i < next + count; ++i) chunk.insert(chunk.end(), serialized[i].begin(), serialized[i].end());
      if (chunk.size() > kDirectoryChunkMax) return EncodeStatus::kInvalidPlan;
      std::vector<uint8_t> segment = EncodeDirectorySegment(chunk, options.blockType);
      if (segment.size() - kSegmentSignatureSize <= kDirectoryBlockBytesMax) {
        out.insert(out.end(), segment.begin(), segment.end());
        break;
      }
      if (count == 1) return EncodeStatus::kBlockTooLarge;
      --count;
    }
    next += count;
  }
  return EncodeStatus::kOk;
}

std::vector<uint8_t> WriteArchiveHeader(uint32_t directoryOffset, uint32_t fileCount, uint32_t archiveLength) {
  std::vector<uint8_t> out = {'Z', 'O', 'R', '\n'};
  PutLE32(out, directoryOffset);
  PutLE32(out, fileCount);
  PutLE32(out, 0);
  PutLE32(out, 0);
  PutLE32(out, archiveLength);
  PutLE32(out, directoryOffset - kArchiveHeaderSize);
  PutLE32(out, 0);
  PutLE32(out, 0);
  PutLE32(out, 0);
  PutLE16(out, 0);
  return out;
}

std::vector<uint8_t> WriteStubHeader(uint8_t flags, const std::string& title, const std::string& folder) {
  std::vector<uint8_t> out = {'S', 'X', flags, 0};
  PutLE16(out, static_cast<uint32_t>(title.size()));
  PutLE16(out, static_cast<uint32_t>(folder.size()));
  out.insert(out.end(), title.begin(), title.end());
  out.insert(out.end(), folder.begin(), folder.end());
  return out;
}

uint32_t ArchiveBuilder::AddSegment(const std::vector<uint8_t>& segment) {
  uint32_t offset = kArchiveHeaderSize + static_cast<uint32_t>(data_.size());
  data_.insert(data_.end(), segment.begin(), segment.end());
  return offset;
}

EncodeStatus ArchiveBuilder::Finish(const DirectoryOptions& options, std::vector<uint8_t>& archive) const {
  std::vector<uint8_t> directory;
  EncodeStatus s = EncodeDirectory(entries_, options, directory);
  if (s != EncodeStatus::kOk) return s;
  uint32_t directoryOffset = kArchiveHeaderSize + static_cast<uint32_t>(data_.size());
  uint32_t length = directoryOffset + static_cast<uint32_t>(directory.size());
  archive = WriteArchiveHeader(directoryOffset, static_cast<uint32_t>(entries_.size()), length);
  archive.insert(archive.end(), data_.begin(), data_.end());
  archive.insert(archive.end(), directory.begin(), directory.end());
  return EncodeStatus::kOk;
}

EncodeStatus BuildArchive(const ArchiveInput& input, LzParser& parser, std::vector<uint8_t>& archive,
                          std::vector<SegmentReport>* reports) {
  ArchiveBuilder builder;
  for (const std::string& folder : input.folders) {
    EntryRecord e;
    e.path = folder;
    e.folder = true;
    e.attributes = kAttributeFolder;
    builder.AddEntry(e);
  }
  std::vector<std::vector<EntryRecord>> files(input.segments.size());
  for (size_t k = 0; k < input.segments.size(); ++k) {
    const SegmentInput& seg = input.segments[k];
    SegmentStream stream;
    for (const FileInput& f : seg.files) {
      StoredFile stored = stream.AddFile(f.data.data(), static_cast<uint32_t>(f.data.size()), f.flags);
      EntryRecord e;
      e.path = f.path;
      e.attributes = f.attributes;
      e.flags = f.flags;
      e.position = stored.position;
      e.length = stored.length;
      e.crc = stored.crc;
      e.createTime = f.createTime;
      e.createDate = f.createDate;
      e.writeTime = f.writeTime;
      e.writeDate = f.writeDate;
      files[k].push_back(e);
    }
    const std::vector<uint8_t>& bytes = stream.bytes();
    uint32_t length = static_cast<uint32_t>(bytes.size());
    SegmentPlan plan = seg.plan ? seg.plan(bytes) : DefaultSegmentPlan(length);
    std::vector<uint8_t> segment;
    SegmentReport report;
    EncodeStatus s = EncodeSegment(bytes.data(), length, plan, parser, segment, &report);
    if (s != EncodeStatus::kOk) return s;
    if (reports) reports->push_back(std::move(report));
    uint32_t offset = builder.AddSegment(segment);
    for (EntryRecord& e : files[k]) e.segmentOffset = offset;
  }
  if (input.order.empty()) {
    for (auto& seg : files)
      for (EntryRecord& e : seg) builder.AddEntry(e);
  } else {
    for (const FileRef& r : input.order) {
      if (r.segment >= files.size() || r.file >= files[r.segment].size()) return EncodeStatus::kInvalidPlan;
      builder.AddEntry(files[r.segment][r.file]);
    }
  }
  return builder.Finish(input.directory, archive);
}

}  // namespace zor::encoder
