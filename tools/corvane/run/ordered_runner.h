#pragma once

#include <cstddef>
#include <functional>

#include "run/ordered_pipeline.h"

namespace corvane::tool {

// Computes `count` items on up to `threads` threads and hands each result to `emit` on the
// calling thread, in item order (see OrderedPipeline). When `emit` returns false no further
// item is started and runInOrder is false; an exception from `compute` ends the run the same
// way and is rethrown here.
template <typename Result>
bool runInOrder(std::size_t count, std::size_t threads, const std::function<Result(std::size_t)>& compute,
                const std::function<bool(std::size_t, Result&)>& emit) {
  return OrderedPipeline<std::size_t, Result>::run(
      threads,
      [count](const auto& sink) {
        for (std::size_t i = 0; i < count && sink(std::size_t{i});) ++i;
      },
      [&compute](std::size_t& i) { return compute(i); },
      [&emit](std::size_t& i, Result& result) { return emit(i, result); });
}

}  // namespace corvane::tool
