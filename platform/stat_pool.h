// Runs the deferred looks of a file search (platform/find.h, DeferredLooks) beside the walk
// that lists the folders, on the machine's other cores.
//
// One pool serves one search and lives for that search's call. The walk submits a batch per
// listed folder (or per few hundred entries of a large one) and waits for everything submitted
// so far before it shows anything to anyone. When the workers fall behind, the walk looks at
// its newest batch itself, so the work splits between the cores by itself. Only the thread that
// owns the pool (the walk) calls Submit and WaitAll; the workers only run batches.
//
// A search that defers fewer than kInlineLimit looks in all starts no thread: its batches run on
// the owner's thread. Workers: hardware_concurrency() - 1, at least 1, at most 4, started by the
// first Submit that passes the limit and joined by the destructor.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/find.h"

namespace platform {

class StatPool {
 public:
  // Looks deferred in all before workers are worth starting.
  static constexpr size_t kInlineLimit = 512;
  // Batches waiting per worker. Submit runs a batch itself rather than queue more, which also
  // bounds the folders held open (a batch holds its folder's descriptor) to a handful.
  static constexpr size_t kQueuedPerWorker = 2;

  // The pool also holds its thread's ring (posix): the looks that the walks' listings make on
  // this thread while it lives go through it as well.
  StatPool();
  // Waits for every batch, then stops and joins the workers.
  ~StatPool();
  StatPool(const StatPool&) = delete;
  StatPool& operator=(const StatPool&) = delete;

  // Queues a batch. Its names and destinations must stay valid until WaitAll returns.
  void Submit(DeferredLooks batch);
  // Returns when every batch submitted so far is done; runs queued batches itself meanwhile.
  void WaitAll();

 private:
  void StartWorkers();
  void Work();
  // With the lock held: runs the oldest queued batch on this thread, or, when none is queued,
  // waits until a running one ends.
  void RunOneOrWait(std::unique_lock<std::mutex>& lock);

  std::mutex mutex_;
  std::condition_variable queued_;  // a batch was queued, or the workers must stop
  std::condition_variable ended_;   // a batch ended
  std::deque<DeferredLooks> queue_;
  size_t running_ = 0;
  size_t looks_submitted_ = 0;
  bool stopping_ = false;
  bool workers_failed_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace platform
