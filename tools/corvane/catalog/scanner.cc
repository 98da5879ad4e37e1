#include "catalog/scanner.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <tuple>

#include "run/ordered_runner.h"
#include "run/thread_budget.h"
#include "text/escape.h"
#include "text/output.h"
#include "text/progress.h"

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
  Result<> put(std::int64_t root, const Entry& entry) {
    if (!open_) {
      if (auto begun = store_.begin(); !begun) return begun;
      open_ = true;
      opened_ = Clock::now();
      pending_ = 0;
    }
    if (auto put = store_.put(root, entry); !put) return put;
    if (++pending_ >= kBatchEntries || Clock::now() - opened_ >= kBatchTime) return commit();
    return {};
  }
  Result<> commit() {
    if (!open_) return {};
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

platform::Unexpected<Error> cannotWrite(const Error& error) {
  return failure(error.within("cannot write to the catalog"));
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

// What one scan of a root works through: the listing and the record, both in path order.
struct Scanner::Pass {
  struct Work {
    std::size_t found;                    // index into the listing
    std::optional<std::size_t> previous;  // index into the recorded entries
    Needs needs;
  };

  Root& root;
  const std::vector<Found>& found;
  const PhotoFolder* library;
  bool hashes = false;
  std::vector<Entry> recorded = {};
  std::vector<bool> seen = {};               // recorded entries found again
  std::vector<Work> work = {};               // what must be read
  std::vector<std::string> unreadable = {};  // paths (files or folders) whose entries stay as they are
  std::vector<Entry> added = {};             // read, at paths not recorded before
  bool partial = false;                      // only a folder below the root was scanned
};

void Scanner::note(Change change, std::string path, std::string from) {
  if (settings_.listChanges) changes_.push_back({change, std::move(path), std::move(from)});
}

bool isCatalogFile(const std::string& location, const std::string& catalog) {
  if (catalog.empty() || !location.starts_with(catalog.substr(0, catalog.rfind('/') + 1))) return false;
  if (location == catalog) return true;
  for (const char* suffix : {"-wal", "-shm", "-journal"}) {
    if (location == catalog + suffix) return true;
  }
  const auto slash = catalog.rfind('/');
  const std::string temporary = catalog.substr(0, slash + 1) + "." + catalog.substr(slash + 1) + ".new-";
  return location.starts_with(temporary) && location.find('/', temporary.size()) == std::string::npos;
}

Result<> Scanner::scanFolder(Root& root, const std::string& part) {
  // A root that leads through a link now is not the folder recorded: nothing of it is touched.
  if (auto folder = openRootFolder(*context_.files, root.path); !folder) {
    const int code = folder.error().code;
    if (code == ELOOP || code == EXDEV) return failure(Error{root.path, "its path leads through a link now"});
    return failure(Error::ofFile(folder.error(), root.path));
  }
  // Every file is looked at in the walk, even on a first scan that reads them all: what is read
  // must be the file the walk saw.
  auto exclusions = Exclusions::of(root.exclusions);
  if (!exclusions) return failure(exclusions.error().within(root.path));
  auto found = listFolder(*context_.files, part.empty() ? root.path : root.locationOf(part), exclusions->below(part),
                          root.oneFileSystem);
  if (!part.empty()) {
    for (auto& item : found) item.path = item.path.empty() ? part : part + "/" + item.path;
  }
  std::erase_if(found, [&](const Found& item) { return isCatalogFile(root.locationOf(item.path), settings_.catalog); });
  return scan(root, found, nullptr, part);
}

Result<> Scanner::scanLibrary(Root& root, const PhotoFolder& library) {
  const auto found = listLibrary(library);
  return scan(root, found, &library, {});
}

Result<> Scanner::scan(Root& root, const std::vector<Found>& found, const PhotoFolder* library,
                       const std::string& part) {
  Pass pass{root, found, library};
  pass.hashes = settings_.hash.value_or(root.hashes);
  if (pass.hashes && !root.hashes && part.empty()) {
    // Kept from the start: a scan killed midway is finished by the next one, hashes and all.
    root.hashes = true;
    if (auto updated = store_.updateRoot(root); !updated) return cannotWrite(updated.error());
  }
  auto recorded = store_.entriesOf(root.id);
  if (!recorded) return failure(recorded.error());
  pass.recorded = std::move(*recorded);
  if (!part.empty()) std::erase_if(pass.recorded, [&](const Entry& entry) { return !liesWithin(entry.path, part); });
  pass.partial = !part.empty();
  pass.seen.assign(pass.recorded.size(), false);

  compareWithRecord(pass);
  if (auto read = readWhatChanged(pass); !read) return read;
  const auto gone = whatIsGone(pass);
  matchMoves(pass, gone);
  return finish(pass, gone);
}

// Which files must be read: those new to the record, those whose metadata moved, and those
// lacking a digest the root records.
void Scanner::compareWithRecord(Pass& pass) {
  std::size_t r = 0;
  for (std::size_t i = 0; i < pass.found.size(); ++i) {
    const Found& item = pass.found[i];
    while (r < pass.recorded.size() && pass.recorded[r].path < item.path) ++r;
    const bool known = r < pass.recorded.size() && pass.recorded[r].path == item.path;
    if (known) pass.seen[r] = true;
    if (item.error) {
      ++counts_.failed;
      printError(quoteName(pass.root.locationOf(item.path)) + ": " + *item.error);
      pass.unreadable.push_back(item.path);
      continue;
    }
    Needs needs{true, pass.hashes};
    if (pass.library && !PhotoFolder::isVideoName(item.path)) {
      needs = {false, true};  // the channel fingerprints videos only: an image is known by its SHA-256
    }
    const Entry* previous = known ? &pass.recorded[r] : nullptr;
    const bool settled = previous && item.status && !previous->racy && previous->sameMetadataAs(*item.status);
    if (settled && complete(*previous, needs)) {
      ++counts_.unchanged;
      continue;
    }
    pass.work.push_back({i, known ? std::optional(r) : std::nullopt, needs});
  }
}

// Reads what must be read, through the plug-in, in parallel, and writes each entry in batches.
Result<> Scanner::readWhatChanged(Pass& pass) {
  Batch batch(store_);
  Result<> written;
  if (!pass.work.empty()) {
    const auto& common = context_.common;
    Progress progress(!common.quiet && !common.trace && Progress::terminalAttached(), pass.work.size());
    auto client = startReader(context_, progress, pass.library);
    if (!client) return failure(client.error());

    const auto compute = [&](std::size_t w) -> Outcome {
      const auto& work = pass.work[w];
      const Found& item = pass.found[work.found];
      auto outcome = pass.library ? readAsset(**client, *pass.library, item.path, work.needs)
                                  : readFile(**client, *context_.files,
                                             {pass.root.locationOf(item.path), std::nullopt, item.status}, work.needs);
      progress.advance(outcome.entry ? outcome.entry->size : 0);
      return outcome;
    };
    const auto emit = [&](std::size_t w, Outcome& outcome) {
      const auto& work = pass.work[w];
      const Found& item = pass.found[work.found];
      if (!written) return false;  // the catalog cannot be written: the rest is left to the next scan
      if (!outcome.entry) {
        ++counts_.failed;
        progress.printLine("corvane: " + quoteName(pass.root.locationOf(item.path)) + ": " + outcome.error);
        pass.unreadable.push_back(item.path);
        return true;
      }
      ++counts_.read;
      Entry& entry = *outcome.entry;
      entry.path = item.path;
      if (work.previous) {
        if (compareContent(pass.recorded[*work.previous], entry) == Sameness::kSame) {
          ++counts_.unchanged;
        } else {
          ++counts_.changed;
          note(Change::kChanged, pass.root.locationOf(entry.path));
        }
      } else {
        pass.added.push_back(entry);
      }
      written = batch.put(pass.root.id, entry);
      return true;
    };
    runInOrder<Outcome>(pass.work.size(), threadBudget(settings_.threads), compute, emit);
    client->reset();  // before the progress display that its console writes through
  }
  if (written) written = batch.commit();
  if (!written) return cannotWrite(written.error());
  return {};
}

// What is gone: recorded, not found, and not below anything that could not be looked at.
std::vector<std::size_t> Scanner::whatIsGone(const Pass& pass) const {
  std::vector<std::size_t> gone;
  for (std::size_t i = 0; i < pass.recorded.size(); ++i) {
    if (pass.seen[i]) continue;
    const auto& path = pass.recorded[i].path;
    if (std::none_of(pass.unreadable.begin(), pass.unreadable.end(),
                     [&](const std::string& u) { return liesWithin(path, u); })) {
      gone.push_back(i);
    }
  }
  return gone;
}

// A content that left a path and arrived at a new one has moved; the rest is removed or new.
void Scanner::matchMoves(const Pass& pass, const std::vector<std::size_t>& gone) {
  const auto& added = pass.added;
  std::vector<std::size_t> order(added.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    const auto keyA = contentKey(added[a]), keyB = contentKey(added[b]);
    return std::tie(keyA, added[a].path) < std::tie(keyB, added[b].path);
  });
  std::vector<bool> arrived(added.size(), false);
  for (const std::size_t g : gone) {
    const Entry& left = pass.recorded[g];
    const auto first = std::lower_bound(order.begin(), order.end(), left.size,
                                        [&](std::size_t a, std::uint64_t size) { return added[a].size < size; });
    const auto last = std::upper_bound(first, order.end(), left.size,
                                       [&](std::uint64_t size, std::size_t a) { return size < added[a].size; });
    const auto match = std::find_if(
        first, last, [&](std::size_t a) { return !arrived[a] && compareContent(left, added[a]) == Sameness::kSame; });
    if (match != last) {
      arrived[*match] = true;
      ++counts_.moved;
      note(Change::kMoved, pass.root.locationOf(added[*match].path), pass.root.locationOf(left.path));
    } else {
      ++counts_.removed;
      note(Change::kRemoved, pass.root.locationOf(left.path));
    }
  }
  for (std::size_t i = 0; i < added.size(); ++i) {
    if (arrived[i]) continue;
    ++counts_.added;
    note(Change::kNew, pass.root.locationOf(added[i].path));
  }
}

// Last, in one transaction: the entries of what is gone, and the root's own record.
Result<> Scanner::finish(Pass& pass, const std::vector<std::size_t>& gone) {
  if (auto begun = store_.begin(); !begun) return cannotWrite(begun.error());
  for (const std::size_t g : gone) {
    if (auto removed = store_.remove(pass.root.id, pass.recorded[g].path); !removed) {
      return cannotWrite(removed.error());
    }
  }
  // A part sets neither the root's choice of digests nor the time of its last whole scan.
  if (!pass.partial) pass.root.hashes = pass.hashes;
  // A part scanned is not the whole root scanned: a merge goes by when the whole was.
  if (!pass.partial) pass.root.scannedNs = nowNs();
  if (auto updated = store_.updateRoot(pass.root); !updated) return cannotWrite(updated.error());
  if (auto committed = store_.commit(); !committed) return cannotWrite(committed.error());
  return {};
}

}  // namespace corvane::tool::catalog
