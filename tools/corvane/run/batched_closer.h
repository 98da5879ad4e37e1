#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/descriptor_closer.h"

namespace corvane::tool {

class CloseRing;

// Closes the descriptors of files done with in batches, one system call for each batch (an
// io_uring of the thread that fills it), not one each: a run over many small files spends a
// fifth of its calls closing them. At most `batch` descriptors wait at once, whichever threads
// gave them, and the closer holds at most kMostRings of its own (its rings); a batch of 0, a build
// under the thread sanitizer (which sees closes only through close(2)), or a
// system without io_uring, closes each at once. Safe to use from any thread; what still waits is
// closed when the closer goes.
class BatchedCloser final : public platform::DescriptorCloser {
 public:
  // Batches come one per `batch` files: rarely two at once.
  static constexpr std::size_t kMostRings = 2;

  explicit BatchedCloser(std::size_t batch);
  ~BatchedCloser() override;
  BatchedCloser(const BatchedCloser&) = delete;
  BatchedCloser& operator=(const BatchedCloser&) = delete;

  void close(platform::UniqueFd fd) noexcept override;
  // Closes every descriptor that waits.
  void flush() noexcept;

 private:
  void closeAll(std::vector<int> fds) noexcept;

  const std::size_t batch_;
  std::mutex mutex_;
  std::vector<int> waiting_;
  std::vector<std::unique_ptr<CloseRing>> idle_;  // rings no thread is closing through
  std::size_t rings_ = 0;                         // made and not gone
  bool ringsFail_ = false;                        // io_uring refused once: close each by itself
};

}  // namespace corvane::tool
