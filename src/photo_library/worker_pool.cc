#include "photo_library/worker_pool.h"

#include <system_error>

namespace corvane::photo_library {

WorkerPool::WorkerPool(std::size_t threads) : shared_(std::make_shared<Shared>()) {
  for (std::size_t i = 0; i < threads; ++i) {
    try {
      threads_.emplace_back([shared = shared_] { work(shared); });
    } catch (const std::system_error&) {
      break;  // the system has no more threads to give: fewer do the work, or the callers
    }
  }
}

WorkerPool::~WorkerPool() {
  shutdownAndWait();
  for (auto& thread : threads_) {
    if (thread.joinable()) thread.detach();  // the caller's own: it finishes the queue by itself
  }
}

void WorkerPool::shutdownAndWait() {
  shutdown();
  for (auto& thread : threads_) {
    if (thread.joinable() && thread.get_id() != std::this_thread::get_id()) thread.join();
  }
}

void WorkerPool::submit(Task task) {
  bool cancelled = true;
  {
    std::lock_guard lock(shared_->mutex);
    if (!shared_->stopping) {
      if (!threads_.empty()) {
        shared_->queue.push_back(std::move(task));
        shared_->wake.notify_one();
        return;
      }
      cancelled = false;  // no thread could be started: the caller's runs it
    }
  }
  task(cancelled);
}

void WorkerPool::shutdown() {
  std::lock_guard lock(shared_->mutex);
  shared_->stopping = true;
  shared_->wake.notify_all();
}

bool WorkerPool::stopping() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->stopping;
}

void WorkerPool::work(const std::shared_ptr<Shared>& shared) {
  for (;;) {
    Task task;
    bool cancelled = false;
    {
      std::unique_lock lock(shared->mutex);
      shared->wake.wait(lock, [&] { return shared->stopping || !shared->queue.empty(); });
      if (shared->queue.empty()) return;  // stopping, and nothing left to answer
      task = std::move(shared->queue.front());
      shared->queue.pop_front();
      cancelled = shared->stopping;
    }
    task(cancelled);
  }
}

}  // namespace corvane::photo_library
