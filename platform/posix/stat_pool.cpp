// The stat pool on Linux, and the ring every look of a thread goes through.
//
// Every thread that runs batches makes their looks through an io_uring ring of its own
// (posix/look_ring.h), a step of looks per system call, or through one statx call per entry
// where no ring can be had. A worker opens its ring when it starts and closes it when it ends.
// On any other thread the ring belongs to the StatPools alive on it: the first batch big enough
// to gain from one opens it, and the last of those pools to end closes it, so nothing stays
// open once a search or a walk is over. The walks' listings and batches (posix/folder.cpp) take
// the same ring while a walk's pool lives, so the walks and the search share one engine.
#include "platform/stat_pool.h"

#include <pthread.h>

#include <algorithm>
#include <memory>
#include <mutex>
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

// The ring of an owner's thread, shared by the pools alive on the thread.
struct OwnerRing {
  std::unique_ptr<posix::LookRing> ring;
  bool tried = false;  // opening was tried (and, when `ring` is null, failed)
  int pools = 0;       // pools alive on this thread
};
thread_local OwnerRing owner_ring;

// A child forked while a pool lived has the parent's ring mapped, and the parent goes on using
// it: the child must never submit to it. It closes its own copy and opens a ring of its own
// when it needs one. (Only the forking thread lives on in the child, and never a worker.)
void ForgetRingInChild() {
  owner_ring.ring.reset();
  owner_ring.tried = false;
}

void WatchForks() {
  static std::once_flag once;
  std::call_once(once, [] { pthread_atfork(nullptr, nullptr, &ForgetRingInChild); });
}

}  // namespace

std::unique_ptr<posix::LookRing>* posix::RingOfThisThread(size_t looks) {
  if (worker_ring != nullptr) return worker_ring;
  if (owner_ring.pools == 0) return nullptr;
  if (!owner_ring.tried && looks >= kLooksWorthARing) {
    owner_ring.tried = true;
    owner_ring.ring = LookRing::Open();
  }
  return &owner_ring.ring;
}

namespace {

// Runs a batch on the current thread, through its ring.
void RunHere(const DeferredLooks& batch) {
  posix::LookAtEntries(batch, posix::RingOfThisThread(batch.looks.size()));
}

}  // namespace

StatPool::StatPool() {
  WatchForks();
  ++owner_ring.pools;
}

StatPool::~StatPool() {
  WaitAll();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  queued_.notify_all();
  for (std::thread& worker : workers_) worker.join();
  if (--owner_ring.pools == 0) owner_ring = OwnerRing{};
}

void StatPool::Submit(DeferredLooks batch) {
  if (batch.looks.empty()) return;
  std::unique_lock<std::mutex> lock(mutex_);
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
