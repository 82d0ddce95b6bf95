// Decoding ahead of the walk, on worker threads, for zor extract and zor test.
//
// The walk stays on the main thread and does everything a person sees or the disk keeps, in directory
// order; the workers only decode. The files are cut into runs: consecutive files (in directory order) of
// one segment, which the single decoder of the walk would decode in one stretch. Workers take runs in order,
// each decoding its runs with a Decoder of its own (its own descriptor of the archive, its own window)
// into a queue of chunks; the walk takes each file's bytes from the queue of the worker that has its run
// and writes them.
//
// Memory: every worker may always hold kReserve chunks, so the one whose run the walk is writing never
// waits for room; beyond that, the workers ahead share a budget of kAheadPerThread bytes per worker but
// the first (at most kAheadMax), enough to decode a whole segment (the packer makes them of 16 MiB) while
// the walk writes another. So memory stays bounded whatever the archive holds: about 2 MiB per worker for
// its decoder and reserve, and the shared budget.
//
// Since the walk reads in order and each worker's queue is in order, the walk drops whatever it passes
// over (entries it skipped) from every queue's head; no worker waits on a run the walk has left behind.
// A run's decoding stops at its first failure; the files behind it are left to the walk, which decodes
// them itself when it gets that far (only when it went on past the failure: a file it did not write).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "decoder/call_filter.h"
#include "platform/file_layer.h"

namespace zor {

// A file the walk will ask for: its place in the directory and where its bytes lie.
struct PlannedFile {
  uint32_t index;       // the entry's place in the directory (0 = first)
  uint32_t segmentPos;  // program-file offset of its segment's first block
  uint32_t position;    // its LocalHeader in the segment's decoded stream
  uint32_t length;      // more than 0: empty files are not decoded at all
  CallFilter filter;
};

// What became of one file's decoding.
struct AheadResult {
  enum class Kind : uint8_t {
    kDecoded,     // rc, crc and systemError as DecodeFileData left them
    kNotDecoded,  // an earlier file of its run failed: the walk decodes it itself
    kAborted,     // the writer refused a piece; the rest of the file was not handed over
  };
  Kind kind = Kind::kNotDecoded;
  ErrorCode rc = 0;
  uint32_t crc = 0;
  uint32_t systemError = 0;  // the worker's lastSystemError after a failure (a read error's cause)
};

class AheadDecoder {
 public:
  static constexpr uint32_t kChunkSize = 256 * 1024;
  static constexpr uint32_t kReserve = 2;                      // chunks a worker may always hold
  static constexpr uint32_t kAheadPerThread = 16u << 20;       // shared budget, per worker but the first
  static constexpr uint32_t kAheadMax = 32u << 20;

  // files in directory order. With `discard` (zor test) the bytes are only checked, never kept.
  AheadDecoder(std::vector<PlannedFile> files, bool discard);
  ~AheadDecoder();  // stops and joins the workers
  AheadDecoder(const AheadDecoder&) = delete;
  AheadDecoder& operator=(const AheadDecoder&) = delete;

  // Starts up to `threads` workers, each with its own descriptor of the archive at `archivePath`. False
  // when not one could open it (the walk then decodes everything itself).
  bool Start(const char* archivePath, unsigned threads);

  // Whether file `index` is one of the planned files.
  bool Planned(uint32_t index) const;
  // Hands the bytes of planned file `index` to `write` as they come, then says how its decoding ended.
  // `write` returning false stops the handing over (kAborted). `cancelled` is polled while waiting.
  AheadResult Take(uint32_t index, const std::function<bool(const uint8_t*, uint32_t)>& write,
                   const std::atomic<bool>& cancelled);
  // Stops the workers (the walk has ended); Take must not be called after it.
  void Stop();

 private:
  struct Run {
    size_t first;  // in files_
    size_t end;
  };
  struct Chunk;
  struct Piece;
  struct Worker;

  // What a published piece ends: nothing (more of the file follows), the file, or the run.
  enum class Mark : uint8_t { kNone, kFileEnd, kRunEnd };

  void WorkerLoop(Worker& w);
  bool Append(Worker& w, const uint8_t* bytes, uint32_t count);
  void Publish(Worker& w, Mark mark, ErrorCode rc, uint32_t crc, uint32_t systemError);
  void Release(Worker& w, Chunk* chunk);
  // Whether w may take one more chunk now. The lock is held.
  bool MayTakeChunk(const Worker& w) const;
  // Drops from every queue's head what lies before `index`. The lock is held.
  void DropBefore(uint32_t index);
  size_t RunOf(uint32_t index) const;

  std::vector<PlannedFile> files_;
  std::vector<Run> runs_;
  bool discard_;

  std::mutex mutex_;
  std::condition_variable piecesReady_;  // the walk waits here for pieces, a run's worker, or the end
  std::condition_variable chunksFree_;   // workers wait here for room
  std::vector<std::unique_ptr<Worker>> workers_;
  std::vector<int> owner_;               // per run: the worker that took it, or -1
  size_t nextRun_ = 0;
  size_t workersDone_ = 0;
  std::vector<std::unique_ptr<Chunk>> chunks_;  // every chunk made, at most the reserves and the budget
  std::vector<Chunk*> freeChunks_;
  uint32_t sharedChunks_ = 0;   // chunks held beyond the workers' reserves
  uint32_t sharedBudget_ = 0;   // at most this many
  bool halt_ = false;
  std::atomic<bool> stopDecoding_{false};  // the workers' decoders poll it as their cancel flag
  std::atomic<uint32_t> walkAt_{0};        // the file the walk asked for last: those before it are not needed
};

}  // namespace zor
