#include <gtest/gtest.h>

#include "faults/file_faults.h"
#include "support/channel_harness.h"
#include "support/temp_dir.h"

namespace corvane::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes sizeBytes(std::uint64_t size) {
  Bytes bytes;
  for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<std::uint8_t>(size >> (8 * i)));
  return bytes;
}

// Size bytes, then the given pieces of `content` (offset, length), each cut at the content's end.
std::string fingerprintOver(std::uint64_t size, const Bytes& content,
                            const std::vector<std::pair<std::size_t, std::size_t>>& pieces) {
  Bytes fed = sizeBytes(size);
  for (const auto& [offset, length] : pieces) {
    if (offset >= content.size()) continue;
    const auto end = std::min(content.size(), offset + length);
    fed.insert(fed.end(), content.begin() + static_cast<std::ptrdiff_t>(offset), content.begin() + static_cast<std::ptrdiff_t>(end));
  }
  return referenceSha256(fed);
}

struct FaultCase {
  const char* what;
  const char* method;
  std::size_t size;
  FaultPlan plan;
  host::MethodReply answer;
  std::vector<std::string> lines;  // "PATH" stands for the file's path
};

class FaultInjection : public ::testing::Test {
 protected:
  void TearDown() override { clearFaultPlan(); }
  TempDir dir;
};

TEST_F(FaultInjection, EveryFaultTakesItsRoad) {
  const auto content = [](std::size_t size) { return patternBytes(size, static_cast<std::uint32_t>(size)); };
  const auto big = content(10'000'000), small = content(50'000), piecewise = content(3 << 20);
  const std::vector<std::pair<std::size_t, std::size_t>> samples = {
      {0, 16384}, {2'500'000, 16384}, {5'000'000, 16384}, {7'500'000, 16384}, {9'983'616, 16384}};
  const auto plan = [](auto configure) {
    FaultPlan p;
    p.marker = "/faulty";
    configure(p);
    return p;
  };
  const std::vector<FaultCase> cases = {
      {"hash: a read fails part-way", "hashFile", piecewise.size(), plan([](auto& p) { p.failReadsFrom = 1'500'000; }),
       nil(), {"Error: Input/output error"}},
      {"fingerprint: the third sample fails", "fingerprintOfFile", big.size(),
       plan([](auto& p) { p.failReadsFrom = 5'000'000; }), nil(), {"File size: 10000000 bytes", "Error: Input/output error"}},
      {"fingerprint: the whole-file read fails", "fingerprintOfFile", small.size(),
       plan([](auto& p) { p.failReadsFrom = 0; }), nil(), {"File size: 50000 bytes", "Error: Input/output error"}},
      {"fingerprint: no permission to open", "fingerprintOfFile", small.size(),
       plan([](auto& p) { p.openError = EACCES; }), nil(), {"File size: 50000 bytes"}},
      {"hash: no permission to open", "hashFile", small.size(), plan([](auto& p) { p.openError = EACCES; }), nil(),
       {"path\xE9\x94\x99\xE8\xAF\xAF, PATH"}},
      {"hash: short reads", "hashFile", piecewise.size(), plan([](auto& p) { p.shortReadLimit = 1000; }),
       text(referenceSha256(piecewise)), {}},
      {"fingerprint: short reads", "fingerprintOfFile", big.size(), plan([](auto& p) { p.shortReadLimit = 1000; }),
       text(fingerprintOver(big.size(), big, samples)), {"File size: 10000000 bytes"}},
      {"fingerprint: the file shrinks after its size was taken", "fingerprintOfFile", big.size(),
       plan([](auto& p) { p.truncateOnOpen = 6'000'000; }),
       text(fingerprintOver(big.size(), Bytes(big.begin(), big.begin() + 6'000'000), samples)),
       {"File size: 10000000 bytes"}},
      {"fingerprint: a small file shrinks", "fingerprintOfFile", small.size(),
       plan([](auto& p) { p.truncateOnOpen = 30'000; }),
       text(fingerprintOver(small.size(), Bytes(small.begin(), small.begin() + 30'000), {{0, 50'000}})),
       {"File size: 50000 bytes"}},
      {"fingerprint: the file grows after its size was taken", "fingerprintOfFile", big.size(),
       plan([](auto& p) { p.growOnOpen = 1'000'000; }), text(fingerprintOver(big.size(), big, samples)),
       {"File size: 10000000 bytes"}},
      {"fingerprint: a small file grows", "fingerprintOfFile", small.size(), plan([](auto& p) { p.growOnOpen = 100; }),
       text(fingerprintOver(small.size(), small, {{0, 50'000}})), {"File size: 50000 bytes"}},
  };
  ChannelHarness harness;
  for (const auto& c : cases) {
    const auto path = dir.write("faulty", c.size == big.size() ? big : c.size == small.size() ? small : piecewise);
    harness.console->clear();
    setFaultPlan(c.plan);
    auto replies = harness.send(c.method, host::Value(path));
    EXPECT_EQ(replies->waitFirst(), c.answer) << c.what;
    clearFaultPlan();
    EXPECT_EQ(replies->count(), 1u) << c.what;
    auto expected = c.lines;
    for (auto& line : expected) {
      if (const auto at = line.find("PATH"); at != std::string::npos) line.replace(at, 4, path);
    }
    EXPECT_EQ(harness.console->lines(), expected) << c.what;
  }
}

TEST_F(FaultInjection, NoDescriptorLeaksAfterAHundredThousandFailingCalls) {
  const auto smallPath = dir.write("faulty-small", patternBytes(4096));
  const auto bigPath = dir.write("faulty-big", patternBytes(200'000));
  ChannelHarness harness;
  harness.engine->sendAndWait("corvane", {});  // let everything lazily opened open now
  const std::size_t before = openDescriptorCount();
  std::size_t answered = 0;
  for (int i = 0; i < 100'000; ++i) {
    FaultPlan plan;
    plan.marker = "/faulty";
    switch (i % 4) {
      case 0: plan.openError = EACCES; break;
      case 1: plan.failReadsFrom = 0; break;
      case 2: plan.failReadsFrom = 100'000; break;  // the third sample of the big file
      default: plan.openError = EMFILE; break;
    }
    setFaultPlan(plan);
    const bool fingerprint = i % 2 == 0;
    const auto reply = harness.call(fingerprint ? "fingerprintOfFile" : "hashFile",
                                    host::Value(i % 4 == 2 ? bigPath : smallPath));
    answered += reply == nil();
    if (i % 1000 == 0) harness.console->clear();
  }
  clearFaultPlan();
  EXPECT_EQ(answered, 100'000u);
  EXPECT_EQ(openDescriptorCount(), before);
  EXPECT_EQ(harness.engine->answerFaults(), 0u);
}

}  // namespace
}  // namespace corvane::testing
