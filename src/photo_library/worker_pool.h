#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace corvane::photo_library {

// Threads that run queued tasks (as many as the system would start). Every task accepted runs
// exactly once: normally, or with
// `cancelled` set once shutdown has begun, so that whoever waits on it is still answered.
class WorkerPool {
 public:
  using Task = std::function<void(bool cancelled)>;

  explicit WorkerPool(std::size_t threads);
  // Shuts down. Safe to reach from one of the pool's own threads (a task that drops the last
  // reference to the pool's owner): that thread is let go and finishes the queue by itself.
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // Queues a task; after shutdown has begun, runs it at once, cancelled, on this thread. When
  // no thread could be started, every task runs at once on the thread that submits it.
  void submit(Task task);
  // Stops taking work: queued tasks run cancelled, running ones see stopping() turn true.
  void shutdown();
  // Shuts down and waits until every thread but the caller's has run its last task.
  void shutdownAndWait();
  bool stopping() const;

 private:
  struct Shared {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Task> queue;
    bool stopping = false;
  };
  static void work(const std::shared_ptr<Shared>& shared);

  std::shared_ptr<Shared> shared_;
  std::vector<std::thread> threads_;
};

}  // namespace corvane::photo_library
