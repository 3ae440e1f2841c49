// The stat pool on Linux. Every thread that runs batches makes their looks through an io_uring
// ring of its own (posix/look_ring.h), a batch per system call, or through one statx call per
// entry where no ring can be had. A worker opens its ring when it starts and closes it when it
// ends. The owner's thread opens one when it first runs a batch big enough to gain from it, and
// closes it when the last pool it owns ends, so nothing stays open between searches (a search
// started from a callback of another shares its thread's ring).
#include "platform/stat_pool.h"

#include <algorithm>
#include <memory>
#include <system_error>
#include <utility>

#include "platform/posix/internal.h"
#include "platform/posix/look_ring.h"

namespace platform {
namespace {

// Fewer looks than this are not worth opening a ring for on the owner's thread.
constexpr size_t kLooksWorthARing = 64;

// The ring of the worker running on this thread; null on any other thread.
thread_local std::unique_ptr<posix::LookRing>* worker_ring = nullptr;

// The ring of an owner's thread, shared by the pools the thread owns at the moment.
struct OwnerRing {
  std::unique_ptr<posix::LookRing> ring;
  bool tried = false;  // opening was tried (and, when `ring` is null, failed)
  int pools = 0;       // pools of this thread that have had a batch
};
thread_local OwnerRing owner_ring;

// Runs a batch on the current thread, through its ring.
void RunHere(const DeferredLooks& batch) {
  if (worker_ring != nullptr) {
    posix::LookAtEntries(batch, worker_ring);
    return;
  }
  if (!owner_ring.tried && batch.looks.size() >= kLooksWorthARing) {
    owner_ring.tried = true;
    owner_ring.ring = posix::LookRing::Open();
  }
  posix::LookAtEntries(batch, &owner_ring.ring);
}

}  // namespace

StatPool::~StatPool() {
  WaitAll();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  queued_.notify_all();
  for (std::thread& worker : workers_) worker.join();
  // The owner's thread counted this pool when its first batch came (Submit).
  if (looks_submitted_ > 0 && --owner_ring.pools == 0) owner_ring = OwnerRing{};
}

void StatPool::Submit(DeferredLooks batch) {
  if (batch.looks.empty()) return;
  std::unique_lock<std::mutex> lock(mutex_);
  if (looks_submitted_ == 0) ++owner_ring.pools;
  looks_submitted_ += batch.looks.size();
  if (workers_.empty() && !workers_failed_ && looks_submitted_ >= kInlineLimit) StartWorkers();
  if (queue_.size() >= kQueuedPerWorker * std::max<size_t>(workers_.size(), 1)) {
    // The workers are behind (or there are none): this thread looks at the batch itself, while
    // the entries it has just listed are still in the processor's caches. Letting the queue
    // grow instead makes every look a cache miss, and on a machine whose other cores are busy
    // the search then takes longer than without workers.
    lock.unlock();
    RunHere(batch);
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
  std::unique_ptr<posix::LookRing> ring = posix::LookRing::Open();
  worker_ring = &ring;
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
  RunHere(batch);
  batch = DeferredLooks{};  // closes the folder when this was its last batch
  lock.lock();
  --running_;
  ended_.notify_all();
}

}  // namespace platform
