#include "run/batched_closer.h"

#include <liburing.h>

#include <algorithm>
#include <cerrno>

namespace corvane::tool {
namespace {

constexpr unsigned kRingEntries = 64;  // no batch is larger

// The thread sanitizer sees a descriptor's close only through close(2): a number that io_uring
// closed and an open on another thread reused would look to it like a race on the descriptor.
#if defined(__SANITIZE_THREAD__)
constexpr bool kCloseEachAtOnce = true;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
constexpr bool kCloseEachAtOnce = true;
#else
constexpr bool kCloseEachAtOnce = false;
#endif
#else
constexpr bool kCloseEachAtOnce = false;
#endif

}  // namespace

// One io_uring, used by one thread at a time.
class CloseRing {
 public:
  // None when the system refuses one (no io_uring, or too little locked memory).
  static std::unique_ptr<CloseRing> make() noexcept {
    try {
      auto ring = std::make_unique<CloseRing>();
      return ring->ready_ ? std::move(ring) : nullptr;
    } catch (...) {
      return nullptr;
    }
  }
  CloseRing() : ready_(io_uring_queue_init(kRingEntries, &ring_, 0) == 0) {}
  ~CloseRing() {
    if (ready_) io_uring_queue_exit(&ring_);
  }
  CloseRing(const CloseRing&) = delete;
  CloseRing& operator=(const CloseRing&) = delete;

  // Closes the first of `fds`, as many as the ring takes, in one call, and waits until each is
  // closed. Returns how many the kernel was given: those it was not are still open, and this
  // ring is of no more use (`broken`) if they are fewer than all.
  std::size_t closeAll(const std::vector<int>& fds) {
    std::size_t queued = 0;
    for (; queued < fds.size(); ++queued) {
      io_uring_sqe* entry = io_uring_get_sqe(&ring_);
      if (entry == nullptr) break;
      io_uring_prep_close(entry, fds[queued]);
    }
    int submitted = 0;
    do {
      submitted = io_uring_submit_and_wait(&ring_, queued);
    } while (submitted == -EINTR);
    const auto handed = static_cast<std::size_t>(submitted < 0 ? 0 : submitted);
    // Every descriptor handed over is the kernel's until its completion comes: none is closed
    // here again, even when waiting fails (better a descriptor left open than another thread's
    // new one closed).
    for (std::size_t reaped = 0; reaped < handed;) {
      io_uring_cqe* done = nullptr;
      const int waited = io_uring_wait_cqe(&ring_, &done);
      if (waited == -EINTR) continue;
      if (waited < 0) {
        broken_ = true;
        break;
      }
      io_uring_cqe_seen(&ring_, done);
      ++reaped;
    }
    // Entries not taken stay in the ring, where a later call would hand them over with their
    // numbers perhaps reused: the ring goes with them.
    if (handed < queued) broken_ = true;
    return handed;
  }

  bool broken() const { return broken_; }

 private:
  io_uring ring_{};
  bool ready_;
  bool broken_ = false;
};

BatchedCloser::BatchedCloser(std::size_t batch)
    : batch_(kCloseEachAtOnce ? 0 : std::min<std::size_t>(batch, kRingEntries)) {
  waiting_.reserve(batch_);
  idle_.reserve(kMostRings);
}

BatchedCloser::~BatchedCloser() { flush(); }

void BatchedCloser::close(platform::UniqueFd fd) noexcept {
  if (!fd || batch_ == 0) return;  // closes as it goes
  std::vector<int> full;
  {
    const std::lock_guard lock(mutex_);
    if (ringsFail_) return;
    try {
      waiting_.push_back(fd.get());
      fd.release();
      if (waiting_.size() < batch_) return;
      full.reserve(batch_);
    } catch (...) {
      return;  // no memory: this one closes as it goes, or the batch waits for the next close
    }
    full.swap(waiting_);
  }
  closeAll(std::move(full));
}

void BatchedCloser::flush() noexcept {
  std::vector<int> all;
  {
    const std::lock_guard lock(mutex_);
    all.swap(waiting_);
  }
  if (!all.empty()) closeAll(std::move(all));
}

void BatchedCloser::closeAll(std::vector<int> fds) noexcept {
  std::unique_ptr<CloseRing> ring;
  bool mayMake = false;
  {
    const std::lock_guard lock(mutex_);
    if (!idle_.empty()) {
      ring = std::move(idle_.back());
      idle_.pop_back();
    } else if (!ringsFail_ && rings_ < kMostRings) {
      ++rings_;  // counted before it is made, so that no other thread makes one too many
      mayMake = true;
    }
  }
  if (mayMake) ring = CloseRing::make();
  const bool held = ring != nullptr;  // a ring counted in rings_
  const std::size_t handed = held ? ring->closeAll(fds) : 0;
  if (held && ring->broken()) ring.reset();
  // Each ring busy elsewhere, or none to be had: these go one by one.
  for (std::size_t i = handed; i < fds.size(); ++i) ::close(fds[i]);
  const std::lock_guard lock(mutex_);
  if (mayMake && !held) ringsFail_ = true;  // the system refuses rings
  if (ring) {
    idle_.push_back(std::move(ring));  // room reserved for every ring
  } else if (mayMake || held) {
    --rings_;
  }
}

}  // namespace corvane::tool
