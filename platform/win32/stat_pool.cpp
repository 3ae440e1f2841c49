// FindFirstFileEx/FindNextFile give every fact of an entry with its name, so a search on
// Windows never defers a look (FindEntries ignores FindOptions::defer_looks): a batch, should
// one come, is looked at at once on the caller's thread and no worker is ever started.
#include "platform/stat_pool.h"

#include <utility>

namespace platform {

StatPool::StatPool() = default;
StatPool::~StatPool() = default;

void StatPool::Submit(DeferredLooks batch) {
  looks_submitted_ += batch.looks.size();
  LookAtEntries(batch);
}

void StatPool::WaitAll() {}

void StatPool::StartWorkers() {}
void StatPool::Work() {}
void StatPool::RunOneOrWait(std::unique_lock<std::mutex>&) {}

}  // namespace platform
