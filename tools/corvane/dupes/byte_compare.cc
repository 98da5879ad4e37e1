#include "dupes/byte_compare.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace corvane::tool {
namespace {

using Classes = std::vector<std::vector<std::size_t>>;

// One comparison of files in step, in its three steps: the files as first seen, their bytes a
// chunk at a time, and their ends.
class InStep {
 public:
  InStep(std::span<ComparedFile> files, std::size_t chunkSize, const std::function<void(std::uint64_t)>& onRead)
      : files_(files), chunkSize_(chunkSize), onRead_(onRead) {}

  Comparison run() {
    const auto ready = opened();
    if (ready.size() >= 2) {
      // Uninitialised on purpose: only bytes just read are compared.
      buffers_.resize(files_.size());
      for (const auto i : ready) buffers_[i] = std::make_unique_for_overwrite<std::uint8_t[]>(chunkSize_);
      confirmEnds(readInStep(ready, files_[ready.front()].expected.size));
    } else {
      for (const auto i : ready) unique(i);
    }
    std::sort(result_.classes.begin(), result_.classes.end());
    for (auto& file : files_) {
      if (file.file) file.file->reset();
    }
    return std::move(result_);
  }

 private:
  // The files that opened and are still as first seen.
  std::vector<std::size_t> opened() {
    std::vector<std::size_t> ready;
    for (std::size_t i = 0; i < files_.size(); ++i) {
      if (!files_[i].file) {
        leaveOut(i, false, files_[i].file.error().description());
        continue;
      }
      const auto status = (**files_[i].file).status();
      if (!status) {
        leaveOut(i, false, status.error().description());
      } else if (!status->sameVersionAs(files_[i].expected)) {
        leaveOut(i, true, "changed");
      } else {
        if (status->size > chunkSize_) (**files_[i].file).adviseSequential();
        ready.push_back(i);
      }
    }
    return ready;
  }

  // Reads every file a chunk at a time, splitting them into classes of equal bytes so far; a
  // file stops being read once it is alone in its class. What is left agreed to the end.
  Classes readInStep(const std::vector<std::size_t>& ready, std::uint64_t size) {
    Classes live{ready};
    for (std::uint64_t offset = 0; offset < size && !live.empty();) {
      const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize_, size - offset));
      std::uint64_t readNow = 0;
      Classes next;
      for (const auto& members : live) {
        for (auto& part : splitChunk(members, offset, n, readNow)) {
          if (part.size() >= 2) {
            next.push_back(std::move(part));
          } else {
            unique(part.front());
          }
        }
      }
      result_.bytesRead += readNow;
      if (onRead_) onRead_(readNow);
      live = std::move(next);
      offset += n;
    }
    return live;
  }

  // One chunk of each member of a class, split by its bytes.
  Classes splitChunk(const std::vector<std::size_t>& members, std::uint64_t offset, std::size_t n,
                     std::uint64_t& readNow) {
    Classes parts;
    for (const auto i : members) {
      const auto count = platform::readFully(**files_[i].file, offset, {buffers_[i].get(), n});
      if (!count) {
        leaveOut(i, false, count.error().description());
        continue;
      }
      readNow += *count;
      if (*count != n) {
        leaveOut(i, true, "changed");  // fewer bytes than its size said
        continue;
      }
      const auto same = std::find_if(parts.begin(), parts.end(), [&](const auto& part) {
        return std::memcmp(buffers_[part.front()].get(), buffers_[i].get(), n) == 0;
      });
      if (same != parts.end()) {
        same->push_back(i);
      } else {
        parts.push_back({i});
      }
    }
    return parts;
  }

  // Whatever still agrees was read to its end: it must hold no more, and must not have moved.
  void confirmEnds(const Classes& live) {
    for (const auto& members : live) {
      std::vector<std::size_t> kept;
      for (const auto i : members) {
        const auto& file = **files_[i].file;
        const auto size = files_[i].expected.size;
        std::uint8_t beyond = 0;
        const auto extra = file.readSome(size, {&beyond, 1});
        const auto after = file.status();
        if (!extra || !after) {
          leaveOut(i, false, !extra ? extra.error().description() : after.error().description());
        } else if (*extra != 0 || !after->sameVersionAs(files_[i].expected)) {
          leaveOut(i, true, "changed");
        } else {
          kept.push_back(i);
        }
      }
      if (kept.size() >= 2) {
        result_.classes.push_back(std::move(kept));
      } else {
        for (const auto i : kept) unique(i);
      }
    }
  }

  void leaveOut(std::size_t i, bool changed, std::string why) {
    result_.troubles.push_back({i, changed, std::move(why)});
    unique(i);
  }
  // Its descriptor is not needed any more.
  void unique(std::size_t i) {
    if (files_[i].file) files_[i].file->reset();
  }

  std::span<ComparedFile> files_;
  const std::size_t chunkSize_;
  const std::function<void(std::uint64_t)>& onRead_;
  std::vector<std::unique_ptr<std::uint8_t[]>> buffers_;
  Comparison result_;
};

}  // namespace

Comparison compareInStep(std::span<ComparedFile> files, std::size_t chunkSize,
                         const std::function<void(std::uint64_t)>& onRead) {
  return InStep(files, chunkSize, onRead).run();
}

}  // namespace corvane::tool
