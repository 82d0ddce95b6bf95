// The packer: segments planned, compressed by a pool of workers, and written in order by the caller's thread.
//
// Workers take segments in archive order from a shared counter and may run at most a few segments ahead
// of the writer, so memory stays bounded by a handful of segments whatever the archive's size. Each
// segment's bytes depend only on its files and the settings, so the output does not depend on which
// worker coded what, or when.
#include "encoder/packer.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>
#include <thread>

#include "archive/archive_format.h"
#include "encoder/archive_writer.h"
#include "encoder/format_tables.h"
#include "encoder/streamed_file.h"

namespace zor::encoder {

namespace {

constexpr uint32_t kLocalHeaderBytes = 11;
constexpr uint32_t kBlockHeaderBytes = 6;  // a stored block's header, padded to a byte
// A directory segment is at most its signature and the 8184 bytes the reader fetches behind it.
constexpr uint64_t kDirectorySegmentMax = kSegmentSignatureSize + kDirectoryBlockBytesMax;

struct SegmentResult {
  bool ready = false;
  PackStatus status = PackStatus::kOk;
  std::string error;
  std::vector<uint8_t> segment;
  std::vector<StoredFile> stored;  // per file of the group
  std::vector<uint8_t> flags;      // call-filter bits per file of the group
  uint64_t inputBytes = 0;
};

// The segment plan must name every file exactly once.
bool ValidPlan(const std::vector<std::vector<size_t>>& groups, size_t fileCount) {
  std::vector<bool> seen(fileCount, false);
  size_t count = 0;
  for (const auto& group : groups) {
    for (size_t i : group) {
      if (i >= fileCount || seen[i]) return false;
      seen[i] = true;
      ++count;
    }
  }
  return count == fileCount;
}

class Pack {
 public:
  Pack(const PackJob& job, PackIo& io) : job_(job), io_(io) {}

  PackResult Run();

 private:
  void Work();
  PackResult Sketch(std::vector<PackFileInfo>& infos);
  void CodeSegment(size_t k, SegmentResult& result);
  PackResult Fail(PackStatus status, std::string error) {
    PackResult r;
    r.status = status;
    r.error = std::move(error);
    return r;
  }

  const PackJob& job_;
  PackIo& io_;
  std::vector<std::vector<size_t>> groups_;
  std::vector<SegmentResult> results_;
  std::mutex mutex_;
  std::condition_variable changed_;
  size_t next_ = 0;      // the next segment a worker takes
  size_t written_ = 0;   // segments the writer is done with
  size_t ahead_ = 1;     // segments in flight at most, beyond the written ones
  bool stop_ = false;
  std::vector<bool> streamed_;  // segments of one large file, coded by the packing thread as it reads
};

void Pack::CodeSegment(size_t k, SegmentResult& result) {
  const BlockLayout layout = SegmentBlockLayout(job_.settings);
  SegmentStream stream(layout.first, layout.later);
  std::vector<uint8_t> data;
  for (size_t i : groups_[k]) {
    const PackEntry& file = job_.files[i];
    std::string error;
    data.clear();
    if (!io_.ReadFile(i, data, error)) {
      result.status = PackStatus::kReadFailed;
      result.error = error;
      return;
    }
    // The stream holds positions and lengths in 32 bits; the output limit is far below that.
    uint64_t streamLength = stream.bytes().size() + kLocalHeaderBytes + data.size();
    if (streamLength > job_.outputLimit) {
      result.status = PackStatus::kTooLarge;
      result.error = "the files of one segment add up to more than an archive can hold";
      return;
    }
    uint8_t flags = ChooseCallFilter(data.data(), data.size(), file.storedPath, job_.settings);
    flags &= kEntryCalls16 | kEntryCalls32;
    StoredFile stored = stream.AddFile(data.data(), static_cast<uint32_t>(data.size()), flags);
    result.stored.push_back(stored);
    result.flags.push_back(stored.flags);
    result.inputBytes += data.size();
  }
  data = std::vector<uint8_t>();
  result.segment = CompressSegment(stream.bytes(), job_.settings);
  if (result.segment.size() < kSegmentSignatureSize) {
    result.status = PackStatus::kFailed;
    result.error = "a segment could not be coded";
  }
}

void Pack::Work() {
  for (;;) {
    size_t k;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] { return stop_ || next_ >= groups_.size() || next_ < written_ + ahead_; });
      if (stop_ || next_ >= groups_.size()) return;
      k = next_++;
    }
    SegmentResult result;
    if (streamed_[k]) {
      // Nothing to do ahead: the packing thread codes it when its turn comes.
    } else if (job_.cancel && job_.cancel->load()) {
      result.status = PackStatus::kCancelled;
      result.error = "cancelled";
    } else {
      try {
        CodeSegment(k, result);
      } catch (const std::bad_alloc&) {
        result = SegmentResult();
        result.status = PackStatus::kFailed;
        result.error = "out of memory";
      } catch (const std::exception& e) {
        result = SegmentResult();
        result.status = PackStatus::kFailed;
        result.error = e.what();
      }
    }
    result.ready = true;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      results_[k] = std::move(result);
    }
    changed_.notify_all();
  }
}

// Reads every file once for its sketch and content key, on the workers. The first failure by file order
// is the one reported, whatever the threads did.
PackResult Pack::Sketch(std::vector<PackFileInfo>& infos) {
  const size_t n = infos.size();
  std::vector<std::string> errors(n);
  std::vector<uint8_t> failed(n, 0);
  std::atomic<size_t> next{0};
  std::atomic<bool> stop{false};
  auto work = [&] {
    std::vector<uint8_t> data;
    for (size_t i; !stop.load() && (i = next++) < n;) {
      if (job_.cancel && job_.cancel->load()) {
        stop = true;
        return;
      }
      data.clear();
      try {
        // A file coded while it is read is never held whole: its start stands for it. (It has a segment
        // of its own, so its sketch only places that segment.)
        bool read;
        if (job_.files[i].size > job_.streamAbove) {
          constexpr size_t kSample = 1u << 20;
          data.resize(kSample);
          size_t got = 0;
          read = io_.ReadFileAt(i, 0, data.data(), kSample, got, errors[i]);
          data.resize(got);
        } else {
          read = io_.ReadFile(i, data, errors[i]);
        }
        if (!read) {
          failed[i] = 1;
          stop = true;
          return;
        }
        infos[i].sketch = SketchFile(data.data(), data.size());
        infos[i].contentKey = ContentKey(data.data(), data.size());
      } catch (const std::bad_alloc&) {
        errors[i] = "out of memory";
        failed[i] = 2;
        stop = true;
        return;
      }
    }
  };
  unsigned threads = static_cast<unsigned>(std::min<size_t>(std::max(job_.threads, 1u), std::max<size_t>(n, 1)));
  std::vector<std::thread> workers;
  for (unsigned t = 1; t < threads; ++t) workers.emplace_back(work);
  work();
  for (std::thread& w : workers) w.join();
  for (size_t i = 0; i < n; ++i) {
    if (failed[i]) return Fail(failed[i] == 1 ? PackStatus::kReadFailed : PackStatus::kFailed, errors[i]);
  }
  if (job_.cancel && job_.cancel->load()) return Fail(PackStatus::kCancelled, "cancelled");
  return PackResult();
}

PackResult Pack::Run() {
  std::vector<PackFileInfo> infos;
  infos.reserve(job_.files.size());
  for (const PackEntry& f : job_.files) infos.push_back({f.storedPath, f.size});
  if (UsesSketches(job_.settings)) {
    PackResult sketched = Sketch(infos);
    if (sketched.status != PackStatus::kOk) return sketched;
  }
  groups_ = PlanSegments(infos, job_.settings);
  if (!ValidPlan(groups_, job_.files.size())) return Fail(PackStatus::kFailed, "the segment plan is not usable");
  results_.resize(groups_.size());
  for (const auto& group : groups_)
    streamed_.push_back(group.size() == 1 && job_.files[group[0]].size > job_.streamAbove);

  std::string error;
  std::vector<uint8_t> header = WriteArchiveHeader(kArchiveHeaderSize, 0, 0);  // filled in at the end
  if (!io_.Write(header.data(), header.size(), error)) return Fail(PackStatus::kWriteFailed, error);
  uint64_t archiveLength = kArchiveHeaderSize;

  unsigned threads = static_cast<unsigned>(std::min<size_t>(std::max(job_.threads, 1u), groups_.size()));
  ahead_ = std::max<size_t>(2 * threads, 1);
  std::vector<std::thread> workers;
  for (unsigned t = 0; t < threads; ++t) workers.emplace_back([this] { Work(); });
  auto stopWorkers = [&] {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    for (std::thread& w : workers) w.join();
    workers.clear();
  };

  PackResult result;
  std::vector<EntryRecord> files(job_.files.size());
  std::vector<size_t> order;  // file indices in segment and stream order
  order.reserve(job_.files.size());
  for (size_t k = 0; k < groups_.size(); ++k) {
    SegmentResult segment;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] { return results_[k].ready; });
      segment = std::move(results_[k]);
      results_[k] = SegmentResult();
    }
    const uint32_t offset = static_cast<uint32_t>(archiveLength);
    if (segment.status == PackStatus::kOk && streamed_[k]) {
      segment.stored.resize(1);
      segment.flags.resize(1);
      uint64_t written = 0;
      segment.status = StreamFileSegment(job_, groups_[k][0], io_, archiveLength, result.inputBytes,
                                         segment.stored[0], segment.flags[0], written, segment.error);
      segment.inputBytes = job_.files[groups_[k][0]].size;
      archiveLength += written;
    }
    if (segment.status != PackStatus::kOk) {
      stopWorkers();
      return Fail(segment.status, segment.error);
    }
    if (job_.outputStart + archiveLength + segment.segment.size() + kDirectorySegmentMax > job_.outputLimit) {
      stopWorkers();
      return Fail(PackStatus::kTooLarge, "the archive would be larger than a self-extractor can be");
    }
    if (!segment.segment.empty() && !io_.Write(segment.segment.data(), segment.segment.size(), error)) {
      stopWorkers();
      return Fail(PackStatus::kWriteFailed, error);
    }
    archiveLength += segment.segment.size();
    result.inputBytes += segment.inputBytes;
    for (size_t j = 0; j < groups_[k].size(); ++j) {
      size_t i = groups_[k][j];
      const PackEntry& f = job_.files[i];
      EntryRecord& e = files[i];
      e.path = f.storedPath;
      e.attributes = f.attributes;
      e.flags = segment.flags[j];
      e.segmentOffset = offset;
      e.position = segment.stored[j].position;
      e.length = segment.stored[j].length;
      e.crc = segment.stored[j].crc;
      e.createTime = f.createTime;
      e.createDate = f.createDate;
      e.writeTime = f.writeTime;
      e.writeDate = f.writeDate;
      order.push_back(i);
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++written_;
    }
    changed_.notify_all();
    io_.Progress(result.inputBytes, archiveLength);
  }
  stopWorkers();

  std::vector<EntryRecord> entries;
  entries.reserve(job_.folders.size() + files.size());
  for (const PackEntry& f : job_.folders) {
    EntryRecord e;
    e.path = f.storedPath;
    e.folder = true;
    e.attributes = f.attributes;
    e.createTime = f.createTime;
    e.createDate = f.createDate;
    e.writeTime = f.writeTime;
    e.writeDate = f.writeDate;
    entries.push_back(std::move(e));
  }
  for (size_t i : order) entries.push_back(std::move(files[i]));
  std::vector<uint8_t> directory;
  if (EncodeDirectory(entries, DirectoryOptions(), directory) != EncodeStatus::kOk)
    return Fail(PackStatus::kFailed, "the directory could not be coded");
  if (job_.outputStart + archiveLength + directory.size() > job_.outputLimit)
    return Fail(PackStatus::kTooLarge, "the archive would be larger than a self-extractor can be");
  const uint32_t directoryOffset = static_cast<uint32_t>(archiveLength);
  if (!io_.Write(directory.data(), directory.size(), error)) return Fail(PackStatus::kWriteFailed, error);
  archiveLength += directory.size();
  header = WriteArchiveHeader(directoryOffset, static_cast<uint32_t>(entries.size()),
                              static_cast<uint32_t>(archiveLength));
  if (!io_.WriteAt(job_.outputStart, header.data(), header.size(), error))
    return Fail(PackStatus::kWriteFailed, error);
  io_.Progress(result.inputBytes, archiveLength);
  result.archiveLength = archiveLength;
  return result;
}

}  // namespace

PackResult PackArchive(const PackJob& job, PackIo& io) { return Pack(job, io).Run(); }

bool PackIo::ReadFileAt(size_t index, uint64_t offset, uint8_t* data, size_t size, size_t& got, std::string& error) {
  std::vector<uint8_t> all;
  if (!ReadFile(index, all, error)) return false;
  got = offset < all.size() ? std::min<size_t>(size, all.size() - offset) : 0;
  if (got > 0) std::memcpy(data, all.data() + offset, got);
  return true;
}

uint64_t StoredArchiveLength(uint64_t outputStart, uint64_t size) {
  uint64_t stream = kLocalHeaderBytes + size;
  uint64_t blocks = 1;
  if (stream > kFirstBlockSize) blocks += (stream - kFirstBlockSize + kLaterBlockSize - 1) / kLaterBlockSize;
  return outputStart + kArchiveHeaderSize + kSegmentSignatureSize + stream + blocks * kBlockHeaderBytes +
         kDirectorySegmentMax;
}

uint64_t LargestFile(uint64_t outputStart, uint64_t limit) {
  uint64_t low = 0, high = limit;  // StoredArchiveLength(low) fits, unless nothing does
  if (StoredArchiveLength(outputStart, 0) > limit) return 0;
  while (low < high) {
    uint64_t mid = low + (high - low + 1) / 2;
    if (StoredArchiveLength(outputStart, mid) <= limit) {
      low = mid;
    } else {
      high = mid - 1;
    }
  }
  return low;
}

}  // namespace zor::encoder
