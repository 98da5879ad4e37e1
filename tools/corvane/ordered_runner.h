#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

namespace corvane::tool {

// Computes `count` items on up to `threads` threads and hands each result to `emit` on the
// calling thread, in item order, as soon as it and every item before it are done. Workers stay
// a few items per thread ahead of `emit` at most, so that results never pile up behind a slow
// reader and a run that stops leaves little work behind.
//
// When `emit` returns false no further item is started, and the run ends once the calls under
// way are back: runInOrder is false then. An exception from `compute` ends the run the same way
// and is rethrown here. When no thread can be started, the calling thread does the work alone.
template <typename Result>
bool runInOrder(std::size_t count, std::size_t threads, const std::function<Result(std::size_t)>& compute,
                const std::function<bool(std::size_t, Result&)>& emit) {
  struct Shared {
    std::vector<std::optional<Result>> results;
    std::atomic<std::size_t> next{0};
    std::mutex mutex;
    std::condition_variable ready, room;
    std::exception_ptr failure;  // the rest under mutex
    std::size_t emitted = 0;
    bool stopped = false;

    void stop() {
      {
        std::lock_guard lock(mutex);
        stopped = true;
      }
      room.notify_all();
    }
  } shared;
  shared.results.resize(count);
  const std::size_t window = 4 * std::max<std::size_t>(threads, 1);

  const auto work = [&] {
    try {
      for (std::size_t i; (i = shared.next.fetch_add(1)) < count;) {
        {
          std::unique_lock lock(shared.mutex);
          shared.room.wait(lock, [&] { return i < shared.emitted + window || shared.stopped; });
          if (shared.stopped) return;
        }
        auto result = compute(i);
        std::lock_guard lock(shared.mutex);
        shared.results[i] = std::move(result);
        shared.ready.notify_all();
      }
    } catch (...) {
      {
        std::lock_guard lock(shared.mutex);
        if (!shared.failure) shared.failure = std::current_exception();
        shared.ready.notify_all();
      }
      shared.stop();
    }
  };

  // Joins the workers however the run ends, after telling them to start nothing new.
  struct Workers {
    Shared& shared;
    std::vector<std::thread> threads;
    ~Workers() {
      shared.stop();
      for (auto& thread : threads) thread.join();
    }
  } workers{shared, {}};
  const std::size_t wanted = std::min(threads, count);
  for (std::size_t t = 0; t < wanted; ++t) {
    try {
      workers.threads.emplace_back(work);
    } catch (const std::system_error&) {
      break;  // out of threads (a low ulimit, say): fewer will do
    }
  }

  if (workers.threads.empty()) {
    for (std::size_t i = 0; i < count; ++i) {
      auto result = compute(i);
      if (!emit(i, result)) return false;
    }
    return true;
  }
  for (std::size_t i = 0; i < count; ++i) {
    std::optional<Result> result;
    {
      std::unique_lock lock(shared.mutex);
      shared.ready.wait(lock, [&] { return shared.results[i].has_value() || shared.failure; });
      if (!shared.results[i]) std::rethrow_exception(shared.failure);
      result = std::move(shared.results[i]);
      shared.results[i].reset();
      shared.emitted = i + 1;
    }
    shared.room.notify_all();
    if (!emit(i, *result)) return false;
  }
  return true;
}

}  // namespace corvane::tool
