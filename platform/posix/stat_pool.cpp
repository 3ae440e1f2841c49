#include "platform/stat_pool.h"

#include <algorithm>
#include <system_error>
#include <utility>

namespace platform {

StatPool::~StatPool() {
  WaitAll();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  queued_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

void StatPool::Submit(DeferredLooks batch) {
  std::unique_lock<std::mutex> lock(mutex_);
  looks_submitted_ += batch.looks.size();
  if (workers_.empty() && !workers_failed_ && looks_submitted_ >= kInlineLimit) StartWorkers();
  if (queue_.size() >= kQueuedPerWorker * std::max<size_t>(workers_.size(), 1)) {
    // The workers are behind (or there are none): this thread looks at the batch itself, while
    // the entries it has just listed are still in the processor's caches. Letting the queue
    // grow instead makes every look a cache miss, and on a machine whose other cores are busy
    // the search then takes longer than without workers.
    lock.unlock();
    LookAtEntries(batch);
    return;
  }
  queue_.push_back(std::move(batch));
  if (!workers_.empty()) queued_.notify_one();
}

void StatPool::WaitAll() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!queue_.empty() || running_ > 0) RunOneOrWait(lock);
}

void StatPool::StartWorkers() {
  const unsigned cores = std::thread::hardware_concurrency();
  const unsigned count = std::clamp(cores > 1 ? cores - 1 : 1u, 1u, 4u);
  try {
    for (unsigned i = 0; i < count; ++i) workers_.emplace_back([this] { Work(); });
  } catch (const std::system_error&) {
    // No thread to be had: the owner runs what the workers started so far cannot.
    workers_failed_ = true;
  }
}

void StatPool::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    queued_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (queue_.empty()) return;  // stopping, and nothing left
    RunOneOrWait(lock);
  }
}

void StatPool::RunOneOrWait(std::unique_lock<std::mutex>& lock) {
  if (queue_.empty()) {
    ended_.wait(lock);
    return;
  }
  DeferredLooks batch = std::move(queue_.front());
  queue_.pop_front();
  ++running_;
  lock.unlock();
  LookAtEntries(batch);
  batch = DeferredLooks{};  // closes the folder when this was its last batch
  lock.lock();
  --running_;
  ended_.notify_all();
}

}  // namespace platform
