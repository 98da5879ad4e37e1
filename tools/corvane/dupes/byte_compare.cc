#include "byte_compare.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace corvane::tool {

Comparison compareInStep(std::span<ComparedFile> files, std::size_t chunkSize,
                         const std::function<void(std::uint64_t)>& onRead) {
  Comparison result;
  const auto leaveOut = [&](std::size_t i, bool changed, std::string why) {
    result.troubles.push_back({i, changed, std::move(why)});
    if (files[i].file) files[i].file->reset();  // its descriptor is not needed any more
  };
  const auto unique = [&](std::size_t i) {
    if (files[i].file) files[i].file->reset();
  };

  std::vector<std::size_t> first;
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (!files[i].file) {
      leaveOut(i, false, files[i].file.error().description());
      continue;
    }
    const auto status = (**files[i].file).status();
    if (!status) {
      leaveOut(i, false, status.error().description());
    } else if (!status->sameVersionAs(files[i].expected)) {
      leaveOut(i, true, "changed");
    } else {
      if (status->size > chunkSize) (**files[i].file).adviseSequential();
      first.push_back(i);
    }
  }
  if (first.size() < 2) {
    for (const auto i : first) unique(i);
    return result;
  }
  const std::uint64_t size = files[first.front()].expected.size;

  // Uninitialised on purpose: only bytes just read are compared.
  std::vector<std::unique_ptr<std::uint8_t[]>> buffers(files.size());
  for (const auto i : first) buffers[i] = std::make_unique_for_overwrite<std::uint8_t[]>(chunkSize);

  std::vector<std::vector<std::size_t>> live{first};
  for (std::uint64_t offset = 0; offset < size && !live.empty();) {
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize, size - offset));
    std::uint64_t readNow = 0;
    std::vector<std::vector<std::size_t>> next;
    for (const auto& members : live) {
      std::vector<std::vector<std::size_t>> parts;
      for (const auto i : members) {
        const auto count = platform::readFully(**files[i].file, offset, {buffers[i].get(), n});
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
          return std::memcmp(buffers[part.front()].get(), buffers[i].get(), n) == 0;
        });
        if (same != parts.end()) {
          same->push_back(i);
        } else {
          parts.push_back({i});
        }
      }
      for (auto& part : parts) {
        if (part.size() >= 2) {
          next.push_back(std::move(part));
        } else {
          unique(part.front());
        }
      }
    }
    result.bytesRead += readNow;
    if (onRead) onRead(readNow);
    live = std::move(next);
    offset += n;
  }

  // Whatever still agrees was read to its end: it must hold no more, and must not have moved.
  for (auto& members : live) {
    std::vector<std::size_t> kept;
    for (const auto i : members) {
      const auto& file = **files[i].file;
      std::uint8_t beyond = 0;
      const auto extra = file.readSome(size, {&beyond, 1});
      const auto after = file.status();
      if (!extra || !after) {
        leaveOut(i, false, !extra ? extra.error().description() : after.error().description());
      } else if (*extra != 0 || !after->sameVersionAs(files[i].expected)) {
        leaveOut(i, true, "changed");
      } else {
        kept.push_back(i);
      }
    }
    if (kept.size() >= 2) {
      result.classes.push_back(std::move(kept));
    } else {
      for (const auto i : kept) unique(i);
    }
  }
  std::sort(result.classes.begin(), result.classes.end());
  for (auto& file : files) {
    if (file.file) file.file->reset();
  }
  return result;
}

}  // namespace corvane::tool
