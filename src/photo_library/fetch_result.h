#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace corvane::photo_library {

// The ordered result of a fetch.
template <typename T>
class FetchResult {
 public:
  using Block = std::function<void(const T& object, std::int64_t index, bool* stop)>;

  FetchResult() = default;
  explicit FetchResult(std::vector<std::shared_ptr<const T>> objects) : objects_(std::move(objects)) {}

  std::int64_t count() const { return static_cast<std::int64_t>(objects_.size()); }
  // The object at `index`, or none when the index is out of range.
  std::shared_ptr<const T> objectAtIndexedSubscript(std::int64_t index) const {
    if (index < 0 || index >= count()) return nullptr;
    return objects_[static_cast<std::size_t>(index)];
  }
  std::shared_ptr<const T> firstObject() const { return objectAtIndexedSubscript(0); }
  // Runs the block for each object in order, on this thread, until it sets *stop.
  void enumerateObjectsUsingBlock(const Block& block) const {
    bool stop = false;
    for (std::size_t i = 0; i < objects_.size() && !stop; ++i) block(*objects_[i], static_cast<std::int64_t>(i), &stop);
  }

 private:
  std::vector<std::shared_ptr<const T>> objects_;
};

}  // namespace corvane::photo_library
