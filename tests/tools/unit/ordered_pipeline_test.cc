#include "run/ordered_pipeline.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

namespace corvane::tool {
namespace {

using Pipeline = OrderedPipeline<int, int>;

// Jobs that finish out of order (early ones slowest) come back in order, each computed once,
// on any number of threads; a run with nothing to do ends at once.
TEST(OrderedPipeline, HandsEveryResultBackOnceAndInOrder) {
  for (const std::size_t threads : {1u, 2u, 7u}) {
    for (const int jobs : {0, 1, 5, 300}) {
      std::vector<std::atomic<int>> computed(static_cast<std::size_t>(jobs));
      std::vector<int> emitted;
      std::size_t batches = 0;
      const bool completed = Pipeline::run(
          threads,
          [&](const Pipeline::Sink& sink) {
            for (int i = 0; i < jobs && sink(int{i}); ++i) {
            }
          },
          [&](int& job) {
            ++computed[static_cast<std::size_t>(job)];
            std::this_thread::sleep_for(std::chrono::microseconds(job % 16 == 0 ? 2000 : 50 * (16 - job % 16)));
            return job * 3;
          },
          [&](int& job, int& result) {
            EXPECT_EQ(result, job * 3);
            emitted.push_back(job);
            return true;
          },
          [&] { return ++batches, true; });
      EXPECT_TRUE(completed) << threads << " threads, " << jobs << " jobs";
      ASSERT_EQ(emitted.size(), static_cast<std::size_t>(jobs));
      for (int i = 0; i < jobs; ++i) {
        EXPECT_EQ(emitted[static_cast<std::size_t>(i)], i);
        EXPECT_EQ(computed[static_cast<std::size_t>(i)].load(), 1) << "job " << i;
      }
      if (jobs == 0) {
        EXPECT_EQ(batches, 0u);
      }
    }
  }
}

// A failing job, or an emit that refuses, stops the run: nothing after it is handed back, the
// producer is told to stop (so an endless one ends), and a failure is rethrown on the caller.
TEST(OrderedPipeline, StopsAtAFailingJobOrARefusedResult) {
  for (const std::size_t threads : {1u, 4u}) {
    for (const bool throwing : {true, false}) {
      std::vector<int> emitted;
      std::atomic<int> produced{0};
      const auto run = [&] {
        return Pipeline::run(
            threads,
            [&](const Pipeline::Sink& sink) {
              for (int i = 0; sink(int{i}); ++i) ++produced;  // endless until told to stop
            },
            [&](int& job) {
              if (throwing && job == 40) throw std::runtime_error("job 40");
              return job;
            },
            [&](int& job, int&) {
              emitted.push_back(job);
              return throwing || job < 40;
            });
      };
      if (throwing) {
        EXPECT_THROW(run(), std::runtime_error);
      } else {
        EXPECT_FALSE(run());
      }
      const std::size_t last = throwing ? 39 : 40;
      ASSERT_LE(emitted.size(), last + 1);
      for (std::size_t i = 0; i < emitted.size(); ++i) EXPECT_EQ(emitted[i], static_cast<int>(i));
      if (!throwing) {
        EXPECT_EQ(emitted.size(), last + 1);
      }
      // At most the window's batches and the one filling: not endless.
      EXPECT_LT(static_cast<std::size_t>(produced.load()), (threads + 3) * Pipeline::kLargestBatch)
          << "the producer went on after the run stopped";
    }
  }
}

}  // namespace
}  // namespace corvane::tool
