// The segment writer and its model of the decoder's window.
//
// The decoder keeps, in front of each block, some of the bytes decoded before it: for LZ blocks as
// much as the block's history-size code says, for stored and block-sorting blocks as much as fits in
// 0x80000 bytes and in the window it has allocated (none behind a last block). Its window starts at
// the first block's size + 512 bytes and grows to n + 512 whenever an LZ block needs n bytes of
// history and block, or a stored or block-sorting block needs n bytes for itself.
//
// Delta marks: the LZ decoder produces bytes, then undoes the delta filter over its block; before
// those bytes serve as history the decoder turns them back into what the LZ step produced. So the
// history that matches copy from, and that the next block's delta sources read when they fall in front
// of the block, holds the "LZ-level" bytes. We keep exactly those bytes for the whole stream (`level`)
// and give every block the window the decoder will have.
#include "encoder/segment_writer.h"

#include <algorithm>
#include <cstring>

#include "archive/archive_format.h"

namespace zor::encoder {

namespace {

uint32_t RecentDistance(const LzItem& it, uint32_t& recent0, uint32_t& recent1) {
  int32_t s = it.distanceSymbol;
  uint32_t d = it.distance;
  if (s < 0) s = (d == recent0) ? 0 : (d <= 4 && d > 0) ? static_cast<int32_t>(d + 1) : (d == recent1) ? 1 : 6;
  if (s == 0) return recent0;
  if (s == 1) {
    std::swap(recent0, recent1);
    return recent0;
  }
  if (s <= 5) return static_cast<uint32_t>(s - 1);
  recent1 = recent0;
  recent0 = d;
  return d;
}

// A parse that m cannot code becomes codable: m = 1 has no length-2 matches, length-2 matches use
// alphabet 1 (distances up to 64 besides the recent ones), and with m = 3 length-3 matches use
// alphabet 2 (up to 8192). Such matches become literals; the recent distances follow the coder's rules.
void FitItemsToM(std::vector<LzItem>& items, const uint8_t* window, uint32_t historyLength, uint32_t m) {
  uint32_t effectiveM = m == 0 ? 2 : m;  // the coder picks 3 only when it can code the parse
  std::vector<LzItem> out;
  out.reserve(items.size());
  uint32_t position = historyLength, recent0 = 0, recent1 = 0;
  for (const LzItem& it : items) {
    if (it.kind == LzItemKind::kMatch && it.distanceSymbol < 0) {
      uint32_t d = it.distance;
      uint32_t symbol = d == recent0 ? 0 : d <= 4 ? d + 1 : d == recent1 ? 1 : ExplicitDistanceSymbol(d).symbol;
      uint32_t alphabet = DistanceAlphabet(it.value, effectiveM);
      if ((effectiveM == 1 && it.value == 2) || symbol >= kDistanceSymbols[alphabet]) {
        for (uint32_t k = 0; k < it.value; ++k) out.push_back(LzItem::Literal(window[position + k]));
        position += it.value;
        continue;
      }
      if (symbol == 1) std::swap(recent0, recent1);
      if (symbol >= 6) {
        recent1 = recent0;
        recent0 = d;
      }
    }
    out.push_back(it);
    if (it.kind == LzItemKind::kLiteral) position += 1;
    if (it.kind == LzItemKind::kMatch) position += it.value;
  }
  items = std::move(out);
}

}  // namespace

void InsertDeltaMarks(std::vector<LzItem>& items, const std::vector<DeltaMarkSpec>& marks) {
  if (marks.empty()) return;
  std::vector<LzItem> out;
  out.reserve(items.size() + marks.size());
  size_t next = 0;
  uint32_t position = 0;
  for (const LzItem& it : items) {
    while (next < marks.size() && marks[next].offset <= position) out.push_back(LzItem::DeltaMark(marks[next++].d));
    out.push_back(it);
    if (it.kind == LzItemKind::kLiteral) position += 1;
    if (it.kind == LzItemKind::kMatch) position += it.value;
  }
  items = std::move(out);
}

void PlaceBlock(const WindowModel& model, uint32_t type, uint32_t size, bool last, uint32_t historyCode,
                uint32_t& history, uint32_t& capacity) {
  capacity = model.haveWindow ? model.capacity : size + kWindowSlack;
  uint32_t available = model.historyLength + model.blockLength;
  history = 0;
  if (!model.haveWindow) return;  // the first block never has history
  if (type == 1 || type == 3) {
    history = std::min(available, HistorySize(historyCode));
    if (history + size > capacity) capacity = history + size + kWindowSlack;
  } else {
    if (size > capacity) capacity = size + kWindowSlack;
    if (last) return;
    uint32_t keep = size >= kMaxHistory ? 0 : kMaxHistory - size;
    keep = std::min(keep, capacity - size);
    history = std::min(available, keep);
  }
}

void WindowModel::Advance(uint32_t history, uint32_t newCapacity, uint32_t size) {
  haveWindow = true;
  capacity = newCapacity;
  historyLength = history;
  blockLength = size;
}

void RemoveDeltaMarks(uint8_t* window, uint32_t history, uint32_t size, const std::vector<DeltaMarkSpec>& marks) {
  for (size_t i = marks.size(); i-- > 0;) {
    uint32_t d = marks[i].d;
    if (d == 0) continue;
    uint32_t from = history + marks[i].offset;
    uint32_t to = history + (i + 1 < marks.size() ? marks[i + 1].offset : size);
    for (uint32_t p = to; p-- > from;) {
      uint8_t source = p >= d ? window[p - d] : 0;
      window[p] = static_cast<uint8_t>(window[p] - source);
    }
  }
}

uint32_t ApplyLzItems(const std::vector<LzItem>& items, uint8_t* window, uint32_t historyLength,
                      uint32_t blockLength, std::vector<DeltaMarkSpec>* marks) {
  uint32_t produced = 0, recent0 = 0, recent1 = 0;
  for (const LzItem& it : items) {
    if (produced >= blockLength) break;  // the decoder tests before every symbol
    uint32_t pos = historyLength + produced;
    switch (it.kind) {
      case LzItemKind::kLiteral:
        window[pos] = static_cast<uint8_t>(it.value);
        ++produced;
        break;
      case LzItemKind::kDeltaMark:
        if (marks) marks->push_back({produced, it.value});
        break;
      case LzItemKind::kEndOfSet:
        break;
      case LzItemKind::kMatch: {
        uint32_t d = RecentDistance(it, recent0, recent1);
        if (d > pos) break;  // reaches before the window: skipped
        uint32_t n = std::min(it.value, blockLength - produced);
        for (uint32_t k = 0; k < n; ++k) window[pos + k] = window[pos + k - d];
        produced += n;
        break;
      }
    }
  }
  return produced;
}

void ApplyDeltaMarkSpecs(uint8_t* window, uint32_t historyLength, uint32_t blockLength,
                         const std::vector<DeltaMarkSpec>& marks) {
  for (size_t i = 0; i < marks.size(); ++i) {
    uint32_t d = marks[i].d;
    if (d == 0) continue;
    uint32_t from = historyLength + marks[i].offset;
    uint32_t to = historyLength + (i + 1 < marks.size() ? marks[i + 1].offset : blockLength);
    for (uint32_t p = from; p < to; ++p) {
      uint8_t source = p >= d ? window[p - d] : 0;  // before the window's start: 0
      window[p] = static_cast<uint8_t>(window[p] + source);
    }
  }
}

SegmentPlan UniformSegmentPlan(uint32_t streamLength, uint32_t blockSize, uint32_t type) {
  SegmentPlan plan;
  uint32_t done = 0;
  do {
    BlockPlan b;
    b.type = type;
    b.size = std::min(blockSize, streamLength - done);
    done += b.size;
    plan.blocks.push_back(std::move(b));
  } while (done < streamLength && blockSize > 0);
  return plan;
}

SegmentPlan DefaultSegmentPlan(uint32_t streamLength) {
  SegmentPlan plan;
  uint32_t done = 0;
  do {
    BlockPlan b;
    b.size = std::min(done == 0 ? kFirstBlockSize : kLaterBlockSize, streamLength - done);
    b.historyCode = kHistoryCodeLargest;
    b.storeIfSmaller = true;
    done += b.size;
    plan.blocks.push_back(std::move(b));
  } while (done < streamLength);
  return plan;
}

EncodeStatus EncodeSegment(const uint8_t* stream, uint32_t length, const SegmentPlan& plan, LzParser& parser,
                           std::vector<uint8_t>& out, SegmentReport* report) {
  uint64_t total = 0;
  for (const BlockPlan& b : plan.blocks) total += b.size;
  if (plan.blocks.empty() || total != length) return EncodeStatus::kInvalidPlan;

  out.insert(out.end(), kDataSignature, kDataSignature + kSegmentSignatureSize);
  std::vector<uint8_t> level(length);  // the stream as the decoder's window holds it (see above)
  WindowModel model;
  uint32_t blockStart = 0;
  for (size_t k = 0; k < plan.blocks.size(); ++k) {
    const BlockPlan& b = plan.blocks[k];
    bool last = b.last || k + 1 == plan.blocks.size();
    const uint8_t* bytes = stream + blockStart;
    if (b.size > 0xFFFFF || b.type > 3) return EncodeStatus::kInvalidPlan;

    struct Candidate {
      std::vector<uint8_t> block;
      uint32_t type, history, capacity;
      std::vector<uint8_t> levelBytes;  // empty: the block's own bytes
    };
    std::vector<Candidate> candidates;

    if (b.type == 1 || b.type == 3) {
      Candidate c;
      c.type = b.type;
      PlaceBlock(model, b.type, b.size, last, b.historyCode, c.history, c.capacity);
      std::vector<uint8_t> window(c.history + b.size);
      std::copy(level.begin() + (blockStart - c.history), level.begin() + blockStart, window.begin());
      std::vector<LzItem> items;
      std::vector<DeltaMarkSpec> marks;
      if (b.useItems) {
        items = b.items;
        std::vector<uint8_t> scratch = window;
        ApplyLzItems(items, scratch.data(), c.history, b.size, &marks);
      } else {
        marks = b.deltaMarks;
        for (size_t i = 0; i < marks.size(); ++i) {
          if (marks[i].d > 7 || marks[i].offset >= b.size || (i > 0 && marks[i].offset < marks[i - 1].offset))
            return EncodeStatus::kInvalidPlan;
        }
      }
      if (marks.size() > kMaxDeltaMarks && b.checkItems) return EncodeStatus::kInvalidItems;
      // The LZ step's bytes: the output with the delta filter taken off, its sources read as the
      // decoder reads them (block bytes already filtered back, history as kept, 0 before the window).
      std::copy_n(bytes, b.size, window.data() + c.history);  // bytes may be null for an empty stream
      RemoveDeltaMarks(window.data(), c.history, b.size, marks);
      if (b.useItems) {
        if (b.checkItems) {
          std::vector<uint8_t> check(window.begin(), window.begin() + c.history);
          check.resize(window.size());
          if (ApplyLzItems(items, check.data(), c.history, b.size, nullptr) != b.size || check != window)
            return EncodeStatus::kItemsMismatch;
        }
      } else {
        std::vector<uint32_t> barriers;
        for (const DeltaMarkSpec& m : marks) barriers.push_back(m.offset);
        parser.Parse(window.data(), c.history, b.size, barriers, items);
        FitItemsToM(items, window.data(), c.history, b.lz.distanceAlphabets);
        InsertDeltaMarks(items, marks);
        if (b.tableSets > 1) SplitIntoTableSets(items, b.tableSets);
      }
      std::vector<LzSymbol> symbols;
      EncodeStatus s = ResolveLzItems(items, symbols);
      if (s != EncodeStatus::kOk) return s;
      LzBlockCoding coding;
      coding.historyCode = b.historyCode;
      LzBlockOptions options = b.lz;
      s = PlanLzBlock(std::move(symbols), c.history + b.size, options, coding);
      if (s != EncodeStatus::kOk) return s;
      c.block = WriteLzBlock(coding, b.type, last, b.size);
      c.levelBytes.assign(window.begin() + c.history, window.end());
      candidates.push_back(std::move(c));
    }
    if (b.type == 2) {
      Candidate c;
      c.type = 2;
      PlaceBlock(model, 2, b.size, last, 0, c.history, c.capacity);
      c.block = WriteSortedBlock(PlanSortedBlock(bytes, b.size, b.sorted), last, b.size);
      candidates.push_back(std::move(c));
    }
    if (b.type == 0 || (b.storeIfSmaller && b.size + 6 < candidates[0].block.size())) {
      Candidate c;
      c.type = 0;
      PlaceBlock(model, 0, b.size, last, 0, c.history, c.capacity);
      c.block = WriteStoredBlock(bytes, b.size, last);
      candidates.push_back(std::move(c));
    }
    Candidate& chosen = candidates.back();
    if (chosen.block.size() > 0xFFFFF) return EncodeStatus::kBlockTooLarge;

    if (chosen.levelBytes.empty()) {
      std::copy_n(bytes, b.size, level.data() + blockStart);
    } else {
      std::memcpy(level.data() + blockStart, chosen.levelBytes.data(), b.size);
    }
    if (report) {
      report->blocks.push_back({chosen.type, b.size, chosen.history, chosen.capacity,
                                static_cast<uint32_t>(chosen.block.size())});
    }
    out.insert(out.end(), chosen.block.begin(), chosen.block.end());
    model.Advance(chosen.history, chosen.capacity, b.size);
    blockStart += b.size;
    if (last) break;
  }
  return EncodeStatus::kOk;
}

}  // namespace zor::encoder
