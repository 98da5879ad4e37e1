#include "run/batched_closer.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "platform/file_system.h"
#include "support/temp_dir.h"

namespace corvane::tool {
namespace {

std::size_t openDescriptors() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
  return count - 1;  // the listing's own
}

// Files opened from many threads and dropped are each closed once: never more waiting than a
// batch (beside the closer's rings), none left once the closer goes, and none closed again after its number was reused
// (a descriptor opened once the closer has flushed stays open). Each read gives the file's own
// bytes.
TEST(BatchedCloser, ClosesEveryDescriptorOnceAndHoldsAtMostABatch) {
  const testing::TempDir dir;
  const auto path = dir.write("f", "content");
  for (const std::size_t batch : {0u, 1u, 8u, 64u}) {
    for (const int threads : {1, 4}) {
      SCOPED_TRACE(::testing::Message() << "batch " << batch << ", " << threads << " threads");
      const std::size_t before = openDescriptors();
      {
        const auto closer = std::make_shared<BatchedCloser>(batch);
        const auto files = platform::posixFileSystem(closer);
        std::vector<std::thread> workers;
        for (int t = 0; t < threads; ++t) {
          workers.emplace_back([&] {
            for (int i = 0; i < 300; ++i) {
              auto file = files->openFile(nullptr, path, platform::Resolve::kFollow);
              ASSERT_TRUE(file.has_value());
              std::array<std::uint8_t, 16> bytes{};
              const auto count = (*file)->readSome(0, bytes);
              ASSERT_TRUE(count.has_value());
              ASSERT_EQ(std::string(bytes.begin(), bytes.begin() + *count), "content");
            }
          });
        }
        for (auto& worker : workers) worker.join();
        const std::size_t rings = batch == 0 ? 0 : BatchedCloser::kMostRings;
        EXPECT_LE(openDescriptors(), before + batch + rings);

        closer->flush();
        const platform::UniqueFd reused(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        ASSERT_TRUE(reused);
        EXPECT_LE(openDescriptors(), before + 1 + rings);
        for (int i = 0; i < 5; ++i) EXPECT_TRUE(files->openFile(nullptr, path, platform::Resolve::kFollow));
        closer->flush();
        EXPECT_NE(::fcntl(reused.get(), F_GETFD), -1);
        for (int i = 0; i < 5; ++i) EXPECT_TRUE(files->openFile(nullptr, path, platform::Resolve::kFollow));
      }
      EXPECT_EQ(openDescriptors(), before);
    }
  }
}

}  // namespace
}  // namespace corvane::tool
