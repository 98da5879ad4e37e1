#include "dupes/byte_compare.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "support/faulty_file_system.h"
#include "support/temp_dir.h"

namespace corvane::tool {
namespace {

using testing::FaultPlan;
using testing::FaultyFileSystem;
using testing::patternBytes;
using testing::TempDir;

constexpr std::size_t kChunk = 16 << 10;
constexpr std::size_t kSize = 5 * kChunk + 123;  // the last chunk a short one

// Compares the files as the finder does: each opened, with the status it had when first seen.
Comparison compare(FaultyFileSystem& files, const std::vector<std::string>& paths) {
  std::vector<ComparedFile> opened;
  for (const auto& path : paths) {
    const auto status = files.statusOf(nullptr, path, platform::Resolve::kFollow);
    opened.push_back({files.openFile(nullptr, path, platform::Resolve::kFollow), *status});
  }
  return compareInStep(opened, kChunk, nullptr);
}

enum class Fault { kNone, kShrinks, kGrows, kTouched, kReadFails };

FaultPlan planFor(Fault fault) {
  FaultPlan plan;
  plan.marker = "faulty";
  if (fault == Fault::kShrinks) plan.truncateTo = 3 * kChunk;
  if (fault == Fault::kGrows) plan.growBy = 10;
  if (fault == Fault::kTouched) plan.touchAfterStatus = true;
  if (fault == Fault::kReadFails) plan.failReadsFrom = 2 * kChunk;
  return plan;
}

TEST(CompareInStep, TellsEveryDifferenceAndEveryChange) {
  const auto base = patternBytes(kSize, 7);
  const auto flipped = [&](std::size_t at) {
    auto bytes = base;
    bytes[at] ^= 0x01;
    return bytes;
  };
  struct Case {
    const char* what;
    std::vector<std::vector<std::uint8_t>> contents;
    Fault fault;  // of the second file (of both, with two files)
    std::vector<std::vector<std::size_t>> classes;
    std::vector<std::size_t> changed;  // left out as changed
    std::uint64_t bytesRead;
  };
  const std::vector<Case> cases = {
      {"all the same", {base, base, base}, Fault::kNone, {{0, 1, 2}}, {}, 3 * kSize},
      {"the last byte differs", {base, flipped(kSize - 1), base}, Fault::kNone, {{0, 2}}, {}, 3 * kSize},
      {"a byte in a middle chunk",
       {flipped(2 * kChunk + 5), base, base},
       Fault::kNone,
       {{1, 2}},
       {},
       2 * kSize + 3 * kChunk},
      {"the first byte, two pairs", {base, flipped(0), base, flipped(0)}, {}, {{0, 2}, {1, 3}}, {}, 4 * kSize},
      // Each stops being read once it is alone: after the first chunk.
      {"all different", {base, flipped(1), flipped(2)}, Fault::kNone, {}, {}, 3 * kChunk},
      {"one shrinks while compared", {base, base, base}, Fault::kShrinks, {{0, 2}}, {1}, 2 * kSize + 3 * kChunk},
      {"one grows while compared", {base, base, base}, Fault::kGrows, {{0, 2}}, {1}, 3 * kSize},
      {"both have their times moved", {base, base}, Fault::kTouched, {}, {0, 1}, 2 * kSize},
      {"one fails to read", {base, base, base}, Fault::kReadFails, {{0, 2}}, {}, 2 * kSize + 2 * kChunk},
  };
  {
    FaultyFileSystem files;
    const auto none = compare(files, {});  // nothing to compare: nothing found, nothing read
    EXPECT_TRUE(none.classes.empty() && none.troubles.empty() && none.bytesRead == 0);
  }
  for (const auto& c : cases) {
    TempDir dir;
    FaultyFileSystem files;
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < c.contents.size(); ++i) {
      const bool faulty = i == 1 || c.contents.size() == 2;
      paths.push_back(dir.write((faulty ? "faulty" : "file") + std::to_string(i), c.contents[i]));
    }
    files.setPlan(planFor(c.fault));
    const auto result = compare(files, paths);
    EXPECT_EQ(result.classes, c.classes) << c.what;
    std::vector<std::size_t> changed, failed;
    for (const auto& trouble : result.troubles) (trouble.changed ? changed : failed).push_back(trouble.index);
    EXPECT_EQ(changed, c.changed) << c.what;
    EXPECT_EQ(failed.size(), c.fault == Fault::kReadFails ? 1u : 0u) << c.what;
    EXPECT_EQ(result.bytesRead, c.bytesRead) << c.what;
  }
}

}  // namespace
}  // namespace corvane::tool
