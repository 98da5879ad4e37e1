#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace corvane::tool {

// Computes `count` items on `threads` threads and hands each result to `emit` on the calling
// thread, in item order, as soon as it and every item before it are done.
template <typename Result>
void runInOrder(std::size_t count, std::size_t threads, const std::function<Result(std::size_t)>& compute,
                const std::function<void(std::size_t, Result&)>& emit) {
  std::vector<std::optional<Result>> results(count);
  std::atomic<std::size_t> next{0};
  std::mutex mutex;
  std::condition_variable ready;

  const auto work = [&] {
    for (std::size_t i; (i = next.fetch_add(1)) < count;) {
      auto result = compute(i);
      std::lock_guard lock(mutex);
      results[i] = std::move(result);
      ready.notify_all();
    }
  };
  std::vector<std::thread> workers;
  for (std::size_t t = 0; t < std::min(threads, count); ++t) workers.emplace_back(work);

  for (std::size_t i = 0; i < count; ++i) {
    std::optional<Result> result;
    {
      std::unique_lock lock(mutex);
      ready.wait(lock, [&] { return results[i].has_value(); });
      result = std::move(results[i]);
      results[i].reset();
    }
    emit(i, *result);
  }
  for (auto& worker : workers) worker.join();
}

}  // namespace corvane::tool
