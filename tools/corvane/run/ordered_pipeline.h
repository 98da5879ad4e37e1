#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

namespace corvane::tool {

// Runs a stream of jobs on several threads and hands each result back on the calling thread, in
// the order the jobs came. Work moves in batches (a lock and a wake-up per batch, never per job);
// within a batch threads claim jobs one at a time with an atomic counter, so that one large file
// does not hold back a batch of small ones. Batches grow from one job, so that the first results
// show at once and a handful of jobs spreads over every thread. The batches not yet handed back
// are bounded in number, and each in what its jobs hold (`weigh`, when given), so memory does
// not grow with the number of jobs or the length of their names, and a run that stops leaves
// little work behind.
//
// `produce` gives the jobs to its sink, which is false once the run has stopped; it runs on a
// thread of its own. The calling thread hands results to `emit` and, after each batch, calls
// `afterBatch`; false from either stops the run: nothing new is started, and run() is false. An
// exception from `compute` stops the run too and is rethrown here. When threads cannot be
// started the run goes on with fewer (the calling thread always works); without a thread for
// the producer, the calling thread does each job as it comes.
template <typename Job, typename Result>
class OrderedPipeline {
 public:
  using Sink = std::function<bool(Job&&)>;
  using Produce = std::function<void(const Sink& sink)>;
  using Compute = std::function<Result(Job& job)>;
  using Emit = std::function<bool(Job& job, Result& result)>;
  using AfterBatch = std::function<bool()>;
  // What a job holds while it waits (the bytes of its names, say), so that batches of heavy jobs
  // stay small.
  using Weigh = std::function<std::size_t(const Job& job)>;

  // A batch is large enough that handing it over costs little beside its work, and the window
  // small enough that a run stopped by a failed write leaves little work done for nothing.
  static constexpr std::size_t kLargestBatch = 512;
  static constexpr std::size_t kHeaviestBatch = 256 << 10;

  static bool run(std::size_t threads, const Produce& produce, const Compute& compute, const Emit& emit,
                  const AfterBatch& afterBatch = nullptr, const Weigh& weigh = nullptr) {
    OrderedPipeline pipeline(std::max<std::size_t>(threads, 1), compute, weigh);
    return pipeline.go(produce, emit, afterBatch);
  }

 private:
  struct Batch {
    std::vector<Job> jobs;
    std::vector<std::optional<Result>> results;
    std::atomic<std::size_t> next{0};  // the next job to claim
    std::atomic<std::size_t> done{0};
  };

  OrderedPipeline(std::size_t threads, const Compute& compute, const Weigh& weigh)
      : compute_(compute), weigh_(weigh), threads_(threads), window_(threads + 2) {}

  ~OrderedPipeline() {
    stop();
    if (producer_.joinable()) producer_.join();
    for (auto& worker : workers_) worker.join();
  }

  bool go(const Produce& produce, const Emit& emit, const AfterBatch& afterBatch) {
    try {
      producer_ = std::thread([this, &produce] { produceAll(produce); });
    } catch (const std::system_error&) {
      return inOneThread(produce, emit, afterBatch);
    }
    for (std::size_t i = 1; i < threads_; ++i) {
      try {
        workers_.emplace_back([this] { work(); });
      } catch (const std::system_error&) {
        break;  // fewer threads do it all; the calling thread always works
      }
    }
    const bool completed = drain(emit, afterBatch);
    stop();
    if (producer_.joinable()) producer_.join();
    for (auto& worker : workers_) worker.join();
    workers_.clear();
    if (failure_) std::rethrow_exception(failure_);
    return completed;
  }

  // Without a thread for the producer, each job is done and handed back as it comes, so that
  // an endless stream of jobs is still answered as it goes, in bounded memory.
  bool inOneThread(const Produce& produce, const Emit& emit, const AfterBatch& afterBatch) {
    bool going = true;
    std::size_t inBatch = 0;
    produce([&](Job&& job) {
      Result result = compute_(job);
      going = emit(job, result) && (++inBatch % kLargestBatch != 0 || !afterBatch || afterBatch());
      return going;
    });
    return going && (!afterBatch || afterBatch());
  }

  void stop() {
    {
      std::lock_guard lock(mutex_);
      stopped_ = true;
    }
    changed_.notify_all();
  }

  void fail(std::exception_ptr failure) {
    {
      std::lock_guard lock(mutex_);
      if (!failure_) failure_ = failure;
    }
    stop();
  }

  void produceAll(const Produce& produce) {
    std::shared_ptr<Batch> filling;
    std::size_t limit = 1, weight = 0;
    const auto handOver = [&] {
      auto batch = std::move(filling);
      weight = 0;
      batch->results.resize(batch->jobs.size());
      limit = std::min(limit * 2, kLargestBatch);
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return stopped_ || ordered_.size() < window_; });
      if (stopped_) return false;
      open_.push_back(batch);
      ordered_.push_back(std::move(batch));
      unanswered_.fetch_add(1, std::memory_order_release);
      changed_.notify_all();
      return true;
    };
    try {
      produce([&](Job&& job) {
        if (stopped_.load(std::memory_order_relaxed)) return false;
        if (!filling) filling = std::make_shared<Batch>();
        if (weigh_) weight += weigh_(job);
        filling->jobs.push_back(std::move(job));
        // A batch goes when full, or at once when nothing is under way: jobs that come slowly
        // (a list on a slow pipe) are answered as they come, not when a batch has filled.
        const bool idle = unanswered_.load(std::memory_order_acquire) == 0;
        return (filling->jobs.size() < limit && weight < kHeaviestBatch && !idle) || handOver();
      });
      if (filling && !filling->jobs.empty()) handOver();
    } catch (...) {
      fail(std::current_exception());
    }
    {
      std::lock_guard lock(mutex_);
      produced_ = true;
    }
    changed_.notify_all();
  }

  // Claims and computes one job of `batch`; false when none was left to claim.
  bool workOnOne(Batch& batch) {
    const std::size_t size = batch.jobs.size();
    const std::size_t i = batch.next.fetch_add(1);
    if (i >= size) return false;
    try {
      batch.results[i].emplace(compute_(batch.jobs[i]));
    } catch (...) {
      fail(std::current_exception());
    }
    if (batch.done.fetch_add(1, std::memory_order_acq_rel) + 1 == size) {
      std::lock_guard lock(mutex_);
      changed_.notify_all();
    }
    return true;
  }

  // Claims and computes the jobs of `batch` until none is left unclaimed.
  void workOn(Batch& batch) {
    while (!stopped_.load(std::memory_order_relaxed) && workOnOne(batch)) {
    }
  }

  // The oldest batch with jobs left to claim, if any (the lock held).
  std::shared_ptr<Batch> nextOpen(std::unique_lock<std::mutex>&) {
    while (!open_.empty() && open_.front()->next.load() >= open_.front()->jobs.size()) open_.pop_front();
    return open_.empty() ? nullptr : open_.front();
  }

  void work() {
    for (;;) {
      std::shared_ptr<Batch> batch;
      {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return stopped_ || produced_ || nextOpen(lock) != nullptr; });
        batch = nextOpen(lock);
        if (stopped_ || (!batch && produced_)) return;
      }
      if (batch) workOn(*batch);
    }
  }

  // The calling thread: works like the others, a job at a time, while the oldest batch is under
  // way, then hands its results back, in order.
  bool drain(const Emit& emit, const AfterBatch& afterBatch) {
    std::shared_ptr<Batch> help;  // the batch it takes jobs from, without a lock while it has some
    for (;;) {
      std::shared_ptr<Batch> front;
      {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return stopped_ || !ordered_.empty() || produced_; });
        if (stopped_) return false;
        if (ordered_.empty()) return true;
        front = ordered_.front();
      }
      while (front->done.load(std::memory_order_acquire) != front->jobs.size()) {
        if (stopped_.load(std::memory_order_relaxed)) return false;
        if (help && workOnOne(*help)) continue;
        std::unique_lock lock(mutex_);
        help = nextOpen(lock);
        if (!help && front->done.load(std::memory_order_acquire) != front->jobs.size() && !stopped_)
          changed_.wait(lock);
      }
      for (std::size_t i = 0; i < front->jobs.size(); ++i) {
        // No result: its computation failed, and the run is stopping with that failure.
        if (!front->results[i] || !emit(front->jobs[i], *front->results[i])) return false;
      }
      if (afterBatch && !afterBatch()) return false;
      {
        std::lock_guard lock(mutex_);
        ordered_.pop_front();  // its memory goes with the last reference
        unanswered_.fetch_sub(1, std::memory_order_release);
      }
      changed_.notify_all();  // room for the producer
    }
  }

  const Compute& compute_;
  const Weigh& weigh_;
  const std::size_t threads_;
  const std::size_t window_;  // batches produced and not yet handed back, at most
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::shared_ptr<Batch>> open_;     // with jobs left to claim
  std::deque<std::shared_ptr<Batch>> ordered_;  // not yet handed back, in order
  bool produced_ = false;
  std::atomic<std::size_t> unanswered_{0};  // batches handed over and not yet handed back
  std::atomic<bool> stopped_{false};
  std::exception_ptr failure_;
  std::thread producer_;
  std::vector<std::thread> workers_;
};

}  // namespace corvane::tool
