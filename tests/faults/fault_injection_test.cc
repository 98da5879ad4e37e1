#include <gtest/gtest.h>

#include "support/channel_harness.h"
#include "support/faulty_file_system.h"
#include "support/temp_dir.h"

namespace corvane::testing {
namespace {

struct FaultCase {
  const char* what;
  const char* method;
  std::size_t size;
  FaultPlan plan;
  bool answersDigest;              // the digest of the file as written, else nil
  std::vector<std::string> lines;  // "PATH" stands for the file's path
  int reason = 0;                  // errno the observer is told, when the call fails on one
};

const std::string kChanged = "Error: File changed while it was read";

// The plan's faults, for the files named "faulty...".
FaultPlan onFaulty(FaultPlan plan) {
  plan.marker = "/faulty";
  return plan;
}

TEST(FaultInjection, EveryFaultTakesItsRoadAndNeverGivesADigestOfAnotherVersion) {
  TempDir dir;
  const auto faulty = std::make_shared<FaultyFileSystem>();
  ChannelHarness harness(nullptr, "17.4", faulty);
  ChannelHarness plain;
  const std::size_t big = 10'000'000, small = 50'000, piecewise = 3 << 20;
  const auto sizeLine = [](std::size_t size) { return "File size: " + std::to_string(size) + " bytes"; };
  const std::vector<FaultCase> cases = {
      {"hash: a read fails part-way",
       "hashFile",
       piecewise,
       onFaulty({.failReadsFrom = 1'500'000}),
       false,
       {"Error: Input/output error"},
       EIO},
      {"fingerprint: the third sample fails",
       "fingerprintOfFile",
       big,
       onFaulty({.failReadsFrom = 5'000'000}),
       false,
       {sizeLine(big), "Error: Input/output error"},
       EIO},
      {"fingerprint: the whole-file read fails",
       "fingerprintOfFile",
       small,
       onFaulty({.failReadsFrom = 0}),
       false,
       {sizeLine(small), "Error: Input/output error"},
       EIO},
      {"fingerprint: no permission to open",
       "fingerprintOfFile",
       small,
       onFaulty({.openError = EACCES}),
       false,
       {sizeLine(small)},
       EACCES},
      {"fingerprint: no descriptor left",
       "fingerprintOfFile",
       big,
       onFaulty({.openError = EMFILE}),
       false,
       {sizeLine(big)},
       EMFILE},
      {"hash: no permission to open",
       "hashFile",
       small,
       onFaulty({.openError = EACCES}),
       false,
       {"path\xE9\x94\x99\xE8\xAF\xAF, PATH"},
       EACCES},
      {"hash: short reads", "hashFile", piecewise, onFaulty({.shortReadLimit = 1000}), true, {}},
      // A read that comes short at the stated size ends the file, unless that size is of whole
      // pages, which a pseudo-file states whatever it holds and hands over a page at a time.
      {"hash: a pseudo-file that holds more than the page it states",
       "hashFile",
       small,
       onFaulty({.shortReadLimit = 4096, .statedSize = 8192}),
       true,
       {}},
      {"fingerprint: a pseudo-file that holds more than the page it states",
       "fingerprintOfFile",
       small,
       onFaulty({.shortReadLimit = 4096, .statedSize = 4096}),
       false,
       {sizeLine(4096), "Error: Size not known before reading (a pseudo-file)"}},
      {"fingerprint: short reads", "fingerprintOfFile", big, onFaulty({.shortReadLimit = 1000}), true, {sizeLine(big)}},
      {"fingerprint: shrinks after its size was taken",
       "fingerprintOfFile",
       big,
       onFaulty({.truncateTo = 6'000'000}),
       false,
       {sizeLine(big), kChanged}},
      {"fingerprint: a small file shrinks",
       "fingerprintOfFile",
       small,
       onFaulty({.truncateTo = 30'000}),
       false,
       {sizeLine(small), kChanged}},
      {"fingerprint: grows after its size was taken",
       "fingerprintOfFile",
       big,
       onFaulty({.growBy = 1000}),
       false,
       {sizeLine(big), kChanged}},
      {"fingerprint: a small file grows",
       "fingerprintOfFile",
       small,
       onFaulty({.growBy = 100}),
       false,
       {sizeLine(small), kChanged}},
      {"fingerprint: rewritten in place, size kept",
       "fingerprintOfFile",
       big,
       onFaulty({.touchAfterStatus = true}),
       false,
       {sizeLine(big), kChanged}},
      {"hash: shrinks while read", "hashFile", piecewise, onFaulty({.truncateTo = 1'000'000}), false, {kChanged}},
      {"hash: grows while read", "hashFile", piecewise, onFaulty({.growBy = 1}), false, {kChanged}},
      {"hash: rewritten in place, size kept",
       "hashFile",
       small,
       onFaulty({.touchAfterStatus = true}),
       false,
       {kChanged}},
      {"hash: a write in flight that no time stamp shows",
       "hashFile",
       piecewise,
       onFaulty({.tornFirstRead = true}),
       false,
       {kChanged}},
      {"fingerprint: a write in flight that no time stamp shows",
       "fingerprintOfFile",
       big,
       onFaulty({.tornFirstRead = true}),
       false,
       {sizeLine(big), kChanged}},
  };
  for (const auto& c : cases) {
    const auto path = dir.write("faulty", patternBytes(c.size, static_cast<std::uint32_t>(c.size)));
    const auto expected = c.answersDigest ? plain.call(c.method, host::Value(path)) : nil();
    harness.console->clear();
    const auto reasonsBefore = harness.observer->errors().size();
    faulty->setPlan(c.plan);
    auto replies = harness.send(c.method, host::Value(path));
    EXPECT_EQ(replies->waitFirst(), expected) << c.what;
    faulty->setPlan({});
    EXPECT_EQ(replies->count(), 1u) << c.what;
    auto lines = c.lines;
    for (auto& line : lines) {
      if (const auto at = line.find("PATH"); at != std::string::npos) line.replace(at, 4, path);
    }
    EXPECT_EQ(harness.console->lines(), lines) << c.what;
    // Whoever explains the failure gets its reason without looking at the file again.
    const auto reasons = harness.observer->errors();
    ASSERT_EQ(reasons.size(), reasonsBefore + (c.answersDigest ? 0 : 1)) << c.what;
    if (c.reason != 0) {
      EXPECT_EQ(reasons.back().code, c.reason) << c.what;
    }
  }
}

TEST(FaultInjection, NoDescriptorLeaksAfterAHundredThousandFailingCalls) {
  TempDir dir;
  const auto smallPath = dir.write("faulty-small", patternBytes(4096));
  const auto bigPath = dir.write("faulty-big", patternBytes(200'000));
  const auto faulty = std::make_shared<FaultyFileSystem>();
  ChannelHarness harness(nullptr, "17.4", faulty);
  harness.engine->sendAndWait("corvane", {});  // let everything lazily opened open now
  const auto descriptors = [] {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), std::filesystem::directory_iterator());
  };
  const auto before = descriptors();
  const FaultPlan plans[] = {{.openError = EACCES},
                             {.failReadsFrom = 0},
                             {.failReadsFrom = 100'000},  // the third sample of the big file
                             {.touchAfterStatus = true}};
  std::size_t answered = 0;
  for (int i = 0; i < 100'000; ++i) {
    faulty->setPlan(onFaulty(plans[i % 4]));
    const auto reply =
        harness.call(i % 2 == 0 ? "fingerprintOfFile" : "hashFile", host::Value(i % 4 == 2 ? bigPath : smallPath));
    answered += reply == nil();
    if (i % 1000 == 0) harness.console->clear();
  }
  EXPECT_EQ(answered, 100'000u);
  EXPECT_EQ(descriptors(), before);
  EXPECT_EQ(harness.engine->answerFaults(), 0u);
}

}  // namespace
}  // namespace corvane::testing
