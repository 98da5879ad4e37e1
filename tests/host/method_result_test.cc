#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "host/method_result.h"

namespace corvane::host {
namespace {

struct Tally {
  std::atomic<int> delivered{0};
  std::atomic<int> reported{0};
  std::vector<std::string> problems;  // written only under single-threaded use
};

FlutterResult counted(Tally& tally, bool keepProblems = true) {
  return FlutterResult([&tally](MethodAnswer) { tally.delivered++; },
                       [&tally, keepProblems](std::string_view problem) {
                         tally.reported++;
                         if (keepProblems) tally.problems.emplace_back(problem);
                       });
}

TEST(FlutterResult, DeliversTheFirstAnswerAndReportsEveryLaterOne) {
  Tally tally;
  {
    const auto result = counted(tally);
    const auto copy = result;
    result(Value("first"));
    copy(Value("second"));
    result(FlutterMethodNotImplemented);
  }
  EXPECT_EQ(tally.delivered, 1);
  EXPECT_EQ(tally.reported, 2);
  EXPECT_EQ(tally.problems.at(0), "a method call was answered more than once");
}

TEST(FlutterResult, AResultDroppedUnansweredIsReportedAndAnsweredNil) {
  Tally tally;
  MethodAnswer seen = Value("unset");
  {
    FlutterResult result([&](MethodAnswer answer) { seen = std::move(answer); },
                         [&](std::string_view problem) { tally.problems.emplace_back(problem); });
    auto copy = result;  // the last copy going is what counts
  }
  EXPECT_EQ(seen, MethodAnswer(Value{}));
  EXPECT_EQ(tally.problems, std::vector<std::string>{"a method call was never answered"});
}

TEST(FlutterResult, ManyThreadsRacingToAnswerDeliverExactlyOnce) {
  for (int round = 0; round < 200; ++round) {
    Tally tally;
    {
      const auto result = counted(tally, false);
      std::vector<std::thread> threads;
      for (int t = 0; t < 4; ++t) threads.emplace_back([result, t] { result(Value(t)); });
      for (auto& thread : threads) thread.join();
    }
    ASSERT_EQ(tally.delivered, 1);
    ASSERT_EQ(tally.reported, 3);
  }
}

}  // namespace
}  // namespace corvane::host
