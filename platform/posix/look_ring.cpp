#include "platform/posix/look_ring.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#if defined(ORVANEL_HAVE_LIBURING)
#include <liburing.h>
#endif

namespace platform::posix {

namespace {

std::atomic<bool> rings_allowed{true};

}  // namespace

void AllowLookRings(bool allowed) { rings_allowed.store(allowed, std::memory_order_relaxed); }

#if defined(ORVANEL_HAVE_LIBURING)

struct LookRing::Ring {
  io_uring ring;
};

LookRing::LookRing(std::unique_ptr<Ring> ring) : ring_(std::move(ring)) {}

LookRing::~LookRing() { io_uring_queue_exit(&ring_->ring); }

std::unique_ptr<LookRing> LookRing::Open() {
  if (!rings_allowed.load(std::memory_order_relaxed)) return nullptr;
  auto ring = std::make_unique<Ring>();
  if (io_uring_queue_init(kDepth, &ring->ring, 0) != 0) return nullptr;
  // A kernel that has rings but not this operation would fail every look one by one.
  io_uring_probe* probe = io_uring_get_probe_ring(&ring->ring);
  const bool statx = probe != nullptr && io_uring_opcode_supported(probe, IORING_OP_STATX);
  if (probe != nullptr) io_uring_free_probe(probe);
  if (!statx) {
    io_uring_queue_exit(&ring->ring);
    return nullptr;
  }
  return std::unique_ptr<LookRing>(new LookRing(std::move(ring)));
}

bool LookRing::StatAll(int fd, const char* const* names, size_t count, int flags, unsigned mask,
                       struct statx* results, int* causes) {
  io_uring* ring = &ring_->ring;
  for (size_t start = 0; start < count; start += kDepth) {
    const size_t chunk = count - start < kDepth ? count - start : kDepth;
    size_t queued = 0;
    for (; queued < chunk; ++queued) {
      io_uring_sqe* sqe = io_uring_get_sqe(ring);
      if (sqe == nullptr) break;
      const size_t i = start + queued;
      io_uring_prep_statx(sqe, fd, names[i], flags, mask, &results[i]);
      io_uring_sqe_set_data64(sqe, i);
      causes[i] = ECANCELED;
    }
    // Submit until the kernel has taken every queued look; a look it never took cannot end.
    // A kernel short of memory says EAGAIN: tried again a few times, then the calls of their
    // own take over rather than the search waiting on the ring.
    size_t submitted = 0;
    for (int retries = 0; submitted < queued;) {
      const int taken = io_uring_submit(ring);
      if (taken > 0) {
        submitted += static_cast<size_t>(taken);
      } else if (taken == -EINTR || (taken == -EAGAIN && ++retries < 16)) {
        continue;
      } else {
        break;
      }
    }
    // Every look the kernel took ends before this returns: it writes into `results` and reads
    // `names`, which belong to the caller.
    for (size_t ended = 0; ended < submitted;) {
      io_uring_cqe* cqe = nullptr;
      const int waited = io_uring_wait_cqe(ring, &cqe);
      if (waited == -EINTR || waited == -EAGAIN) continue;
      if (waited != 0) {
        // Cannot happen with a ring of our own; returning now would let the kernel write into
        // memory the caller is about to free.
        std::fprintf(stderr, "io_uring: waiting for a look failed (%d)\n", -waited);
        std::abort();
      }
      const size_t i = static_cast<size_t>(io_uring_cqe_get_data64(cqe));
      causes[i] = cqe->res < 0 ? -cqe->res : 0;
      io_uring_cqe_seen(ring, cqe);
      ++ended;
    }
    if (submitted < queued) {
      // Looks queued but never taken would go out with the next submission: there is none.
      return false;
    }
  }
  return true;
}

#else  // no liburing at build time: no ring, the caller makes one call per entry

struct LookRing::Ring {};

LookRing::LookRing(std::unique_ptr<Ring> ring) : ring_(std::move(ring)) {}

LookRing::~LookRing() = default;

std::unique_ptr<LookRing> LookRing::Open() { return nullptr; }

bool LookRing::StatAll(int, const char* const*, size_t count, int, unsigned, struct statx*,
                       int* causes) {
  for (size_t i = 0; i < count; ++i) causes[i] = ECANCELED;
  return false;
}

#endif

}  // namespace platform::posix
