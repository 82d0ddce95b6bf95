// Workers that decode runs of files into bounded queues, and the walk's side that takes the bytes in order.
#include "cli/ahead_decoder.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>

#include "cli/terminal.h"
#include "decoder/decoder.h"

namespace zor {

// A chunk is shared by the pieces cut from it; it goes back to its worker when the last is written.
struct AheadDecoder::Chunk {
  std::unique_ptr<uint8_t[]> bytes;
  uint32_t refs = 0;  // published pieces not yet released, and one while the worker fills it
};

struct AheadDecoder::Piece {
  uint32_t run;
  uint32_t index;     // the file's; for a run's end, the run's last file
  bool runEnd;        // no file: the worker is done with the run (whatever it decoded came before)
  bool last;          // the file's last piece: rc, crc and systemError tell how it ended
  Chunk* chunk;       // null when the piece carries no bytes
  const uint8_t* bytes;
  uint32_t size;
  ErrorCode rc;
  uint32_t crc;
  uint32_t systemError;
};

struct AheadDecoder::Worker {
  AheadDecoder* owner = nullptr;
  int id = 0;
  FileLayer files{};                 // its own descriptor of the archive and its own recorded errors
  std::unique_ptr<Decoder> decoder;  // its own window and tables
  std::thread thread;
  // Under the owner's mutex:
  std::deque<Piece> queue;
  uint32_t held = 0;  // chunks with references
  bool done = false;
  // The worker's own:
  Chunk* current = nullptr;  // the chunk being filled
  uint32_t used = 0;         // its bytes filled
  uint32_t unpublished = 0;  // where its bytes not yet handed over start
  uint32_t run = 0;
  uint32_t index = 0;        // the file being decoded

  static bool Sink(void* context, const void* bytes, uint32_t count) {
    Worker* w = static_cast<Worker*>(context);
    return w->owner->Append(*w, static_cast<const uint8_t*>(bytes), count);
  }
};

AheadDecoder::AheadDecoder(std::vector<PlannedFile> files, bool discard) : files_(std::move(files)), discard_(discard) {
  for (size_t i = 0; i < files_.size(); ++i) {
    if (i == 0 || files_[i].segmentPos != files_[i - 1].segmentPos) runs_.push_back({i, i});
    runs_.back().end = i + 1;
  }
  owner_.assign(runs_.size(), -1);
}

AheadDecoder::~AheadDecoder() { Stop(); }

bool AheadDecoder::Start(const char* archivePath, unsigned threads) {
  const size_t count = std::min<size_t>(threads, runs_.size());
  for (size_t i = 0; i < count; ++i) {
    auto w = std::make_unique<Worker>();
    w->owner = this;
    w->id = static_cast<int>(workers_.size());
    w->files.programFile = FileOpen(w->files, archivePath, kGenericRead);
    if (w->files.programFile == kInvalidFileHandle) break;
    w->files.sink = Worker::Sink;
    w->files.sinkContext = w.get();
    w->decoder = std::make_unique<Decoder>();
    InitDecoder(*w->decoder, &w->files, &stopDecoding_);
    if (AllocateInput(*w->decoder) != 0) {
      FileClose(w->files, w->files.programFile);
      break;
    }
    workers_.push_back(std::move(w));
  }
  const uint64_t shared = std::min<uint64_t>(uint64_t{kAheadPerThread} * (workers_.size() - (workers_.empty() ? 0 : 1)), kAheadMax);
  sharedBudget_ = static_cast<uint32_t>(shared / kChunkSize);
  WithSignalsHeld([this] {
    for (auto& w : workers_) w->thread = std::thread([this, &w] { WorkerLoop(*w); });
  });
  return !workers_.empty();
}

void AheadDecoder::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    halt_ = true;
  }
  stopDecoding_.store(true);
  piecesReady_.notify_all();
  chunksFree_.notify_all();
  for (auto& w : workers_) {
    if (w->thread.joinable()) w->thread.join();
    FreeInput(*w->decoder);
    FileClose(w->files, w->files.programFile);
  }
  workers_.clear();
}

void AheadDecoder::WorkerLoop(Worker& w) {
  Decoder& d = *w.decoder;
  for (;;) {
    size_t r;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (halt_ || nextRun_ == runs_.size()) break;
      r = nextRun_++;
      owner_[r] = w.id;
    }
    piecesReady_.notify_all();
    // A run starts its segment afresh, as the walk's one decoder does when the segment changes.
    ResetSegmentDecoder(d);
    w.run = static_cast<uint32_t>(r);
    for (size_t i = runs_[r].first; i < runs_[r].end && !stopDecoding_.load(); ++i) {
      const PlannedFile& f = files_[i];
      if (f.index < walkAt_.load()) continue;  // the walk went past it without asking (a kept file)
      w.index = f.index;
      w.files.lastSystemError = 0;
      const ErrorCode rc = DecodeFileData(d, discard_ ? kDiscardFileHandle : kSinkFileHandle, f.segmentPos,
                                          f.position, f.length, f.filter);
      Publish(w, Mark::kFileEnd, rc, d.output.fileCrc, w.files.lastSystemError);
      if (rc < 0) break;
    }
    // The files of the run not decoded (after a failure) are the walk's.
    w.index = files_[runs_[r].end - 1].index;
    Publish(w, Mark::kRunEnd, 0, 0, 0);
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (w.current) Release(w, w.current);
  w.current = nullptr;
  w.done = true;
  ++workersDone_;
  piecesReady_.notify_all();
}

bool AheadDecoder::Append(Worker& w, const uint8_t* bytes, uint32_t count) {
  while (count > 0) {
    if (!w.current || w.used == kChunkSize) {
      if (w.current) {
        Publish(w, Mark::kNone, 0, 0, 0);
        std::lock_guard<std::mutex> lock(mutex_);
        Release(w, w.current);
        w.current = nullptr;
      }
      std::unique_lock<std::mutex> lock(mutex_);
      chunksFree_.wait(lock, [&] { return halt_ || MayTakeChunk(w); });
      if (halt_) return false;
      if (freeChunks_.empty()) {
        chunks_.push_back(std::make_unique<Chunk>());
        chunks_.back()->bytes.reset(new uint8_t[kChunkSize]);
        freeChunks_.push_back(chunks_.back().get());
      }
      w.current = freeChunks_.back();
      freeChunks_.pop_back();
      w.current->refs = 1;
      if (++w.held > kReserve) ++sharedChunks_;
      w.used = 0;
      w.unpublished = 0;
    }
    const uint32_t n = std::min(count, kChunkSize - w.used);
    std::memcpy(w.current->bytes.get() + w.used, bytes, n);
    w.used += n;
    bytes += n;
    count -= n;
  }
  return true;
}

void AheadDecoder::Publish(Worker& w, Mark mark, ErrorCode rc, uint32_t crc, uint32_t systemError) {
  Piece p{w.run, w.index, mark == Mark::kRunEnd, mark == Mark::kFileEnd, nullptr, nullptr, 0, rc, crc, systemError};
  if (mark != Mark::kRunEnd && w.current && w.used > w.unpublished) {
    p.chunk = w.current;
    p.bytes = w.current->bytes.get() + w.unpublished;
    p.size = w.used - w.unpublished;
    w.unpublished = w.used;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (p.chunk) ++p.chunk->refs;
    w.queue.push_back(p);
  }
  piecesReady_.notify_all();
}

void AheadDecoder::Release(Worker& w, Chunk* chunk) {
  if (--chunk->refs == 0) {
    if (w.held-- > kReserve) --sharedChunks_;
    freeChunks_.push_back(chunk);
    chunksFree_.notify_all();
  }
}

bool AheadDecoder::MayTakeChunk(const Worker& w) const {
  return w.held < kReserve || sharedChunks_ < sharedBudget_;
}

void AheadDecoder::DropBefore(uint32_t index) {
  for (auto& w : workers_) {
    while (!w->queue.empty() && w->queue.front().index < index) {
      if (w->queue.front().chunk) Release(*w, w->queue.front().chunk);
      w->queue.pop_front();
    }
  }
}

bool AheadDecoder::Planned(uint32_t index) const {
  const auto file = std::lower_bound(files_.begin(), files_.end(), index,
                                     [](const PlannedFile& f, uint32_t i) { return f.index < i; });
  return file != files_.end() && file->index == index;
}

size_t AheadDecoder::RunOf(uint32_t index) const {
  const auto file = std::lower_bound(files_.begin(), files_.end(), index,
                                     [](const PlannedFile& f, uint32_t i) { return f.index < i; });
  const size_t at = static_cast<size_t>(file - files_.begin());
  const auto run = std::upper_bound(runs_.begin(), runs_.end(), at, [](size_t i, const Run& r) { return i < r.first; });
  return static_cast<size_t>(run - runs_.begin()) - 1;
}

AheadResult AheadDecoder::Take(uint32_t index, const std::function<bool(const uint8_t*, uint32_t)>& write,
                               const std::atomic<bool>& cancelled) {
  AheadResult result;
  const size_t run = RunOf(index);
  walkAt_.store(index);
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    DropBefore(index);
    if (cancelled.load()) {
      result.kind = AheadResult::Kind::kDecoded;
      result.rc = kErrorCancelled;
      return result;
    }
    const int o = owner_[run];
    Worker* w = o >= 0 ? workers_[o].get() : nullptr;
    if (!w || w->queue.empty()) {
      // Nobody will come: every worker is done (or none took the run).
      if ((w && w->done) || (!w && workersDone_ == workers_.size())) return result;
      piecesReady_.wait_for(lock, std::chrono::milliseconds(50));
      continue;
    }
    const Piece p = w->queue.front();
    // Anything but this file's next piece means it was not decoded.
    if (p.run != run || p.runEnd || p.index != index) return result;
    w->queue.pop_front();
    bool ok = true;
    if (p.size > 0) {
      lock.unlock();
      ok = write(p.bytes, p.size);
      lock.lock();
    }
    if (p.chunk) Release(*w, p.chunk);
    if (!ok) {
      result.kind = AheadResult::Kind::kAborted;
      return result;
    }
    if (p.last) {
      result.kind = AheadResult::Kind::kDecoded;
      result.rc = p.rc;
      result.crc = p.crc;
      result.systemError = p.systemError;
      return result;
    }
  }
}

}  // namespace zor
