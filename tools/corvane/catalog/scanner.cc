#include "catalog/scanner.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <tuple>

#include "catalog/listing.h"
#include "catalog/reading.h"
#include "escape.h"
#include "file_report.h"
#include "ordered_runner.h"
#include "output.h"
#include "plugin_host.h"
#include "progress.h"
#include "thread_budget.h"

namespace corvane::tool::catalog {
namespace {

using Clock = std::chrono::steady_clock;
// Small enough that a killed scan loses little work, large enough that commits cost nothing.
constexpr std::size_t kBatchEntries = 256;
constexpr auto kBatchTime = std::chrono::milliseconds(500);

// Entries written in transactions of a bounded size and age.
class Batch {
 public:
  explicit Batch(Store& store) : store_(store) {}
  Failure put(std::int64_t root, const Entry& entry) {
    if (!open_) {
      if (auto failure = store_.begin()) return failure;
      open_ = true;
      opened_ = Clock::now();
      pending_ = 0;
    }
    if (auto failure = store_.put(root, entry)) return failure;
    if (++pending_ >= kBatchEntries || Clock::now() - opened_ >= kBatchTime) return commit();
    return std::nullopt;
  }
  Failure commit() {
    if (!open_) return std::nullopt;
    open_ = false;
    return store_.commit();
  }

 private:
  Store& store_;
  bool open_ = false;
  Clock::time_point opened_;
  std::size_t pending_ = 0;
};

using ContentKey = std::tuple<std::uint64_t, Digest, Digest>;
ContentKey contentKey(const Entry& entry) {
  return {entry.size, entry.fingerprint.value_or(Digest{}), entry.sha256.value_or(Digest{})};
}

std::int64_t nowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace

const char* changeName(Change change) {
  switch (change) {
    case Change::kNew: return "new";
    case Change::kChanged: return "changed";
    case Change::kUnchanged: return "unchanged";
    case Change::kRemoved: return "removed";
    case Change::kMoved: return "moved";
  }
  return "?";
}

struct Scanner::Work {
  std::size_t found;                    // index into the listing
  std::optional<std::size_t> previous;  // index into the recorded entries
  Needs needs;
};

Failure Scanner::scanFolder(Root& root) {
  // Every file is looked at in the walk, even on a first scan that reads them all: what is read
  // must be the file the walk saw.
  auto found = listFolder(*platform::posixFileSystem(), root.path);
  return scan(root, found, nullptr);
}

Failure Scanner::scanLibrary(Root& root, std::shared_ptr<photo_library::FolderLibrary> library) {
  const auto found = listLibrary(*library);
  return scan(root, found, std::move(library));
}

Failure Scanner::scan(Root& root, const std::vector<Found>& found,
                      std::shared_ptr<photo_library::FolderLibrary> library) {
  const bool hashes = settings_.hash || root.hashes;
  if (hashes && !root.hashes) {
    // Kept from the start: a scan killed midway is finished by the next one, hashes and all.
    root.hashes = true;
    if (auto failure = store_.updateRoot(root)) return "cannot write to the catalog: " + *failure;
  }
  auto recorded = store_.entriesOf(root.id);
  if (!recorded) return recorded.error();

  // Compare the listing with the record, both in path order.
  std::vector<Work> work;
  std::vector<std::string> unreadable;  // paths (files or folders) whose entries stay as they are
  std::vector<bool> seen(recorded->size(), false);
  std::size_t r = 0;
  for (std::size_t i = 0; i < found.size(); ++i) {
    const Found& item = found[i];
    while (r < recorded->size() && (*recorded)[r].path < item.path) ++r;
    const bool known = r < recorded->size() && (*recorded)[r].path == item.path;
    if (known) seen[r] = true;
    if (item.error) {
      ++counts_.failed;
      printError(quoteName(root.locationOf(item.path)) + ": " + *item.error);
      unreadable.push_back(item.path);
      continue;
    }
    Needs needs{true, hashes};
    if (library && photo_library::FolderLibrary::mediaTypeOfName(item.path) != photo_library::MediaType::kVideo) {
      needs = {false, true};  // the channel fingerprints videos only: an image is known by its SHA-256
    }
    const bool settled = known && item.status && !(*recorded)[r].racy && (*recorded)[r].sameMetadataAs(*item.status);
    if (settled && complete((*recorded)[r], needs)) {
      ++counts_.unchanged;
      continue;
    }
    work.push_back({i, known ? std::optional(r) : std::nullopt, needs});
  }

  std::vector<Entry> added;
  Batch batch(store_);
  Failure writeFailure;
  if (!work.empty()) {
    Progress progress(!common_.quiet && !common_.trace && Progress::terminalAttached(), work.size());
    std::string error;
    auto host = startReader(common_, progress, library.get(), error);
    if (!host) return error;

    const auto compute = [&](std::size_t w) -> Outcome {
      const Found& item = found[work[w].found];
      auto outcome = library ? readAsset(*host, *library, item.path, work[w].needs, common_.trace)
                             : readFile(*host, root.locationOf(item.path), work[w].needs, common_.trace,
                                        item.status ? &*item.status : nullptr);
      progress.advance(outcome.entry ? outcome.entry->size : 0);
      return outcome;
    };
    const auto emit = [&](std::size_t w, Outcome& outcome) {
      const Found& item = found[work[w].found];
      if (writeFailure) return false;  // the catalog cannot be written: the rest is left to the next scan
      if (!outcome.entry) {
        ++counts_.failed;
        progress.printLine("corvane: " + quoteName(root.locationOf(item.path)) + ": " + outcome.error);
        unreadable.push_back(item.path);
        return true;
      }
      ++counts_.read;
      Entry& entry = *outcome.entry;
      entry.path = item.path;
      if (const auto previous = work[w].previous) {
        const auto same = compareContent((*recorded)[*previous], entry);
        if (same == Sameness::kSame) {
          ++counts_.unchanged;
        } else {
          ++counts_.changed;
          if (settings_.listChanges) changes_.push_back({Change::kChanged, root.locationOf(entry.path), {}});
        }
      } else {
        added.push_back(entry);
      }
      writeFailure = batch.put(root.id, entry);
      return true;
    };
    const std::size_t threads = threadBudget(settings_.threads);
    runInOrder<Outcome>(work.size(), threads, compute, emit);
    host.reset();  // before the progress display that its console writes through
  }
  if (!writeFailure) writeFailure = batch.commit();
  if (writeFailure) return "cannot write to the catalog: " + *writeFailure;

  // What is gone: recorded, not found, and not below anything that could not be looked at.
  std::vector<std::size_t> gone;
  for (std::size_t i = 0; i < recorded->size(); ++i) {
    if (seen[i]) continue;
    const auto& path = (*recorded)[i].path;
    if (std::none_of(unreadable.begin(), unreadable.end(), [&](const std::string& u) { return liesWithin(path, u); })) {
      gone.push_back(i);
    }
  }
  // A content that left a path and arrived at a new one has moved.
  std::vector<std::size_t> order(added.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    const auto keyA = contentKey(added[a]), keyB = contentKey(added[b]);
    return std::tie(keyA, added[a].path) < std::tie(keyB, added[b].path);
  });
  std::vector<bool> arrived(added.size(), false);
  for (const std::size_t g : gone) {
    const Entry& left = (*recorded)[g];
    const auto first = std::lower_bound(order.begin(), order.end(), left.size,
                                        [&](std::size_t a, std::uint64_t size) { return added[a].size < size; });
    bool moved = false;
    for (auto it = first; it != order.end() && added[*it].size == left.size; ++it) {
      if (!arrived[*it] && compareContent(left, added[*it]) == Sameness::kSame) {
        arrived[*it] = true;
        moved = true;
        ++counts_.moved;
        if (settings_.listChanges) {
          changes_.push_back({Change::kMoved, root.locationOf(added[*it].path), root.locationOf(left.path)});
        }
        break;
      }
    }
    if (!moved) {
      ++counts_.removed;
      if (settings_.listChanges) changes_.push_back({Change::kRemoved, root.locationOf(left.path), {}});
    }
  }
  for (std::size_t i = 0; i < added.size(); ++i) {
    if (arrived[i]) continue;
    ++counts_.added;
    if (settings_.listChanges) changes_.push_back({Change::kNew, root.locationOf(added[i].path), {}});
  }

  // Last, in one transaction: the entries of what is gone, and the root's own record.
  if (auto failure = store_.begin()) return "cannot write to the catalog: " + *failure;
  for (const std::size_t g : gone) {
    if (auto failure = store_.remove(root.id, (*recorded)[g].path)) return "cannot write to the catalog: " + *failure;
  }
  root.hashes = hashes;
  root.scannedNs = nowNs();
  if (auto failure = store_.updateRoot(root)) return "cannot write to the catalog: " + *failure;
  if (auto failure = store_.commit()) return "cannot write to the catalog: " + *failure;
  return std::nullopt;
}

}  // namespace corvane::tool::catalog
