#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/console.h"

namespace corvane::testing {

// Keeps every printed line, for comparing byte for byte.
class CapturingConsole final : public platform::Console {
 public:
  void printLine(std::string_view text) override {
    std::lock_guard lock(mutex_);
    lines_.emplace_back(text);
  }
  std::vector<std::string> lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
  }
  void clear() {
    std::lock_guard lock(mutex_);
    lines_.clear();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

}  // namespace corvane::testing
